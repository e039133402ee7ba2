#include "store/file_guard.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace palvane {

namespace {

constexpr int kHeaderSize = 100;
constexpr int kChangeCounterAt = 24;
constexpr char kTableMagic[] = "SQLite format 3"; // with its terminating zero: 16 bytes

bool notBefore(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

} // namespace

bool FileGuard::Seen::operator==(const Seen& other) const {
    return size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changeCounter == other.changeCounter &&
           isTable == other.isTable;
}

bool FileGuard::start(const QString& path, sqlite3* db) {
    stop();
    path_ = QFile::encodeName(path);
    struct stat info {};
    // The engine's own handle, not one of ours: closing a second descriptor of the file would
    // drop every lock the engine holds on it.
    if (::stat(path_.constData(), &info) != 0 ||
        sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file_) != SQLITE_OK ||
        !file_ || !file_->pMethods) {
        stop();
        return false;
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    const QByteArray enginePath = sqlite3_db_filename(db, "main");
    folder_ = QFile::encodeName(QFileInfo(QFile::decodeName(enginePath)).absolutePath());
    journalPath_ = enginePath + "-journal";
    walPath_ = enginePath + "-wal";
    seen_.size = info.st_size;
    seen_.modified = info.st_mtim;
    readHeader(seen_);
    return true;
}

void FileGuard::stop() {
    path_.clear();
    file_ = nullptr;
    seen_ = Seen();
    overwritten_ = false;
}

bool FileGuard::readHeader(Seen& seen) const {
    unsigned char header[kHeaderSize] = {};
    // A file cut short reads as zeros beyond its end: no table header then.
    const int rc = file_->pMethods->xRead(file_, header, kHeaderSize, 0);
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        return false;
    seen.isTable = std::memcmp(header, kTableMagic, sizeof kTableMagic) == 0;
    const unsigned char* counter = header + kChangeCounterAt;
    seen.changeCounter = (quint32(counter[0]) << 24) | (quint32(counter[1]) << 16) |
                         (quint32(counter[2]) << 8) | quint32(counter[3]);
    return true;
}

FileGuard::Writer FileGuard::lastWriter(const timespec& fileChanged) const {
    struct stat info {};
    // A write-ahead log lets the engine write the file with no journal: nothing to judge by.
    if (::stat(walPath_.constData(), &info) == 0)
        return Writer::Engine;
    // The journal first, then the folder: a store that ends in between has then deleted its
    // journal by the time the folder is looked at.
    const bool journalThere = ::stat(journalPath_.constData(), &info) == 0;
    if (journalThere && info.st_size > 0)
        return Writer::NotNow; // a store under way, or one the engine will roll back
    if (journalThere && notBefore(info.st_ctim, fileChanged))
        return Writer::Engine; // a journal emptied rather than deleted at the end of a store
    if (::stat(folder_.constData(), &info) != 0)
        return Writer::NotNow;
    return notBefore(info.st_ctim, fileChanged) ? Writer::Engine : Writer::Unknown;
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

FileGuard::Change FileGuard::check() {
    if (path_.isEmpty())
        return Change::None;
    struct stat info {};
    if (::stat(path_.constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Change::Gone : Change::None;
    if (info.st_dev != device_ || info.st_ino != inode_)
        return Change::Replaced;
    if (overwritten_)
        return Change::Replaced;
    Seen now;
    now.size = info.st_size;
    now.modified = info.st_mtim;
    if (!readHeader(now) || now == seen_)
        return Change::None;
    // A copy over the file with cp -p carries the other file's modification time; the change
    // time is the moment of the copy whatever it says.
    switch (lastWriter(info.st_ctim)) {
    case Writer::Engine:
        seen_ = now;
        return Change::None;
    case Writer::NotNow:
        return Change::None;
    case Writer::Unknown:
        break;
    }
    overwritten_ = true;
    return Change::Replaced;
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
