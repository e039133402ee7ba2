#pragma once
// Repairs of what libwmf's SVG device writes, applied to its output before Qt SVG reads it.

#include <QByteArray>

namespace palvane::metafile {

// The metafile's text bytes (Windows Latin-1) turned into escaped UTF-8 inside <text>.
QByteArray escapeText(const QByteArray& svg);
// Each <image> placed once, by its rectangle, and stretched to fill it.
QByteArray placeImages(QByteArray svg);

} // namespace palvane::metafile
