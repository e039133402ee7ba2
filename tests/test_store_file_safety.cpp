// The table file on the disk: a confirmed store survives a power cut, and a file replaced,
// moved or deleted while the table is open is never written into nor shown as current.

#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"

#include <QTest>

#include <sqlite3.h>

#include <vector>

using palvane::InsertValues;
using palvane::Table;
using palvane::test::contact;
using palvane::test::Sandbox;

namespace {

const InsertValues kNewEntry = {
    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, 0, std::nullopt};

// While it lives, every connection opened goes through a copy of the engine's own file layer
// that records each file deletion and whether the folder was to be synced after it.
class DeletionProbe {
public:
    struct Deletion {
        QString path;
        bool syncsFolder;
    };

    DeletionProbe() {
        real_ = sqlite3_vfs_find(nullptr);
        probe_ = *real_;
        probe_.zName = "palvane-deletion-probe";
        probe_.pNext = nullptr;
        probe_.xDelete = &DeletionProbe::remove;
        current_ = this;
        sqlite3_vfs_register(&probe_, 1);
    }
    ~DeletionProbe() {
        sqlite3_vfs_unregister(&probe_);
        current_ = nullptr;
    }
    DeletionProbe(const DeletionProbe&) = delete;
    DeletionProbe& operator=(const DeletionProbe&) = delete;

    // The journals deleted since the last call.
    std::vector<Deletion> takeJournals() {
        std::vector<Deletion> journals;
        for (const Deletion& deletion : deletions_)
            if (deletion.path.endsWith(QLatin1String("-journal")))
                journals.push_back(deletion);
        deletions_.clear();
        return journals;
    }

private:
    static int remove(sqlite3_vfs*, const char* path, int syncFolder) {
        current_->deletions_.push_back({QString::fromUtf8(path), syncFolder != 0});
        return current_->real_->xDelete(current_->real_, path, syncFolder);
    }

    static inline DeletionProbe* current_ = nullptr;
    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs probe_{};
    std::vector<Deletion> deletions_;
};

} // namespace

class TestStoreFileSafety : public QObject {
    Q_OBJECT

private slots:
    void everyCommitSyncsTheFolder();
};

// With a rollback journal the commit point is the deletion of the journal: until the folder is
// synced after it, a power cut can bring the journal back and undo the store.
void TestStoreFileSafety::everyCommitSyncsTheFolder() {
    Sandbox box;
    DeletionProbe probe;
    const auto check = [&](const char* step) {
        const std::vector<DeletionProbe::Deletion> journals = probe.takeJournals();
        QVERIFY2(!journals.empty(), step);
        for (const DeletionProbe::Deletion& journal : journals)
            QVERIFY2(journal.syncsFolder, qPrintable(QStringLiteral("%1: %2 deleted unsynced")
                                                         .arg(QLatin1String(step), journal.path)));
    };
    // The table tool's connections: a new table, then contacts added to it.
    box.createTable();
    check("create");
    palvane::insertContacts(box.dbPath(), {contact(QStringLiteral("a"))});
    check("add contacts");

    // The program's connection: Update Entry, New Entry, Delete Entry.
    Table table;
    table.open();
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Ay"));
    table.post();
    check("store");
    table.insertRecord(kNewEntry);
    check("insert");
    table.deleteRecord();
    check("delete");
    table.close();
    QCOMPARE(palvane::readContacts(box.dbPath()).size(), size_t(1));
}

QTEST_GUILESS_MAIN(TestStoreFileSafety)
#include "test_store_file_safety.moc"
