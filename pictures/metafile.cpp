#include "pictures/metafile.h"

#include "pictures/metafile_bytes.h"

namespace palvane::metafile {

bool isPlaceableWmf(const QByteArray& bytes) {
    return bytes.size() >= 4 && u32At(bytes.constData()) == 0x9AC6CDD7u;
}

bool isEmf(const QByteArray& bytes) {
    // EMR_HEADER first, with the " EMF" signature at its fixed place.
    return bytes.size() >= 44 && u32At(bytes.constData()) == 1 &&
           u32At(bytes.constData() + 40) == 0x464D4520u;
}

std::optional<Vector> decode(const QByteArray& bytes) {
    if (isEmf(bytes))
        return decodeEmf(bytes);
    if (isPlaceableWmf(bytes))
        return decodeWmf(bytes);
    return std::nullopt;
}

std::optional<DibLayout> dibLayout(const char* data, qint64 available, bool wideBits) {
    if (available < 40)
        return std::nullopt;
    const quint32 headerSize = u32At(data);
    const qint32 width = s32At(data + 4);
    const qint32 height = s32At(data + 8);
    const quint16 planes = u16At(data + 12);
    const quint16 bits = u16At(data + 14);
    const quint32 compression = u32At(data + 16);
    const quint32 coloursUsed = u32At(data + 32);
    if (headerSize < 40 || headerSize > 124 || qint64(headerSize) > available)
        return std::nullopt;
    if (width <= 0 || height <= 0 || planes != 1 || compression != 0)
        return std::nullopt;
    if (qint64(width) * height > kMaxEmbeddedPixels)
        return std::nullopt;
    const bool narrow = bits == 1 || bits == 4 || bits == 8 || bits == 24;
    if (!narrow && !(wideBits && (bits == 16 || bits == 32)))
        return std::nullopt;
    qint64 colours = 0;
    if (bits <= 8) {
        colours = coloursUsed ? coloursUsed : (1u << bits);
        if (colours > (1 << bits))
            return std::nullopt;
    } else if (coloursUsed > 256) {
        return std::nullopt;
    } else {
        colours = coloursUsed;
    }
    DibLayout layout;
    layout.infoBytes = headerSize + colours * 4;
    if (layout.infoBytes > available)
        return std::nullopt;
    const qint64 stride = (qint64(width) * bits + 31) / 32 * 4;
    layout.bitsBytes = stride * height;
    layout.width = width;
    layout.height = height;
    return layout;
}

} // namespace palvane::metafile
