#pragma once
// Bitmap (.bmp) and icon (.ico) files checked before Qt's readers see them. Those readers give
// a partial image when the pixel data runs out, and leave the pixels that a run-length encoded
// bitmap skips as they found them: either way the picture would show whatever memory held
// before. So a file whose pixel data is shorter than its headers declare is refused here, and
// run-length encoded bitmaps are expanded here into plain rows whose skipped pixels are colour
// 0 (the background a new bitmap starts with).

#include <QByteArray>

#include <optional>

namespace palvane::bitmap_file {

// Pixels of one bitmap at most; the image reader is allowed the memory such a picture needs.
inline constexpr qint64 kMaxPixels = qint64(1) << 28;

// The bytes to hand to the bitmap reader: the file itself when its pixel data is all there, an
// uncompressed copy of a run-length encoded one; nothing when the file is cut short, declares
// a layout no bitmap has, or is larger than kMaxPixels.
std::optional<QByteArray> readerInput(const QByteArray& file);

// Whether every image an icon file lists lies wholly inside the file, and each bitmap image
// holds all the colour and mask rows its header declares.
bool iconIsComplete(const QByteArray& file);

} // namespace palvane::bitmap_file
