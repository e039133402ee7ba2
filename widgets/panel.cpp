#include "widgets/panel.h"

#include <QMouseEvent>
#include <QPainter>

namespace palvane {
namespace {

void drawBevel(QPainter& p, QRect r, Panel::Bevel bevel, const QPalette& pal) {
    if (bevel == Panel::Bevel::None)
        return;
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const QColor topLeft = bevel == Panel::Bevel::Raised ? light : dark;
    const QColor bottomRight = bevel == Panel::Bevel::Raised ? dark : light;
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

Panel::Panel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}

void Panel::setCaption(const QString& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void Panel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void Panel::setBevels(Bevel outer, Bevel inner) {
    outer_ = outer;
    inner_ = inner;
    update();
}

void Panel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    QRect r = rect();
    drawBevel(p, r, outer_, palette());
    if (outer_ != Bevel::None)
        r.adjust(1, 1, -1, -1);
    drawBevel(p, r, inner_, palette());
    if (inner_ != Bevel::None)
        r.adjust(1, 1, -1, -1);
    if (!caption_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(r.adjusted(2, 0, -2, 0), int(alignment_ | Qt::AlignVCenter) | Qt::TextSingleLine,
                   caption_);
    }
}

void Panel::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace palvane
