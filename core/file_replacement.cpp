#include "core/file_replacement.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <dirent.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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
        temporaryName_ =
            stem + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        fd_ = ::open(temporaryName_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
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
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 && error == 0)
        error = errno;
    if (error == 0) {
        if (existing == Existing::Replace)
            error = ::rename(temporaryName_.constData(), target_.constData()) == 0 ? 0 : errno;
        else
            error = renameWithoutReplacing(temporaryName_, target_);
    }
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
    const QByteArray folder = folderOf(path);
    const QByteArray prefix = temporaryPrefix(path);
    DIR* listing = ::opendir(folder.constData());
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
        const QByteArray leftover = folder + "/" + name.toByteArray();
        struct stat info {};
        if (::lstat(leftover.constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || now - info.st_mtime < olderThanSeconds)
            continue;
        ::unlink(leftover.constData());
    }
    ::closedir(listing);
}

} // namespace palvane
