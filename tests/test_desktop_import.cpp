// Contacts in from the desktop: what the typed command asks for, the import's window from
// start to result, and the confirmation that comes first.

#include "importer/import_flow.h"
#include "importer/import_window.h"
#include "launcher/launch_request.h"
#include "store/schema.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

using palvane::importer::ImportOutcome;
using palvane::importer::ImportWindow;
using palvane::launcher::LaunchRequest;
using palvane::test::Sandbox;

namespace {

constexpr int kImportTimeoutMs = 30000;

const QByteArray kTwoCards = "BEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:ada\r\nFN:Ada L\r\n"
                             "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:web\r\n"
                             "PHOTO:https://example.org/me.jpg\r\nEND:VCARD\r\n";

QString writeFile(const Sandbox& box, const QString& name, const QByteArray& bytes) {
    const QString path = box.path() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QStringList nicks(const QString& table) {
    QStringList result;
    for (const palvane::ContactRow& row : palvane::readContacts(table))
        result << row.nick;
    return result;
}

} // namespace

class TestDesktopImport : public QObject {
    Q_OBJECT

private slots:
    void launchArguments_data();
    void launchArguments();
    void windowTellsTheOutcome_data();
    void windowTellsTheOutcome();
    void cancelledImportAddsNothing();
    void asksBeforeImporting_data();
    void asksBeforeImporting();
};

void TestDesktopImport::launchArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("error");

    const QStringList none;
    QTest::newRow("nothing opens the book") << none << int(LaunchRequest::Open) << none << "";
    QTest::newRow("a file imports it")
        << QStringList{"a.vcf"} << int(LaunchRequest::Import) << QStringList{"a.vcf"} << "";
    QTest::newRow("--import alone lets the user choose")
        << QStringList{"--import"} << int(LaunchRequest::Import) << none << "";
    QTest::newRow("--import with files")
        << QStringList{"--import", "a.vcf", "b.csv"} << int(LaunchRequest::Import)
        << QStringList{"a.vcf", "b.csv"} << "";
    QTest::newRow("a file named like an option after --")
        << QStringList{"--", "--odd.vcf"} << int(LaunchRequest::Import) << QStringList{"--odd.vcf"}
        << "";
    QTest::newRow("--help") << QStringList{"a.vcf", "--help"} << int(LaunchRequest::Help) << none
                            << "";
    QTest::newRow("--version") << QStringList{"--version"} << int(LaunchRequest::Version) << none
                               << "";
    QTest::newRow("unknown option")
        << QStringList{"-x"} << int(LaunchRequest::Wrong) << none << "unknown option '-x'";
    QTest::newRow("standard input") << QStringList{"-"} << int(LaunchRequest::Wrong) << none
                                    << "contacts on standard input are imported with "
                                       "'palvane-table import -'";
    QTest::newRow("empty file name")
        << QStringList{""} << int(LaunchRequest::Wrong) << none << "the file name is empty";
}

void TestDesktopImport::launchArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, mode);
    QFETCH(QStringList, files);
    QFETCH(QString, error);
    const LaunchRequest request = palvane::launcher::parseLaunchArguments(arguments);
    QCOMPARE(int(request.mode), mode);
    QCOMPARE(request.files, files);
    QCOMPARE(request.error, error);
}

void TestDesktopImport::windowTellsTheOutcome_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // "missing": no such file
    QTest::addColumn<bool>("haveTable");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("head");      // the status's first line (its start, for failures)
    QTest::addColumn<QString>("warning");   // a text the warnings hold, or "" for none
    QTest::addColumn<QStringList>("after"); // the nicks in the table afterwards

    const QStringList old{"old"};
    QTest::newRow("two cards, one warned about")
        << "friends.vcf" << kTwoCards << true << int(ImportOutcome::Imported)
        << "Imported 2 contacts."
        << "is not a local file: URI" << QStringList{"old", "ada", "web"};
    QTest::newRow("one CSV row") << "one.csv" << QByteArray("IRC Nick,IRC Name\nbea,Bea\n") << true
                                 << int(ImportOutcome::Imported) << "Imported 1 contact."
                                 << "" << QStringList{"old", "bea"};
    QTest::newRow("a value without a field")
        << "phone.csv" << QByteArray("IRC Nick,Mobile Phone\ncy,+1 555 0100\n") << true
        << int(ImportOutcome::Imported)
        << "Imported 1 contact. 1 value the table has no field for went to the notes."
        << "" << QStringList{"old", "cy"};
    QTest::newRow("no contacts") << "empty.vcf" << QByteArray() << true
                                 << int(ImportOutcome::Imported)
                                 << "The file holds no contacts: the table is unchanged."
                                 << "" << old;
    QTest::newRow("a malformed line")
        << "bad.csv" << QByteArray("IRC Nick\nfine\n\"unterminated\n") << true
        << int(ImportOutcome::Failed) << "Nothing was imported: "
        << "" << old;
    QTest::newRow("no such file") << "gone.vcf" << QByteArray("missing") << true
                                  << int(ImportOutcome::Failed) << "Nothing was imported: cannot "
                                  << "" << old;
    QTest::newRow("no table") << "friends.vcf" << kTwoCards << false << int(ImportOutcome::Failed)
                              << "Nothing was imported: "
                              << "" << QStringList();
}

void TestDesktopImport::windowTellsTheOutcome() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, haveTable);
    QFETCH(int, result);
    QFETCH(QString, head);
    QFETCH(QString, warning);
    QFETCH(QStringList, after);

    Sandbox box;
    if (haveTable)
        box.createTable({palvane::test::contact(QStringLiteral("old"))});
    const QString file =
        bytes == "missing" ? box.path() + QLatin1Char('/') + name : writeFile(box, name, bytes);

    ImportWindow window(file, box.dbPath());
    QVERIFY(window.statusText().startsWith(QStringLiteral("Importing contacts")));
    window.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.isDone(), kImportTimeoutMs);

    QCOMPARE(int(window.outcome().result), result);
    const QStringList lines = window.statusText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(head), qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("File: ") + file);
    QCOMPARE(lines[2], QStringLiteral("Table: ") + box.dbPath());
    if (warning.isEmpty())
        QCOMPARE(window.warningsText(), QString());
    else
        QVERIFY2(window.warningsText().contains(warning), qPrintable(window.warningsText()));
    if (haveTable)
        QCOMPARE(nicks(box.dbPath()), after);
    else
        QVERIFY(!QFile::exists(box.dbPath()));
}

void TestDesktopImport::cancelledImportAddsNothing() {
    Sandbox box;
    box.createTable({palvane::test::contact(QStringLiteral("old"))});
    const QString file = writeFile(box, QStringLiteral("friends.vcf"), kTwoCards);
    ImportWindow window(file, box.dbPath());
    window.show();

    // Cancel before the first contact: the import stops there, and the window stays to say so.
    window.reject();
    window.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.isDone(), kImportTimeoutMs);
    QVERIFY(window.isVisible());
    QCOMPARE(int(window.outcome().result), int(ImportOutcome::Cancelled));
    QVERIFY2(window.statusText().startsWith(
                 QStringLiteral("The import was cancelled: nothing was imported.")),
             qPrintable(window.statusText()));
    QCOMPARE(nicks(box.dbPath()), QStringList{QStringLiteral("old")});
    window.reject();
    QVERIFY(!window.isVisible());
}

void TestDesktopImport::asksBeforeImporting_data() {
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("after"); // the user's table: its nicks, or none at all

    QTest::newRow("declined: no table is made") << false << 0 << QStringList();
    QTest::newRow("confirmed: the user's table is made and filled")
        << true << 0 << QStringList{"ada", "web"};
}

void TestDesktopImport::asksBeforeImporting() {
    QFETCH(bool, confirm);
    QFETCH(int, status);
    QFETCH(QStringList, after);

    Sandbox box;
    const QString file = writeFile(box, QStringLiteral("friends.vcf"), kTwoCards);
    const QString folder = box.path() + QStringLiteral("/share/palvane");
    const palvane::tool::TableLocation location{folder, folder + QStringLiteral("/data/palvane.db"),
                                                true};

    QString asked;
    QString told;
    palvane::test::onNextModal([&](QWidget* modal) {
        auto* question = qobject_cast<QMessageBox*>(modal);
        QVERIFY(question);
        asked = question->text();
        const QString wanted = confirm ? QStringLiteral("&Import") : QStringLiteral("Cancel");
        for (QAbstractButton* button : question->buttons())
            if (button->text() == wanted)
                button->click();
        if (!confirm)
            return;
        // Then the import's window: read its result once it has one, and close it.
        palvane::test::onNextModal([&](QWidget* next) {
            auto* window = qobject_cast<ImportWindow*>(next);
            QVERIFY(window);
            auto* poll = new QTimer(window);
            connect(poll, &QTimer::timeout, window, [window, poll, &told] {
                if (!window->isDone())
                    return;
                poll->stop();
                told = window->statusText();
                window->reject();
            });
            poll->start(10);
        });
    });
    QCOMPARE(palvane::importer::importFiles({QUrl::fromLocalFile(file).toString()}, location),
             status);

    QCOMPARE(asked, palvane::importer::confirmationText(file, location.table, true));
    QVERIFY(asked.contains(QStringLiteral("File: ") + file));
    QVERIFY(asked.contains(QStringLiteral("Table: ") + location.table));
    if (after.isEmpty()) {
        QVERIFY(!QFile::exists(location.table));
        QCOMPARE(told, QString());
        return;
    }
    QVERIFY2(told.startsWith(QStringLiteral("Imported 2 contacts.")), qPrintable(told));
    QCOMPARE(nicks(location.table), after);
}

QTEST_MAIN(TestDesktopImport)
#include "test_desktop_import.moc"
