#pragma once
// A new version of a file, written under a hidden temporary name in the file's own folder
// (".NAME.RANDOM.tmp", RANDOM 13 letters and digits: the final rename then stays on one file
// system) and given the file's name only once it is complete and on disk. The temporary file
// is locked (flock) from its first moment to its commit, so that a cleaner can tell a write
// under way from one that a kill abandoned. Whoever opens the name, and whatever a crash or a
// kill leaves, finds the old file (or none) or the whole new one, never a part.
//
// States: created (the temporary file exists, or error() says why not) -> commit() -> done;
// destroyed before a commit, the temporary file is removed. Failures are errno values, so
// each caller words its own message.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/stat.h>

namespace palvane {

// Writes all of data to fd, going on after interruptions: true, or false with errno set.
bool writeAll(int fd, QByteArrayView data);

class FileReplacement {
public:
    enum class Existing {
        Replace, // a file of that name is replaced in one step
        Keep,    // a file of that name stays: commit() fails with EEXIST
    };

    // Makes the temporary file beside path, with the permissions of any new file (0666 less
    // the umask).
    explicit FileReplacement(const QString& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // 0 while the temporary file is there to write; else why it could not be made (EACCES,
    // EPERM or EROFS: the folder takes no new file) or why the commit failed.
    int error() const { return error_; }
    // The temporary file's name as the system spells it; empty when none was made.
    const QByteArray& temporaryName() const { return temporaryName_; }

    // Appends data: true, or false with errno set.
    bool write(QByteArrayView data);
    // Gives the new file the permission bits of the file it replaces, and its owner and group
    // where the system allows (a refused change of owner leaves the new file ours).
    bool adoptOwnerAndMode(const struct stat& old);
    // Flushes the file to disk, gives it its name and makes the name durable. 0, or an errno
    // (EEXIST: the name is taken and existing is Keep); the temporary file is gone either way.
    int commit(Existing existing);

    // Removes temporary files that killed writes left beside path: names of this class's
    // pattern only, regular files of ours only, and only those older than olderThanSeconds, so
    // that a write still under way in another process keeps its file.
    // A file that a live write holds is never removed.
    static void removeLeftovers(const QString& path, int olderThanSeconds);
    // Removes the temporary files of this class that killed writes left in path's folder,
    // whatever file they were for: names of this class's pattern, regular files of ours, that
    // no process holds and that have not changed for a few seconds.
    static void removeAbandoned(const QString& path);

private:
    void discard();

    QByteArray target_;
    QByteArray folder_;
    QByteArray temporaryName_;
    int fd_ = -1;
    int error_ = 0;
};

} // namespace palvane
