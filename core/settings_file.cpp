#include "core/settings_file.h"

#include "core/error.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <dirent.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace palvane {

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

// Fails (returns false, errno set) rather than ever writing part of the text.
bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// A write killed between creating its temporary file and renaming it leaves that file behind.
// Such leftovers are removed by the next write: ours only, regular files only, and only when
// older than any write still under way in another copy of the program could be.
void removeStaleTemporaries(const QByteArray& dir, const QByteArray& fileName) {
    constexpr time_t kStaleAfterSeconds = 10 * 60;
    const QByteArray prefix = "." + fileName + ".";
    DIR* listing = ::opendir(dir.constData());
    if (!listing)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArrayView name(entry->d_name);
        if (!name.startsWith(prefix) || !name.endsWith(".tmp") || name.size() <= prefix.size() + 4)
            continue;
        const QByteArrayView random = name.sliced(prefix.size(), name.size() - prefix.size() - 4);
        if (!std::all_of(random.begin(), random.end(),
                         [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); }))
            continue;
        const QByteArray path = dir + "/" + name.toByteArray();
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || now - info.st_mtime < kStaleAfterSeconds)
            continue;
        ::unlink(path.constData());
    }
    ::closedir(listing);
}

// Writes all of data at offset; fails (false, errno set) rather than stopping part-way.
bool writeAllAt(int fd, const QByteArray& data, qsizetype offset) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, std::size_t(left), off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        offset += n;
        left -= n;
    }
    return true;
}

std::optional<QByteArray> readAllFrom(int fd) {
    QByteArray content;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return content;
        content.append(buffer, n);
        offset += n;
    }
}

enum class Replaced { Yes, NoTemporaryFile, No };

// Replaces the file at path with data: a temporary file in the same directory is written,
// flushed to disk and renamed over the old one, so readers see the old file or the new one,
// never a mixture. An existing file keeps its permission bits; a new one gets 0666 less the
// umask, as any file the user creates. NoTemporaryFile: the folder takes no new file.
Replaced replaceFile(const QString& path, const QByteArray& data) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat old {};
    const bool existed = ::stat(target.constData(), &old) == 0;

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = dir + "/." + QFile::encodeName(QFileInfo(path).fileName()) + "." +
               QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
            return Replaced::NoTemporaryFile;
        if (fd < 0 && errno != EEXIST)
            return Replaced::No;
    }
    if (fd < 0)
        return Replaced::No;

    bool ok = writeAll(fd, data);
    if (ok && existed) {
        // Keep the owner where allowed (an administrator editing someone's file) and the
        // permission bits always. A refused chown only leaves the new file ours.
        const bool sameOwner = old.st_uid == ::geteuid() && old.st_gid == ::getegid();
        if (!sameOwner && ::fchown(fd, old.st_uid, old.st_gid) != 0)
            errno = 0;
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ok = ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return Replaced::No;
    }
    // Make the rename itself durable; a file system that cannot sync a directory still has
    // the complete new file in place, so a failure here is not a failed write.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    removeStaleTemporaries(dir, QFile::encodeName(QFileInfo(path).fileName()));
    return Replaced::Yes;
}

// Updates the existing file itself, where its folder takes no temporary file. Done with care,
// since a crash part-way cannot fall back on an old copy: the update is made from what the
// file holds at that moment, room for a longer text is reserved before a byte changes (a full
// disk fails with the file as it was), only the bytes from the first difference on are
// written, and the result is flushed to disk.
bool rewriteInPlace(const QString& path,
                    const std::function<QByteArray(const QByteArray&)>& update) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    std::optional<QByteArray> before;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        before = readAllFrom(fd);
    bool ok = before.has_value();
    QByteArray after;
    if (ok)
        after = update(*before);
    if (ok && after.size() > before->size()) {
        ok = ::posix_fallocate(fd, 0, off_t(after.size())) == 0;
        if (!ok && ::ftruncate(fd, off_t(before->size())) != 0)
            errno = 0; // the size stays as it was wherever the reservation got
    }
    if (ok) {
        const qsizetype common =
            std::mismatch(before->begin(), before->end(), after.begin(), after.end()).first -
            before->begin();
        ok = writeAllAt(fd, after.mid(common), common);
    }
    if (ok && after.size() < before->size())
        ok = ::ftruncate(fd, off_t(after.size())) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

} // namespace

namespace ini {

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

} // namespace ini

SettingsFile::SettingsFile(const QString& fileName) : fileName_(fileName) {}

QString SettingsFile::directory() {
    // Looked up at every call: the environment may change while the program runs (tests do).
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
}

QString SettingsFile::filePath() const {
    const QString dir = directory();
    return dir.endsWith(u'/') ? dir + fileName_ : dir + u'/' + fileName_;
}

int SettingsFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    QFile file(filePath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return defaultValue;
    const QByteArray text =
        ini::readValue(content, section.toUtf8(), key.toUtf8()).value_or(QByteArray());
    return ini::convertInteger(text).value_or(defaultValue);
}

void SettingsFile::WriteInteger(const QString& section, const QString& key, int value) const {
    const Error failure(QStringLiteral("Unable to write to ") + fileName_);
    const QString dir = directory();
    if (!QDir().mkpath(dir))
        throw failure;

    // A link (a settings file kept elsewhere) stays a link: the file it points at is replaced.
    QString path = filePath();
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        path = canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }

    // A file that exists but cannot be read is never overwritten: its other contents would
    // be lost. A read-only file is refused, even to an administrator, as the service refuses
    // it: the rename could replace it, but its owner meant it to stay as it is.
    QByteArray content;
    const QByteArray native = QFile::encodeName(path);
    const bool exists = QFileInfo::exists(path);
    if (exists) {
        struct stat status {};
        if (::stat(native.constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            (status.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0)
            throw failure;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw failure;
        content = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw failure;
    }

    const auto update = [&](const QByteArray& before) {
        return ini::writeValue(before, section.toUtf8(), key.toUtf8(), QByteArray::number(value));
    };
    QByteArray updated;
    try {
        updated = update(content);
    } catch (const std::invalid_argument&) {
        throw failure;
    }
    switch (replaceFile(path, updated)) {
    case Replaced::Yes:
        return;
    case Replaced::NoTemporaryFile:
        // A writable file in a folder that takes no new file: written where it is.
        if (exists && rewriteInPlace(path, update))
            return;
        break;
    case Replaced::No:
        break;
    }
    throw failure;
}

} // namespace palvane
