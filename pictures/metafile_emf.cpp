// Enhanced metafiles through libemf2svg. As for the older format, the file is rebuilt from the
// records that pass the checks below (sizes, counts, offsets, object numbers, bitmaps), so the
// converter only reads data that is really there.

#include "pictures/metafile.h"

#include "pictures/metafile_bytes.h"

#include <emf2svg.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace palvane::metafile {
namespace {

constexpr qint64 kHeaderMin = 88;
constexpr qint64 kHeaderOut = 108;

enum : quint32 {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetViewportExtEx = 11,
    kEof = 14,
    kSetMapMode = 17,
    kScaleViewportExtEx = 31,
    kScaleWindowExtEx = 32,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kPolyDraw = 56,
    kFillRgn = 71,
    kFrameRgn = 72,
    kInvertRgn = 73,
    kPaintRgn = 74,
    kExtSelectClipRgn = 75,
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDiBitsToDevice = 80,
    kStretchDiBits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kPolyDraw16 = 92,
    kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94,
    kExtCreatePen = 95,
    kAlphaBlend = 114,
    kTransparentBlt = 116,
};

// Records kept as they are once they hold their fixed part (type, size, parameters).
struct FixedRecord {
    quint32 type;
    qint64 bytes;
};
constexpr FixedRecord kFixedRecords[] = {
    {10, 16}, {12, 16}, {13, 16}, {15, 20}, {16, 12}, {18, 12}, {19, 12}, {20, 12},
    {21, 12}, {22, 12}, {24, 12}, {25, 12}, {26, 16}, {27, 16}, {28, 8},  {29, 24},
    {30, 24}, {41, 28}, {42, 24}, {43, 24}, {44, 32}, {45, 40}, {46, 40}, {47, 40},
    {54, 16}, {55, 40}, {57, 12}, {58, 12}, {59, 8},  {60, 8},  {61, 8},  {62, 24},
    {63, 24}, {64, 24}, {65, 8},  {66, 8},  {67, 12}, {68, 8},  {98, 12}, {115, 12},
};

qint64 fixedBytes(quint32 type) {
    for (const FixedRecord& r : kFixedRecords)
        if (r.type == type)
            return r.bytes;
    return -1;
}

class Walker {
public:
    explicit Walker(const QByteArray& bytes) : in_(bytes) {}
    bool run();

    qint32 bounds[4] = {};
    qint32 frame[4] = {};
    qint32 device[2] = {};
    qint32 millimetres[2] = {};
    QByteArray out;

private:
    quint32 u32(qint64 at) const { return u32At(rec_ + at); }
    qint32 s32(qint64 at) const { return s32At(rec_ + at); }
    float f32(qint64 at) const {
        const quint32 bits = u32(at);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    bool finite(qint64 at, int count) const {
        for (int i = 0; i < count; ++i)
            if (!std::isfinite(f32(at + 4 * i)))
                return false;
        return true;
    }
    void keep() { keepAs(QByteArray(rec_, qsizetype(size_))); }
    void keepAs(QByteArray record);
    void handle(quint32 type);
    bool objectIndex(qint64 at) const;
    bool points(qint64 countAt, qint64 pointBytes, qint64 extraPerPoint = 0) const;
    bool polyPoints(qint64 pointBytes) const;
    bool bitmap(qint64 offAt, qint64 cbAt, qint64 offBitsAt, qint64 cbBitsAt, qint64 usageAt,
                bool optional) const;
    bool region(qint64 cbAt, qint64 dataAt) const;
    bool text(bool wide) const;
    void keepFont();

    const QByteArray& in_;
    const char* rec_ = nullptr;
    qint64 size_ = 0;
    quint32 handles_ = 0;
    quint32 records_ = 0;
    int savedDcs_ = 0;
};

void Walker::keepAs(QByteArray record) {
    out.append(record);
    ++records_;
}

bool Walker::objectIndex(qint64 at) const {
    // Index 0 is the device context itself; stock objects have the high bit set.
    const quint32 index = u32(at);
    return (index & 0x80000000u) || (index > 0 && index < handles_);
}

// Point lists: a count at countAt, then that many points right after it.
bool Walker::points(qint64 countAt, qint64 pointBytes, qint64 extraPerPoint) const {
    if (size_ < countAt + 4)
        return false;
    const qint64 count = u32(countAt);
    return count >= 1 && count <= size_ &&
           countAt + 4 + count * (pointBytes + extraPerPoint) <= size_;
}

// Poly-polylines: number of polylines at 24, total points at 28, counts, then the points.
bool Walker::polyPoints(qint64 pointBytes) const {
    if (size_ < 32)
        return false;
    const qint64 polys = u32(24);
    const qint64 total = u32(28);
    if (polys < 1 || polys > size_ || total > size_ || 32 + polys * 4 + total * pointBytes > size_)
        return false;
    qint64 sum = 0;
    for (qint64 i = 0; i < polys; ++i)
        sum += u32(32 + 4 * i);
    return sum == total;
}

// An embedded bitmap: header and colours at off/cb, rows at offBits/cbBits, RGB colours.
bool Walker::bitmap(qint64 offAt, qint64 cbAt, qint64 offBitsAt, qint64 cbBitsAt, qint64 usageAt,
                    bool optional) const {
    const qint64 off = u32(offAt), cb = u32(cbAt), offBits = u32(offBitsAt), cbBits = u32(cbBitsAt);
    if (optional && cb == 0 && cbBits == 0)
        return true;
    if (u32(usageAt) != 0 || off < 8 || off + cb > size_ || offBits < 8 || offBits + cbBits > size_)
        return false;
    const auto layout = dibLayout(rec_ + off, cb, true);
    return layout && layout->bitsBytes <= cbBits;
}

bool Walker::region(qint64 cbAt, qint64 dataAt) const {
    const qint64 cb = u32(cbAt);
    if (dataAt + cb > size_)
        return false;
    if (cb == 0)
        return true;
    // Region header: its own size (32), type, rectangle count, then the rectangles.
    return cb >= 32 && u32(dataAt) == 32 && 32 + qint64(u32(dataAt + 8)) * 16 <= cb;
}

bool Walker::text(bool wide) const {
    // Bounds, graphics mode, scales, then the text block: reference point, character count,
    // string offset, options, rectangle, offset of the advances.
    if (size_ < 76)
        return false;
    const qint64 chars = u32(44);
    const qint64 offString = u32(48);
    const qint64 offDx = u32(72);
    if (chars > size_ || offString < 76 || offString + chars * (wide ? 2 : 1) > size_)
        return false;
    const qint64 perChar = (u32(52) & 0x2000) ? 8 : 4; // ETO_PDY: x and y advances
    return chars == 0 || offDx == 0 || (offDx >= 76 && offDx + chars * perChar <= size_);
}

void Walker::keepFont() {
    // The face name (32 UTF-16 units at 40) must end in the record and reach the SVG as
    // plain letters only.
    QByteArray record(rec_, qsizetype(size_));
    char* face = record.data() + 40;
    int o = 0;
    for (int i = 0; i < 31; ++i) {
        const quint16 c = u16At(face + 2 * i);
        if (c == 0)
            break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == ' ' || c == '-') {
            face[2 * o] = char(c);
            face[2 * o + 1] = 0;
            ++o;
        }
    }
    std::memset(face + 2 * o, 0, size_t(64 - 2 * o));
    keepAs(record);
}

void Walker::handle(quint32 type) {
    const qint64 fixed = fixedBytes(type);
    if (fixed > 0) {
        if (size_ >= fixed)
            keep();
        return;
    }
    switch (type) {
    case kSetWindowExtEx:
    case kSetViewportExtEx:
        if (size_ >= 16 && s32(8) != 0 && s32(12) != 0)
            keep();
        return;
    case kScaleViewportExtEx:
    case kScaleWindowExtEx:
        if (size_ >= 24 && s32(12) != 0 && s32(20) != 0)
            keep();
        return;
    case kSetMapMode:
        if (size_ >= 12 && u32(8) >= 1 && u32(8) <= 8)
            keep();
        return;
    case kSaveDc:
        ++savedDcs_;
        keep();
        return;
    case kRestoreDc: {
        const qint32 back = size_ >= 12 ? -s32(8) : 0;
        if (back >= 1 && back <= savedDcs_) {
            savedDcs_ -= back;
            keep();
        }
        return;
    }
    case kSetWorldTransform:
        if (size_ >= 32 && finite(8, 6))
            keep();
        return;
    case kModifyWorldTransform:
        if (size_ >= 36 && finite(8, 6) && u32(32) >= 1 && u32(32) <= 4)
            keep();
        return;
    case kSelectObject:
    case kDeleteObject:
        if (size_ >= 12 && objectIndex(8))
            keep();
        return;
    case kCreatePen:
        if (size_ >= 28 && objectIndex(8) && !(u32(8) & 0x80000000u))
            keep();
        return;
    case kCreateBrushIndirect:
        if (size_ >= 24 && objectIndex(8) && !(u32(8) & 0x80000000u)) {
            // Pattern styles need a bitmap this record cannot carry: draw those solid.
            QByteArray record(rec_, 24);
            if (u32(12) > 2)
                std::memset(record.data() + 12, 0, 4);
            if (u32(20) > 5)
                std::memset(record.data() + 20, 0, 4);
            keepAs(record);
        }
        return;
    case kExtCreatePen:
        if (size_ >= 52 && objectIndex(8) && !(u32(8) & 0x80000000u) && u32(16) == 0 &&
            u32(24) == 0 && u32(48) <= size_ && 52 + qint64(u32(48)) * 4 <= size_ && u32(36) <= 2)
            keep();
        return;
    case kExtCreateFontIndirectW:
        if (size_ >= 104 && objectIndex(8) && !(u32(8) & 0x80000000u))
            keepFont();
        return;
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt:
        if (size_ >= 32 && objectIndex(8) && !(u32(8) & 0x80000000u) &&
            bitmap(16, 20, 24, 28, 12, false))
            keep();
        return;
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
        if (points(24, 8))
            keep();
        return;
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
        if (points(24, 4))
            keep();
        return;
    case kPolyDraw:
        if (points(24, 8, 1))
            keep();
        return;
    case kPolyDraw16:
        if (points(24, 4, 1))
            keep();
        return;
    case kPolyPolyline:
    case kPolyPolygon:
        if (polyPoints(8))
            keep();
        return;
    case kPolyPolyline16:
    case kPolyPolygon16:
        if (polyPoints(4))
            keep();
        return;
    case kExtTextOutA:
    case kExtTextOutW:
        if (text(type == kExtTextOutW))
            keep();
        return;
    case kFillRgn:
    case kFrameRgn:
        if (size_ >= 32 && objectIndex(28) && region(24, type == kFillRgn ? 32 : 40))
            keep();
        return;
    case kInvertRgn:
    case kPaintRgn:
        if (size_ >= 28 && region(24, 28))
            keep();
        return;
    case kExtSelectClipRgn:
        if (size_ >= 16 && region(8, 16))
            keep();
        return;
    case kBitBlt:
        if (size_ >= 100 && bitmap(84, 88, 92, 96, 80, true))
            keep();
        return;
    case kStretchBlt:
    case kAlphaBlend:
    case kTransparentBlt:
        if (size_ >= 108 && bitmap(84, 88, 92, 96, 80, type == kStretchBlt))
            keep();
        return;
    case kSetDiBitsToDevice:
        if (size_ >= 76 && bitmap(48, 52, 56, 60, 64, false))
            keep();
        return;
    case kStretchDiBits:
        if (size_ >= 80 && bitmap(48, 52, 56, 60, 64, false))
            keep();
        return;
    default:
        // Comments, palettes, colour management, device escapes: nothing the SVG needs.
        return;
    }
}

bool Walker::run() {
    const char* data = in_.constData();
    const qint64 size = in_.size();
    if (!isEmf(in_))
        return false;
    const qint64 headerSize = u32At(data + 4);
    if (headerSize < kHeaderMin || headerSize > size || headerSize % 4 != 0)
        return false;
    for (int i = 0; i < 4; ++i) {
        bounds[i] = s32At(data + 8 + 4 * i);
        frame[i] = s32At(data + 24 + 4 * i);
    }
    handles_ = u16At(data + 56);
    device[0] = s32At(data + 72);
    device[1] = s32At(data + 76);
    millimetres[0] = s32At(data + 80);
    millimetres[1] = s32At(data + 84);

    // The header is rebuilt without description, palette or pixel format.
    ByteWriter header;
    header.raw(data, kHeaderMin);
    header.zeros(kHeaderOut - kHeaderMin);
    header.putU32At(4, quint32(kHeaderOut));
    for (qint64 at : {60, 64, 68})
        header.putU32At(at, 0);
    for (int i = 0; i < 2; ++i)
        header.putU32At(100 + 4 * i,
                        quint32(std::clamp<qint64>(millimetres[i], 0, 2000000) * 1000));
    out = header.bytes;
    records_ = 1;

    qint64 pos = headerSize;
    while (true) {
        if (size - pos < 8 || records_ > kMaxRecords)
            return false; // no end-of-file record: truncated
        rec_ = data + pos;
        const quint32 type = u32At(rec_);
        size_ = u32At(rec_ + 4);
        if (size_ < 8 || size_ % 4 != 0 || size_ > size - pos)
            return false;
        if (type == kEof) {
            ByteWriter eof;
            eof.u32(kEof);
            eof.u32(20);
            eof.u32(0);
            eof.u32(16);
            eof.u32(20);
            keepAs(eof.bytes);
            break;
        }
        if (type != kHeader)
            handle(type);
        pos += size_;
    }
    ByteWriter fix;
    fix.bytes = out;
    fix.putU32At(48, quint32(out.size()));
    fix.putU32At(52, records_);
    out = fix.bytes;
    return true;
}

} // namespace

std::optional<Vector> decodeEmf(const QByteArray& bytes) {
    Walker walker(bytes);
    if (!walker.run())
        return std::nullopt;

    // Natural size: the frame (0.01 mm) at 96 dpi; without a frame, the device bounds.
    const qint64 frameW = qint64(walker.frame[2]) - walker.frame[0];
    const qint64 frameH = qint64(walker.frame[3]) - walker.frame[1];
    const qint64 boundsW = qint64(walker.bounds[2]) - walker.bounds[0] + 1;
    const qint64 boundsH = qint64(walker.bounds[3]) - walker.bounds[1] + 1;
    const bool hasFrame = frameW > 0 && frameH > 0;
    if (!hasFrame && (boundsW <= 0 || boundsH <= 0))
        return std::nullopt;
    const double w = hasFrame ? frameW * 96.0 / 2540.0 : double(boundsW);
    const double h = hasFrame ? frameH * 96.0 / 2540.0 : double(boundsH);
    if (w > kMaxNaturalSide + 0.5 || h > kMaxNaturalSide + 0.5)
        return std::nullopt;
    const QSize size(std::max(1, int(std::lround(w))), std::max(1, int(std::lround(h))));

    // The converter draws in device pixels shifted by the bounds' corner; the frame, given in
    // 0.01 mm, reaches device pixels through the reference device's pixels per millimetre.
    QRectF viewBox;
    if (hasFrame) {
        const bool reference = walker.device[0] > 0 && walker.device[1] > 0 &&
                               walker.millimetres[0] > 0 && walker.millimetres[1] > 0;
        const double perMmX =
            reference ? double(walker.device[0]) / walker.millimetres[0] : 96.0 / 25.4;
        const double perMmY =
            reference ? double(walker.device[1]) / walker.millimetres[1] : 96.0 / 25.4;
        viewBox = QRectF(walker.frame[0] / 100.0 * perMmX - walker.bounds[0],
                         walker.frame[1] / 100.0 * perMmY - walker.bounds[1],
                         frameW / 100.0 * perMmX, frameH / 100.0 * perMmY);
    } else {
        viewBox = QRectF(0, 0, double(boundsW), double(boundsH));
    }
    if (!std::isfinite(viewBox.width()) || !(viewBox.width() > 0) || !(viewBox.height() > 0))
        return std::nullopt;

    generatorOptions options{};
    char nameSpace[] = ""; // with a prefix the converter leaks its copy of it
    options.nameSpace = nameSpace;
    options.svgDelimiter = true;
    options.emfplus = false;
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(walker.out.data(), size_t(walker.out.size()), &text, &length, &options);
    QByteArray svg = text ? QByteArray(text, qsizetype(length)) : QByteArray();
    std::free(text);
    if (!ok || svg.isEmpty())
        return std::nullopt;
    return Vector{svg, viewBox, size};
}

} // namespace palvane::metafile
