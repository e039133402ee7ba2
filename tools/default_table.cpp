#include "tools/default_table.h"

#include "store/schema.h"
#include "store/table_location.h"
#include "tools/contacts_format.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace palvane::tool {

namespace {

// A link counts even when it leads nowhere: the address book should report it, not bypass it.
bool present(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString userTableFolder() {
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    if (QDir::isAbsolutePath(dataHome))
        return QDir::cleanPath(dataHome + QStringLiteral("/palvane"));
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        throw ToolError(QStringLiteral(
            "neither XDG_DATA_HOME nor HOME is set, so your own contact table has no folder"));
    return QDir::cleanPath(home + QStringLiteral("/.local/share/palvane"));
}

TableLocation defaultTableLocation(bool installed) {
    if (!installed || present(palvane::defaultTablePath()))
        return {QDir::currentPath(), palvane::defaultTablePath(), false};
    const QString folder = userTableFolder();
    return {folder, folder + QLatin1Char('/') + palvane::defaultTablePath(), true};
}

TableLocation defaultTableLocation() {
    return defaultTableLocation(runsInstalled());
}

bool runsInstalled() {
    const QString build = QFileInfo(QStringLiteral(PALVANE_BUILD_DIR)).canonicalFilePath();
    const QString self = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (build.isEmpty() || self.isEmpty())
        return true;
    return self != build && !self.startsWith(build + QLatin1Char('/'));
}

bool createUserTableIfMissing(const TableLocation& location) {
    if (!location.perUser || present(location.table))
        return false;
    // The table is made whole under a name of its own and then put in place in one step, so
    // that an address book started at the same moment finds either no file or a whole table.
    const QString draft = QStringLiteral("%1/.palvane.db.new-%2")
                              .arg(QFileInfo(location.table).absolutePath())
                              .arg(QRandomGenerator::global()->generate64(), 0, 16);
    createContactTable(draft);
    const QByteArray from = QFile::encodeName(draft);
    const QByteArray to = QFile::encodeName(location.table);
    int result =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    int error = result == 0 ? 0 : errno;
    if (result != 0 && (error == EINVAL || error == ENOSYS)) {
        // A file system that cannot refuse to replace in a rename: a hard link can.
        result = ::link(from.constData(), to.constData());
        error = result == 0 ? 0 : errno;
    }
    QFile::remove(draft); // gone already after a rename
    if (result == 0)
        return true;
    if (error == EEXIST)
        return false; // another program made it first
    throw ToolError(QStringLiteral("cannot create %1: %2")
                        .arg(location.table, QString::fromLocal8Bit(std::strerror(error))));
}

} // namespace palvane::tool
