#pragma once
// Repairs of what libwmf's SVG device writes, applied to its output before Qt SVG reads it.

#include <QByteArray>

namespace palvane::metafile {

// The metafile's text bytes (Windows Latin-1) turned into escaped UTF-8 inside <text>.
QByteArray escapeText(const QByteArray& svg);
// Each <image> placed once, by its rectangle, and stretched to fill it.
QByteArray placeImages(QByteArray svg);
// Lines at least one pixel wide, as the desktop draws every pen: libwmf scales a pen's width
// with the mapping, so the default pen (one logical unit) all but vanishes. Only style
// attributes change; escapeText must have run, so text holds no quote that could end one.
QByteArray widenHairlines(QByteArray svg);

} // namespace palvane::metafile
