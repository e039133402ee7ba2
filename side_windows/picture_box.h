#pragma once
// A picture control: draws a Picture stretched to the box, or at natural size with auto size
// (the box takes the picture's size). LoadFromFile keeps the old picture when loading fails.

#include "side_windows/picture.h"

#include <QWidget>

namespace palvane {

class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setStretch(bool stretch);
    void setAutoSize(bool autoSize);
    void setCenter(bool center);

    // Throws (see Picture::load); on failure the previous picture stays.
    void LoadFromFile(const QString& path);
    void setPicture(const Picture& picture);
    const Picture& picture() const { return picture_; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    Picture picture_;
    bool stretch_ = false;
    bool autoSize_ = false;
    bool center_ = false;
};

} // namespace palvane
