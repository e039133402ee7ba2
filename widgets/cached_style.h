#pragma once
// The application's own style, with the frames of single-line boxes drawn once per size, state
// and palette and then copied from a cache. Styles stroke those frames anew, antialiased, on
// every repaint, and a box repaints whenever its text changes: browsing the contacts rewrites
// four boxes at a time. Everything else is drawn by the style as it is.
//
// Only styles known to draw those frames from the style option alone are cached (Qt's own
// Fusion and Windows styles). Other styles may animate a frame on hover or focus from state of
// their own, which a cache would freeze mid-way; they are passed through untouched.

#include <QPixmap>
#include <QProxyStyle>

#include <array>
#include <map>
#include <optional>

namespace palvane {

class CachedStyle : public QProxyStyle {
    Q_OBJECT

public:
    // Takes over base (the style the application would use otherwise).
    explicit CachedStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // Whether box frames of the base style are drawn from the cache.
    bool cachesFrames() const { return cachesFrames_; }

    // Everything a style reads to draw a box's frame: its element, size, state, palette,
    // direction, frame widths and features, and the pixel ratio of the device.
    using FrameKey = std::array<qint64, 10>;

private:
    bool cachesFrames_ = false;
    mutable std::map<FrameKey, QPixmap> frames_;
};

// Puts a CachedStyle over the application's current style, once; later calls change nothing.
void useCachedStyle();

} // namespace palvane
