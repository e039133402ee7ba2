// Damaged and foreign table files met by the real main window: a truncated file, random bytes,
// a table without a field or without its index, texts in numeric fields, offsets no clock can
// show, a 1 MiB nick and an empty-string nick written by another tool. Each gives the specified
// error or a sound value, never a crash or garbage on screen, and the file stays byte for byte
// as it was unless the user stored a change.

#include "core/clock_format.h"
#include "main_window/db_controls.h"
#include "main_window/spin_edit.h"
#include "main_window/tform1.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <sqlite3.h>

using namespace palvane;
using namespace palvane::test;

namespace {

constexpr int kViewTab = 0;
constexpr int kEditTab = 1;

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// Runs SQL on the table file as another tool would.
void exec(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
             SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QByteArray message = error ? QByteArray(error) : QByteArray();
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, message.constData());
}

void clickTab(TForm1* form, int index) {
    QTabBar* bar = form->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

// A fixed "now", so that their clock can be compared with the local one.
struct FixedClock {
    FixedClock() {
        setClockFunction([] { return QDateTime(QDate(2026, 6, 15), QTime(10, 0, 0)); });
    }
    ~FixedClock() { setClockFunction(nullptr); }
};

// Every clock label shows a well-formed time or date, or nothing: never garbage.
void checkClockLabels(TForm1* form) {
    static const QRegularExpression time(QStringLiteral("^(\\d{1,2}\\D[0-5]\\d\\D[0-5]\\d.*)?$"));
    static const QRegularExpression date(QStringLiteral("^([^,]+, [^ ]+ \\d{1,2}, \\d{4})?$"));
    for (QLabel* label : {form->Label1, form->Label2, form->Label6})
        QVERIFY2(time.match(label->text()).hasMatch(), qPrintable(label->text()));
    for (QLabel* label : {form->Label16, form->Label13, form->Label17})
        QVERIFY2(date.match(label->text()).hasMatch(), qPrintable(label->text()));
}

// Drives the window through every command that reads the table, without storing anything.
void browseEverywhere(TForm1* form) {
    for (int i = 0; i < 3; ++i)
        click(form->Button3);
    for (int i = 0; i < 3; ++i)
        click(form->Button4);
    form->activateWindow();
    form->Edit1->setFocus();
    form->Edit1->selectAll();
    QTest::keyClicks(form->Edit1, QStringLiteral("b"));
    clickTab(form, kEditTab);
    click(form->Button7);
    click(form->Button6);
    clickTab(form, kViewTab);
    QTest::qWait(300); // a clock tick
}

const QString kIndexMissing =
    QStringLiteral("Cannot use the index 'IRC NICK INDEX' of %1: the index does not exist.");

} // namespace

class TestReliabilityDamagedTables : public QObject {
    Q_OBJECT

private slots:
    void damagedFilesAreReportedAndLeftAlone();
    void foreignLayoutsAreReportedAndLeftAlone();
    void oddValuesReadAsSoundValues();
    void offsetsOutOfRangeNeverShowGarbage();
};

void TestReliabilityDamagedTables::damagedFilesAreReportedAndLeftAlone() {
    struct Case {
        const char* name;
        std::function<QByteArray(const QByteArray&)> damage;
        QString startError; // %1 = the file's path
    };
    const QString notATable = QStringLiteral(
        "Cannot open the contact table %1: the file is damaged or not a table file (file is "
        "not a database).");
    const QString malformed = QStringLiteral(
        "Cannot open the contact table %1: the file is damaged or not a table file (database "
        "disk image is malformed).");
    const std::vector<Case> cases{
        {"cut inside the header", [](const QByteArray& b) { return b.left(60); }, malformed},
        {"lost its last page", [](const QByteArray& b) { return b.left(b.size() - 4096); },
         malformed},
        {"random bytes",
         [](const QByteArray& b) {
             QByteArray noise(b.size(), 0);
             QRandomGenerator generator(7);
             for (char& c : noise)
                 c = char(generator.bounded(256));
             return noise;
         },
         notATable},
        {"empty header, data kept",
         [](const QByteArray& b) { return QByteArray(100, '\0') + b.mid(100); }, notATable},
    };
    for (const Case& c : cases) {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
        writeBytes(sandbox.dbPath(), c.damage(fileBytes(sandbox.dbPath())));
        const QByteArray before = fileBytes(sandbox.dbPath());
        {
            MainWindowFixture app;
            TForm1* form = app.form();
            QCOMPARE(app.boxTexts().value(0), c.startError.arg(sandbox.dbPath()));
            QVERIFY(!form->Table1->active());
            browseEverywhere(form);
            // A command that would store something is refused too.
            clickTab(form, kEditTab);
            form->Edit2->setText(QStringLiteral("new"));
            click(form->Button2);
            click(form->Button1);
            QVERIFY(form->isVisible());
            for (const QString& text : app.boxTexts())
                QVERIFY2(text.endsWith(QLatin1Char('.')) && !text.contains(QLatin1String("(null)")),
                         qPrintable(text));
            checkClockLabels(form);
        }
        QVERIFY2(fileBytes(sandbox.dbPath()) == before, c.name);
    }

    // A page in the middle overwritten with zeros: the file opens, browsing onto the damaged
    // part fails clearly, and the file stays as it was.
    Sandbox sandbox;
    std::vector<ContactRow> rows;
    for (int i = 0; i < 300; ++i) {
        ContactRow row = contact(QStringLiteral("nick%1").arg(i, 3, 10, QLatin1Char('0')));
        row.notes = QString(400, QLatin1Char('n'));
        rows.push_back(row);
    }
    sandbox.createTable(rows);
    const QByteArray whole = fileBytes(sandbox.dbPath());
    const qsizetype middle = whole.size() / 4096 / 2 * 4096;
    writeBytes(sandbox.dbPath(),
               whole.left(middle) + QByteArray(4096, '\0') + whole.mid(middle + 4096));
    const QByteArray before = fileBytes(sandbox.dbPath());
    {
        MainWindowFixture app;
        TForm1* form = app.form();
        for (int i = 0; i < 400 && app.boxes().empty(); ++i)
            click(form->Button3);
        form->activateWindow();
        form->Edit1->setFocus();
        form->Edit1->selectAll();
        QTest::keyClicks(form->Edit1, QStringLiteral("nick29"));
        QVERIFY2(!app.boxes().empty(), "reading into the missing part raised no error");
        for (const QString& text : app.boxTexts())
            QCOMPARE(text, QStringLiteral("Cannot read the contact table %1: database disk "
                                          "image is malformed.")
                               .arg(sandbox.dbPath()));
        checkClockLabels(form);
    }
    QVERIFY(fileBytes(sandbox.dbPath()) == before);
}

void TestReliabilityDamagedTables::foreignLayoutsAreReportedAndLeftAlone() {
    // Without the nick index: the first search at start-up names the missing index, and so
    // does every search after it; browsing in natural order still works.
    {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
        exec(sandbox.dbPath(), QStringLiteral("DROP INDEX \"IRC NICK INDEX\""));
        const QByteArray before = fileBytes(sandbox.dbPath());
        {
            MainWindowFixture app;
            TForm1* form = app.form();
            const QString missing = kIndexMissing.arg(sandbox.dbPath());
            QCOMPARE(app.boxTexts(), QStringList{missing});
            QCOMPARE(form->DBEdit1->text(), QStringLiteral("A"));
            // The failed search leaves searching off until a character is typed: browsing
            // shows the next contact without searching.
            app.clearBoxes();
            click(form->Button3);
            QCOMPARE(form->DBEdit1->text(), QStringLiteral("B"));
            QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
            QVERIFY(app.boxes().empty());
            form->activateWindow();
            form->Edit1->setFocus();
            QTest::keyClicks(form->Edit1, QStringLiteral("x"));
            QCOMPARE(app.boxTexts(), QStringList{missing});
            browseEverywhere(form);
            for (const QString& text : app.boxTexts())
                QCOMPARE(text, missing);
            checkClockLabels(form);
        }
        QVERIFY(fileBytes(sandbox.dbPath()) == before);
    }

    // Without a field: the field is named in the error; the others show.
    {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
        exec(sandbox.dbPath(), QStringLiteral("ALTER TABLE contacts DROP COLUMN \"IRC Location\""));
        const QByteArray before = fileBytes(sandbox.dbPath());
        {
            MainWindowFixture app;
            TForm1* form = app.form();
            const QString missing = QStringLiteral("Field 'IRC Location' not found.");
            QVERIFY2(app.boxTexts().contains(missing), qPrintable(app.boxTexts().join('|')));
            QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
            QCOMPARE(form->DBEdit1->text(), QStringLiteral("A"));
            QVERIFY(form->DBEdit2->text().isEmpty());
            browseEverywhere(form);
            for (const QString& text : app.boxTexts())
                QCOMPARE(text, missing);
            checkClockLabels(form);
        }
        QVERIFY(fileBytes(sandbox.dbPath()) == before);
    }

    // Without the name: each window names the field as it spells it, the view's data box as
    // the table declares it and the Edit/Add tab in capitals.
    {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 1)});
        exec(sandbox.dbPath(), QStringLiteral("ALTER TABLE contacts DROP COLUMN \"IRC Name\""));
        MainWindowFixture app;
        QVERIFY2(app.boxTexts().contains(QStringLiteral("Field 'IRC Name' not found.")),
                 qPrintable(app.boxTexts().join('|')));
        app.clearBoxes();
        clickTab(app.form(), kEditTab);
        QVERIFY2(app.boxTexts().contains(QStringLiteral("Field 'IRC NAME' not found.")),
                 qPrintable(app.boxTexts().join('|')));
    }

    // "contacts" is missing altogether, or is a view: the start-up error says which.
    {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha")});
        exec(sandbox.dbPath(), QStringLiteral("ALTER TABLE contacts RENAME TO people"));
        const QByteArray before = fileBytes(sandbox.dbPath());
        {
            MainWindowFixture app;
            QCOMPARE(app.boxTexts().value(0),
                     QStringLiteral("Cannot open the contact table %1: the file holds no table "
                                    "\"contacts\".")
                         .arg(sandbox.dbPath()));
            browseEverywhere(app.form());
        }
        QVERIFY(fileBytes(sandbox.dbPath()) == before);
    }
}

void TestReliabilityDamagedTables::oddValuesReadAsSoundValues() {
    FixedClock fixed;
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 2)});
    const QString huge = QString(1024 * 1024 - 3, QLatin1Char('h'));
    // Another tool wrote: texts in both numeric fields, a nick of 1 MiB, an empty-string nick
    // (not NULL) on a record that holds a name, a nick that is a number, a blob.
    exec(sandbox.dbPath(),
         QStringLiteral("INSERT INTO contacts VALUES ('bad numbers', 'N', NULL, NULL, NULL, "
                        "'soon', 'many', NULL);"
                        "INSERT INTO contacts VALUES ('%1', 'H', NULL, NULL, NULL, 0, 0, NULL);"
                        "INSERT INTO contacts VALUES ('', 'Empty nick', NULL, NULL, 'kept', 0, "
                        "3, NULL);"
                        "INSERT INTO contacts VALUES (42, 'Number', NULL, NULL, NULL, 0, 0, NULL);"
                        "INSERT INTO contacts VALUES (x'00ff41', 'Blob', NULL, NULL, NULL, 0.5, "
                        "12, NULL);")
             .arg(QStringLiteral("hh") + huge));
    const QByteArray before = fileBytes(sandbox.dbPath());
    {
        MainWindowFixture app;
        TForm1* form = app.form();
        QVERIFY(app.boxes().empty());
        const QString local = form->Label1->text();

        // Nick order: the blank nick first, then "42", "alpha", "bad numbers", the long nick,
        // and the blob last (the engine orders blobs after texts).
        // Texts in the numeric fields read as 0: their time is the local time, hours 0.
        click(form->Button3);
        QCOMPARE(form->Edit1->text(), QStringLiteral("bad numbers"));
        form->RefreshClocks();
        QCOMPARE(form->Label2->text(), local);
        clickTab(form, kEditTab);
        QCOMPARE(form->SpinEdit1->Value(), 0);
        clickTab(form, kViewTab);

        // The 1 MiB nick: shown (as far as a line box holds), searched, no hang.
        QElapsedTimer clock;
        clock.start();
        click(form->Button3);
        QVERIFY(form->Edit1->text().startsWith(QStringLiteral("hhhh")));
        QCOMPARE(form->DBEdit1->text(), QStringLiteral("H"));
        clickTab(form, kEditTab);
        QVERIFY(form->Edit2->text().startsWith(QStringLiteral("hhhh")));
        clickTab(form, kViewTab);
        QVERIFY2(clock.elapsed() < 20000, "a long nick took too long to show");

        // A blob as nick: its text (with a NUL in it) goes into the search box, and the search
        // for it lands on the first text nick, "42", a number stored as a nick. Nothing fails
        // and nothing is written.
        click(form->Button3);
        QCOMPARE(form->Edit1->text(), QStringLiteral("42"));
        QCOMPARE(form->DBEdit1->text(), QStringLiteral("Number"));
        QVERIFY(app.boxes().empty());

        // The empty-string nick reads as blank; its record is kept on a tab switch.
        click(form->Button4);
        QVERIFY(form->Edit1->text().isEmpty());
        QCOMPARE(form->DBEdit1->text(), QStringLiteral("Empty nick"));
        QCOMPARE(form->DBMemo1->toPlainText(), QStringLiteral("kept"));
        clickTab(form, kEditTab);
        QVERIFY(form->Edit2->text().isEmpty());
        QCOMPARE(form->Edit3->text(), QStringLiteral("Empty nick"));
        QCOMPARE(form->SpinEdit1->Value(), 3);
        // Update Entry refuses a record without a nick, as for any such record.
        form->activateWindow();
        form->Edit3->setFocus();
        QTest::keyClicks(form->Edit3, QStringLiteral("!"));
        click(form->Button2);
        QCOMPARE(app.boxTexts(),
                 QStringList{QStringLiteral(
                     "Current record contains no nick! Cannot Update without Nick.")});
        app.clearBoxes();
        clickTab(form, kViewTab);
        browseEverywhere(form);
        QVERIFY2(app.boxes().empty(), qPrintable(app.boxTexts().join('|')));
        checkClockLabels(form);
    }
    QVERIFY(fileBytes(sandbox.dbPath()) == before);
}

void TestReliabilityDamagedTables::offsetsOutOfRangeNeverShowGarbage() {
    FixedClock fixed;
    struct Case {
        const char* name;
        QString sqlValue;
        QString error; // empty: none
        bool clockShowsNothing;
    };
    const QString overflow = QStringLiteral("Floating point overflow.");
    const std::vector<Case> cases{
        {"1e39", QStringLiteral("1e39"), overflow, false},
        {"-1e39", QStringLiteral("-1e39"), overflow, false},
        {"infinity", QStringLiteral("1e999"), overflow, false},
        {"minus infinity", QStringLiteral("-1e999"), overflow, false},
        // The engine keeps no NaN: a NaN written as text reads as the number 0.
        {"NaN as text", QStringLiteral("'NaN'"), QString(), false},
        {"NULL", QStringLiteral("NULL"), QString(), false},
        // Within the 48-bit range, but past the year 9999: no time or date to show.
        {"1e30", QStringLiteral("1e30"), QString(), true},
        {"-3e6", QStringLiteral("-3e6"), QString(), true},
    };
    for (const Case& c : cases) {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 2), contact("beta", "B", 0)});
        exec(sandbox.dbPath(),
             QStringLiteral("UPDATE contacts SET \"IRC Time Displacement\" = %1 WHERE \"IRC Nick\" "
                            "= 'beta'")
                 .arg(c.sqlValue));
        const QByteArray before = fileBytes(sandbox.dbPath());
        {
            MainWindowFixture app;
            TForm1* form = app.form();
            QVERIFY(app.boxes().empty());
            const QString local = form->Label1->text();
            const QString alphaTime = form->Label2->text(); // two hours ahead
            QVERIFY(alphaTime != local);

            click(form->Button3); // to beta
            QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
            form->RefreshClocks();
            if (!c.error.isEmpty()) {
                // The offset is refused and the former one kept: alpha's two hours.
                QCOMPARE(app.boxTexts(), QStringList{c.error});
                QCOMPARE(form->TimeDisplacement(), 2.0 / 24.0);
                QCOMPARE(form->Label2->text(), alphaTime);
            } else if (c.clockShowsNothing) {
                QVERIFY2(app.boxes().empty(), c.name);
                QVERIFY(form->Label2->text().isEmpty());
                QVERIFY(form->Label13->text().isEmpty());
                QCOMPARE(form->Label1->text(), local);
            } else {
                QVERIFY2(app.boxes().empty(), c.name);
                QCOMPARE(form->TimeDisplacement(), 0.0);
                QCOMPARE(form->Label2->text(), local);
            }
            checkClockLabels(form);

            // Searching for it fails (or succeeds) the same way, as often as it is found.
            app.clearBoxes();
            form->activateWindow();
            form->Edit1->setFocus();
            form->Edit1->selectAll();
            QTest::keyClicks(form->Edit1, QStringLiteral("b"));
            QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
            QCOMPARE(app.boxTexts(), c.error.isEmpty() ? QStringList() : QStringList{c.error});
            QTest::qWait(300);
            checkClockLabels(form);
            browseEverywhere(form);
            checkClockLabels(form);
        }
        QVERIFY2(fileBytes(sandbox.dbPath()) == before, c.name);
    }
}

QTEST_MAIN(TestReliabilityDamagedTables)
#include "test_reliability_damaged_tables.moc"
