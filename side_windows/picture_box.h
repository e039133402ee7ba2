#pragma once
// A picture control: draws a Picture stretched to the box, or at natural size with auto size
// (the box takes the picture's size), optionally centred in the box. LoadFromFile keeps the
// old picture when loading fails. A left double click emits doubleClicked().

#include "pictures/picture.h"

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
    bool stretch() const { return stretch_; }
    bool autoSize() const { return autoSize_; }
    bool center() const { return center_; }
    // Where the picture is drawn inside the box (empty without a picture).
    QRectF pictureRect() const;
    QSize sizeHint() const override;

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
