// Contact files as other programs write them, one hand-written sample per shape, each with the
// exact contacts it must give: vCard 2.1, 3.0 and 4.0 as phones and address books export them,
// and CSV files with other separators, encodings, line ends and the headers of mail programs.

#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_csv.h"
#include "tools/contacts_vcard.h"

#include <QImage>
#include <QStringEncoder>
#include <QTest>

#include <optional>

using palvane::ContactRow;
using palvane::test::describeInHours;
using palvane::test::Sandbox;
using namespace palvane::tool;

namespace {

// A line of describeInHours(): nick | name | location | email | notes | hours | hours | picture.
QString contact(const QString& nick, const QString& name, const QString& location,
                const QString& email, const QString& notes, int hours,
                const QString& picture = {}) {
    return QStringList{
        nick, name, location, email, notes, QString::number(hours), QString::number(hours), picture}
        .join(QStringLiteral(" | "));
}

// The picture of row, checked to be a bitmap of the given size and top left pixel in the
// store's directory, is replaced by "<picture WxH>" so that the rest compares exactly.
void checkPicture(ContactRow& row, const QString& directory, const QString& stem, QSize size,
                  QRgb topLeft) {
    QVERIFY2(row.picture.startsWith(directory + QLatin1Char('/') + stem + QLatin1Char('-')) &&
                 row.picture.endsWith(QLatin1String(".bmp")),
             qPrintable(row.picture));
    const QImage image(row.picture, "BMP");
    QCOMPARE(image.size(), size);
    QCOMPARE(image.pixel(0, 0), topLeft);
    row.picture = QStringLiteral("<picture %1x%2>").arg(size.width()).arg(size.height());
}

QByteArray utf16(const QString& text, QStringEncoder::Encoding encoding, bool bom) {
    QStringEncoder encoder(encoding,
                           bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(text);
}

} // namespace

class TestToolIoSamples : public QObject {
    Q_OBJECT

private slots:
    void vcard21FromAPhone();
    void vcard30FromAnAddressBook();
    void vcard40WithZonesAndData();
    void csvSeparatorsEncodingsAndLineEnds();
    void csvFromMailPrograms();
    void csvFromAnOlderDesktopMailProgram();
    void csvFromAnAddressBookEndingInSeparators();
    void csvFromWebMailWithTypedColumns();
    void vcardsWithLabelsGroupsAndEmptyCards();
};

void TestToolIoSamples::vcard21FromAPhone() {
    Sandbox box;
    // Quoted-printable in two character sets with a soft line break, preferred and other
    // e-mails, a base64 photo folded with blanks, and a second card without FN or NICKNAME
    // whose bare BASE64 photo runs over unfolded lines to a blank line.
    const QByteArray card =
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n"
        "NICKNAME:jmueller\r\n"
        "TEL;CELL:+49 170 0000000\r\n"
        "EMAIL;INTERNET:jm@work.example\r\n"
        "EMAIL;PREF;INTERNET:juergen@example.de\r\n"
        "ADR;HOME;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=DFe 1;"
        "K=F6ln;;50667;Deutschland\r\n"
        "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Erste Zeile=0D=0Azweite "
        "Zeile, umbro=\r\n"
        "chen.\r\n"
        "TZ:+01:00\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=BMP:\r\n"
        "  Qk1GAAAAAAAAADYAAAAoAAAAAgAAAAIAAAABABgAAAAAABAAAAATCwAAEwsAAAAAAAAAAAAA\r\n"
        "  /////wAAAAAAAP8A/wAAAA==\r\n"
        "\r\n"
        "END:VCARD\r\n"
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N:Smith;Ann;;Dr.;\r\n"
        "PHOTO;PNG;BASE64:\r\n"
        "iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAIAAAASFvFNAAAAEElEQVR4nGP438AAQQxw\r\n"
        "FgBf0gj7joAKVQAAAABJRU5ErkJggg==\r\n"
        "\r\n"
        "END:VCARD\r\n";
    const QString pictures = box.path() + QStringLiteral("/pictures");
    PictureStore store(pictures);
    ReadContacts read = readVCards(card, 0, &store);
    QCOMPARE(read.lines, (std::vector<int>{1, 18}));
    QCOMPARE(read.contacts.size(), size_t(2));
    checkPicture(read.contacts[0], pictures, QStringLiteral("jmueller"), QSize(2, 2),
                 qRgb(255, 0, 0));
    checkPicture(read.contacts[1], pictures, QStringLiteral("Dr__Ann_Smith"), QSize(3, 2),
                 qRgb(255, 128, 0));
    QCOMPARE(describeInHours(read.contacts),
             (QStringList{contact(QStringLiteral("jmueller"), QString::fromUtf8("Jürgen Müller"),
                                  QString::fromUtf8("Köln, Deutschland"),
                                  QStringLiteral("juergen@example.de"),
                                  QString::fromUtf8("Erste Zeile\nzweite Zeile, umbrochen.\n"
                                                    "Phone (cell): +49 170 0000000\n"
                                                    "E-mail: jm@work.example\n"
                                                    "Address (home): Hauptstraße 1, Köln, 50667, "
                                                    "Deutschland"),
                                  1, QStringLiteral("<picture 2x2>")),
                          contact(QStringLiteral("Dr. Ann Smith"), QStringLiteral("Dr. Ann Smith"),
                                  {}, {}, {}, 0, QStringLiteral("<picture 3x2>"))}));
    QVERIFY2(read.warnings.isEmpty(), qPrintable(read.warnings.join(QLatin1Char('\n'))));
}

void TestToolIoSamples::vcard30FromAnAddressBook() {
    Sandbox box;
    // Grouped properties with their labels, the nick only in an irc: IMPP, quoted-printable in
    // a 3.0 card, folded lines (a blank and a tab), an address with escapes, and a card whose
    // IMPP names a channel, not a nick.
    const QByteArray card =
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "PRODID:-//Example//Address Book 1.0//EN\n"
        "N:Weber;Karl;;;\n"
        "FN:Karl Weber\n"
        "item1.EMAIL;type=INTERNET;type=pref:karl@example.de\n"
        "item1.X-ABLabel:_$!<Other>!$_\n"
        "item2.EMAIL;type=INTERNET:k.weber@example.org\n"
        "IMPP;X-SERVICE-TYPE=IRC;type=pref:irc://irc.libera.chat/kweber\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Trifft J=C3=BCrgen am Mon\n"
        " tag\\, 10 Uhr\n"
        "item3.ADR;type=HOME:;;Weg 2;Gro\xC3\x9F-\n"
        "\tGerau;;64521;Deutschland\n"
        "TZ:-05:00\n"
        "END:VCARD\n"
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "FN:Lobby Regular\n"
        "IMPP:irc://irc.example.net/%23lobby\n"
        "END:VCARD\n";
    const ReadContacts read = readVCards(card, 0);
    QCOMPARE(
        describeInHours(read.contacts),
        (QStringList{contact(QStringLiteral("kweber"), QStringLiteral("Karl Weber"),
                             QString::fromUtf8("Groß-Gerau, Deutschland"),
                             QStringLiteral("karl@example.de"),
                             QString::fromUtf8("Trifft Jürgen am Montag, 10 Uhr\n"
                                               "E-mail: k.weber@example.org\n"
                                               "Address (home): Weg 2, Groß-Gerau, 64521, "
                                               "Deutschland"),
                             -5),
                     contact(QStringLiteral("Lobby Regular"), QStringLiteral("Lobby Regular"), {},
                             {}, QStringLiteral("IM (irc): irc://irc.example.net/%23lobby"), 0)}));
    QVERIFY(read.warnings.isEmpty());
}

void TestToolIoSamples::vcard40WithZonesAndData() {
    Sandbox box;
    // A zone name in TZ, a data: URI photo folded over lines, several nicknames and e-mails
    // ranked by PREF; a card with its zone in a URI and its nick in an ircs: IMPP.
    const QByteArray card =
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "FN:Rin Tanaka\r\n"
        "N:Tanaka;Rin;;;\r\n"
        "NICKNAME:rin,rinrin\r\n"
        "EMAIL;PREF=2:rin@home.example\r\n"
        "EMAIL;PREF=1:rin@example.jp\r\n"
        "TZ;VALUE=text:Asia/Tokyo\r\n"
        "PHOTO:data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAIAAAASFvFNAAAAEElEQ\r\n"
        " VR4nGP438AAQQxwFgBf0gj7joAKVQAAAABJRU5ErkJggg==\r\n"
        "NOTE:Likes long\\nwal\r\n"
        " ks\r\n"
        "END:VCARD\r\n"
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "FN:Dee\r\n"
        "TZ;VALUE=uri:https://tz.example.org/zones/America/Argentina/Buenos_Aires\r\n"
        "IMPP;PREF=2:ircs://irc.example.net/%23dee\r\n"
        "IMPP;PREF=1:ircs://irc.example.net:6697/dee%5Baway%5D,isnick\r\n"
        "END:VCARD\r\n";
    const QString pictures = box.path() + QStringLiteral("/pictures");
    PictureStore store(pictures);
    ReadContacts read = readVCards(card, 0, &store);
    QCOMPARE(read.contacts.size(), size_t(2));
    checkPicture(read.contacts[0], pictures, QStringLiteral("rin"), QSize(3, 2), qRgb(255, 128, 0));
    QCOMPARE(
        describeInHours(read.contacts),
        (QStringList{contact(QStringLiteral("rin"), QStringLiteral("Rin Tanaka"), {},
                             QStringLiteral("rin@example.jp"),
                             QStringLiteral("Likes long\nwalks\nNickname: rinrin\n"
                                            "E-mail: rin@home.example"),
                             9, QStringLiteral("<picture 3x2>")),
                     contact(QStringLiteral("dee[away]"), QStringLiteral("Dee"), {}, {},
                             QStringLiteral("IM (ircs): ircs://irc.example.net/%23dee"), -3)}));
    // Both zones are taken as fixed offsets, with a warning naming the card and the zone.
    QCOMPARE(read.warnings.size(), 2);
    QVERIFY2(read.warnings[0].startsWith(QStringLiteral("line 1, contact 'rin': the time zone "
                                                        "Asia/Tokyo is UTC+09:00 today; the "
                                                        "contact keeps that offset, fixed in "
                                                        "whole hours")),
             qPrintable(read.warnings[0]));
    QVERIFY2(read.warnings[1].startsWith(QStringLiteral("line 14, contact 'dee[away]': the time "
                                                        "zone America/Argentina/Buenos_Aires is "
                                                        "UTC-03:00 today")),
             qPrintable(read.warnings[1]));
}

void TestToolIoSamples::csvSeparatorsEncodingsAndLineEnds() {
    Sandbox box;
    const QStringList expected = {
        contact(QStringLiteral("zoe"), QString::fromUtf8("Zoë Ünal"), {},
                QStringLiteral("zoe@example.com"), {}, 2),
        contact(QStringLiteral("semi;colon"), QStringLiteral("Two\nlines"), {}, {}, {}, -5),
    };
    // Semicolons (a spreadsheet in a country whose decimal mark is the comma), a byte order
    // mark and CR-only line ends, also inside a quoted field.
    const QByteArray semicolons = "\xEF\xBB\xBFIRC Nick;IRC Name;IRC Email;IRC Spin\r"
                                  "zoe;Zo\xC3\xAB \xC3\x9Cnal;zoe@example.com;2\r"
                                  "\"semi;colon\";\"Two\rlines\";;-5\r";
    ReadContacts read = readCsv(semicolons);
    QCOMPARE(describeInHours(read.contacts), expected);
    QCOMPARE(read.lines, (std::vector<int>{2, 3}));

    // UTF-16: little-endian with a byte order mark and tabs ("Unicode text"), and big-endian
    // without one.
    const QString tabs = QString::fromUtf8("IRC Nick\tIRC Name\tIRC Email\tIRC Spin\r\n"
                                           "zoe\tZoë Ünal\tzoe@example.com\t2\r\n"
                                           "semi;colon\t\"Two\r\nlines\"\t\t-5\r\n");
    read = readCsv(utf16(tabs, QStringEncoder::Utf16LE, true));
    QCOMPARE(describeInHours(read.contacts), expected);
    const QString commas = QString::fromUtf8("IRC Nick,IRC Name,IRC Email,IRC Spin\n"
                                             "zoe,Zoë Ünal,zoe@example.com,2\n"
                                             "semi;colon,\"Two\nlines\",,-5\n");
    read = readCsv(utf16(commas, QStringEncoder::Utf16BE, false));
    QCOMPARE(describeInHours(read.contacts), expected);
    QCOMPARE(read.lines, (std::vector<int>{2, 3}));

    // A broken surrogate names its line.
    QByteArray broken = utf16(commas, QStringEncoder::Utf16LE, true);
    broken.replace(QByteArray("z\0o\0e\0,\0", 8), QByteArray("\x00\xD8o\0e\0,\0", 8));
    QString thrown;
    try {
        readCsv(broken);
    } catch (const FormatError& error) {
        thrown = error.message();
    }
    QCOMPARE(thrown, QStringLiteral("line 2: the text is not valid UTF-16"));
}

void TestToolIoSamples::csvFromMailPrograms() {
    Sandbox box;
    // A web mail program: name parts beside the whole name, several addresses in one cell
    // (" ::: "), typed e-mail columns, numbered addresses, and columns the table has no field
    // for.
    const QByteArray web = "Name,Given Name,Additional Name,Family Name,Nickname,Notes,"
                           "E-mail 1 - Type,E-mail 1 - Value,E-mail 2 - Type,E-mail 2 - Value,"
                           "Phone 1 - Type,Phone 1 - Value,Address 1 - City,Address 1 - Country\n"
                           "Karl Weber,Karl,,Weber,kwe,Met at a conference,* Home,"
                           "karl@example.de ::: karl@old.example,Work,k.weber@work.example,"
                           "Mobile,+49 40 0000,Hamburg,Germany\n";
    ReadContacts read = readCsv(web);
    QCOMPARE(
        describeInHours(read.contacts),
        QStringList{contact(QStringLiteral("kwe"), QStringLiteral("Karl Weber"),
                            QStringLiteral("Hamburg, Germany"), QStringLiteral("karl@example.de"),
                            QStringLiteral("Met at a conference\nE-mail (home): karl@old.example\n"
                                           "E-mail (work): k.weber@work.example\n"
                                           "Phone (mobile): +49 40 0000"),
                            0)});
    // The type columns give their values' kinds.
    QVERIFY2(read.warnings.isEmpty(), qPrintable(read.warnings.join(QLatin1Char('\n'))));

    // Another web mail program: first and last name only, primary and secondary e-mail, a work
    // city where the home address is empty.
    const QByteArray other = "First Name,Middle Name,Last Name,Nickname,Primary Email,"
                             "Secondary Email,Home City,Home Country,Work City,Notes\n"
                             "Ann,,Lee,annie,ann@example.com,,,,Cork,\n";
    read = readCsv(other);
    QCOMPARE(
        describeInHours(read.contacts),
        QStringList{contact(QStringLiteral("annie"), QStringLiteral("Ann Lee"),
                            QStringLiteral("Cork"), QStringLiteral("ann@example.com"), {}, 0)});
    QVERIFY(read.warnings.isEmpty());

    // A desktop mail program: the display name wins over its parts, numbered e-mail columns,
    // "Country/Region", notes over two lines, its own IRC columns beside a nickname.
    const QByteArray desktop = "First Name,Last Name,Display Name,Nickname,E-mail Address,"
                               "E-mail Display Name,E-mail 2 Address,Home City,"
                               "Home Country/Region,Notes,IRC Nick\r\n"
                               "Bob,Stone,Bobby Stone,bobby,bob@example.net,Bob (work),"
                               "bob@home.example,Leeds,United Kingdom,\"Line one\r\nLine two\","
                               "bstone\r\n";
    read = readCsv(desktop);
    QCOMPARE(describeInHours(read.contacts),
             QStringList{contact(QStringLiteral("bstone"), QStringLiteral("Bobby Stone"),
                                 QStringLiteral("Leeds, United Kingdom"),
                                 QStringLiteral("bob@example.net"),
                                 QStringLiteral("Line one\nLine two\nNickname: bobby\n"
                                                "E-mail: bob@home.example"),
                                 0)});
    QCOMPARE(read.warnings.size(), 1);
    // The nickname column gives way to the table's own and goes to the notes; the name parts
    // are in the display name.
    QVERIFY2(read.warnings[0].endsWith(QStringLiteral("the columns 'E-mail Display Name'")),
             qPrintable(read.warnings[0]));
}

void TestToolIoSamples::csvFromAnOlderDesktopMailProgram() {
    Sandbox box;
    // Windows-1252, an honorific "Title", the business address beside an empty "Location",
    // phones, company, dates, categories; a row with a mobile number only, and an empty row.
    const QString header = QStringLiteral(
        "Title,First Name,Last Name,Company,Department,Job Title,Business Street,Business City,"
        "Business Postal Code,Business Country/Region,Home City,Business Fax,Business Phone,"
        "Mobile Phone,Birthday,Categories,E-mail Address,E-mail Type,E-mail 2 Address,Location,"
        "Notes,Web Page\r\n");
    const QString rows = QString::fromUtf8(
        "Mr.,Jürgen,Müller,Acme GmbH,Vertrieb,Leiter,Hauptstraße 1,Köln,50667,Deutschland,,"
        "+49 221 1,+49 221 2,+49 170 3,1.4.1985,Kunden;VIP,jm@acme.example,SMTP,j@home.example,,"
        "Trifft sich gern,http://acme.example/\r\n"
        ",,,,,,,,,,,,,+1 555 0100,,,,,,,,\r\n"
        ",,,,,,,,,,,,,,,,,,,,,\r\n");
    const ReadContacts read = readCsv(QStringEncoder("windows-1252").encode(header + rows));
    QCOMPARE(describeInHours(read.contacts),
             (QStringList{contact({}, QString::fromUtf8("Jürgen Müller"),
                                  QString::fromUtf8("Köln, Deutschland"),
                                  QStringLiteral("jm@acme.example"),
                                  QString::fromUtf8("Trifft sich gern\nOrganisation: Acme GmbH\n"
                                                    "Department: Vertrieb\nTitle: Leiter\n"
                                                    "Address (work): Hauptstraße 1, Köln, 50667, "
                                                    "Deutschland\n"
                                                    "Phone (business fax): +49 221 1\n"
                                                    "Phone (business): +49 221 2\n"
                                                    "Phone (mobile): +49 170 3\n"
                                                    "Birthday: 1.4.1985\nCategories: Kunden;VIP\n"
                                                    "E-mail: j@home.example\n"
                                                    "Web: http://acme.example/"),
                                  0),
                          contact({}, QStringLiteral("+1 555 0100"), {}, {},
                                  QStringLiteral("Phone (mobile): +1 555 0100"), 0)}));
    QCOMPARE(read.extrasInNotes, 12);
    QCOMPARE(read.warnings,
             (QStringList{QStringLiteral("line 2: the file is neither UTF-8 nor UTF-16; it is "
                                         "read as Windows-1252, as older mail programs write it"),
                          QStringLiteral("not imported, as the table has no field for them (or "
                                         "has it from another column): the columns 'Title', "
                                         "'E-mail Type'"),
                          QStringLiteral("1 row with every cell empty was skipped")}));
}

void TestToolIoSamples::csvFromAnAddressBookEndingInSeparators() {
    Sandbox box;
    // Every line ends in a separator, the header's too; the birthday in three columns, the
    // nick in an IRC address of the screen name, two street lines; the last line unended.
    const QByteArray csv =
        "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,"
        "Mobile Number,Home Address,Home Address 2,Home City,Home Country,Work City,Web Page 1,"
        "Birth Year,Birth Month,Birth Day,Custom 1,Notes,\n"
        "Ann,Lee,Ann Lee,,ann@example.org,ann@work.example,irc://irc.libera.chat/annl,"
        "+44 7700 900123,1 High St,Flat 2,Leeds,United Kingdom,York,https://ann.example,1990,7,4,"
        "likes tea,From the Leeds meetup,\n"
        ",,Bob,bobby,,,bob@jabber.example,,,,,,,,,,,,,";
    const ReadContacts read = readCsv(csv);
    QCOMPARE(describeInHours(read.contacts),
             (QStringList{contact(QStringLiteral("annl"), QStringLiteral("Ann Lee"),
                                  QStringLiteral("Leeds, United Kingdom"),
                                  QStringLiteral("ann@example.org"),
                                  QStringLiteral("From the Leeds meetup\nE-mail: ann@work.example\n"
                                                 "Phone (mobile): +44 7700 900123\n"
                                                 "Address (home): 1 High St, Flat 2, Leeds, United "
                                                 "Kingdom\nAddress (work): York\n"
                                                 "Web: https://ann.example\nBirthday: 1990-07-04"),
                                  0),
                          contact(QStringLiteral("bobby"), QStringLiteral("Bob"), {}, {},
                                  QStringLiteral("IM: bob@jabber.example"), 0)}));
    QCOMPARE(read.warnings, QStringList{QStringLiteral("not imported, as the table has no field "
                                                       "for them (or has it from another column): "
                                                       "the columns 'Custom 1'")});
}

void TestToolIoSamples::csvFromWebMailWithTypedColumns() {
    Sandbox box;
    // Kinds in "... - Type" columns, the IRC nick in an IM column whose service says IRC, the
    // location from the address as "Location" is empty, a formatted address beside its parts;
    // a company with a telephone number and nothing else names itself.
    const QByteArray csv =
        "Name,Nickname,Birthday,Notes,Location,Group Membership,IM 1 - Service,IM 1 - Value,"
        "IM 2 - Service,IM 2 - Value,Phone 1 - Type,Phone 1 - Value,Address 1 - Type,"
        "Address 1 - Formatted,Address 1 - Street,Address 1 - City,Address 1 - Country,"
        "Organization 1 - Name,Organization 1 - Title,Website 1 - Type,Website 1 - Value,"
        "Event 1 - Type,Event 1 - Value\r\n"
        "Karl Weber,,1980-02-29,Met at FOSDEM,,* myContacts ::: Friends,IRC,kwe,Jabber,"
        "karl@jabber.example,Mobile,+49 170 1 ::: +49 170 2,Home,\"Weg 2\n20095 Hamburg\","
        "Weg 2,Hamburg,Germany,Acme,Engineer,Blog,https://karl.example,Anniversary,2010-06-12\r\n"
        ",,,,,,,,,,,+44 20 1,,,,,,Widgets Ltd,,,,,\r\n";
    const ReadContacts read = readCsv(csv);
    QCOMPARE(
        describeInHours(read.contacts),
        (QStringList{contact(QStringLiteral("kwe"), QStringLiteral("Karl Weber"),
                             QStringLiteral("Hamburg, Germany"), {},
                             QStringLiteral("Met at FOSDEM\nBirthday: 1980-02-29\n"
                                            "Categories: myContacts, Friends\n"
                                            "IM (jabber): karl@jabber.example\n"
                                            "Phone (mobile): +49 170 1\n"
                                            "Phone (mobile): +49 170 2\n"
                                            "Address (home): Weg 2, Hamburg, Germany\n"
                                            "Organisation: Acme\nTitle: Engineer\n"
                                            "Web (blog): https://karl.example\n"
                                            "Anniversary: 2010-06-12"),
                             0),
                     contact({}, QStringLiteral("Widgets Ltd"), {}, {},
                             QStringLiteral("Phone: +44 20 1\nOrganisation: Widgets Ltd"), 0)}));
    QVERIFY2(read.warnings.isEmpty(), qPrintable(read.warnings.join(QLatin1Char('\n'))));
}

void TestToolIoSamples::vcardsWithLabelsGroupsAndEmptyCards() {
    Sandbox box;
    // An address book's 3.0 card: labels of grouped properties as kinds, an empty preferred
    // address before a filled one, bookkeeping left out quietly, a property of no use named.
    // Then its group card, a card holding nothing, a 4.0 organisation and a 2.1 card with a
    // telephone number alone; the file ends at END:VCARD.
    const QByteArray cards =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Example//Book//EN\r\nN:Tanaka;Yui;;;\r\n"
        "FN:Yui Tanaka\r\nORG:Example Corp;Research\r\nTITLE:Engineer\r\n"
        "item1.TEL;type=pref:+81 3 0000 0000\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\n"
        "TEL;type=WORK;type=VOICE:+81 3 1111 1111\r\nitem2.EMAIL;type=INTERNET:yui@example.jp\r\n"
        "item3.URL:https://yui.example\r\nitem3.X-ABLabel:_$!<HomePage>!$_\r\n"
        "X-JABBER;type=HOME:yui@jabber.example\r\nIMPP;X-SERVICE-TYPE=IRC:irc://irc.example.net/"
        "yui\r\n"
        "BDAY;value=date:1992-11-03\r\nX-ANNIVERSARY:2019-05-01\r\nCATEGORIES:Friends,Tokyo\r\n"
        "ADR;type=HOME;type=pref:;;;;;;\r\nADR;type=WORK:;;1-1 Marunouchi;Tokyo;;100-0005;Japan\r\n"
        "X-ABUID:ABC-123\r\nUID:1234\r\nREV:2024-01-01T00:00:00Z\r\nGENDER:F\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Friends\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
        "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:1234\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:5678\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:org\r\nORG:Widgets Ltd\r\n"
        "TEL;VALUE=uri;TYPE=\"work,voice\":tel:+44-20-7946-0000\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nTEL;CELL;VOICE:+1 555 0100\r\nBDAY:19850412\r\nEND:VCARD";
    const ReadContacts read = readVCards(cards, 0);
    QCOMPARE(describeInHours(read.contacts),
             (QStringList{
                 contact(QStringLiteral("yui"), QStringLiteral("Yui Tanaka"),
                         QStringLiteral("Tokyo, Japan"), QStringLiteral("yui@example.jp"),
                         QStringLiteral("Organisation: Example Corp, Research\n"
                                        "Title: Engineer\nPhone (mobile): +81 3 0000 0000\n"
                                        "Phone (work): +81 3 1111 1111\n"
                                        "Web (homepage): https://yui.example\n"
                                        "IM (xmpp, home): yui@jabber.example\n"
                                        "Birthday: 1992-11-03\nAnniversary: 2019-05-01\n"
                                        "Categories: Friends, Tokyo\n"
                                        "Address (work): 1-1 Marunouchi, Tokyo, 100-0005, "
                                        "Japan"),
                         0),
                 contact(QStringLiteral("Widgets Ltd"), QStringLiteral("Widgets Ltd"), {}, {},
                         QStringLiteral("Organisation: Widgets Ltd\n"
                                        "Phone (work): +44-20-7946-0000"),
                         0),
                 contact(QStringLiteral("+1 555 0100"), QStringLiteral("+1 555 0100"), {}, {},
                         QStringLiteral("Phone (cell): +1 555 0100\nBirthday: 1985-04-12"), 0)}));
    QCOMPARE(read.lines, (std::vector<int>{1, 36, 42}));
    QCOMPARE(read.warnings,
             (QStringList{QStringLiteral("line 26: the group 'Friends' (KIND:group) is a list of "
                                         "contacts, not a person; skipped"),
                          QStringLiteral("1 card that holds nothing (no name, nick, e-mail or "
                                         "other value) was skipped"),
                          QStringLiteral("not imported, as the table has no place for them: the "
                                         "properties GENDER (1 card)")}));
    // Decoded for a caller that keeps the values without a field elsewhere: the notes are the
    // card's own.
    const std::vector<DecodedContact> decoded = decodeVCards(cards, VCardOptions{});
    QCOMPARE(decoded.size(), size_t(3));
    QCOMPARE(decoded[1].row.notes, QString());
    QCOMPARE(decoded[1].extras, (QStringList{QStringLiteral("Organisation: Widgets Ltd"),
                                             QStringLiteral("Phone (work): +44-20-7946-0000")}));
}

QTEST_GUILESS_MAIN(TestToolIoSamples)
#include "test_tool_io_samples.moc"
