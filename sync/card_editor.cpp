#include "sync/card_editor.h"

#include "sync/dav_client.h"

#include <algorithm>

namespace palvane::sync {

namespace {

constexpr qsizetype kFoldOctets = 75;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray withoutBreak(const QByteArray& line) {
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r'))
        --end;
    return line.left(end);
}

// The logical line as physical lines of at most 75 bytes ended by CR LF, never splitting a
// UTF-8 character.
QByteArray folded(const QByteArray& logical) {
    QByteArray out;
    qsizetype i = 0;
    qsizetype limit = kFoldOctets;
    do {
        qsizetype end = std::min(i + limit, logical.size());
        while (end < logical.size() && end > i + 1 && (quint8(logical[end]) & 0xC0) == 0x80)
            --end;
        if (i > 0)
            out += ' ';
        out.append(logical.constData() + i, end - i);
        out += "\r\n";
        i = end;
        limit = kFoldOctets - 1;
    } while (i < logical.size());
    return out;
}

int rank(const tool::VCardProperty& property) {
    int best = 101;
    for (const QString& value : property.param("PREF")) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (ok && n >= 1 && n <= 100)
            best = std::min(best, n);
    }
    if (property.hasParam("TYPE", "pref"))
        best = std::min(best, 1);
    return best;
}

} // namespace

QByteArray escapeText(const QString& text) {
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

CardEditor::Line CardEditor::parse(const QByteArray& raw) {
    Line line;
    line.raw = raw;
    // Unfold: a line break followed by a blank goes; a quoted-printable soft break too.
    QByteArray text;
    const QList<QByteArray> physical = raw.split('\n');
    for (QByteArray part : physical) {
        if (part.endsWith('\r'))
            part.chop(1);
        if (part.isEmpty())
            continue;
        if (!text.isEmpty() && isBlank(part[0]))
            part.remove(0, 1);
        if (text.endsWith('=') && text.contains("QUOTED-PRINTABLE"))
            text.chop(1);
        text += part;
    }
    bool inQuotes = false;
    qsizetype colon = -1;
    qsizetype semicolon = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            inQuotes = !inQuotes;
        else if (!inQuotes && c == ':') {
            colon = i;
            break;
        } else if (!inQuotes && c == ';' && semicolon < 0)
            semicolon = i;
    }
    if (colon < 0)
        throw SyncError(SyncError::Kind::Server,
                        QStringLiteral("the server's card has a line without ':'"));
    const qsizetype nameEnd = semicolon >= 0 ? semicolon : colon;
    QByteArray name = text.left(nameEnd).trimmed();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        line.group = name.left(dot + 1);
        name = name.mid(dot + 1);
    }
    line.parsed.name = name.toUpper();
    line.parsed.params = semicolon >= 0 ? text.mid(semicolon + 1, colon - semicolon - 1) : "";
    line.parsed.value = text.mid(colon + 1);
    return line;
}

CardEditor::CardEditor(const QByteArray& card) {
    qsizetype at = 0;
    while (at < card.size()) {
        qsizetype end = card.indexOf('\n', at);
        end = end < 0 ? card.size() : end + 1;
        const QByteArray physical = card.mid(at, end - at);
        at = end;
        const QByteArray bare = withoutBreak(physical);
        const bool continues = !lines_.empty() && !bare.isEmpty() && isBlank(bare[0]);
        const bool softBreak = !lines_.empty() && withoutBreak(lines_.back().raw).endsWith('=') &&
                               lines_.back().parsed.hasParam("ENCODING", "QUOTED-PRINTABLE");
        if (bare.trimmed().isEmpty() && !lines_.empty()) {
            lines_.back().raw += physical; // blank lines stay where they were
            continue;
        }
        if (bare.trimmed().isEmpty())
            continue;
        if (continues || softBreak) {
            const QByteArray raw = lines_.back().raw + physical;
            lines_.back() = parse(raw);
        } else {
            lines_.push_back(parse(physical));
        }
    }
    if (lines_.size() < 2 || lines_.front().parsed.name != "BEGIN" ||
        lines_.back().parsed.name != "END" ||
        lines_.front().parsed.value.trimmed().toUpper() != "VCARD")
        throw SyncError(SyncError::Kind::Server,
                        QStringLiteral("the server's card is not one vCard"));
    for (const Line& line : lines_)
        if (line.parsed.name == "VERSION")
            version_ = line.parsed.value.trimmed() == "4.0"   ? 40
                       : line.parsed.value.trimmed() == "2.1" ? 21
                                                              : 30;
    // The last line may lack its line break; what is added after it needs one.
    if (!lines_.back().raw.endsWith('\n'))
        lines_.back().raw += "\r\n";
}

CardEditor CardEditor::blank(const QString& uid) {
    return CardEditor(QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:") + escapeText(uid) +
                      "\r\nEND:VCARD\r\n");
}

QByteArray CardEditor::text() const {
    QByteArray out;
    for (const Line& line : lines_)
        out += line.raw;
    return out;
}

int CardEditor::preferred(const char* name) const {
    int best = -1;
    int bestRank = 0;
    for (int i = 0; i < count(); ++i) {
        if (lines_[size_t(i)].parsed.name != name)
            continue;
        const int r = rank(lines_[size_t(i)].parsed);
        if (best < 0 || r < bestRank) {
            best = i;
            bestRank = r;
        }
    }
    return best;
}

QByteArray CardEditor::value(int index) const {
    return index < 0 ? QByteArray() : lines_[size_t(index)].parsed.value;
}

void CardEditor::rebuild(Line& line, const QByteArray& params, const QByteArray& value) {
    QByteArray logical = line.group + line.parsed.name;
    if (!params.isEmpty())
        logical += ';' + params;
    logical += ':' + value;
    line = parse(folded(logical));
}

void CardEditor::setValue(int index, const QByteArray& value) {
    Line& line = lines_[size_t(index)];
    QList<QByteArray> kept;
    for (const QString& part : tool::splitUnshielded(QString::fromUtf8(line.parsed.params),
                                                     QLatin1Char(';'), tool::Shield::Quotes)) {
        const QString key = part.section(QLatin1Char('='), 0, 0).trimmed().toUpper();
        if (part.isEmpty() || key == QLatin1String("ENCODING") || key == QLatin1String("CHARSET") ||
            key == QLatin1String("QUOTED-PRINTABLE") || key == QLatin1String("BASE64") ||
            key == QLatin1String("8BIT"))
            continue;
        kept << part.toUtf8();
    }
    rebuild(line, kept.join(';'), value);
}

void CardEditor::setValue(int index, const QByteArray& params, const QByteArray& value) {
    rebuild(lines_[size_t(index)], params, value);
}

void CardEditor::remove(int index) {
    lines_.erase(lines_.begin() + index);
}

int CardEditor::append(const QByteArray& name, const QByteArray& params, const QByteArray& value) {
    Line line;
    line.parsed.name = name;
    rebuild(line, params, value);
    lines_.insert(lines_.end() - 1, line);
    return count() - 2;
}

QByteArray CardEditor::withOnlyPreferred(const char* name) const {
    const int keep = preferred(name);
    QByteArray out;
    for (int i = 0; i < count(); ++i)
        if (i == keep || lines_[size_t(i)].parsed.name != name)
            out += lines_[size_t(i)].raw;
    return out;
}

} // namespace palvane::sync
