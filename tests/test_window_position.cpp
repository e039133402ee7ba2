// The main window reopens where it was last closed through its close box.

#include "main_window/tform1.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace palvane;
using namespace palvane::test;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

} // namespace

class TestWindowPosition : public QObject {
    Q_OBJECT

private slots:
    void firstRunUsesDefaultsAndCloseCreatesTheFile();
    void hexadecimalAndBadValues();
    void closeStoresAndExitDoesNot();
    void negativePositionRoundTripsAndOtherLinesSurvive();
    void unwritableSettingsKeepTheWindowOpen();
};

void TestWindowPosition::firstRunUsesDefaultsAndCloseCreatesTheFile() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(226, 167));
        QVERIFY(!QFile::exists(sandbox.iniPath()));
        app.form()->close();
        QVERIFY(app.boxes().empty());
        QVERIFY(!app.form()->Table1->active());
    }
    const QByteArray ini = readFile(sandbox.iniPath());
    QVERIFY2(ini.contains("[Window]"), ini.constData());
    QVERIFY2(ini.contains("Left=226"), ini.constData());
    QVERIFY2(ini.contains("Top=167"), ini.constData());
    QVERIFY(ini.indexOf("Left=") < ini.indexOf("Top="));
}

void TestWindowPosition::hexadecimalAndBadValues() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    writeFile(sandbox.iniPath(), "[Window]\nLeft=0x64\nTop=$32\n");
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(100, 50));
    }
    writeFile(sandbox.iniPath(), "[window]\nleft=12px\nTOP=77\n");
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(226, 77));
    }
    writeFile(sandbox.iniPath(), "[Window]\nLeft=310\nTop=\n");
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(310, 167));
    }
}

void TestWindowPosition::closeStoresAndExitDoesNot() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    {
        MainWindowFixture app;
        app.form()->move(400, 300);
        app.form()->close();
    }
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(400, 300));
        app.form()->move(10, 20);
        app.form()->Exit1->trigger();
        QTest::qWait(10);
    }
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(400, 300));
    }
}

void TestWindowPosition::negativePositionRoundTripsAndOtherLinesSurvive() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    const QByteArray before = "; my notes\n[Other]\nkey=value\n\n[Window]\nLeft=1\nExtra=keep\n";
    writeFile(sandbox.iniPath(), before);
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(1, 167));
        app.form()->move(-40, 15);
        app.form()->close();
    }
    const QByteArray after = readFile(sandbox.iniPath());
    QVERIFY2(after.startsWith("; my notes\n[Other]\nkey=value\n\n[Window]\nLeft=-40\n"),
             after.constData());
    QVERIFY2(after.contains("Extra=keep\n"), after.constData());
    QVERIFY2(after.contains("Top=15"), after.constData());
    {
        MainWindowFixture app;
        QCOMPARE(app.form()->pos(), QPoint(-40, 15));
    }
}

void TestWindowPosition::unwritableSettingsKeepTheWindowOpen() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    // A plain file where the configuration directory should be: nothing can be written there,
    // even by root.
    const QString blocked = sandbox.path() + "/not-a-directory";
    writeFile(blocked, "x");
    qputenv("XDG_CONFIG_HOME", blocked.toLocal8Bit());
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(form->pos(), QPoint(226, 167));

    QVERIFY(!form->close());
    QCOMPARE(app.boxTexts(), QStringList{QStringLiteral("Unable to write to PALVANE.INI.")});
    QVERIFY(form->isVisible());
    // The rest of the close handler was skipped: the table is still open.
    QVERIFY(form->Table1->active());
}

QTEST_MAIN(TestWindowPosition)
#include "test_window_position.moc"
