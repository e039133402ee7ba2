#include "tools/output_file.h"

#include "core/file_replacement.h"
#include "tools/contacts_format.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
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

} // namespace

OutputFile::OutputFile(const QString& path) : path_(path) {
    buffer_.reserve(kBufferBytes);
    if (path.isEmpty() || path == QLatin1String("-")) {
        standardOutput_ = true;
        return;
    }
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw ToolError(
            QStringLiteral("%1 already exists; export never overwrites a file").arg(path));
    // What an export killed outright (SIGKILL, a power cut) left in this folder goes now.
    FileReplacement::removeAbandoned(path);
    // A signal between creating the temporary file and watching for signals would leave it
    // behind: hold them back until the handler knows the name.
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (const int signal : kCleanSignals)
        sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
    file_ = std::make_unique<FileReplacement>(path);
    if (file_->error() == 0)
        watchForSignals(file_->temporaryName());
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (file_->error() != 0)
        throw ToolError(
            QStringLiteral("cannot write %1: %2").arg(path, systemErrorText(file_->error())));
}

OutputFile::~OutputFile() {
    if (!file_)
        return;
    file_.reset(); // removes the temporary file unless committed
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
    const bool written = standardOutput_ ? writeAll(STDOUT_FILENO, buffer_) : file_->write(buffer_);
    if (!written)
        fail(errno);
    buffer_.resize(0);
}

void OutputFile::commit() {
    flush();
    if (standardOutput_)
        return;
    const int error = file_->commit(FileReplacement::Existing::Keep);
    stopWatching();
    if (error == EEXIST)
        throw ToolError(
            QStringLiteral("%1 already exists; export never overwrites a file").arg(path_));
    if (error != 0)
        fail(error);
}

} // namespace palvane::tool
