#include "widgets/panel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace palvane {
namespace {

constexpr int kCaptionFlags = Qt::AlignVCenter | Qt::TextSingleLine;

// The caption as a screen reader sees it: read-only text, one line.
class PanelAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    // The role stays that of any frame.
    explicit PanelAccessible(Panel* panel) : QAccessibleWidget(panel, QAccessible::Border) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        QString value = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && value.isEmpty())
            value = caption().simplified();
        return value;
    }

    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const QString all = caption();
        const int start = std::clamp(startOffset, 0, int(all.size()));
        const int end =
            endOffset < 0 ? int(all.size()) : std::clamp(endOffset, start, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(caption().size()); }
    QRect characterRect(int offset) const override {
        const QString all = caption();
        if (offset < 0 || offset >= all.size())
            return QRect();
        const QFontMetrics metrics(panel()->font());
        const QRect line = metrics.boundingRect(panel()->captionRect(),
                                                int(panel()->alignment()) | kCaptionFlags, all);
        const QRect glyph(line.left() + metrics.horizontalAdvance(all.left(offset)), line.top(),
                          metrics.horizontalAdvance(all.at(offset)), line.height());
        return QRect(panel()->mapToGlobal(glyph.topLeft()), glyph.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        for (int i = 0; i < characterCount(); ++i)
            if (characterRect(i).contains(point))
                return i;
        return -1;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    Panel* panel() const { return static_cast<Panel*>(widget()); }
    QString caption() const { return panel()->caption(); }
};

QAccessibleInterface* panelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(Panel::staticMetaObject.className()) && object->isWidgetType())
        return new PanelAccessible(static_cast<Panel*>(object));
    return nullptr;
}

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
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(panelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

void Panel::setCaption(const QString& caption) {
    if (caption == caption_)
        return;
    const QString old = std::exchange(caption_, caption);
    update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent changed(this, 0, old, caption_);
        QAccessible::updateAccessibility(&changed);
    }
}

QRect Panel::captionRect() const {
    QRect r = rect();
    if (outer_ != Bevel::None)
        r.adjust(1, 1, -1, -1);
    if (inner_ != Bevel::None)
        r.adjust(1, 1, -1, -1);
    return r.adjusted(2, 0, -2, 0);
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
    if (!caption_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(captionRect(), int(alignment_) | kCaptionFlags, caption_);
    }
}

void Panel::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace palvane
