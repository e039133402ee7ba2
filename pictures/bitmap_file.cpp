#include "pictures/bitmap_file.h"

#include "pictures/metafile_bytes.h"

#include <cstdint>

namespace palvane::bitmap_file {
namespace {

using metafile::s32At;
using metafile::u16At;
using metafile::u32At;

constexpr qint64 kFileHeaderBytes = 14;
constexpr quint32 kRgb = 0;
constexpr quint32 kRle8 = 1;
constexpr quint32 kRle4 = 2;
constexpr quint32 kBitFields = 3;
constexpr quint32 kAlphaBitFields = 6;

// The fields of a bitmap header that decide how many bytes the pixel rows take.
struct Header {
    qint64 headerBytes = 0; // the header itself, without the colour table
    qint64 width = 0;
    qint64 height = 0; // negative for rows stored top down
    int bits = 0;
    quint32 compression = kRgb;
    quint32 imageBytes = 0; // as declared; 0 is allowed for uncompressed rows
    qint64 colours = 0;     // entries of the colour table
    qint64 colourBytes = 0; // of one entry
};

// Reads the header at data (available bytes): the old 12-byte form or one of the later ones.
std::optional<Header> readHeader(const char* data, qint64 available) {
    if (available < 4)
        return std::nullopt;
    Header h;
    h.headerBytes = u32At(data);
    if (h.headerBytes > available)
        return std::nullopt;
    if (h.headerBytes == 12) {
        h.width = u16At(data + 4);
        h.height = u16At(data + 6);
        h.bits = u16At(data + 10);
        h.colourBytes = 3;
        h.colours = h.bits <= 8 ? (qint64(1) << h.bits) : 0;
    } else if (h.headerBytes == 40 || h.headerBytes == 52 || h.headerBytes == 56 ||
               h.headerBytes == 64 || h.headerBytes == 108 || h.headerBytes == 124) {
        h.width = s32At(data + 4);
        h.height = s32At(data + 8);
        h.bits = u16At(data + 14);
        h.compression = u32At(data + 16);
        h.imageBytes = u32At(data + 20);
        h.colourBytes = 4;
        const quint32 used = u32At(data + 32);
        h.colours = used ? used : h.bits <= 8 ? (qint64(1) << h.bits) : 0;
    } else {
        return std::nullopt;
    }
    if (h.width <= 0 || h.height == 0 || h.height == qint64(INT32_MIN))
        return std::nullopt;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return std::nullopt;
    return h;
}

qint64 stride(qint64 width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// Whether rows of rowBytes each, `rows` of them, fit in the bytes from `from` to `end`.
bool rowsFit(qint64 rowBytes, qint64 rows, qint64 from, qint64 end) {
    return from >= 0 && from <= end && rows <= (end - from) / rowBytes;
}

// Expands run-length encoded rows (8 or 4 bits a pixel, bottom up) into plain rows of one
// byte a pixel. Pixels the codes skip, by a line end, a jump or the end of the bitmap, keep
// colour 0. The codes must end the bitmap, or cover every row, before the data ends.
std::optional<QByteArray> expandRuns(const char* data, qint64 size, const Header& h,
                                     qint64 rowBytes) {
    const bool fourBits = h.compression == kRle4;
    QByteArray rows(rowBytes * h.height, '\0');
    char* out = rows.data();
    qint64 x = 0;
    qint64 y = 0;
    qint64 pos = 0;
    const auto put = [&](qint64 at, quint8 value) {
        if (at < h.width && y < h.height)
            out[y * rowBytes + at] = char(value);
    };
    while (y < h.height) {
        if (size - pos < 2)
            return std::nullopt;
        const quint8 count = quint8(data[pos]);
        const quint8 value = quint8(data[pos + 1]);
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i, ++x)
                put(x, fourBits ? quint8(i % 2 ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // jump right and up
            if (size - pos < 2)
                return std::nullopt;
            x += quint8(data[pos]);
            y += quint8(data[pos + 1]);
            pos += 2;
        } else { // `value` pixels as they are, padded to a 16-bit boundary
            const qint64 bytes = fourBits ? (value + 1) / 2 : value;
            const qint64 padded = (bytes + 1) / 2 * 2;
            if (size - pos < padded)
                return std::nullopt;
            for (int i = 0; i < value; ++i, ++x) {
                const quint8 b = quint8(data[pos + (fourBits ? i / 2 : i)]);
                put(x, fourBits ? quint8(i % 2 ? b & 0x0F : b >> 4) : b);
            }
            pos += padded;
        }
    }
    return rows;
}

// An uncompressed 8-bit copy of a run-length encoded bitmap, with its colour table.
std::optional<QByteArray> expandBitmap(const QByteArray& file, const Header& h, qint64 pixelsAt) {
    if ((h.compression == kRle8) != (h.bits == 8) || (h.compression == kRle4) != (h.bits == 4))
        return std::nullopt;
    if (h.height < 0 || h.colours > 256 || h.colourBytes != 4)
        return std::nullopt; // runs are only defined bottom up, with an RGBQUAD colour table
    const qint64 tableAt = kFileHeaderBytes + h.headerBytes;
    const qint64 tableBytes = h.colours * 4;
    if (tableAt + tableBytes > file.size() || pixelsAt > file.size())
        return std::nullopt;
    qint64 end = file.size();
    if (h.imageBytes != 0) {
        if (h.imageBytes > end - pixelsAt)
            return std::nullopt; // the codes the header declares are not all there
        end = pixelsAt + h.imageBytes;
    }
    const qint64 rowBytes = stride(h.width, 8);
    const auto rows = expandRuns(file.constData() + pixelsAt, end - pixelsAt, h, rowBytes);
    if (!rows)
        return std::nullopt;

    metafile::ByteWriter w;
    const qint64 offset = kFileHeaderBytes + 40 + tableBytes;
    w.raw("BM", 2);
    w.u32(quint32(offset + rows->size()));
    w.u32(0);
    w.u32(quint32(offset));
    w.u32(40);
    w.s32(qint32(h.width));
    w.s32(qint32(h.height));
    w.u16(1);
    w.u16(8);
    w.u32(kRgb);
    w.u32(quint32(rows->size()));
    w.raw(file.constData() + kFileHeaderBytes + 24, 8); // resolution
    w.u32(quint32(h.colours));
    w.u32(0);
    w.raw(file.constData() + tableAt, tableBytes);
    w.bytes.append(*rows);
    return w.bytes;
}

// Bytes a bitmap image of an icon needs: header, colour table, colour rows and mask rows.
std::optional<qint64> iconImageBytes(const char* data, qint64 available) {
    const auto h = readHeader(data, available);
    if (!h || h->headerBytes < 40 || h->compression != kRgb || h->height < 0)
        return std::nullopt;
    const qint64 rows = h->height / 2; // the colour rows, then as many mask rows
    const qint64 colourRow = stride(h->width, h->bits);
    const qint64 maskRow = stride(h->width, 1);
    const qint64 table = h->headerBytes + h->colours * h->colourBytes;
    if (table > available || !rowsFit(colourRow + maskRow, rows, table, available))
        return std::nullopt;
    return table + (colourRow + maskRow) * rows;
}

} // namespace

std::optional<QByteArray> readerInput(const QByteArray& file) {
    const qint64 size = file.size();
    if (size < kFileHeaderBytes + 12 || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const auto h = readHeader(file.constData() + kFileHeaderBytes, size - kFileHeaderBytes);
    if (!h)
        return std::nullopt;
    const qint64 rows = h->height < 0 ? -h->height : h->height;
    if (h->width * rows > kMaxPixels)
        return std::nullopt;
    const qint64 pixelsAt = u32At(file.constData() + 10);
    switch (h->compression) {
    case kRgb:
    case kBitFields:
    case kAlphaBitFields: {
        if (h->headerBytes == 64 && h->compression != kRgb)
            return std::nullopt; // those numbers name other codings in that header
        // Colour masks follow the 40-byte header; a colour table follows any header.
        const qint64 masks = h->compression == kRgb || h->headerBytes != 40 ? 0
                             : h->compression == kBitFields                 ? 12
                                                                            : 16;
        const qint64 table = kFileHeaderBytes + h->headerBytes + masks;
        if (table > size || h->colours > (size - table) / h->colourBytes)
            return std::nullopt;
        if (!rowsFit(stride(h->width, h->bits), rows, pixelsAt, size))
            return std::nullopt;
        return file;
    }
    case kRle8:
    case kRle4:
        return expandBitmap(file, *h, pixelsAt);
    default:
        return std::nullopt;
    }
}

bool iconIsComplete(const QByteArray& file) {
    constexpr qint64 kDirectoryBytes = 6;
    constexpr qint64 kEntryBytes = 16;
    const qint64 size = file.size();
    if (size < kDirectoryBytes)
        return false;
    const char* data = file.constData();
    const int count = u16At(data + 4);
    if (count == 0 || kDirectoryBytes + count * kEntryBytes > size)
        return false;
    for (int i = 0; i < count; ++i) {
        const char* entry = data + kDirectoryBytes + i * kEntryBytes;
        const qint64 bytes = u32At(entry + 8);
        const qint64 offset = u32At(entry + 12);
        if (offset > size || bytes > size - offset)
            return false;
        const char* image = data + offset;
        // A compressed (PNG) image checks its own length; a bitmap image must hold its rows.
        if (bytes >= 8 && QByteArray::fromRawData(image, 8) == "\x89PNG\r\n\x1a\n")
            continue;
        const auto needed = iconImageBytes(image, bytes);
        if (!needed || *needed > bytes)
            return false;
    }
    return true;
}

} // namespace palvane::bitmap_file
