#include "core/file_replacement.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <unistd.h>

namespace palvane {

namespace {

constexpr int kNameAttempts = 16;

QByteArray folderOf(const QString& path) {
    return QFile::encodeName(QFileInfo(path).absolutePath());
}

// "." + file name + ".": every temporary name of that file starts so and ends in ".tmp".
QByteArray temporaryPrefix(const QString& path) {
    return "." + QFile::encodeName(QFileInfo(path).fileName()) + ".";
}

// rename() that never replaces an existing file: 0, or an error number.
int renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // A file system without the flag: a hard link fails on an existing name just as well.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    return errno;
}

// The rename is durable once the folder is; a file system that cannot sync a folder still has
// the complete file under its name, so this cannot fail the write.
void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

constexpr qsizetype kRandomLength = 13; // a 64-bit number in base 36
// A file no process holds may still be in its first instant, before its writer's lock.
constexpr int kAbandonedAfterSeconds = 10;

bool isRandom(QByteArrayView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
    });
}

// Removes name in folder when it is a regular file of ours, unchanged for olderThanSeconds,
// that no process holds: its lock is taken first, and the name must still lead to the file
// locked.
void removeIfAbandoned(const QByteArray& folder, QByteArrayView name, int olderThanSeconds) {
    const QByteArray path = folder + "/" + name.toByteArray();
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        ::time(nullptr) - opened.st_mtime >= olderThanSeconds &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.constData(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        ::unlink(path.constData());
    ::close(fd);
}

void removeMatching(const QByteArray& folder, int olderThanSeconds,
                    const std::function<bool(QByteArrayView)>& ours) {
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArrayView name(entry->d_name);
        if (ours(name))
            removeIfAbandoned(folder, name, olderThanSeconds);
    }
    ::closedir(listing);
}

} // namespace

bool writeAll(int fd, QByteArrayView data) {
    const char* p = data.data();
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

FileReplacement::FileReplacement(const QString& path)
    : target_(QFile::encodeName(path)), folder_(folderOf(path)) {
    const QByteArray stem = folder_ + "/" + temporaryPrefix(path);
    for (int attempt = 0; attempt < kNameAttempts && fd_ < 0; ++attempt) {
        temporaryName_ = stem +
                         QByteArray::number(QRandomGenerator::global()->generate64(), 36)
                             .rightJustified(kRandomLength, '0') +
                         ".tmp";
        fd_ = ::open(temporaryName_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    // Held until the commit has given the file its name (a file system without locks leaves
    // it unheld: then only the file's age keeps it from a cleaner).
    if (fd_ >= 0)
        ::flock(fd_, LOCK_EX | LOCK_NB);
    if (fd_ < 0) {
        error_ = errno;
        temporaryName_.clear();
    }
}

FileReplacement::~FileReplacement() {
    discard();
}

void FileReplacement::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporaryName_.isEmpty())
        ::unlink(temporaryName_.constData());
    temporaryName_.clear();
}

bool FileReplacement::write(QByteArrayView data) {
    if (fd_ < 0) {
        errno = error_ != 0 ? error_ : EBADF;
        return false;
    }
    return writeAll(fd_, data);
}

bool FileReplacement::adoptOwnerAndMode(const struct stat& old) {
    if (fd_ < 0) {
        errno = error_ != 0 ? error_ : EBADF;
        return false;
    }
    const bool sameOwner = old.st_uid == ::geteuid() && old.st_gid == ::getegid();
    if (!sameOwner && ::fchown(fd_, old.st_uid, old.st_gid) != 0)
        errno = 0;
    return ::fchmod(fd_, old.st_mode & 07777) == 0;
}

int FileReplacement::commit(Existing existing) {
    if (fd_ < 0)
        return error_ != 0 ? error_ : EBADF;
    int error = 0;
    if (::fsync(fd_) != 0)
        error = errno;
    // Renamed while still open, so that its lock keeps cleaners off it to the last moment; the
    // data is on disk once fsync() has succeeded.
    if (error == 0) {
        if (existing == Existing::Replace)
            error = ::rename(temporaryName_.constData(), target_.constData()) == 0 ? 0 : errno;
        else
            error = renameWithoutReplacing(temporaryName_, target_);
    }
    ::close(fd_);
    fd_ = -1;
    if (error != 0) {
        error_ = error;
        discard();
        return error;
    }
    temporaryName_.clear();
    syncFolder(folder_);
    return 0;
}

void FileReplacement::removeLeftovers(const QString& path, int olderThanSeconds) {
    const QByteArray prefix = temporaryPrefix(path);
    removeMatching(folderOf(path), olderThanSeconds, [&prefix](QByteArrayView name) {
        if (!name.startsWith(prefix) || !name.endsWith(".tmp") || name.size() <= prefix.size() + 4)
            return false;
        return isRandom(name.sliced(prefix.size(), name.size() - prefix.size() - 4));
    });
}

void FileReplacement::removeAbandoned(const QString& path) {
    // ".NAME.RANDOM.tmp", NAME anything, RANDOM as the constructor makes it.
    removeMatching(folderOf(path), kAbandonedAfterSeconds, [](QByteArrayView name) {
        if (!name.startsWith('.') || !name.endsWith(".tmp"))
            return false;
        const QByteArrayView stem = name.chopped(4);
        const qsizetype dot = stem.lastIndexOf('.');
        const QByteArrayView random = stem.sliced(dot + 1);
        return dot > 1 && random.size() == kRandomLength && isRandom(random);
    });
}

} // namespace palvane
