#include "tools/output_file.h"

#include "tools/contacts_format.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palvane::tool {

namespace {

constexpr qsizetype kBufferBytes = 1024 * 1024;

// The temporary file of the export in progress, removed when a signal ends the process (the
// name, in a buffer of its own, is all the handler touches).
char pendingFile[4096];
const int kCleanSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// What each of them did before the export watched them (SIGPIPE may be ignored).
void (*previousHandlers[std::size(kCleanSignals)])(int) = {};

void removePendingAndDie(int signal) {
    if (pendingFile[0] != '\0')
        ::unlink(pendingFile);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watchForSignals(const QByteArray& name) {
    if (name.size() >= qsizetype(sizeof(pendingFile)))
        return;
    std::memcpy(pendingFile, name.constData(), size_t(name.size()) + 1);
    for (size_t i = 0; i < std::size(kCleanSignals); ++i) {
        void (*previous)(int) = std::signal(kCleanSignals[i], removePendingAndDie);
        previousHandlers[i] = previous == SIG_ERR ? SIG_DFL : previous;
    }
}

void stopWatching() {
    for (size_t i = 0; i < std::size(kCleanSignals); ++i)
        std::signal(kCleanSignals[i], previousHandlers[i] ? previousHandlers[i] : SIG_DFL);
    pendingFile[0] = '\0';
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

} // namespace

OutputFile::OutputFile(const QString& path) : path_(path) {
    buffer_.reserve(kBufferBytes);
    if (path.isEmpty() || path == QLatin1String("-")) {
        standardOutput_ = true;
        fd_ = STDOUT_FILENO;
        return;
    }
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw ToolError(
            QStringLiteral("%1 already exists; export never overwrites a file").arg(path));
    // Beside the file, so that the rename stays on one file system; hidden, as it is not done.
    temporaryName_ = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                       info.fileName() + QStringLiteral(".XXXXXX"));
    // A signal between creating the file and watching for signals would leave it behind:
    // hold them back until the handler knows the name.
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (const int signal : kCleanSignals)
        sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
    fd_ = ::mkstemp(temporaryName_.data());
    const int error = errno;
    if (fd_ >= 0)
        watchForSignals(temporaryName_);
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd_ < 0) {
        temporaryName_.clear();
        throw ToolError(QStringLiteral("cannot write %1: %2").arg(path, systemErrorText(error)));
    }
    // mkstemp makes the file private; give it the permissions of any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
    if (standardOutput_ || fd_ < 0)
        return;
    ::close(fd_);
    ::unlink(temporaryName_.constData());
    stopWatching();
}

void OutputFile::fail(int errorNumber) {
    const QString reason = systemErrorText(errorNumber);
    if (standardOutput_)
        throw ToolError(QStringLiteral("cannot write to standard output: %1").arg(reason));
    throw ToolError(QStringLiteral("cannot write %1: %2").arg(path_, reason));
}

void OutputFile::write(const QByteArray& bytes) {
    buffer_ += bytes;
    if (buffer_.size() >= kBufferBytes)
        flush();
}

void OutputFile::flush() {
    const char* data = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        data += written;
        left -= written;
    }
    buffer_.resize(0);
}

void OutputFile::commit() {
    flush();
    if (standardOutput_)
        return;
    if (::fsync(fd_) != 0)
        fail(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const int error = errno;
        ::unlink(temporaryName_.constData());
        stopWatching();
        fail(error);
    }
    const int error = renameWithoutReplacing(temporaryName_, QFile::encodeName(path_));
    if (error != 0) {
        ::unlink(temporaryName_.constData());
        stopWatching();
        if (error == EEXIST)
            throw ToolError(
                QStringLiteral("%1 already exists; export never overwrites a file").arg(path_));
        fail(error);
    }
    stopWatching();
    // The new name itself is durable once its directory is.
    const int directory = ::open(QFile::encodeName(QFileInfo(path_).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

} // namespace palvane::tool
