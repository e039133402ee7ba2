// An offset given in whole hours from outside the window (add or set --offset, an import that
// gives only the hours, a vCard's time zone) is stored with the very bits the window's spin box
// stores, so that where an offset came from never changes the time a contact shows.

#include "core/time_displacement.h"
#include "main_window/tform1.h"
#include "store/schema.h"
#include "tests/support/edit_tab_actions.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

using namespace palvane;
using namespace palvane::test;

namespace {

// The stored day offset of the contact with nick, bit for bit (QCOMPARE on doubles is fuzzy).
QString storedBits(const QString& path, const QString& nick) {
    for (const ContactRow& row : readContacts(path)) {
        if (row.nick != nick || !row.timeDisplacement)
            continue;
        quint64 bits = 0;
        std::memcpy(&bits, &*row.timeDisplacement, sizeof bits);
        return QString::number(bits, 16);
    }
    return QStringLiteral("no offset of %1").arg(nick);
}

QString bitsOf(double days) {
    quint64 bits = 0;
    std::memcpy(&bits, &days, sizeof bits);
    return QString::number(bits, 16);
}

} // namespace

class TestOffsetsFromOutside : public QObject {
    Q_OBJECT

private slots:
    void sameBitsAsTheWindow_data();
    void sameBitsAsTheWindow();
};

void TestOffsetsFromOutside::sameBitsAsTheWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("file"); // written to in.csv or in.vcf first
    QTest::addColumn<QString>("nick");
    QTest::addColumn<int>("hours");

    QTest::newRow("add --offset") << QStringList{"add", "kiwi", "--offset", "5"} << QByteArray()
                                  << "kiwi" << 5;
    QTest::newRow("add --offset, west")
        << QStringList{"add", "kiwi", "--offset", "-7"} << QByteArray() << "kiwi" << -7;
    QTest::newRow("set --offset") << QStringList{"set", "sakura", "--offset", "13"} << QByteArray()
                                  << "sakura" << 13;
    QTest::newRow("CSV import with only the hours")
        << QStringList{"import", "in.csv"} << QByteArray("IRC Nick,IRC Spin\r\nkiwi,5\r\n")
        << "kiwi" << 5;
    QTest::newRow("vCard import of a time zone")
        << QStringList{"import", "in.vcf"}
        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Hemi\r\nNICKNAME:kiwi\r\nTZ:-07:00\r\n"
                      "END:VCARD\r\n")
        << "kiwi" << -7;
}

void TestOffsetsFromOutside::sameBitsAsTheWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, file);
    QFETCH(QString, nick);
    QFETCH(int, hours);
    Sandbox sandbox;
    sandbox.createTable({contact("sakura", "Yui Tanaka", 9)});
    if (!file.isEmpty()) {
        QFile input(arguments.last());
        QVERIFY(input.open(QIODevice::WriteOnly) && input.write(file) == file.size());
    }
    const ToolRun run = runTool(arguments, {}, QStringLiteral("UTC"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    // The same hours typed into the window's spin box for a new entry.
    {
        MainWindowFixture app;
        TForm1* form = app.form();
        clickTab(form, kEditTab);
        click(form->Button1);
        type(form, form->Edit2, QStringLiteral("typed"));
        typeSpin(form, QString::number(hours));
        click(form->Button2);
        QVERIFY(app.boxes().empty());
    }
    const QString window = storedBits(sandbox.dbPath(), QStringLiteral("typed"));
    QCOMPARE(window, bitsOf(hoursToDays(hours)));
    QCOMPARE(storedBits(sandbox.dbPath(), nick), window);
}

QTEST_MAIN(TestOffsetsFromOutside)
#include "test_offsets_from_outside.moc"
