// Writing vCards, on the UTF-8 bytes of the values: the escapes, the folding at 75 bytes and
// the percent-encoding only ever touch ASCII bytes, so no value needs to be copied as text.

#include "tools/contacts_vcard.h"

#include "tools/vcard_values.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>

namespace palvane::tool {

namespace {

constexpr qsizetype kFoldOctets = 75;

// Appends a text value with \\ \, \; escaped and every line break (CR LF, CR, LF) as \n.
void appendEscaped(QByteArray& out, QByteArrayView value) {
    const char* data = value.data();
    const qsizetype size = value.size();
    qsizetype plain = 0; // start of the bytes not yet appended
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\\' && c != ',' && c != ';' && c != '\n' && c != '\r')
            continue;
        out.append(data + plain, i - plain);
        if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
                ++i;
        } else {
            out += '\\';
            out += c;
        }
        plain = i + 1;
    }
    out.append(data + plain, size - plain);
}

// Appends bytes with everything but letters, digits and "-._~" (and the bytes in keep)
// percent-encoded.
void appendPercentEncoded(QByteArray& out, QByteArrayView value, const char* keep = "") {
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           (c != '\0' && std::strchr(keep, c));
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[quint8(c) >> 4];
            out += hex[quint8(c) & 15];
        }
    }
}

} // namespace

VCardWriter::VCardWriter(VCardVersion version, int localUtcOffsetSeconds, WarningSink warn)
    : v4_(version == VCardVersion::V4),
      localMinutes_(static_cast<int>(std::lround(localUtcOffsetSeconds / 60.0))),
      warn_(std::move(warn)) {}

// The logical line in scratch_ as CR LF-ended physical lines of at most 75 bytes, never
// splitting a character.
void VCardWriter::endLine(QByteArray& out) {
    const QByteArray& bytes = scratch_;
    if (bytes.size() <= kFoldOctets) {
        out += bytes;
        out += "\r\n";
        return;
    }
    qsizetype limit = kFoldOctets;
    qsizetype i = 0;
    do {
        qsizetype end = std::min(i + limit, bytes.size());
        while (end < bytes.size() && end > i + 1 && (quint8(bytes[end]) & 0xC0) == 0x80)
            --end;
        out.append(bytes.constData() + i, end - i);
        out += "\r\n";
        i = end;
        if (i < bytes.size()) {
            out += ' ';
            limit = kFoldOctets - 1;
        }
    } while (i < bytes.size());
}

void VCardWriter::append(const ContactRow& row, QByteArray& out) {
    QByteArray& line = scratch_;
    // resize(0) keeps the buffer; assigning a shorter text would give it back.
    const auto start = [&line](const char* name) {
        line.resize(0);
        line.append(name);
    };
    const QByteArray nick = row.nick.toUtf8();
    const QByteArray name = row.name.toUtf8();
    out += "BEGIN:VCARD\r\n";
    out += v4_ ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n";
    // FN is required: a contact without a real name gives its nick, beside an empty N.
    start("FN:");
    appendEscaped(line, name.isEmpty() ? nick : name);
    endLine(out);
    // "Given Family": the last word is the family name.
    const QByteArrayView trimmed = QByteArrayView(name).trimmed();
    qsizetype space = trimmed.size() - 1;
    while (space >= 0 && trimmed[space] != ' ')
        --space;
    start("N:");
    if (space >= 0)
        appendEscaped(line, trimmed.sliced(space + 1));
    line += ';';
    appendEscaped(line, space < 0 ? trimmed : trimmed.first(space).trimmed());
    line += ";;;";
    endLine(out);
    start("NICKNAME:");
    appendEscaped(line, nick);
    endLine(out);
    if (!nick.isEmpty()) {
        // The nick on the user's own server (irc:///): the table keeps no server.
        start("IMPP:irc:///");
        appendPercentEncoded(line, nick);
        line += ",isnick";
        endLine(out);
    }
    if (!row.email.isEmpty()) {
        start("EMAIL:");
        appendEscaped(line, row.email.toUtf8());
        endLine(out);
    }
    if (!row.location.isEmpty()) {
        // "Locality, Country" into ADR's locality and country; without a comma and a blank
        // between two non-empty parts it is all locality.
        const QByteArray location = row.location.toUtf8();
        const qsizetype comma = location.lastIndexOf(", ");
        const bool split = comma > 0 && comma + 2 < location.size();
        start("ADR:;;;");
        appendEscaped(line, split ? QByteArrayView(location).first(comma) : location);
        line += ";;;";
        if (split)
            appendEscaped(line, QByteArrayView(location).sliced(comma + 2));
        endLine(out);
    }
    if (!row.notes.isEmpty()) {
        start("NOTE:");
        appendEscaped(line, row.notes.toUtf8());
        endLine(out);
    }
    if (!row.picture.isEmpty()) {
        QString path = row.picture;
        if (QFileInfo(path).isRelative()) {
            path = QFileInfo(path).absoluteFilePath();
            if (warn_)
                warn_(QStringLiteral("%1: the picture path '%2' is relative; written as %3")
                          .arg(describeContact(row), shown(row.picture), path));
        }
        start(v4_ ? "PHOTO:file://" : "PHOTO;VALUE=uri:file://");
        appendPercentEncoded(line, path.toUtf8(), "/");
        endLine(out);
    }
    // A blank "IRC Spin" beside a day offset: the offset in whole hours stands in.
    const std::optional<int> hours =
        row.spin ? row.spin
        : row.timeDisplacement && std::isfinite(*row.timeDisplacement) &&
                std::fabs(*row.timeDisplacement) <= 1.0
            ? std::optional<int>(static_cast<int>(std::round(*row.timeDisplacement * 24)))
            : std::nullopt;
    if (hours) {
        start(v4_ ? "TZ;VALUE=utc-offset:" : "TZ:");
        appendUtcOffset(line, *hours * 60 + localMinutes_,
                        v4_ ? OffsetForm::Basic : OffsetForm::Extended);
        endLine(out);
    }
    out += "END:VCARD\r\n";
}

QByteArray writeVCards(const std::vector<ContactRow>& contacts, VCardVersion version,
                       int localUtcOffsetSeconds, QStringList* warnings) {
    VCardWriter writer(version, localUtcOffsetSeconds, [warnings](const QString& warning) {
        if (warnings)
            *warnings << warning;
    });
    QByteArray out;
    for (const ContactRow& row : contacts)
        writer.append(row, out);
    return out;
}

} // namespace palvane::tool
