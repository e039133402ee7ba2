#include "pictures/metafile_wmf_svg.h"

#include <QString>

namespace palvane::metafile {
namespace {

// The characters of the Windows Latin-1 code page that differ from ISO Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

} // namespace

// libwmf writes the metafile's text bytes as they are; turn them into escaped UTF-8.
QByteArray escapeText(const QByteArray& svg) {
    QByteArray out;
    out.reserve(svg.size());
    qsizetype pos = 0;
    while (true) {
        const qsizetype element = svg.indexOf("<text ", pos);
        const qsizetype open = element < 0 ? -1 : svg.indexOf("\n\t>", element);
        const qsizetype close = open < 0 ? -1 : svg.indexOf("</text>\n", open + 3);
        if (close < 0) {
            out.append(svg.mid(pos));
            return out;
        }
        out.append(svg.mid(pos, open + 3 - pos));
        QString text;
        for (qsizetype i = open + 3; i < close; ++i) {
            const quint8 c = quint8(svg[i]);
            text.append(c >= 0x80 && c < 0xA0 ? QChar(kCp1252High[c - 0x80]) : QChar(c));
        }
        out.append(text.toHtmlEscaped().toUtf8());
        pos = close;
    }
}

// libwmf places an image twice over: by its x, y, width and height and again by a transform
// that scales it by the same factors. Keep the rectangle, drop the transform, and let the image
// fill its rectangle as a stretching blit does.
QByteArray placeImages(QByteArray svg) {
    static const QByteArray transform("\n\ttransform=\"matrix(");
    qsizetype pos = 0;
    while ((pos = svg.indexOf("<image ", pos)) >= 0) {
        const qsizetype end = svg.indexOf('>', pos);
        const qsizetype at = svg.indexOf(transform, pos);
        if (end < 0)
            break;
        if (at >= 0 && at < end) {
            const qsizetype close = svg.indexOf('"', at + transform.size());
            if (close < 0 || close > end)
                break;
            svg.replace(at, close + 1 - at, " preserveAspectRatio=\"none\"");
        }
        pos += 7;
    }
    return svg;
}

QByteArray widenHairlines(QByteArray svg) {
    static const QByteArray attribute("style=\"");
    static const QByteArray width("stroke-width:");
    qsizetype pos = 0;
    while ((pos = svg.indexOf(attribute, pos)) >= 0) {
        pos += attribute.size();
        qsizetype end = svg.indexOf('"', pos);
        if (end < 0)
            break;
        const qsizetype at = svg.indexOf(width, pos);
        if (at >= 0 && at < end) {
            const qsizetype from = at + width.size();
            qsizetype to = from;
            while (to < end && svg[to] != ';')
                ++to;
            bool ok = false;
            const double value = svg.mid(from, to - from).trimmed().toDouble(&ok);
            if (ok && value < 1.0) {
                svg.replace(from, to - from, "1");
                end -= (to - from) - 1;
            }
        }
        pos = end + 1;
    }
    return svg;
}

} // namespace palvane::metafile
