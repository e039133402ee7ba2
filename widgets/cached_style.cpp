#include "widgets/cached_style.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace palvane {

namespace {

// Distinct frames a window set shows: a few sizes in a few states. Past this the cache is
// emptied and fills again, so palette or size changes can never make it grow without bound.
constexpr qsizetype kMaxFrames = 128;

// A line edit inside a spin box or combo box has its panel drawn by that control; styles
// draw nothing for it here, and that must not be cached for ordinary boxes.
bool isPartOfOtherControl(const QWidget* widget) {
    const QWidget* parent = widget ? widget->parentWidget() : nullptr;
    return qobject_cast<const QAbstractSpinBox*>(parent) || qobject_cast<const QComboBox*>(parent);
}

std::optional<CachedStyle::FrameKey> frameKey(QStyle::PrimitiveElement element,
                                              const QStyleOption* option, const QWidget* widget,
                                              qreal ratio) {
    if (element != QStyle::PE_PanelLineEdit && element != QStyle::PE_FrameLineEdit)
        return std::nullopt;
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (!frame || frame->rect.isEmpty() || frame->rect.width() > 4096 ||
        frame->rect.height() > 1024 || frame->palette.base().style() != Qt::SolidPattern ||
        isPartOfOtherControl(widget))
        return std::nullopt;
    return CachedStyle::FrameKey{element,
                                 frame->rect.width(),
                                 frame->rect.height(),
                                 qint64(frame->state.toInt()),
                                 frame->palette.cacheKey(),
                                 frame->direction,
                                 frame->lineWidth,
                                 frame->midLineWidth,
                                 qint64(frame->features.toInt()),
                                 qRound64(ratio * 1000)};
}

} // namespace

CachedStyle::CachedStyle(QStyle* base) : QProxyStyle(base) {
    const QString name = baseStyle()->name();
    cachesFrames_ = name.compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0 ||
                    name.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0;
}

void CachedStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const qreal ratio = painter && painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    const std::optional<FrameKey> key = cachesFrames_ && option && painter
                                            ? frameKey(element, option, widget, ratio)
                                            : std::nullopt;
    if (!key) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    auto found = frames_.find(*key);
    if (found == frames_.end()) {
        QPixmap pixmap(option->rect.size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter cachePainter(&pixmap);
        cachePainter.setRenderHints(painter->renderHints());
        // The same option, drawn at the pixmap's origin.
        cachePainter.translate(-option->rect.topLeft());
        QProxyStyle::drawPrimitive(element, option, &cachePainter, widget);
        cachePainter.end();
        if (qsizetype(frames_.size()) >= kMaxFrames)
            frames_.clear();
        found = frames_.emplace(*key, pixmap).first;
    }
    painter->drawPixmap(option->rect.topLeft(), found->second);
}

void useCachedStyle() {
    QStyle* current = QApplication::style();
    if (qobject_cast<CachedStyle*>(current))
        return;
    QStyle* base = QStyleFactory::create(current->name());
    if (!base)
        return; // a style that cannot be made again stays as it is
    QApplication::setStyle(new CachedStyle(base));
}

} // namespace palvane
