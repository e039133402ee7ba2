#pragma once
// A panel: a framed area with an optional one-line caption, raised or lowered inner and outer
// bevels, and a click signal (the status banner and the surprise window's text strip).
//
// The caption is drawn in one line, clipped to the panel; setting the caption the panel
// already shows repaints nothing.
//
// Screen readers read the caption as the panel's text, and as its name when the program gave
// the panel none.

#include <QFrame>
#include <QString>

namespace palvane {

class Panel : public QFrame {
    Q_OBJECT

public:
    enum class Bevel { None, Raised, Lowered };

    explicit Panel(QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    // Assigning the text already shown changes nothing (no repaint).
    void setCaption(const QString& caption);
    void setAlignment(Qt::Alignment alignment);
    void setBevels(Bevel outer, Bevel inner);
    Bevel outerBevel() const { return outer_; }
    Bevel innerBevel() const { return inner_; }
    Qt::Alignment alignment() const { return alignment_; }
    // Where the caption is drawn, in the panel's coordinates.
    QRect captionRect() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    Bevel outer_ = Bevel::Raised;
    Bevel inner_ = Bevel::None;
};

} // namespace palvane
