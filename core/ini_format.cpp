#include "core/ini_format.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace palvane::ini {

namespace {

constexpr qsizetype kMaxValueLength = 1023;
constexpr QByteArrayView kBom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// ASCII only, byte by byte: embedded NULs and non-ASCII bytes compare exactly.
bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// One line of the file: [begin, end) is its text, the terminator ("\r\n", "\n" or "\r") follows.
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype terminator = 0; // 0 only for a last line without a line ending
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QByteArrayView name;  // section or key name, trimmed
    QByteArrayView value; // key value, trimmed
};

ParsedLine parseLine(QByteArrayView text) {
    const QByteArrayView body = trimmed(text);
    if (body.isEmpty() || body.front() == ';')
        return {};
    if (body.front() == '[') {
        const qsizetype close = body.indexOf(']');
        if (close < 0)
            return {};
        return {LineKind::Section, trimmed(body.sliced(1, close - 1)), {}};
    }
    const qsizetype equals = body.indexOf('=');
    if (equals < 0)
        return {};
    return {LineKind::Key, trimmed(body.first(equals)), trimmed(body.sliced(equals + 1))};
}

// The content after any byte-order mark, split into lines.
class Document {
public:
    explicit Document(const QByteArray& content)
        : content_(content), start_(QByteArrayView(content).startsWith(kBom) ? kBom.size() : 0) {
        // Lines end in CR LF, LF or CR alone: files from every kind of editor read the same.
        const qsizetype size = content_.size();
        qsizetype pos = start_;
        while (pos < size) {
            qsizetype end = pos;
            while (end < size && content_[end] != '\n' && content_[end] != '\r')
                ++end;
            if (end == size) {
                lines_.push_back({pos, size, 0});
                break;
            }
            const bool crlf = content_[end] == '\r' && end + 1 < size && content_[end + 1] == '\n';
            lines_.push_back({pos, end, crlf ? 2 : 1});
            pos = end + (crlf ? 2 : 1);
        }
    }

    const std::vector<Line>& lines() const { return lines_; }
    QByteArrayView text(const Line& line) const {
        return QByteArrayView(content_).sliced(line.begin, line.end - line.begin);
    }
    ParsedLine parse(std::size_t index) const { return parseLine(text(lines_[index])); }

    // New lines take the file's own line ending, decided by its first line; a file without
    // one gets the service's CR LF.
    QByteArray lineEnding() const {
        for (const Line& line : lines_) {
            if (line.terminator > 0)
                return content_.mid(line.end, line.terminator);
        }
        return "\r\n";
    }

    // Index of the first line of the first section with this name, or -1. Only the first such
    // section counts, for reading and for writing alike, so a value read is the value written.
    std::ptrdiff_t findSection(QByteArrayView section) const {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const ParsedLine parsed = parse(i);
            if (parsed.kind == LineKind::Section && equalsIgnoringCase(parsed.name, section))
                return std::ptrdiff_t(i);
        }
        return -1;
    }

    // One past the last line of the section whose header is at headerIndex.
    std::size_t sectionEnd(std::size_t headerIndex) const {
        std::size_t i = headerIndex + 1;
        while (i < lines_.size() && parse(i).kind != LineKind::Section)
            ++i;
        return i;
    }

    std::ptrdiff_t findKey(std::size_t headerIndex, QByteArrayView key) const {
        const std::size_t end = sectionEnd(headerIndex);
        for (std::size_t i = headerIndex + 1; i < end; ++i) {
            const ParsedLine parsed = parse(i);
            if (parsed.kind == LineKind::Key && equalsIgnoringCase(parsed.name, key))
                return std::ptrdiff_t(i);
        }
        return -1;
    }

private:
    const QByteArray& content_;
    qsizetype start_;
    std::vector<Line> lines_;
};

// A value in matching double or single quotes is read without them.
QByteArrayView unquoted(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

bool hasLineBreak(QByteArrayView text) {
    return text.contains('\n') || text.contains('\r');
}

// A name that would not read back as itself (or would break the file's structure) is refused.
void checkArguments(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    if (section.isEmpty() || trimmed(section) != section || hasLineBreak(section) ||
        section.contains(']'))
        throw std::invalid_argument("invalid section name");
    if (key.isEmpty() || trimmed(key) != key || hasLineBreak(key) || key.contains('=') ||
        key.front() == ';' || key.front() == '[')
        throw std::invalid_argument("invalid key name");
    if (hasLineBreak(value))
        throw std::invalid_argument("invalid value");
}

} // namespace

std::optional<QByteArray> readValue(const QByteArray& content, const QByteArray& section,
                                    const QByteArray& key) {
    const Document doc(content);
    const std::ptrdiff_t header = doc.findSection(section);
    if (header < 0)
        return std::nullopt;
    const std::ptrdiff_t line = doc.findKey(std::size_t(header), key);
    if (line < 0)
        return std::nullopt;
    const QByteArrayView value = unquoted(doc.parse(std::size_t(line)).value);
    return value.first(std::min(value.size(), kMaxValueLength)).toByteArray();
}

QByteArray writeValue(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                      const QByteArray& value) {
    checkArguments(section, key, value);
    const Document doc(content);
    const QByteArray eol = doc.lineEnding();
    const QByteArray entry = key + '=' + value;
    const auto& lines = doc.lines();

    const std::ptrdiff_t header = doc.findSection(section);
    if (header < 0) {
        // A new section right after the file's last line.
        QByteArray result = content;
        if (!lines.empty() && lines.back().terminator == 0)
            result += eol;
        result += '[' + section + ']' + eol + entry + eol;
        return result;
    }

    const std::ptrdiff_t existing = doc.findKey(std::size_t(header), key);
    if (existing >= 0) {
        // The whole line becomes "key=value" with the key as the caller spells it; its
        // position and its line ending stay.
        const Line& line = lines[std::size_t(existing)];
        QByteArray result = content;
        result.replace(line.begin, line.end - line.begin, entry);
        return result;
    }

    // A new key after the section's last non-blank line, so blank lines that separate it from
    // the next section stay below it.
    std::size_t last = std::size_t(header);
    const std::size_t end = doc.sectionEnd(std::size_t(header));
    for (std::size_t i = last + 1; i < end; ++i) {
        if (!trimmed(doc.text(lines[i])).isEmpty())
            last = i;
    }
    const Line& after = lines[last];
    QByteArray result = content;
    if (after.terminator == 0)
        result.insert(after.end, eol + entry + eol);
    else
        result.insert(after.end + after.terminator, entry + eol);
    return result;
}

std::optional<int> convertInteger(const QByteArray& text) {
    QByteArrayView t(text);
    QByteArray hexText;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        hexText = '$' + text.mid(2);
        t = hexText;
    }
    qsizetype i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    if (i == t.size())
        return std::nullopt;

    if (t[i] == '$') {
        ++i;
        if (i == t.size())
            return std::nullopt;
        std::uint64_t value = 0;
        for (; i < t.size(); ++i) {
            const char c = t[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return std::nullopt;
            value = value * 16 + std::uint64_t(digit);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return int(std::int32_t(std::uint32_t(value))); // a bit pattern: $FFFFFFFF is -1
    }

    bool negative = false;
    if (t[i] == '-' || t[i] == '+') {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return int(negative ? -value : value);
}

} // namespace palvane::ini
