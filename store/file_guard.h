#pragma once
// Notices when the table file an open connection uses is no longer the file at its path (moved
// away, deleted, or replaced by another file), or when something other than the engine wrote
// into it (another table copied over it with cp). The connection would otherwise go on showing
// pages of the old file as current, or write its cached pages over the new contents.
//
// Moves and replacements are seen by comparing the path's device and inode with the ones
// opened. A copy over the file keeps its inode; it is seen in the folder's change events: the
// engine writes the file only while its rollback journal exists beside it, so a write to the
// file without a journal comes from elsewhere.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace palvane {

class FileGuard {
public:
    enum class Change { None, Gone, Replaced };

    FileGuard() = default;
    ~FileGuard() { stop(); }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

    // Starts guarding the file at path, which the engine opened as enginePath (links followed;
    // its journal lies beside that). Call right after the engine opened the file, before it
    // reads anything. False when the path cannot be examined.
    bool start(const QString& path, const QString& enginePath);
    void stop();

    // Before a write the path is always examined (one stat). Before a read only the folder's
    // pending events are read, and the path examined when one of them concerned the file's name
    // or no events can be had. A copy over the file is remembered until stop().
    Change check(bool beforeWrite);
    // The path alone, without events.
    Change examinePath() const;

    // The reason shown to the user, after "Cannot ... <path>: ".
    static QString describe(Change change);

private:
    void readEvents();
    void closeEvents();

    QByteArray path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    int events_ = -1; // inotify descriptor watching the folder, -1 without
    QByteArray fileName_;
    QByteArray journalName_;
    QByteArray walName_;
    QByteArray journalPath_;
    bool journalPresent_ = false;
    bool nameTouched_ = false;
    bool overwritten_ = false;
    // A write-ahead log writes the file without a journal: then writes prove nothing.
    bool writesNeedJournal_ = true;
};

} // namespace palvane
