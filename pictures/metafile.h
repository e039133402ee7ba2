#pragma once
// Windows metafiles (placeable WMF) and enhanced metafiles (EMF) turned into SVG, drawn later by
// Qt SVG. The C decoders behind this were not written for hostile input, so every file is first
// walked record by record here: a file that is not well formed is refused, records the decoders
// would misread are dropped, and only a rebuilt, consistent copy ever reaches them.

#include <QByteArray>
#include <QRectF>
#include <QSize>

#include <optional>

namespace palvane::metafile {

// A decoded metafile: SVG text, the part of its user space that is the picture, and the
// picture's natural size in pixels at 96 dots per inch.
struct Vector {
    QByteArray svg;
    QRectF viewBox;
    QSize size;
};

// Pixels of one embedded bitmap; larger ones are dropped rather than decoded.
inline constexpr qint64 kMaxEmbeddedPixels = 16 * 1024 * 1024;
// Records of one metafile; more are refused rather than played (bounded time and memory).
inline constexpr qint64 kMaxRecords = 500000;
// Longest side of a metafile's natural size in pixels.
inline constexpr int kMaxNaturalSide = 32767;

bool isPlaceableWmf(const QByteArray& bytes);
bool isEmf(const QByteArray& bytes);

// Each returns nothing when the bytes are not a metafile of that kind that can be drawn.
std::optional<Vector> decodeWmf(const QByteArray& bytes);
std::optional<Vector> decodeEmf(const QByteArray& bytes);
// Picks the decoder by content: the extension only says "a metafile" (.wmf and .emf files
// holding the other kind load as well).
std::optional<Vector> decode(const QByteArray& bytes);

// Layout of an embedded device-independent bitmap: the header with its colour table, then the
// pixel rows.
struct DibLayout {
    qint64 infoBytes = 0;
    qint64 bitsBytes = 0;
    int width = 0;
    int height = 0;
};
// Reads the bitmap header at data (available bytes). Accepts only what both decoders draw
// safely: a 40-byte or larger header, one plane, uncompressed rows of 1, 4, 8, 24 (and with
// wideBits 16 or 32) bits, a bottom-up image of at most kMaxEmbeddedPixels, an RGB colour
// table that fits. Whether the pixel rows fit is the caller's check (they may lie elsewhere).
std::optional<DibLayout> dibLayout(const char* data, qint64 available, bool wideBits);

} // namespace palvane::metafile
