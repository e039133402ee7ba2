// Placeable Windows metafiles through libwmf's SVG device. The record walker below rebuilds the
// file from the records it understands, with every count, index and bitmap checked, so libwmf
// only ever plays a well-formed metafile.

#include "pictures/metafile.h"

#include "pictures/metafile_bytes.h"
#include "pictures/metafile_wmf_svg.h"

#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace palvane::metafile {
namespace {

constexpr int kPlaceableBytes = 22;
constexpr int kHeaderBytes = 18;

// Record functions (the low byte names the function, the high byte its usual size).
enum : quint16 {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kRealizePalette = 0x0035,
    kSetPalEntries = 0x0037,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106,
    kSetStretchBltMode = 0x0107,
    kSetTextCharExtra = 0x0108,
    kRestoreDc = 0x0127,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetTextJustification = 0x020A,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kOffsetClipRgn = 0x0220,
    kSetMapperFlags = 0x0231,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43,
};

// Records with a fixed number of 16-bit parameters, and whether they draw.
struct FixedRecord {
    quint16 function;
    int params;
    bool draws;
};
constexpr FixedRecord kFixedRecords[] = {
    {kSaveDc, 0, false},
    {kSetBkMode, 1, false},
    {kSetRop2, 1, false},
    {kSetPolyFillMode, 1, false},
    {kSetStretchBltMode, 1, false},
    {kSetTextCharExtra, 1, false},
    {kSetTextAlign, 1, false},
    {kSetBkColor, 2, false},
    {kSetTextColor, 2, false},
    {kSetTextJustification, 2, false},
    {kSetMapperFlags, 2, false},
    {kSetWindowOrg, 2, false},
    {kSetViewportOrg, 2, false},
    {kOffsetWindowOrg, 2, false},
    {kOffsetViewportOrg, 2, false},
    {kLineTo, 2, true},
    {kMoveTo, 2, false},
    {kOffsetClipRgn, 2, false},
    {kExcludeClipRect, 4, false},
    {kIntersectClipRect, 4, false},
    {kEllipse, 4, true},
    {kRectangle, 4, true},
    {kSetPixel, 4, true},
    {kRoundRect, 6, true},
    {kPatBlt, 6, true},
    {kArc, 8, true},
    {kPie, 8, true},
    {kChord, 8, true},
};

const FixedRecord* fixedRecord(quint16 function) {
    for (const FixedRecord& r : kFixedRecords)
        if (r.function == function)
            return &r;
    return nullptr;
}

bool isMapping(quint16 function) {
    switch (function) {
    case kSetMapMode:
    case kSetWindowOrg:
    case kSetWindowExt:
    case kSetViewportOrg:
    case kSetViewportExt:
    case kOffsetWindowOrg:
    case kOffsetViewportOrg:
    case kScaleWindowExt:
    case kScaleViewportExt:
    case kSaveDc:
    case kRestoreDc:
        return true;
    default:
        return false;
    }
}

struct Record {
    quint16 function = 0;
    std::vector<quint16> words; // parameters, bitmap data included
};

Record makeRecord(quint16 function, std::initializer_list<qint16> params) {
    Record r;
    r.function = function;
    for (qint16 p : params)
        r.words.push_back(quint16(p));
    return r;
}

// A brush that draws nothing: takes the object slot of a record that cannot be kept, so the
// object numbers of the records after it still match.
Record nullBrush() {
    return makeRecord(kCreateBrushIndirect, {1, 0, 0, 0});
}

struct Placeable {
    qint16 left = 0, top = 0, right = 0, bottom = 0;
    quint16 inch = 0;
};

QByteArray assemble(const Placeable& box, quint16 objects, const std::vector<Record>& records) {
    ByteWriter w;
    quint16 checksum = 0;
    const quint16 head[10] = {0xCDD7,
                              0x9AC6,
                              0,
                              quint16(box.left),
                              quint16(box.top),
                              quint16(box.right),
                              quint16(box.bottom),
                              box.inch,
                              0,
                              0};
    for (quint16 v : head) {
        w.u16(v);
        checksum ^= v;
    }
    w.u16(checksum);
    quint32 total = kHeaderBytes / 2 + 3; // header and EOF
    quint32 largest = 3;
    for (const Record& r : records) {
        const quint32 size = quint32(3 + r.words.size());
        total += size;
        largest = std::max(largest, size);
    }
    w.u16(1);      // in memory
    w.u16(9);      // header words
    w.u16(0x0300); // version
    w.u32(total);
    w.u16(objects);
    w.u32(largest);
    w.u16(0);
    for (const Record& r : records) {
        w.u32(quint32(3 + r.words.size()));
        w.u16(r.function);
        for (quint16 v : r.words)
            w.u16(v);
    }
    w.u32(3);
    w.u16(kEof);
    return w.bytes;
}

// Walks the records of a placeable metafile and keeps a checked copy of each one it can.
class Walker {
public:
    explicit Walker(const QByteArray& bytes) : in_(bytes) {}

    bool run();

    Placeable box;
    quint16 objects = 0;
    std::vector<Record> records;
    std::vector<Record> mappingBeforeDrawing; // to find where the frame lands on the device

private:
    quint16 word(int i) const { return u16At(params_ + 2 * i); }
    qint16 sword(int i) const { return s16At(params_ + 2 * i); }
    void keep(quint16 function, int firstWord, int count, bool draws);
    void keep(Record r, bool draws);
    bool handle(quint16 function);
    void keepDibBlit(quint16 function, int dibWord, int srcX, int srcY, int srcW, int srcH);
    void keepText(bool extended);
    void keepFont();
    int takeSlot(); // the lowest free object slot, as the player assigns them; -1 when full

    const QByteArray& in_;
    const char* params_ = nullptr;
    int count_ = 0; // parameter words of the current record
    std::vector<bool> used_;
    std::set<int> free_;
    int savedDcs_ = 0;
    bool drawn_ = false;
};

void Walker::keep(Record r, bool draws) {
    if (!draws && !drawn_ && isMapping(r.function))
        mappingBeforeDrawing.push_back(r);
    drawn_ = drawn_ || draws;
    records.push_back(std::move(r));
}

void Walker::keep(quint16 function, int firstWord, int count, bool draws) {
    Record r;
    r.function = function;
    r.words.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        r.words.push_back(word(firstWord + i));
    keep(std::move(r), draws);
}

int Walker::takeSlot() {
    if (free_.empty())
        return -1;
    const int slot = *free_.begin();
    free_.erase(free_.begin());
    used_[size_t(slot)] = true;
    return slot;
}

bool Walker::run() {
    const char* data = in_.constData();
    const qsizetype size = in_.size();
    if (size < kPlaceableBytes + kHeaderBytes || !isPlaceableWmf(in_))
        return false;
    box.left = s16At(data + 6);
    box.top = s16At(data + 8);
    box.right = s16At(data + 10);
    box.bottom = s16At(data + 12);
    box.inch = u16At(data + 14);
    if (box.right <= box.left || box.bottom <= box.top || box.inch == 0)
        return false;

    const char* header = data + kPlaceableBytes;
    const quint16 type = u16At(header);
    if ((type != 1 && type != 2) || u16At(header + 2) != 9)
        return false;
    objects = u16At(header + 10);
    used_.assign(objects, false);
    for (int i = 0; i < objects; ++i)
        free_.insert(free_.end(), i);

    qsizetype pos = kPlaceableBytes + kHeaderBytes;
    qint64 seen = 0;
    while (pos < size) {
        if (size - pos < 6 || ++seen > kMaxRecords)
            return false;
        const quint32 words = u32At(data + pos);
        const quint16 function = u16At(data + pos + 4);
        if (words < 3 || qint64(words) * 2 > size - pos)
            return false;
        if (function == kEof)
            return true;
        params_ = data + pos + 6;
        count_ = int(words - 3);
        if (!handle(function))
            return false;
        pos += qsizetype(words) * 2;
    }
    return true; // the end of the data ends the picture as an EOF record would
}

// Keeps, rewrites or drops one record. Returns false only when the file as a whole is broken.
bool Walker::handle(quint16 function) {
    if (const FixedRecord* fixed = fixedRecord(function)) {
        if (count_ >= fixed->params)
            keep(function, 0, fixed->params, fixed->draws);
        if (function == kSaveDc)
            ++savedDcs_;
        return true;
    }
    switch (function) {
    case kSetMapMode:
        if (count_ >= 1 && word(0) >= 1 && word(0) <= 8)
            keep(function, 0, 1, false);
        return true;
    case kSetWindowExt:
    case kSetViewportExt:
        // A zero extent would make the mapping divide by zero.
        if (count_ >= 2 && sword(0) != 0 && sword(1) != 0)
            keep(function, 0, 2, false);
        return true;
    case kScaleWindowExt:
    case kScaleViewportExt:
        if (count_ >= 4 && sword(0) != 0 && sword(1) != 0 && sword(2) != 0 && sword(3) != 0)
            keep(function, 0, 4, false);
        return true;
    case kRestoreDc: {
        // Only relative restores of saved states; the player's state stack never underflows.
        const int back = count_ >= 1 ? -sword(0) : 0;
        for (int i = 0; i < back && savedDcs_ > 0; ++i, --savedDcs_)
            keep(makeRecord(kRestoreDc, {-1}), false);
        return true;
    }
    case kCreatePenIndirect:
    case kCreateBrushIndirect:
    case kCreateFontIndirect:
    case kCreatePalette:
    case kCreatePatternBrush:
    case kDibCreatePatternBrush:
    case kCreateRegion: {
        if (takeSlot() < 0)
            return true; // the table is full: the object is never made
        if (function == kCreatePenIndirect && count_ >= 5) {
            keep(function, 0, 5, false);
        } else if (function == kCreateBrushIndirect && count_ >= 4) {
            // Pattern styles need a bitmap this record cannot carry: draw those solid.
            Record r = makeRecord(function, {qint16(word(0) <= 2 ? word(0) : 0), sword(1), sword(2),
                                             qint16(word(3) <= 5 ? word(3) : 0)});
            keep(std::move(r), false);
        } else if (function == kCreateFontIndirect && count_ >= 9) {
            keepFont();
        } else {
            keep(nullBrush(), false);
        }
        return true;
    }
    case kSelectObject:
    case kDeleteObject: {
        if (count_ < 1 || word(0) >= used_.size() || !used_[word(0)])
            return true;
        if (function == kDeleteObject) {
            used_[word(0)] = false;
            free_.insert(word(0));
        }
        keep(function, 0, 1, false);
        return true;
    }
    case kPolygon:
    case kPolyline: {
        const int points = count_ >= 1 ? sword(0) : 0;
        if (points >= 2 && 1 + 2 * points <= count_)
            keep(function, 0, 1 + 2 * points, true);
        return true;
    }
    case kPolyPolygon: {
        const int polygons = count_ >= 1 ? sword(0) : 0;
        if (polygons < 1 || 1 + polygons > count_)
            return true;
        qint64 points = 0;
        for (int i = 0; i < polygons; ++i) {
            if (sword(1 + i) < 2)
                return true;
            points += sword(1 + i);
        }
        if (1 + polygons + 2 * points <= count_)
            keep(function, 0, int(1 + polygons + 2 * points), true);
        return true;
    }
    case kTextOut:
        keepText(false);
        return true;
    case kExtTextOut:
        keepText(true);
        return true;
    case kDibBitBlt:
        keepDibBlit(function, 8, 3, 2, 5, 4);
        return true;
    case kDibStretchBlt:
        keepDibBlit(function, 10, 5, 4, 3, 2);
        return true;
    case kStretchDib:
        if (count_ >= 3 && word(2) == 0) // colours given as RGB, not as palette indexes
            keepDibBlit(function, 11, 6, 5, 4, 3);
        return true;
    default:
        // Palettes, regions, escapes, flood fills and device-dependent bitmaps: the SVG
        // device cannot draw them, so they are skipped as a player skips what it does not know.
        return true;
    }
}

// A bitmap drawn by a blit record is kept only when the bitmap and the source rectangle are
// whole; the parameter words before dibWord name the source rectangle (srcX ... srcH).
void Walker::keepDibBlit(quint16 function, int dibWord, int srcX, int srcY, int srcW, int srcH) {
    if (count_ <= dibWord)
        return; // the form without a bitmap only fills with the brush
    const char* dib = params_ + 2 * dibWord;
    const qint64 available = qint64(count_ - dibWord) * 2;
    const auto layout = dibLayout(dib, available, false);
    if (!layout || layout->infoBytes + layout->bitsBytes > available)
        return;
    const int x = sword(srcX), y = sword(srcY), w = sword(srcW), h = sword(srcH);
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > layout->width || y + h > layout->height)
        return;
    // Stretching records give the destination size right after the source rectangle.
    if (function != kDibBitBlt && (sword(srcH + 4) == 0 || sword(srcH + 5) == 0))
        return;
    const qint64 dibWords = (layout->infoBytes + layout->bitsBytes + 1) / 2;
    keep(function, 0, int(dibWord + dibWords), true);
}

void Walker::keepFont() {
    // Nine words of sizes and flags, then a face name that must end within 32 bytes; only
    // plain letters reach the SVG's font-family.
    Record r;
    r.function = kCreateFontIndirect;
    for (int i = 0; i < 9; ++i)
        r.words.push_back(word(i));
    QByteArray face(32, '\0');
    const int available = std::min(31, (count_ - 9) * 2);
    for (int i = 0, o = 0; i < available; ++i) {
        const char c = params_[18 + i];
        if (c == '\0')
            break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == ' ' || c == '-')
            face[o++] = c;
    }
    for (int i = 0; i < 16; ++i)
        r.words.push_back(u16At(face.constData() + 2 * i));
    keep(std::move(r), false);
}

void Walker::keepText(bool extended) {
    // TEXTOUT: count, string, y, x. EXTTEXTOUT: y, x, count, options, [rectangle], string,
    // [one advance per character].
    int length = 0;
    int stringWord = 0;
    int tailWords = 0;
    if (!extended) {
        if (count_ < 1)
            return;
        length = sword(0);
        stringWord = 1;
        tailWords = 2;
    } else {
        if (count_ < 4)
            return;
        length = sword(2);
        stringWord = (word(3) & 0x0006) ? 8 : 4;
    }
    const int stringWords = (length + 1) / 2;
    if (length < 0 || stringWord + stringWords + tailWords > count_)
        return;
    Record r;
    r.function = extended ? kExtTextOut : kTextOut;
    for (int i = 0; i < stringWord; ++i)
        r.words.push_back(word(i));
    // Control characters would break the SVG text; the rest is escaped after playing.
    for (int i = 0; i < stringWords; ++i) {
        char pair[2];
        for (int k = 0; k < 2; ++k) {
            const int at = 2 * i + k;
            const quint8 c = quint8(params_[2 * stringWord + at]);
            pair[k] = at >= length ? '\0' : (c < 0x20 || c == 0x7F) ? ' ' : char(c);
        }
        r.words.push_back(u16At(pair));
    }
    if (!extended) {
        r.words.push_back(word(stringWord + stringWords));
        r.words.push_back(word(stringWord + stringWords + 1));
    } else if (stringWord + stringWords + length <= count_) {
        for (int i = 0; i < length; ++i)
            r.words.push_back(word(stringWord + stringWords + i));
    }
    keep(std::move(r), true);
}

class Api {
public:
    Api() {
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            if (api_)
                wmf_api_destroy(api_);
            api_ = nullptr;
        }
    }
    ~Api() {
        if (api_)
            wmf_api_destroy(api_);
    }
    Api(const Api&) = delete;
    Api& operator=(const Api&) = delete;

    // Opens the metafile (kept alive by the caller) and scans it for its device bounds.
    std::optional<wmfD_Rect> scan(QByteArray& file) {
        if (!api_ || wmf_mem_open(api_, reinterpret_cast<unsigned char*>(file.data()),
                                  long(file.size())) != wmf_E_None)
            return std::nullopt;
        wmfD_Rect bounds{};
        if (wmf_scan(api_, 0, &bounds) != wmf_E_None)
            return std::nullopt;
        return bounds;
    }

    std::optional<QByteArray> play(wmfD_Rect frame, QSize size) {
        wmf_svg_t* device = WMF_SVG_GetData(api_);
        device->bbox = frame;
        device->width = unsigned(size.width());
        device->height = unsigned(size.height());
        device->flags |= WMF_SVG_INLINE_IMAGES;
        device->out = wmf_stream_create(api_, nullptr);
        if (!device->out)
            return std::nullopt;
        wmfD_Rect bounds = frame;
        const wmf_error_t played = wmf_play(api_, 0, &bounds);
        char* text = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api_, device->out, &text, &length);
        device->out = nullptr;
        QByteArray svg = text ? QByteArray(text, qsizetype(length)) : QByteArray();
        if (text)
            wmf_free(api_, text);
        if (played != wmf_E_None || svg.isEmpty())
            return std::nullopt;
        return svg;
    }

private:
    wmfAPI* api_ = nullptr;
};

// Where the placeable frame lands in libwmf's device space: a copy of the file's opening
// mapping records followed by one rectangle on the frame, scanned alone.
std::optional<wmfD_Rect> frameOnDevice(const Walker& walker) {
    std::vector<Record> probe = walker.mappingBeforeDrawing;
    probe.push_back(makeRecord(kCreatePenIndirect, {5, 0, 0, 0, 0})); // a pen that draws nothing
    probe.push_back(makeRecord(kSelectObject, {0}));
    const Placeable& b = walker.box;
    probe.push_back(makeRecord(kRectangle, {b.bottom, b.right, b.top, b.left}));
    QByteArray file = assemble(b, 1, probe);
    Api api;
    const auto bounds = api.scan(file);
    if (!bounds || !(bounds->BR.x > bounds->TL.x) || !(bounds->BR.y > bounds->TL.y) ||
        !std::isfinite(bounds->BR.x - bounds->TL.x) || !std::isfinite(bounds->BR.y - bounds->TL.y))
        return std::nullopt;
    return bounds;
}

} // namespace

std::optional<Vector> decodeWmf(const QByteArray& bytes) {
    Walker walker(bytes);
    if (!walker.run())
        return std::nullopt;
    const Placeable& b = walker.box;
    const double inches = double(b.inch);
    const QSize size(std::max(1, int(std::lround((b.right - b.left) * 96.0 / inches))),
                     std::max(1, int(std::lround((b.bottom - b.top) * 96.0 / inches))));
    if (size.width() > kMaxNaturalSide || size.height() > kMaxNaturalSide)
        return std::nullopt;
    const auto frame = frameOnDevice(walker);
    if (!frame)
        return std::nullopt;
    QByteArray file = assemble(b, walker.objects, walker.records);
    Api api;
    if (!api.scan(file))
        return std::nullopt;
    const auto svg = api.play(*frame, size);
    if (!svg)
        return std::nullopt;
    return Vector{placeImages(widenHairlines(escapeText(*svg))),
                  QRectF(0, 0, size.width(), size.height()), size};
}

} // namespace palvane::metafile
