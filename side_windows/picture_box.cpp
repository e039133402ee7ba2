#include "side_windows/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace palvane {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setStretch(bool stretch) {
    stretch_ = stretch;
    update();
}

void PictureBox::setAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
}

void PictureBox::setCenter(bool center) {
    center_ = center;
    update();
}

void PictureBox::LoadFromFile(const QString& path) {
    // Loaded completely before anything changes, so a failure keeps the old picture.
    setPicture(Picture::load(path));
}

void PictureBox::setPicture(const Picture& picture) {
    picture_ = picture;
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
    updateGeometry();
    update();
}

QSize PictureBox::sizeHint() const {
    return autoSize_ && !picture_.isNull() ? picture_.size() : QWidget::sizeHint();
}

QRectF PictureBox::pictureRect() const {
    if (picture_.isNull())
        return {};
    if (stretch_)
        return QRectF(rect());
    const QSizeF natural(picture_.size());
    if (!center_)
        return QRectF(QPointF(0, 0), natural);
    return QRectF(QPointF((width() - natural.width()) / 2, (height() - natural.height()) / 2),
                  natural);
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter painter(this);
    // A thumbnail shrinks the picture a lot: smooth it rather than drop pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, stretch_);
    picture_.paint(painter, pictureRect());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit doubleClicked();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace palvane
