// Contacts in and out of the table: the CSV and vCard readers and writers, and the table tool's
// import and export commands (all or nothing, line numbers in errors, round trips).

#include "core/time_displacement.h"
#include "store/schema.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tests/test_store_raw.h"
#include "tools/contacts_csv.h"
#include "tools/contacts_io.h"
#include "tools/contacts_vcard.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringEncoder>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <utime.h>
#include <unistd.h>

using palvane::ContactRow;
using palvane::test::contentsOf;
using palvane::test::describe;
using palvane::test::Sandbox;
using palvane::test::ToolRun;
using namespace palvane::tool;

namespace {

// vCard offsets depend on the local offset from UTC: the tool runs in UTC unless told
// otherwise.
ToolRun runTool(const QStringList& arguments, const QByteArray& input = {},
                const QString& timeZone = QStringLiteral("UTC")) {
    return palvane::test::runTool(arguments, input, timeZone);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

ContactRow makeRow(const QString& nick, const QString& name, const QString& location,
                   const QString& email, const QString& notes, std::optional<int> hours,
                   const QString& picture) {
    ContactRow row;
    row.nick = nick;
    row.name = name;
    row.location = location;
    row.email = email;
    row.notes = notes;
    row.spin = hours;
    row.timeDisplacement =
        hours ? std::optional<double>(palvane::hoursToDays(*hours)) : std::nullopt;
    row.picture = picture;
    return row;
}

// Contacts that exercise quoting and escaping: separators of both formats in every field,
// line breaks, non-ASCII (also outside the basic plane), blanks at the edges, empty fields,
// the offset bounds, and a picture path needing percent-encoding.
std::vector<ContactRow> awkwardContacts() {
    const QString longNotes =
        QString::fromUtf8("Ŝtelo ĉiuĵaŭde, ").repeated(20) + QStringLiteral("end");
    return {
        makeRow(QStringLiteral("o'Neil, \"Q\""), QString::fromUtf8("Zoë Ünal-Şahin"),
                QString::fromUtf8("São Paulo, Brasil"), QStringLiteral("zoe@example.com"),
                QStringLiteral("line one\nline two, with comma\n\"quoted\"; semi\\back"), 5,
                QString::fromUtf8("/home/zoë/My Pictures/cat, 1;2.bmp")),
        makeRow(QString(), QString(), QString(), QString(), QString(), 0, QString()),
        makeRow(QString::fromUtf8("日本語ニック"), QString(), QStringLiteral("Tokyo"), QString(),
                QString::fromUtf8("emoji 😀 and a tab\there"), -3, QString()),
        makeRow(QStringLiteral(" lead and trail "), QStringLiteral("Name;With;Semicolons"),
                QStringLiteral(", Germany"), QString(), QStringLiteral("\n\nstarts with breaks"),
                -24, QStringLiteral("/tmp/a%20b/c.bmp")),
        makeRow(QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("Berlin,  Germany"),
                QStringLiteral("x@example.org"), longNotes, 24, QString()),
        makeRow(QStringLiteral("Name Only"), QStringLiteral("Ann Lee"), QStringLiteral("Cork,"),
                QString(), QString(), 1, QString()),
    };
}

} // namespace

class TestToolIo : public QObject {
    Q_OBJECT

private slots:
    void csvRoundTrip();
    void csvHeaderAndOffsets();
    void csvErrorsNameTheLine();
    void csvHeaderShapes_data();
    void csvHeaderShapes();
    void lastRecordWithoutLineBreak_data();
    void lastRecordWithoutLineBreak();
    void vcardRoundTrip();
    void vcardFromOtherPrograms();
    void vcardTimeZones();
    void vcardErrorsNameTheLine();
    void toolExportThenImport();
    void toolImportIsAllOrNothing();
    void toolImportInterrupted_data();
    void toolImportInterrupted();
    void toolRefusals();
    void toolExportAppearsWhenComplete();
    void toolMessages();
    void toolProgressOnATerminal();
};

void TestToolIo::csvRoundTrip() {
    Sandbox box;
    std::vector<ContactRow> rows = awkwardContacts();
    rows.push_back(makeRow(QStringLiteral("blank numbers"), QString(), QString(), QString(),
                           QString(), std::nullopt, QString()));
    rows.back().timeDisplacement = 0.1; // not whole hours, kept exactly as the table holds it
    const QByteArray csv = writeCsv(rows);

    // Records end with CR LF; line breaks inside notes stay LF within their quotes.
    QVERIFY(csv.startsWith("IRC Nick,IRC Name,IRC Location,IRC Email,IRC Notes,"
                           "IRC Time Displacement,IRC Spin,IRC Picture\r\n"));
    QVERIFY(csv.endsWith("\r\n"));
    QVERIFY(csv.contains("\"o'Neil, \"\"Q\"\"\""));
    QVERIFY(csv.contains("\"line one\nline two, with comma\n\"\"quoted\"\"; semi\\back\""));
    QVERIFY(csv.contains(",,,,,0,0,\r\n")); // the blank contact: empty, unquoted
    QVERIFY(csv.contains("\" lead and trail \""));

    // A day offset without its hours gives them, rounded with a warning when not whole.
    std::vector<ContactRow> back = rows;
    back.back().spin = 2;
    const ReadContacts read = readCsv(csv);
    QCOMPARE(describe(read.contacts), describe(back));
    QCOMPARE(read.warnings,
             QStringList{QStringLiteral("line 12, contact 'blank numbers': an offset "
                                        "of 2.4 hours is not whole; \"IRC Spin\" "
                                        "rounded to 2")});
    // The quoted line breaks of the first contact move the later records down.
    QCOMPARE(read.lines.front(), 2);
    QCOMPARE(read.lines[1], 5);

    // A byte order mark (as spreadsheet programs write) is skipped; CR LF inside quotes is read
    // as the LF the notes box writes.
    QByteArray withBom = "\xEF\xBB\xBF" + csv;
    withBom.replace("line one\n", "line one\r\n");
    QCOMPARE(describe(readCsv(withBom).contacts), describe(back));

    // An empty table exports its header alone, which reads back as no contacts.
    const QByteArray empty = writeCsv({});
    QCOMPARE(empty.count("\r\n"), 1);
    QVERIFY(readCsv(empty).contacts.empty());
}

void TestToolIo::csvHeaderAndOffsets() {
    Sandbox box;
    // Columns in any order and any case; the missing ones are blank or 0; blank lines skipped.
    const ReadContacts some = readCsv("irc email,IRC NICK , Irc Name\n"
                                      "a@x.org,alpha,Al\n"
                                      "\n"
                                      ",beta,\n");
    QCOMPARE(some.contacts.size(), size_t(2));
    QCOMPARE(some.contacts[0].nick, QStringLiteral("alpha"));
    QCOMPARE(some.contacts[0].email, QStringLiteral("a@x.org"));
    QCOMPARE(some.contacts[0].name, QStringLiteral("Al"));
    QCOMPARE(some.contacts[0].spin, std::optional<int>(0));
    QCOMPARE(some.contacts[0].timeDisplacement, std::optional<double>(0.0));
    QCOMPARE(some.lines, (std::vector<int>{2, 4}));

    // Only the hours: the days follow. Only the days: the hours follow, rounded with a warning
    // when they are not whole.
    const ReadContacts hours = readCsv("IRC Nick,IRC Spin\nh,-5\nblank,\n");
    QCOMPARE(hours.contacts[0].timeDisplacement, std::optional<double>(palvane::hoursToDays(-5)));
    QCOMPARE(hours.contacts[1].spin, std::optional<int>());
    QCOMPARE(hours.contacts[1].timeDisplacement, std::optional<double>());
    const ReadContacts days = readCsv("IRC Nick,IRC Time Displacement\n"
                                      "d,0.125\n"
                                      "odd,0.1\n"
                                      "half,-0.0625\n");
    QCOMPARE(days.contacts[0].spin, std::optional<int>(3));
    QCOMPARE(days.contacts[1].spin, std::optional<int>(2));
    QCOMPARE(days.contacts[2].spin, std::optional<int>(-2)); // -1.5 hours: away from zero
    QCOMPARE(days.warnings.size(), 2);
    QVERIFY2(days.warnings[0].startsWith(QStringLiteral("line 3, contact 'odd'")),
             qPrintable(days.warnings[0]));
    // Both columns: a record that gives one has the other derived; two that agree are kept.
    const ReadContacts both = readCsv("IRC Nick,IRC Spin,IRC Time Displacement\n"
                                      "h,-5,\nd,,0.25\nb,5,0.208333\n");
    QCOMPARE(both.contacts[0].timeDisplacement, std::optional<double>(palvane::hoursToDays(-5)));
    QCOMPARE(both.contacts[1].spin, std::optional<int>(6));
    QCOMPARE(both.contacts[2].timeDisplacement, std::optional<double>(0.208333));
    QVERIFY(both.warnings.isEmpty());
}

void TestToolIo::csvErrorsNameTheLine() {
    Sandbox box;
    const QByteArray header = "IRC Nick,IRC Notes,IRC Spin\r\n";
    // The unterminated field starts on line 12: the quoted line breaks before it count.
    QByteArray twelve = header;
    twelve += "a,\"two\r\nlines\",1\r\n"; // lines 2-3
    for (int i = 4; i < 12; ++i)
        twelve += "n" + QByteArray::number(i) + ",,0\r\n";
    twelve += "late,\"never closed,0\r\nmore\r\n";

    const QList<QPair<QByteArray, QString>> cases = {
        {twelve, QStringLiteral("line 12: unterminated quoted field")},
        {header + "a,\"x\"y,1\r\n",
         QStringLiteral("line 2: text after the closing quote of a quoted field")},
        {header + "a,b,1\r\nsay \"hi\",,1\r\n",
         QStringLiteral("line 3: quote inside an unquoted field (a field holding quotes must be "
                        "quoted, with each quote doubled)")},
        {header + "a,b,1,extra\r\n", QStringLiteral("line 2: 4 fields, but the header row has 3")},
        {header + "a,b\r\n", QStringLiteral("line 2: 2 fields, but the header row has 3")},
        {header + "a,b,five\r\n",
         QStringLiteral("line 2: \"IRC Spin\" must be a whole number of hours from -24 to 24, "
                        "not 'five'")},
        {header + "a,b,25\r\n",
         QStringLiteral("line 2: \"IRC Spin\" must be a whole number of hours from -24 to 24, "
                        "not '25'")},
        {"IRC Nick,IRC Time Displacement\nz,nan\n",
         QStringLiteral("line 2: \"IRC Time Displacement\" must be a number of days from -1 to "
                        "1, not 'nan'")},
        {"Shoe Size,Hat,\n",
         QStringLiteral("line 1: the header row names no field of the table (the columns are "
                        "\"IRC Nick\", \"IRC Name\", \"IRC Location\", \"IRC Email\", \"IRC "
                        "Notes\", \"IRC Time Displacement\", \"IRC Spin\", \"IRC Picture\", or the "
                        "names mail programs give them, such as \"Nickname\", \"Name\", \"Display "
                        "Name\", \"First Name\", \"Last Name\", \"E-mail Address\", \"E-mail 1 - "
                        "Value\", \"Location\", \"Home City\", \"Home Country\", \"Home Street\", "
                        "\"Business Phone\", \"Phone 1 - Value\", \"Company\", \"Job Title\", "
                        "\"Birthday\", \"Web Page\", \"IM Address\", \"Categories\", "
                        "\"Notes\")")},
        {"IRC Nick,IRC Spin,IRC Time Displacement\nok,6,0.25\nodd,5,0.25\n",
         QStringLiteral("line 3: \"IRC Time Displacement\" is 0.25 days (6 hours) but \"IRC "
                        "Spin\" is 5 hours; give one of them, or two that name the same offset")},
        {"IRC Nick,irc nick\n", QStringLiteral("line 1: the header row names \"IRC Nick\" twice")},
        {"", QStringLiteral("line 1: the header row is missing (the columns are \"IRC Nick\", "
                            "\"IRC Name\", \"IRC Location\", \"IRC Email\", \"IRC Notes\", \"IRC "
                            "Time Displacement\", \"IRC Spin\", \"IRC Picture\")")},
        {"IRC Nick\nok\n\x89PNG\r\n\x1A\n" + QByteArray("\0\0\0\rIHDR", 8),
         QStringLiteral("line 5: the file holds binary data (the byte 0x00), not text")},
        {header + "ok\xC3\xA9,,1\r\nbad\xC3(,,1\r\n",
         QStringLiteral("line 3: the text is not valid UTF-8")},
    };
    for (const auto& [input, message] : cases) {
        QString thrown;
        try {
            readCsv(input);
        } catch (const FormatError& error) {
            thrown = error.message();
        }
        QCOMPARE(thrown, message);
    }
}

void TestToolIo::csvHeaderShapes_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("warnings");
    const QStringList none;
    QTest::newRow("header and rows end in a separator")
        << QByteArray("IRC Nick,IRC Name,\nx,y,\n") << none;
    QTest::newRow("header ends in a separator, rows do not")
        << QByteArray("IRC Nick,IRC Name,\nx,y\n") << none;
    QTest::newRow("rows end in a separator, header does not")
        << QByteArray("IRC Nick;IRC Name\nx;y;;\n") << none;
    QTest::newRow("unnamed column holding data")
        << QByteArray("IRC Nick,,IRC Name, \nx,,y,\nx,secret,y,\n")
        << QStringList{QStringLiteral("column 2 has no name in the header row; its values were "
                                      "not imported")};
}

void TestToolIo::csvHeaderShapes() {
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, warnings);
    Sandbox box;
    const ReadContacts read = readCsv(csv);
    for (const ContactRow& row : read.contacts)
        QCOMPARE(row.nick + QLatin1Char('|') + row.name, QStringLiteral("x|y"));
    QCOMPARE(read.contacts.size(), size_t(csv.count('\n') - 1));
    QCOMPARE(read.warnings, warnings);
}

void TestToolIo::lastRecordWithoutLineBreak_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("format");
    const QString csv = QString::fromUtf8("IRC Nick,IRC Notes\na,café\nb,\"two\nlines\"");
    const QString vcard = QString::fromUtf8("BEGIN:VCARD\nVERSION:3.0\nNICKNAME:a\nNOTE:café\n"
                                            "END:VCARD\nBEGIN:VCARD\nVERSION:3.0\nNICKNAME:b\n"
                                            "NOTE:two\\nlines\nEND:VCARD");
    const auto ends = [](QString text, const char* end) {
        return text.replace(QLatin1Char('\n'), QLatin1String(end));
    };
    const auto encoded = [](const QString& text, const char* encoding) -> QByteArray {
        return QStringEncoder(encoding, QStringEncoder::Flag::WriteBom).encode(text);
    };
    QTest::newRow("csv, LF") << ends(csv, "\n").toUtf8() << QStringLiteral("csv");
    QTest::newRow("csv, CR LF") << ends(csv, "\r\n").toUtf8() << QStringLiteral("csv");
    QTest::newRow("csv, CR") << ends(csv, "\r").toUtf8() << QStringLiteral("csv");
    QTest::newRow("csv, UTF-16LE")
        << encoded(ends(csv, "\r\n"), "UTF-16LE") << QStringLiteral("csv");
    QTest::newRow("csv, UTF-16BE") << encoded(ends(csv, "\n"), "UTF-16BE") << QStringLiteral("csv");
    QTest::newRow("csv, Windows-1252")
        << QByteArray(QStringEncoder("windows-1252").encode(ends(csv, "\r\n")))
        << QStringLiteral("csv");
    QTest::newRow("vcard, CR LF") << ends(vcard, "\r\n").toUtf8() << QStringLiteral("vcard");
    QTest::newRow("vcard, LF") << ends(vcard, "\n").toUtf8() << QStringLiteral("vcard");
    QTest::newRow("vcard, UTF-16LE")
        << encoded(ends(vcard, "\r\n"), "UTF-16LE") << QStringLiteral("vcard");
}

// The last record of a file may end where the file does, without its line break: it is
// imported like every other, from a file and through a pipe.
void TestToolIo::lastRecordWithoutLineBreak() {
    QFETCH(QByteArray, file);
    QFETCH(QString, format);
    Sandbox box;
    const QStringList expected = {QString::fromUtf8("a | café"), QStringLiteral("b | two\nlines")};
    const auto nicksAndNotes = [](const std::vector<ContactRow>& rows) {
        QStringList lines;
        for (const ContactRow& row : rows)
            lines << row.nick + QStringLiteral(" | ") + row.notes;
        return lines;
    };
    const ReadContacts read = format == QLatin1String("csv") ? readCsv(file) : readVCards(file, 0);
    QCOMPARE(nicksAndNotes(read.contacts), expected);
    writeFile(QStringLiteral("contacts.") + format, file);
    for (const QString& source : {QStringLiteral("contacts.") + format, QStringLiteral("-")}) {
        QVERIFY(!QFile::exists(box.dbPath()) || QFile::remove(box.dbPath()));
        box.createTable();
        const ToolRun run =
            runTool({QStringLiteral("import"), source, QStringLiteral("--format"), format}, file);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(nicksAndNotes(palvane::readContacts(box.dbPath())), expected);
    }
}

void TestToolIo::vcardRoundTrip() {
    Sandbox box;
    const std::vector<ContactRow> rows = awkwardContacts();
    for (const VCardVersion version : {VCardVersion::V4, VCardVersion::V3}) {
        // The user's own zone must not matter as long as export and import share it, whole
        // hours or not.
        for (const int localOffset : {0, 3600, -5 * 3600, 19800}) {
            QStringList warnings;
            const QByteArray cards = writeVCards(rows, version, localOffset, &warnings);
            QVERIFY(warnings.isEmpty());
            const ReadContacts read = readVCards(cards, localOffset);
            QCOMPARE(describe(read.contacts), describe(rows));
            QVERIFY2(read.warnings.isEmpty(), qPrintable(read.warnings.join(QLatin1Char('\n'))));
        }
        const QByteArray cards = writeVCards(rows, version, 0);
        // Folded at 75 bytes with CR LF, never inside a character.
        for (const QByteArray& line : cards.split('\n')) {
            QVERIFY2(line.size() <= 76, line.constData()); // 75 plus the CR
            QVERIFY(line.isEmpty() || line.endsWith('\r'));
            QVERIFY(!line.startsWith(' ') || (quint8(line.at(1)) & 0xC0) != 0x80);
        }
        const QString text = QString::fromUtf8(cards);
        const bool v4 = version == VCardVersion::V4;
        QVERIFY(text.contains(v4 ? QStringLiteral("VERSION:4.0") : QStringLiteral("VERSION:3.0")));
        // Version 4.0 writes a UTC offset as its utc-offset value reads, 3.0 with a colon.
        QVERIFY(text.contains(v4 ? QStringLiteral("TZ;VALUE=utc-offset:+0500\r\n")
                                 : QStringLiteral("TZ:+05:00\r\n")));
        QVERIFY(text.contains(v4 ? QStringLiteral("TZ;VALUE=utc-offset:-0300\r\n")
                                 : QStringLiteral("TZ:-03:00\r\n")));
        QVERIFY(text.contains(
            (v4 ? QStringLiteral("PHOTO:") : QStringLiteral("PHOTO;VALUE=uri:")) +
            QStringLiteral("file:///home/zo%C3%AB/My%20Pictures/cat%2C%201%3B2.bmp\r\n")));
        QVERIFY(text.contains(QStringLiteral("NICKNAME:o'Neil\\, \"Q\"\r\n")));
        QVERIFY(text.contains(QString::fromUtf8("ADR:;;;São Paulo;;;Brasil\r\n")));
        // FN is required: a contact without a real name gives its nick, beside an empty N.
        QVERIFY(text.contains(QString::fromUtf8("FN:日本語ニック\r\nN:;;;;\r\n")));
        QVERIFY(text.contains(QStringLiteral("FN:Ann Lee\r\nN:Lee;Ann;;;\r\nNICKNAME:Name Only")));
        // The nick also as the IRC address other programs read; none for a blank nick.
        QVERIFY(text.contains(QStringLiteral("NICKNAME:x\r\nIMPP:irc:///x,isnick\r\n")));
        QVERIFY(text.contains(QStringLiteral("IMPP:irc:///o%27Neil%2C%20%22Q%22,isnick\r\n")));
        QCOMPARE(text.count(QStringLiteral("IMPP:")), int(rows.size()) - 1);
    }
    // With the user an hour east of UTC, five hours ahead of them is six ahead of UTC.
    QVERIFY(writeVCards(rows, VCardVersion::V4, 3600).contains("TZ;VALUE=utc-offset:+0600\r\n"));

    // A contact with a name and no nick keeps its blank nick; an empty e-mail property does not
    // hide a filled one.
    ContactRow unnamed = makeRow({}, QStringLiteral("Ann Lee"), {}, {}, {}, 0, {});
    QCOMPARE(describe(readVCards(writeVCards({unnamed}, VCardVersion::V4, 0), 0).contacts),
             describe({unnamed}));
    QCOMPARE(readVCards("BEGIN:VCARD\nVERSION:4.0\nFN:E\nEMAIL;PREF=1:\nEMAIL:e@example.org\n"
                        "END:VCARD\n",
                        0)
                 .contacts[0]
                 .email,
             QStringLiteral("e@example.org"));

    // A relative picture path becomes absolute (a file: URI cannot be relative), with a warning.
    QStringList warnings;
    const QByteArray relative =
        writeVCards({makeRow(QStringLiteral("rel"), QString(), QString(), QString(), QString(), 0,
                             QStringLiteral("pics/me.bmp"))},
                    VCardVersion::V4, 0, &warnings);
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings[0].contains(QStringLiteral("'pics/me.bmp' is relative")));
    QCOMPARE(readVCards(relative, 0).contacts[0].picture, box.path() + "/pics/me.bmp");
}

void TestToolIo::vcardFromOtherPrograms() {
    Sandbox box;
    // Version 3.0 as address books write it: groups, TYPE parameters, folded lines (also with a
    // tab, and one splitting a word and an escape), escapes, a preferred address and e-mail.
    const QByteArray v3 = "BEGIN:VCARD\r\n"
                          "VERSION:3.0\r\n"
                          "N:Weber;Karl;;;\r\n"
                          "FN:Karl Weber\r\n"
                          "NICKNAME:kwe,kalle\r\n"
                          "item1.EMAIL;TYPE=INTERNET:old@example.de\r\n"
                          "item2.EMAIL;TYPE=INTERNET,pref:karl@example.de\r\n"
                          "ADR;TYPE=WORK:;;Street 1;Hamburg;;20095;Germany\r\n"
                          "ADR;TYPE=HOME,pref:;;Weg 2;M\xC3\xBCnchen;Bayern;80331;Deutschland\r\n"
                          "NOTE:First line\\nsecond line with a comma\\, a semicolon\\; and a b\r\n"
                          " ackslash \\\\ done.\\\r\n"
                          "\tn\\NEnd\r\n"
                          "PHOTO;VALUE=uri:file:///home/karl/Bilder/K%C3%A4se%20Bild.bmp\r\n"
                          "TZ:+01:00\r\n"
                          "END:VCARD\r\n";
    // Version 4.0 with LF line ends, a localhost file URI, an embedded second card without a
    // nickname, a photo given inline, and no TZ.
    const QByteArray v4 = "BEGIN:VCARD\n"
                          "VERSION:4.0\n"
                          "FN:Rin\n"
                          "NICKNAME:rin\n"
                          "PHOTO;MEDIATYPE=image/bmp:file://localhost/srv/pics/rin.bmp\n"
                          "TZ;VALUE=utc-offset:+0900\n"
                          "ADR:;;;;;;Japan\n"
                          "END:VCARD\n"
                          "\n"
                          "begin:vcard\n"
                          "version:4.0\n"
                          "fn:Dee Vee\n"
                          "photo:data:image/png;base64,iVBORw0KGgo=\n"
                          "end:vcard\n";

    const ReadContacts read3 = readVCards(v3, 0);
    QCOMPARE(read3.contacts.size(), size_t(1));
    const ContactRow& karl = read3.contacts[0];
    QCOMPARE(karl.nick, QStringLiteral("kwe"));
    QCOMPARE(karl.name, QStringLiteral("Karl Weber"));
    QCOMPARE(karl.email, QStringLiteral("karl@example.de"));
    QCOMPARE(karl.location, QString::fromUtf8("München, Deutschland"));
    // The other nickname, e-mail and addresses follow the notes.
    QCOMPARE(karl.notes,
             QString::fromUtf8("First line\nsecond line with a comma, a semicolon; and a backslash "
                               "\\ done.\n\nEnd\nNickname: kalle\nE-mail: old@example.de\n"
                               "Address (work): Street 1, Hamburg, 20095, Germany\n"
                               "Address (home): Weg 2, München, Bayern, 80331, Deutschland"));
    QCOMPARE(karl.picture, QString::fromUtf8("/home/karl/Bilder/Käse Bild.bmp"));
    QCOMPARE(karl.spin, std::optional<int>(1));
    QCOMPARE(karl.timeDisplacement, std::optional<double>(palvane::hoursToDays(1)));
    QVERIFY(read3.warnings.isEmpty());

    const ReadContacts read4 = readVCards(v4, 0);
    QCOMPARE(read4.contacts.size(), size_t(2));
    QCOMPARE(read4.lines, (std::vector<int>{1, 10}));
    QCOMPARE(read4.contacts[0].picture, QStringLiteral("/srv/pics/rin.bmp"));
    QCOMPARE(read4.contacts[0].spin, std::optional<int>(9));
    QCOMPARE(read4.contacts[0].location, QStringLiteral("Japan"));
    QCOMPARE(read4.contacts[1].nick, QStringLiteral("Dee Vee")); // FN stands in for the nick
    QCOMPARE(read4.contacts[1].name, QStringLiteral("Dee Vee"));
    QCOMPARE(read4.contacts[1].picture, QString());
    QCOMPARE(read4.contacts[1].spin, std::optional<int>(0));
    QCOMPARE(read4.warnings.size(), 1);
    QVERIFY2(read4.warnings[0].startsWith(
                 QStringLiteral("line 10, contact 'Dee Vee': the picture is embedded")),
             qPrintable(read4.warnings[0]));

    // Pictures that are not local files are left out with a warning, not guessed at.
    const ReadContacts remote = readVCards("BEGIN:VCARD\nVERSION:4.0\nNICKNAME:web\n"
                                           "PHOTO:https://example.org/me.jpg\nEND:VCARD\n",
                                           0);
    QCOMPARE(remote.contacts[0].picture, QString());
    QVERIFY(remote.warnings.value(0).contains(QStringLiteral("is not a local file: URI")));
}

void TestToolIo::vcardTimeZones() {
    Sandbox box;
    const auto card = [](const QByteArray& nick, const QByteArray& tz) {
        return "BEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:" + nick + "\r\n" + tz + "\r\nEND:VCARD\r\n";
    };
    struct Case {
        QByteArray tz;
        int localOffset;
        int hours;
        QString warning; // empty: none
    };
    const QList<Case> cases = {
        {"TZ:+05:00", 0, 5, {}},
        {"TZ;VALUE=utc-offset:-0500", 0, -5, {}},
        {"TZ:+5", 0, 5, {}},
        {"TZ;VALUE=utc-offset:Z", 0, 0, {}},
        {"TZ:-08:00", -8 * 3600, 0, {}},
        {"TZ:+01:00", 3 * 3600, -2, {}},
        {"TZ:+05:30", 0, 6,
         QStringLiteral("line 1, contact 'zed': the time zone +05:30 is 5.5 hours from local "
                        "time, not a whole number; rounded to +6 hours")},
        {"TZ:-0330", 0, -4,
         QStringLiteral("line 1, contact 'zed': the time zone -0330 is -3.5 hours from local "
                        "time, not a whole number; rounded to -4 hours")},
        {"TZ:+05:45", 0, 6, QStringLiteral("rounded to +6 hours")},
        {"TZ:+05:30", 19800, 0, {}}, // the user in the same half-hour zone: exact
        {"TZ:+14:00", -12 * 3600, 24, QStringLiteral("the offset is limited to +24 hours")},
        {"TZ:Mars/Olympus_Mons", 0, 0,
         QStringLiteral("line 1, contact 'zed': the time zone 'Mars/Olympus_Mons' is neither a "
                        "UTC offset such as +05:00 nor a zone of the zone database; offset set to "
                        "0")},
        // Zones without daylight saving time, so that today's offset is known.
        {"TZ:Asia/Tokyo", 0, 9,
         QStringLiteral("line 1, contact 'zed': the time zone Asia/Tokyo is UTC+09:00 today; the "
                        "contact keeps that offset, fixed in whole hours, and will not follow the "
                        "zone's changes such as daylight saving time")},
        {"TZ;VALUE=text:Asia/Kolkata", 0, 6,
         QStringLiteral("Asia/Kolkata is 5.5 hours from local "
                        "time, not a whole number")},
        {"TZ;VALUE=uri:https://tz.example.org/zones/America/Argentina/Buenos_Aires", 0, -3,
         QStringLiteral("America/Argentina/Buenos_Aires is UTC-03:00 today")},
        {"TZ;VALUE=uri:https://example.org/tz/42", 0, 0,
         QStringLiteral("the time zone URI 'https://example.org/tz/42' names no zone of the zone "
                        "database; offset set to 0")},
        {"TZ:+530", 0, 6, QStringLiteral("rounded to +6 hours")},
        {"TZ;VALUE=text:-05:00\\; EST\\; Raleigh/North America", 0, -5, {}},
        {"TZ;VALUE=text:-05:00; EST; Raleigh/North America", 0, -5, {}},
    };
    for (const Case& c : cases) {
        const ReadContacts read = readVCards(card("zed", c.tz), c.localOffset);
        QCOMPARE(read.contacts.size(), size_t(1));
        QVERIFY2(read.contacts[0].spin == c.hours, c.tz.constData());
        QCOMPARE(read.contacts[0].timeDisplacement,
                 std::optional<double>(palvane::hoursToDays(c.hours)));
        if (c.warning.isEmpty()) {
            QVERIFY2(read.warnings.isEmpty(), c.tz.constData());
        } else {
            QVERIFY2(read.warnings.join(QLatin1Char('\n')).contains(c.warning),
                     qPrintable(read.warnings.join(QLatin1Char('\n'))));
        }
    }
}

void TestToolIo::vcardErrorsNameTheLine() {
    Sandbox box;
    const QList<QPair<QByteArray, QString>> cases = {
        {"BEGIN:VCARD\nVERSION:4.0\nFN:A\nthis line has no colon\nEND:VCARD\n",
         QStringLiteral("line 4: no ':' in the line (a vCard line reads NAME:VALUE)")},
        {"BEGIN:VCARD\nVERSION:4.0\nFN:A\n\nBEGIN:VCARD\nFN:B\nEND:VCARD\n",
         QStringLiteral("line 5: BEGIN:VCARD inside the card begun on line 1 (END:VCARD "
                        "missing?)")},
        {"BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nNOTE:folded\n  on\n",
         QStringLiteral("line 4: the card begun here has no END:VCARD")},
        {"BEGIN:VCARD\nVERSION:5.0\nFN:A\nEND:VCARD\n",
         QStringLiteral("line 2: vCard version '5.0' is not supported (2.1, 3.0 and 4.0 are)")},
        {"FN:A\n", QStringLiteral("line 1: 'FN:A' outside a card (a card starts with "
                                  "BEGIN:VCARD)")},
        {"BEGIN:VCALENDAR\n", QStringLiteral("line 1: BEGIN:VCALENDAR is not the start of a "
                                             "vCard")},
        {" BEGIN:VCARD\n", QStringLiteral("line 1: a folded line (starting with a blank) "
                                          "without a line before it to continue")},
        {"BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:\xFF\nEND:VCARD\n",
         QStringLiteral("line 5: the text is not valid UTF-8")},
    };
    for (const auto& [input, message] : cases) {
        QString thrown;
        try {
            readVCards(input, 0);
        } catch (const FormatError& error) {
            thrown = error.message();
        }
        QCOMPARE(thrown, message);
    }
}

void TestToolIo::toolExportThenImport() {
    Sandbox box;
    const std::vector<ContactRow> rows = awkwardContacts();
    box.createTable(rows);

    // CSV to a file, then into a new table: the same contacts.
    ToolRun run = runTool({QStringLiteral("export"), QStringLiteral("all.csv")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.trimmed(), QStringLiteral("Exported 6 contacts to all.csv"));
    QCOMPARE(contentsOf(QStringLiteral("all.csv")), writeCsv(rows));
    QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("csv.db")}).exitCode, 0);
    run = runTool({QStringLiteral("import"), QStringLiteral("all.csv"), QStringLiteral("--table"),
                   QStringLiteral("csv.db")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.trimmed(), QStringLiteral("Imported 6 contacts into csv.db"));
    QCOMPARE(describe(palvane::readContacts(QStringLiteral("csv.db"))), describe(rows));

    // vCard through standard output and standard input, into a table that already holds
    // contacts: they are added after them.
    run = runTool({QStringLiteral("export"), QStringLiteral("--format=vcard")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith(QStringLiteral("BEGIN:VCARD\r\nVERSION:4.0\r\n")));
    QVERIFY(run.err.isEmpty());
    run = runTool({QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--table=csv.db")},
                  run.out.toUtf8());
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    std::vector<ContactRow> twice = rows;
    twice.insert(twice.end(), rows.begin(), rows.end());
    QCOMPARE(describe(palvane::readContacts(QStringLiteral("csv.db"))), describe(twice));

    // vCard 3.0 to a .vcf file, read back by extension.
    run = runTool({QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("vcard3"),
                   QStringLiteral("all.vcf")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(contentsOf(QStringLiteral("all.vcf")).contains("VERSION:3.0\r\n"));
    QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("v3.db")}).exitCode, 0);
    run = runTool({QStringLiteral("import"), QStringLiteral("all.vcf"), QStringLiteral("--table"),
                   QStringLiteral("v3.db")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(describe(palvane::readContacts(QStringLiteral("v3.db"))), describe(rows));

    // The tool converts with the local offset from UTC: exported three hours east of UTC, a
    // contact five hours ahead has TZ +0800; imported at UTC it is eight hours ahead.
    run = runTool({QStringLiteral("export"), QStringLiteral("east.vcf")}, {},
                  QStringLiteral("EAST-3"));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(contentsOf(QStringLiteral("east.vcf")).contains("TZ;VALUE=utc-offset:+0800\r\n"));
    QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("utc.db")}).exitCode, 0);
    run = runTool({QStringLiteral("import"), QStringLiteral("east.vcf"), QStringLiteral("--table"),
                   QStringLiteral("utc.db")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains(QStringLiteral("limited to +24 hours")), qPrintable(run.err));
    QCOMPARE(palvane::readContacts(QStringLiteral("utc.db")).front().spin, std::optional<int>(8));

    // A half-hour zone: imported all the same, rounded, with a warning naming the contact.
    writeFile(QStringLiteral("half.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ravi\r\n"
                                          "NICKNAME:ravi\r\nTZ:+05:30\r\nEND:VCARD\r\n");
    run = runTool({QStringLiteral("import"), QStringLiteral("half.vcf"), QStringLiteral("--table"),
                   QStringLiteral("utc.db")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.trimmed(), QStringLiteral("Imported 1 contacts into utc.db"));
    QVERIFY2(run.err.contains(QStringLiteral("palvane-table: warning: line 1, contact 'ravi': the "
                                             "time zone +05:30 is 5.5 hours from local time")),
             qPrintable(run.err));
    QCOMPARE(palvane::readContacts(QStringLiteral("utc.db")).back().spin, std::optional<int>(6));
}

void TestToolIo::toolImportIsAllOrNothing() {
    Sandbox box;
    box.createTable({palvane::test::contact(QStringLiteral("kept"), QStringLiteral("Kept"), 2)});
    const QByteArray before = contentsOf(box.dbPath());
    const QStringList beforeRows = describe(palvane::readContacts(box.dbPath()));

    // A malformed line late in the file: nothing of the good lines before it is added.
    QByteArray csv = "IRC Nick,IRC Notes\r\n";
    for (int i = 2; i < 12; ++i)
        csv += "good" + QByteArray::number(i) + ",fine\r\n";
    csv += "bad,\"never closed\r\n";
    writeFile(QStringLiteral("bad.csv"), csv);
    ToolRun run = runTool({QStringLiteral("import"), QStringLiteral("bad.csv")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err, QStringLiteral("palvane-table: bad.csv: line 12: unterminated quoted field\n"
                                     "palvane-table: nothing was imported\n"));
    QCOMPARE(contentsOf(box.dbPath()), before);

    // Content sniffing: a vCard file without the .vcf extension, broken on line 4.
    writeFile(QStringLiteral("cards.txt"), "BEGIN:VCARD\nVERSION:4.0\nNICKNAME:a\nbroken\n");
    run = runTool({QStringLiteral("import"), QStringLiteral("cards.txt")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("palvane-table: cards.txt: line 4: no ':'")),
             qPrintable(run.err));

    // The table refuses the third of five rows half-way through the insertion: the two before
    // it are rolled back with it.
    {
        palvane::test::RawDb raw(box.dbPath());
        QVERIFY(raw.exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON contacts WHEN NEW.\"IRC Nick\" = 'boom' "
            "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END")));
    }
    const QByteArray withTrigger = contentsOf(box.dbPath());
    writeFile(QStringLiteral("boom.csv"), "IRC Nick,IRC Spin\none,1\ntwo,2\nboom,3\nfour,4\n");
    run = runTool({QStringLiteral("import"), QStringLiteral("boom.csv")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("refused by the test")), qPrintable(run.err));
    QVERIFY(run.err.contains(QStringLiteral("nothing was imported")));
    QCOMPARE(contentsOf(box.dbPath()), withTrigger);
    QCOMPARE(describe(palvane::readContacts(box.dbPath())), beforeRows);

    // An embedded picture is written beside the table only for an import that goes through.
    QVERIFY(palvane::test::RawDb(box.dbPath()).exec(QStringLiteral("DROP TRIGGER refuse")));
    const QByteArray photoCard =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Pic\r\nNICKNAME:pic\r\nTEL;TYPE=cell:+1 555 0100\r\n"
        "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAIAAAAS"
        "FvFNAAAAEElEQVR4nGP438AAQQxwFgBf0gj7joAKVQAAAABJRU5ErkJggg==\r\n"
        "END:VCARD\r\n";
    writeFile(QStringLiteral("pic-broken.vcf"), photoCard + "BEGIN:VCARD\r\nFN broken\r\n");
    const QString pictures = box.dataDir() + QStringLiteral("/pictures");
    run = runTool({QStringLiteral("import"), QStringLiteral("pic-broken.vcf")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("palvane-table: pic-broken.vcf: line 9: no ':'")),
             qPrintable(run.err));
    QVERIFY(QDir(pictures).isEmpty());
    writeFile(QStringLiteral("pic.vcf"), photoCard);
    run = runTool({QStringLiteral("import"), QStringLiteral("pic.vcf")});
    QCOMPARE(run.exitCode, 0);
    // The summary counts what went to the notes.
    QCOMPARE(run.out, QStringLiteral("Imported 1 contacts into data/palvane.db; 1 value the table "
                                     "has no field for went to the notes\n"));
    const QStringList stored = QDir(pictures).entryList(QDir::Files);
    QCOMPARE(stored.size(), 1);
    QVERIFY2(stored[0].startsWith(QStringLiteral("pic-")) && stored[0].endsWith(".bmp"),
             qPrintable(stored[0]));
    QCOMPARE(palvane::readContacts(box.dbPath()).back().picture,
             pictures + QLatin1Char('/') + stored[0]);
    QCOMPARE(QImage(pictures + QLatin1Char('/') + stored[0]).size(), QSize(3, 2));

    // Texts longer than their field are cut as the table cuts them, with a warning that shows
    // a long value shortened; the import goes through.
    const QString longNick = QString(100000, QLatin1Char('n'));
    writeFile(QStringLiteral("long.csv"), "IRC Nick\n" + longNick.toUtf8() + "\n");
    run = runTool({QStringLiteral("import"), QStringLiteral("long.csv")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("palvane-table: warning: line 2, contact '%1... (100000 "
                                     "characters)': \"IRC Nick\" cut to its length of 64 "
                                     "characters\n")
                          .arg(longNick.left(60)));
    QCOMPARE(palvane::readContacts(box.dbPath()).back().nick, longNick.left(64));
}

void TestToolIo::toolImportInterrupted_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestToolIo::toolImportInterrupted() {
    QFETCH(int, signal);
    Sandbox box;
    box.createTable({palvane::test::contact(QStringLiteral("kept"))});
    const QByteArray before = contentsOf(box.dbPath());
    // A card with a picture, then the file stops coming: the import waits in the middle of the
    // next card, its picture saved, when the signal comes.
    QProcess process;
    process.start(
        QStringLiteral(PALVANE_TABLE_TOOL),
        {QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--format=vcard")});
    QVERIFY(process.waitForStarted(30000));
    process.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Pic\r\nNICKNAME:pic\r\n"
                  "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAIAAAAS"
                  "FvFNAAAAEElEQVR4nGP438AAQQxwFgBf0gj7joAKVQAAAABJRU5ErkJggg==\r\n"
                  "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\n");
    QVERIFY(process.waitForBytesWritten(30000));
    QDir pictures(box.dataDir() + QStringLiteral("/pictures"));
    QTRY_COMPARE_WITH_TIMEOUT(pictures.entryList(QDir::Files).size(), 1, 30000);

    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    // Ended by the signal, as without the import's cleaning up, and nothing left behind.
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(process.exitCode(), signal);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("palvane-table: interrupted; nothing was imported\n"));
    QVERIFY2(pictures.entryList(QDir::Files | QDir::Hidden).isEmpty(),
             qPrintable(pictures.entryList(QDir::Files | QDir::Hidden).join(QLatin1Char(' '))));
    QCOMPARE(contentsOf(box.dbPath()), before);
}

void TestToolIo::toolRefusals() {
    Sandbox box;
    writeFile(QStringLiteral("one.csv"), "IRC Nick\nsolo\n");

    // No table yet: the error says how to make one.
    ToolRun run = runTool({QStringLiteral("import"), QStringLiteral("one.csv")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("palvane-table: data/palvane.db does not exist; "
                                               "make one with 'palvane-table create PATH' first")),
             qPrintable(run.err));
    QVERIFY(!QFile::exists(box.dbPath()));
    // A database without the contact table is not made into one.
    {
        palvane::test::RawDb raw(QStringLiteral("other.db"));
        QVERIFY(raw.exec(QStringLiteral("CREATE TABLE notes (x)")));
    }
    run = runTool({QStringLiteral("import"), QStringLiteral("one.csv"), QStringLiteral("--table"),
                   QStringLiteral("other.db")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("other.db holds no contact table (no table "
                                             "\"contacts\"); make one with 'palvane-table "
                                             "create PATH' first")),
             qPrintable(run.err));
    run = runTool({QStringLiteral("export")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QStringLiteral("does not exist")));

    // Export never overwrites a file.
    box.createTable({palvane::test::contact(QStringLiteral("solo"))});
    writeFile(QStringLiteral("taken.csv"), "mine");
    run = runTool({QStringLiteral("export"), QStringLiteral("taken.csv")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.trimmed(),
             QStringLiteral("palvane-table: taken.csv already exists; export never overwrites "
                            "a file"));
    QCOMPARE(contentsOf(QStringLiteral("taken.csv")), QByteArray("mine"));

    // Arguments.
    const QList<QPair<QStringList, QString>> bad = {
        {{QStringLiteral("import")},
         QStringLiteral("import needs a FILE ('-' for standard input)")},
        {{QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("xml")},
         QStringLiteral("unknown format 'xml' (csv, vcard or vcard3)")},
        {{QStringLiteral("export"), QStringLiteral("--table")},
         QStringLiteral("--table needs a value")},
        {{QStringLiteral("export"), QStringLiteral("a.csv"), QStringLiteral("b.csv")},
         QStringLiteral("unexpected argument 'b.csv'")},
        {{QStringLiteral("import"), QStringLiteral("a.csv"), QStringLiteral("--count=3")},
         QStringLiteral("unknown option '--count=3'")},
    };
    for (const auto& [arguments, message] : bad) {
        run = runTool(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("palvane-table: ") + message),
                 qPrintable(run.err));
    }
    run = runTool({QStringLiteral("--help")});
    QVERIFY(run.out.contains(QStringLiteral("import FILE [--table PATH]")));
    QVERIFY(run.out.contains(QStringLiteral("export [--format csv|vcard|vcard3] [--table PATH]")));
}

void TestToolIo::toolExportAppearsWhenComplete() {
    Sandbox box;
    // Every contact's relative picture path gives a warning on standard error. Nobody reads
    // it, so the pipe fills and the export stops in the middle, its file half written: then
    // it is killed.
    box.createTable();
    palvane::insertContacts(box.dbPath(), 20000, [](qint64 i, ContactRow& row) {
        row.nick = QStringLiteral("n%1").arg(i);
        row.picture = QStringLiteral("pics/%1.bmp").arg(i);
    });
    const auto stalledExport = [](const QString& name = QStringLiteral("all.vcf")) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(PALVANE_TABLE_TOOL), {QStringLiteral("export"), name});
        for (int waited = 0; waited < 30000; waited += 10) {
            if (!QDir()
                     .entryList({QLatin1Char('.') + name + QStringLiteral(".*")},
                                QDir::Hidden | QDir::Files)
                     .isEmpty())
                break;
            QThread::msleep(10);
        }
        return process;
    };
    const QStringList hidden = {QStringLiteral(".all.vcf.*")};

    std::unique_ptr<QProcess> process = stalledExport();
    QCOMPARE(QDir().entryList(hidden, QDir::Hidden | QDir::Files).size(), 1);
    QVERIFY(!QFile::exists(QStringLiteral("all.vcf")));
    process->kill(); // SIGKILL: the temporary file stays, but never under the name asked for
    QVERIFY(process->waitForFinished(30000));
    QVERIFY(!QFile::exists(QStringLiteral("all.vcf")));

    // The next export to the folder removes what the killed one left (once a few seconds old),
    // but not the temporary file of an export still running, nor files that only look alike.
    const QString killed = QDir().entryList(hidden, QDir::Hidden | QDir::Files).value(0);
    std::unique_ptr<QProcess> running = stalledExport(QStringLiteral("more.vcf"));
    const QString held =
        QDir().entryList({QStringLiteral(".more.vcf.*")}, QDir::Hidden | QDir::Files).value(0);
    writeFile(QStringLiteral("plain.txt"), "x");
    QVERIFY(QFile::link(QStringLiteral("plain.txt"), QStringLiteral(".link.0123456789abc.tmp")));
    const QStringList alike = {QStringLiteral(".notes.abc.tmp"),
                               QStringLiteral(".keep.ABCDEFGHIJKLM.tmp"),
                               QStringLiteral("plain.0123456789abc.tmp")};
    for (const QString& name : alike)
        writeFile(name, "mine");
    const auto age = [](const QString& name) {
        const time_t minuteAgo = ::time(nullptr) - 60;
        const struct utimbuf times = {minuteAgo, minuteAgo};
        QCOMPARE(::utime(QFile::encodeName(name).constData(), &times), 0);
    };
    for (const QString& name : alike + QStringList{killed, held})
        age(name);
    QCOMPARE(runTool({QStringLiteral("export"), QStringLiteral("other.csv")}).exitCode, 0);
    QVERIFY(!QFile::exists(killed));
    for (const QString& name : alike + QStringList{held, QStringLiteral(".link.0123456789abc.tmp")})
        QVERIFY2(QFileInfo(name).exists() || QFileInfo(name).isSymLink(), qPrintable(name));
    running->kill();
    QVERIFY(running->waitForFinished(30000));
    age(held);
    QCOMPARE(runTool({QStringLiteral("export"), QStringLiteral("third.csv")}).exitCode, 0);
    QVERIFY(!QFile::exists(held));

    process = stalledExport();
    process->terminate(); // SIGTERM (as Ctrl-C): the temporary file goes too
    QVERIFY(process->waitForFinished(30000));
    QVERIFY(!QFile::exists(QStringLiteral("all.vcf")));
    QVERIFY(QDir().entryList(hidden, QDir::Hidden | QDir::Files).isEmpty());

    // Complete, it has its name, and the permissions of any new file.
    const ToolRun run = runTool({QStringLiteral("export"), QStringLiteral("all.vcf")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(contentsOf(QStringLiteral("all.vcf")).count("BEGIN:VCARD"), 20000);
    QVERIFY(QDir().entryList(hidden, QDir::Hidden | QDir::Files).isEmpty());
    writeFile(QStringLiteral("plain.txt"), "x");
    QCOMPARE(QFile::permissions(QStringLiteral("all.vcf")),
             QFile::permissions(QStringLiteral("plain.txt")));
}

void TestToolIo::toolMessages() {
    Sandbox box;
    box.createTable({palvane::test::contact(QStringLiteral("solo"))});

    // A full disk says so.
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(PALVANE_TABLE_TOOL), {QStringLiteral("export")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("palvane-table: cannot write to standard output: the disk is full\n"));

    // A UTF-16 file's fault is told in full, and so is a value holding a NUL.
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    writeFile(QStringLiteral("bad16.csv"),
              encoder.encode(QStringLiteral("IRC Nick,IRC Spin\r\nok,1\r\nbad,five\r\n")));
    ToolRun run = runTool({QStringLiteral("import"), QStringLiteral("bad16.csv")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("palvane-table: bad16.csv: line 3: \"IRC Spin\" must be a "
                                     "whole number of hours from -24 to 24, not 'five'\n"
                                     "palvane-table: nothing was imported\n"));
    writeFile(QStringLiteral("nul.csv"), QByteArray("IRC Nick,IRC Spin\nbad,1") + '\0' + "x\n");
    run = runTool({QStringLiteral("import"), QStringLiteral("nul.csv")});
    QCOMPARE(run.err, QStringLiteral("palvane-table: nul.csv: line 2: \"IRC Spin\" must be a "
                                     "whole number of hours from -24 to 24, not '1\\0x'\n"
                                     "palvane-table: nothing was imported\n"));
}

void TestToolIo::toolProgressOnATerminal() {
    Sandbox box;
    box.createTable();
    // Standard error on a terminal of its own; standard input fed slowly, so that the import
    // takes more than the second after which its progress shows.
    int terminal = -1;
    int side = -1;
    QVERIFY(::openpty(&terminal, &side, nullptr, nullptr, nullptr) == 0);
    const QString sideName = QString::fromLocal8Bit(::ttyname(side));
    QProcess process;
    process.setStandardErrorFile(sideName);
    process.start(QStringLiteral(PALVANE_TABLE_TOOL),
                  {QStringLiteral("import"), QStringLiteral("-")});
    QVERIFY(process.waitForStarted(30000));
    process.write("IRC Nick\nfirst\n");
    QVERIFY(process.waitForBytesWritten(30000));
    QThread::msleep(1200);
    process.write("second\n");
    QVERIFY(process.waitForBytesWritten(30000));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    ::close(side);
    QByteArray shown;
    char buffer[4096];
    ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, got);
    ::close(terminal);
    // The line is drawn, then blanked before the closing message goes to standard output.
    QVERIFY2(shown.contains("\rImporting: 2 contacts"), shown.constData());
    QVERIFY2(shown.endsWith('\r' + QByteArray(21, ' ') + '\r'), shown.constData());
    QCOMPARE(process.readAllStandardOutput(),
             QByteArray("Imported 2 contacts into data/palvane.db\n"));
}

QTEST_GUILESS_MAIN(TestToolIo)
#include "test_tool_io.moc"
