#include "store/file_guard.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palvane {

bool FileGuard::start(const QString& path, const QString& enginePath) {
    stop();
    path_ = QFile::encodeName(path);
    struct stat info {};
    if (::stat(path_.constData(), &info) != 0)
        return false;
    device_ = info.st_dev;
    inode_ = info.st_ino;

    const QFileInfo engineFile(enginePath);
    fileName_ = QFile::encodeName(engineFile.fileName());
    journalName_ = fileName_ + "-journal";
    walName_ = fileName_ + "-wal";
    const QByteArray folder = QFile::encodeName(engineFile.absolutePath());
    journalPath_ = folder + '/' + journalName_;
    const auto journalExists = [this] { return ::access(journalPath_.constData(), F_OK) == 0; };
    // A journal that may have existed when the watch began counts as present: at worst a copy
    // over the file goes unnoticed, but another program's store is never taken for one.
    journalPresent_ = journalExists();
    // Without events (no inotify, or too many watches) every check examines the path, and a
    // copy over the file goes unnoticed.
    events_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (events_ >= 0 &&
        inotify_add_watch(events_, folder.constData(),
                          IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) < 0)
        closeEvents();
    journalPresent_ = journalExists() || journalPresent_;
    writesNeedJournal_ = ::access((folder + '/' + walName_).constData(), F_OK) != 0;
    return true;
}

void FileGuard::stop() {
    closeEvents();
    path_.clear();
    nameTouched_ = false;
    overwritten_ = false;
}

void FileGuard::closeEvents() {
    if (events_ >= 0)
        ::close(events_);
    events_ = -1;
}

void FileGuard::readEvents() {
    alignas(inotify_event) char buffer[4096];
    while (events_ >= 0) {
        const ssize_t size = ::read(events_, buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            return; // EAGAIN: no more events
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const uint32_t mask = event->mask;
            if (mask & IN_Q_OVERFLOW) {
                // Events were lost: what they said can no longer be told.
                journalPresent_ = ::access(journalPath_.constData(), F_OK) == 0;
                nameTouched_ = true;
                continue;
            }
            if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                // The folder itself went away: its events no longer describe the path.
                closeEvents();
                return;
            }
            const char* name = event->len ? event->name : "";
            if (fileName_ == name) {
                if (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))
                    nameTouched_ = true;
                if ((mask & IN_MODIFY) && !journalPresent_ && writesNeedJournal_)
                    overwritten_ = true;
            } else if (journalName_ == name) {
                if (mask & (IN_CREATE | IN_MOVED_TO))
                    journalPresent_ = true;
                else if (mask & (IN_DELETE | IN_MOVED_FROM))
                    journalPresent_ = false;
            } else if (walName_ == name && (mask & (IN_CREATE | IN_MOVED_TO))) {
                writesNeedJournal_ = false;
            }
        }
    }
}

FileGuard::Change FileGuard::examinePath() const {
    if (path_.isEmpty())
        return Change::None;
    struct stat info {};
    if (::stat(path_.constData(), &info) != 0)
        // Any other failure (a folder made unreadable) says nothing about the file.
        return errno == ENOENT || errno == ENOTDIR ? Change::Gone : Change::None;
    return info.st_dev == device_ && info.st_ino == inode_ ? Change::None : Change::Replaced;
}

FileGuard::Change FileGuard::check(bool beforeWrite) {
    if (path_.isEmpty())
        return Change::None;
    readEvents();
    if (beforeWrite || nameTouched_ || events_ < 0) {
        const Change change = examinePath();
        if (change != Change::None)
            return change;
        nameTouched_ = false;
    }
    return overwritten_ ? Change::Replaced : Change::None;
}

QString FileGuard::describe(Change change) {
    switch (change) {
    case Change::Gone:
        return QStringLiteral(
            "the file was moved or deleted while the program was running; restart the program");
    case Change::Replaced:
        return QStringLiteral(
            "the file was replaced while the program was running; restart the program");
    case Change::None:
        break;
    }
    return QString();
}

} // namespace palvane
