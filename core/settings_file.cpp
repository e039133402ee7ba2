#include "core/settings_file.h"

#include "core/error.h"
#include "core/file_replacement.h"
#include "core/ini_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace palvane {

namespace {

// Writes all of data at offset; fails (false, errno set) rather than stopping part-way.
bool writeAllAt(int fd, const QByteArray& data, qsizetype offset) {
    return ::lseek(fd, off_t(offset), SEEK_SET) >= 0 && writeAll(fd, data);
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

// A temporary file this old is a killed write's, not one still under way in another copy.
constexpr int kLeftoversAfterSeconds = 10 * 60;

// Replaces the file at path with data in one step (see FileReplacement). An existing file
// keeps its permission bits and, where allowed, its owner (an administrator editing someone's
// file). NoTemporaryFile: the folder takes no new file.
Replaced replaceFile(const QString& path, const QByteArray& data) {
    struct stat old {};
    const bool existed = ::stat(QFile::encodeName(path).constData(), &old) == 0;
    FileReplacement replacement(path);
    const int error = replacement.error();
    if (error == EACCES || error == EPERM || error == EROFS)
        return Replaced::NoTemporaryFile;
    if (error != 0 || !replacement.write(data) ||
        (existed && !replacement.adoptOwnerAndMode(old)) ||
        replacement.commit(FileReplacement::Existing::Replace) != 0)
        return Replaced::No;
    FileReplacement::removeLeftovers(path, kLeftoversAfterSeconds);
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
