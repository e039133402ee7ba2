#pragma once
// Notices when the table file an open connection uses is no longer the file at its path (moved
// away, deleted, or replaced by another file), or when something other than the engine wrote
// into it (another table copied over it with cp). The connection would otherwise go on showing
// pages of the old file as current, or write its cached pages over the new contents.
//
// Every check works from the file system alone, with no watch that the kernel could refuse:
// - Moves and replacements by rename: the path's device and inode against the ones opened.
// - Writes in place: the file's size, modification time and the change counter in its header
//   against what the last check saw. The engine writes a table only while its rollback journal
//   lies beside it and deletes (or empties) that journal after its last write, so a change made
//   through the engine leaves the folder (or the journal) changed no earlier than the file. A
//   file changed later than both was written by something else: a copy over it.
// A copy over the file is remembered until stop(): later stores of others do not undo it.

#include <QByteArray>
#include <QString>

#include <ctime>

#include <sys/types.h>

struct sqlite3;
struct sqlite3_file;

namespace palvane {

class FileGuard {
public:
    enum class Change { None, Gone, Replaced };

    FileGuard() = default;
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

    // Starts guarding the file at path, which the connection db opened as its main file (links
    // followed; its journal lies beside that). Call right after opening, before the engine
    // reads anything. False when the path cannot be examined.
    bool start(const QString& path, sqlite3* db);
    void stop();

    // Before every read and store. Costs a stat and a read of the header while nothing
    // changed; the folder and journal are examined only when the file did.
    Change check();
    // The path alone.
    Change examinePath() const;

    // The reason shown to the user, after "Cannot ... <path>: ".
    static QString describe(Change change);

private:
    // What a check compares: the file as it was when last seen.
    struct Seen {
        off_t size = 0;
        timespec modified{};
        quint32 changeCounter = 0;
        bool isTable = false; // the header starts as a table file's does

        bool operator==(const Seen& other) const;
    };
    enum class Writer { Engine, Unknown, NotNow };

    bool readHeader(Seen& seen) const;
    Writer lastWriter(const timespec& fileChanged) const;

    QByteArray path_;
    QByteArray folder_;
    QByteArray journalPath_;
    QByteArray walPath_;
    sqlite3_file* file_ = nullptr; // the connection's own handle: reading it takes no lock
    dev_t device_ = 0;
    ino_t inode_ = 0;
    Seen seen_;
    bool overwritten_ = false;
};

} // namespace palvane
