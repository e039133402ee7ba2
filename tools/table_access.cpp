#include "tools/table_access.h"

#include "tools/contacts_format.h"

#include <QFileInfo>

namespace palvane::tool {

namespace {

// Enough pages to keep the nick index's working set while rows go in, small enough that a
// million contacts import in a few dozen megabytes; the sorter that rebuilds the index takes
// the same amount before it spills to a temporary file.
constexpr int kCacheKiB = 16 * 1024;

QString createAdvice() {
    return QStringLiteral("make one with 'palvane-table create PATH' first");
}

template <typename Stream> Stream open(const QString& tablePath) {
    if (!QFileInfo::exists(tablePath))
        throw ToolError(QStringLiteral("%1 does not exist; %2").arg(tablePath, createAdvice()));
    try {
        return Stream(tablePath, kCacheKiB);
    } catch (const MissingTableError&) {
        throw ToolError(QStringLiteral("%1 holds no contact table (no table \"contacts\"); %2")
                            .arg(tablePath, createAdvice()));
    }
}

} // namespace

ContactCursor openForExport(const QString& tablePath) {
    return open<ContactCursor>(tablePath);
}

ContactInserter openForImport(const QString& tablePath) {
    return open<ContactInserter>(tablePath);
}

} // namespace palvane::tool
