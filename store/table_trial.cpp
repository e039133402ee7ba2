#include "store/table_trial.h"

#include "store/sqlite_util.h"
#include "store/table_location.h"
#include "store/table.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <array>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace palvane {

namespace {

// What Update Entry writes, in the order the Edit/Add tab writes it.
struct Entry {
    const char* nick;
    const char* name;
    const char* location;
    const char* notes;
    int hours;
    const char* email;
    const char* picture;
};

constexpr Entry kFirst{"Trial",
                       "Trial Name",
                       "Trial Town",
                       "First line\nSecond line",
                       5,
                       "trial@example.org",
                       "/home/trial/pictures/trial.bmp"};
// The same nick (the nick index admits equal nicks), every other detail different.
constexpr Entry kSameNick{"Trial",
                          "Other Name",
                          "Other Town",
                          "Other notes",
                          -3,
                          "other@example.org",
                          "/home/trial/pictures/other.bmp"};
// Another nick, every other detail equal to the first's: contacts may share them.
constexpr Entry kSameDetails{"Third",      kFirst.name,  kFirst.location, kFirst.notes,
                             kFirst.hours, kFirst.email, kFirst.picture};

void newEntry(Table& table) {
    InsertValues values{};
    values[FieldTimeDisplacement] = 0;
    values[FieldSpin] = 0;
    table.insertRecord(values);
}

void updateEntry(Table& table, const Entry& entry) {
    const auto text = [](const char* value) { return QString::fromUtf8(value); };
    table.edit();
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(text(entry.nick));
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(text(entry.name));
    table.fieldByName(QStringLiteral("IRC Location")).setAsString(text(entry.location));
    table.fieldByName(QStringLiteral("IRC Notes")).setAsString(text(entry.notes));
    table.fieldByName(QStringLiteral("IRC Time Displacement")).setAsFloat(entry.hours / 24.0);
    table.fieldByName(QStringLiteral("IRC Email")).setAsString(text(entry.email));
    table.fieldByName(QStringLiteral("IRC Spin")).setAsInteger(entry.hours);
    table.fieldByName(QStringLiteral("IRC Picture")).setAsString(text(entry.picture));
    table.post();
}

void deleteEntries(Table& table) {
    table.first();
    while (table.hasCurrent()) {
        table.deleteRecord();
        table.refresh();
    }
}

// Copies every table, index, trigger and view of source into the new file at path. An
// object the copy cannot make (a shadow table that its virtual table made already, say) is
// left out, unless it is the contact table itself.
void copyLayout(sqlite3* source, const QString& path) {
    sql::Statement list;
    if (list.prepare(source,
                     QStringLiteral("SELECT name, sql FROM sqlite_schema WHERE sql IS NOT NULL "
                                    "AND type IN ('table', 'index', 'trigger', 'view') AND name "
                                    "NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"),
                     false) != SQLITE_OK)
        throw TableError(sql::errorText(source));
    sqlite3* copy = nullptr;
    const int opened = sqlite3_open_v2(path.toUtf8().constData(), &copy,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const auto closeCopy = qScopeGuard([&copy] { sqlite3_close_v2(copy); });
    if (opened != SQLITE_OK)
        throw TableError(sql::errorText(copy));
    sql::exec(copy, QStringLiteral("BEGIN"));
    sql::StatementUse use(list.get());
    int rc;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
        const QString name = sql::columnText(list.get(), 0);
        if (sql::exec(copy, sql::columnText(list.get(), 1)) != SQLITE_OK &&
            name.compare(QLatin1String("contacts"), Qt::CaseInsensitive) == 0)
            throw TableError(sql::errorText(copy));
    }
    if (rc != SQLITE_DONE)
        throw TableError(sql::errorText(source));
    if (sql::exec(copy, QStringLiteral("COMMIT")) != SQLITE_OK)
        throw TableError(sql::errorText(copy));
}

// A private folder for the copy, removed with what the engine leaves in it. The names are made
// when the folder is, so that removing it allocates nothing: it must succeed where memory ran
// out.
class TrialFolder {
public:
    TrialFolder() : folder_(QFile::encodeName(QDir::tempPath()) + "/palvane-table-XXXXXX") {
        if (!::mkdtemp(folder_.data()))
            throw TableError(
                QStringLiteral("cannot make a temporary folder in %1").arg(QDir::tempPath()));
        const QByteArray table = folder_ + '/' + kTableFileName;
        files_ = {table, table + "-journal", table + "-wal", table + "-shm"};
    }
    ~TrialFolder() {
        for (const QByteArray& file : files_)
            ::unlink(file.constData());
        ::rmdir(folder_.constData());
    }
    TrialFolder(const TrialFolder&) = delete;
    TrialFolder& operator=(const TrialFolder&) = delete;
    QString path() const { return QFile::decodeName(folder_); }

private:
    QByteArray folder_;
    std::array<QByteArray, 4> files_;
};

} // namespace

QStringList tryTableActions(sqlite3* source) {
    const TrialFolder dir;
    const QString path = QDir(dir.path()).filePath(QLatin1String(kTableFileName));
    copyLayout(source, path);

    Table table;
    table.setDatabaseName(dir.path());
    table.setTableName(QLatin1String(kTableFileName));
    table.open();

    QStringList failures;
    // Runs one action; a failure is named without the copy's path, and the table is left
    // browsing, as the windows leave it once the error is shown.
    const auto attempt = [&](const QString& action, const std::function<void()>& run) {
        try {
            run();
            return true;
        } catch (const TableError& error) {
            QString reason = error.message();
            const QString where = table.filePath() + QStringLiteral(": ");
            if (const qsizetype at = reason.indexOf(where); at >= 0)
                reason = reason.mid(at + where.size());
            failures << QStringLiteral("%1: %2").arg(action, reason);
            table.cancel();
            return false;
        }
    };
    const bool added = attempt(QStringLiteral("New Entry fails"), [&] { newEntry(table); });
    const bool stored =
        attempt(QStringLiteral("Update Entry fails"), [&] { updateEntry(table, kFirst); });
    // A second contact like the first needs the first, and New Entry to make its record.
    if (added && stored) {
        attempt(QStringLiteral("the table must admit equal nicks, but a second contact with the "
                               "nick \"%1\" cannot be stored")
                    .arg(QLatin1String(kSameNick.nick)),
                [&] {
                    newEntry(table);
                    updateEntry(table, kSameNick);
                });
        attempt(QStringLiteral("a contact with the same name, location, e-mail, notes, offset "
                               "or picture as another cannot be stored"),
                [&] {
                    newEntry(table);
                    updateEntry(table, kSameDetails);
                });
    }
    attempt(QStringLiteral("Delete Entry fails"), [&] { deleteEntries(table); });
    table.close();
    return failures;
}

} // namespace palvane
