// Which table the typed commands take when told none, and the making of the user's own table.

#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tools/check_table.h"
#include "tools/contacts_format.h"
#include "tools/default_table.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <optional>

using palvane::test::Sandbox;
using namespace palvane::tool;

namespace {

// Sets an environment variable (nullopt: unsets it) for one test, then puts it back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QString>& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value)
            qputenv(name, value->toLocal8Bit());
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

} // namespace

class TestToolDefaultTable : public QObject {
    Q_OBJECT

private slots:
    void choosesTheTable_data();
    void choosesTheTable();
    void makesTheUserTableOnce();
    void makesNothingElse_data();
    void makesNothingElse();
};

void TestToolDefaultTable::choosesTheTable_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("inFolder"); // what data/palvane.db is: "", "table", "dangling"
    QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME: "absolute", "relative", "" (unset)
    QTest::addColumn<bool>("haveHome");
    QTest::addColumn<QString>("expected"); // "folder", "data home", "home", "error"

    QTest::newRow("build tree, no table here") << false << ""
                                               << "absolute" << true << "folder";
    QTest::newRow("installed, a table here") << true << "table"
                                             << "absolute" << true << "folder";
    QTest::newRow("installed, a dangling link here") << true << "dangling"
                                                     << "absolute" << true << "folder";
    QTest::newRow("installed, no table here") << true << ""
                                              << "absolute" << true << "data home";
    QTest::newRow("relative XDG_DATA_HOME is ignored") << true << ""
                                                       << "relative" << true << "home";
    QTest::newRow("no XDG_DATA_HOME") << true << ""
                                      << "" << true << "home";
    QTest::newRow("no folder at all") << true << ""
                                      << "" << false << "error";
}

void TestToolDefaultTable::choosesTheTable() {
    QFETCH(bool, installed);
    QFETCH(QString, inFolder);
    QFETCH(QString, dataHome);
    QFETCH(bool, haveHome);
    QFETCH(QString, expected);

    Sandbox box;
    if (inFolder == QLatin1String("table"))
        box.createTable();
    if (inFolder == QLatin1String("dangling")) {
        QDir().mkpath(box.dataDir());
        QVERIFY(QFile::link(box.path() + QStringLiteral("/nowhere.db"), box.dbPath()));
    }
    const QString absolute = box.path() + QStringLiteral("/share");
    std::optional<QString> dataHomeValue;
    if (dataHome == QLatin1String("absolute"))
        dataHomeValue = absolute;
    else if (dataHome == QLatin1String("relative"))
        dataHomeValue = QStringLiteral("share");
    const ScopedEnv xdg("XDG_DATA_HOME", dataHomeValue);
    const ScopedEnv home("HOME", haveHome ? std::optional(box.path() + QStringLiteral("/home"))
                                          : std::nullopt);

    if (expected == QLatin1String("error")) {
        QVERIFY_THROWS_EXCEPTION(ToolError, defaultTableLocation(installed));
        return;
    }
    const TableLocation location = defaultTableLocation(installed);
    if (expected == QLatin1String("folder")) {
        QCOMPARE(location.table, QStringLiteral("data/palvane.db"));
        QCOMPARE(location.folder, QDir::currentPath());
        QVERIFY(!location.perUser);
        return;
    }
    const QString folder = expected == QLatin1String("data home")
                               ? absolute + QStringLiteral("/palvane")
                               : box.path() + QStringLiteral("/home/.local/share/palvane");
    QCOMPARE(location.folder, folder);
    QCOMPARE(location.table, folder + QStringLiteral("/data/palvane.db"));
    QVERIFY(location.perUser);
}

void TestToolDefaultTable::makesTheUserTableOnce() {
    Sandbox box;
    const QString folder = box.path() + QStringLiteral("/share/palvane");
    const TableLocation location{folder, folder + QStringLiteral("/data/palvane.db"), true};

    QVERIFY(createUserTableIfMissing(location));
    const CheckResult check = checkTable(location.table);
    QVERIFY2(check.problems.isEmpty(), qPrintable(check.problems.join(QLatin1Char('\n'))));
    // The table is made under a name of its own and moved in place: nothing else is left.
    QCOMPARE(QDir(folder + QStringLiteral("/data"))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("palvane.db")});

    // A second start finds it and leaves what it holds.
    palvane::insertContacts(location.table, {palvane::test::contact(QStringLiteral("kept"))});
    QVERIFY(!createUserTableIfMissing(location));
    QCOMPARE(palvane::readContacts(location.table).size(), size_t(1));
}

void TestToolDefaultTable::makesNothingElse_data() {
    QTest::addColumn<bool>("perUser");
    QTest::addColumn<QString>("inPlace"); // "", "dangling", "blocked" (the folder is a file)
    QTest::addColumn<bool>("throws");

    QTest::newRow("the folder's own table") << false << "" << false;
    QTest::newRow("a dangling link in its place") << true << "dangling" << false;
    QTest::newRow("a file where the folder should be") << true << "blocked" << true;
}

void TestToolDefaultTable::makesNothingElse() {
    QFETCH(bool, perUser);
    QFETCH(QString, inPlace);
    QFETCH(bool, throws);

    Sandbox box;
    const QString folder = box.path() + QStringLiteral("/share/palvane");
    const TableLocation location{folder, folder + QStringLiteral("/data/palvane.db"), perUser};
    if (inPlace == QLatin1String("dangling")) {
        QDir().mkpath(folder + QStringLiteral("/data"));
        QVERIFY(QFile::link(box.path() + QStringLiteral("/nowhere.db"), location.table));
    }
    if (inPlace == QLatin1String("blocked")) {
        QDir().mkpath(box.path() + QStringLiteral("/share"));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    if (throws)
        QVERIFY_THROWS_EXCEPTION(palvane::TableError, createUserTableIfMissing(location));
    else
        QVERIFY(!createUserTableIfMissing(location));
    QVERIFY(!QFileInfo::exists(location.table));
    QVERIFY(!QFileInfo::exists(box.path() + QStringLiteral("/nowhere.db")));
}

QTEST_GUILESS_MAIN(TestToolDefaultTable)
#include "test_tool_default_table.moc"
