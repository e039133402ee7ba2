#include "tests/sync/sync_fixture.h"

#include "store/schema.h"
#include "sync/card_editor.h"
#include "sync/password_store.h"
#include "tools/contacts_vcard.h"

#include <QRegularExpression>
#include <QTest>

namespace palvane::test {

namespace {

ContactRow contactOf(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    ContactRow row = contact(parts.value(0), parts.value(1));
    row.email = parts.value(2);
    return row;
}

QString describeRow(const ContactRow& row) {
    return QStringList{row.nick, row.name, row.email}.join(QLatin1Char(','));
}

const char* propertyOf(const QString& field) {
    return field == QLatin1String("nick")    ? "NICKNAME"
           : field == QLatin1String("name")  ? "FN"
           : field == QLatin1String("notes") ? "NOTE"
                                             : "EMAIL";
}

} // namespace

bool SyncFixture::start(DavServer::Kind kind, QString* problem, bool https) {
    server_ = std::make_unique<DavServer>(kind, box_.path() + QStringLiteral("/server"), https);
    return server_->start(problem);
}

void SyncFixture::setUpTable(const QString& path, const QStringList& contacts, int port) {
    std::vector<ContactRow> rows;
    for (const QString& text : contacts)
        rows.push_back(contactOf(text));
    createContactTable(path);
    insertContacts(path, rows);
    QUrl book = server_->addressBook();
    if (port)
        book.setPort(port);
    const sync::SyncSetup setup =
        sync::setUp(path, book.toString(), server_->user(), server_->password(),
                    server_->https() ? server_->caFile() : QString());
    QString place;
    sync::storePassword(setup.url, setup.user, server_->password(), &place);
    if (path == box_.dbPath()) {
        table_ = std::make_unique<Table>();
        table_->setDatabaseName(QStringLiteral("data/"));
        table_->setTableName(QStringLiteral("palvane.db"));
        table_->open();
    }
}

sync::SyncReport SyncFixture::sync(const QString& path, sync::Prefer prefer,
                                   const std::function<void(const QString&)>& beforeUpload,
                                   const std::function<void(const QString&)>& progress) {
    sync::SyncOptions options;
    options.tablePath = path;
    options.password = server_->password();
    options.prefer = prefer;
    options.batchSize = 20;
    options.idleTimeoutMs = 10000;
    options.beforeUpload = beforeUpload;
    options.progress = progress;
    return sync::synchronise(options);
}

QByteArray SyncFixture::richCard(const QString& text) {
    const ContactRow row = contactOf(text);
    return QStringLiteral(
               "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%1-uid\r\nFN:%2\r\nN:;%2;;;\r\n"
               "NICKNAME:%1\r\nEMAIL;TYPE=INTERNET,PREF:%3\r\nEMAIL;TYPE=WORK:%1@work.example\r\n"
               "item1.TEL;TYPE=CELL:+1 555 0100\r\nitem1.X-ABLABEL:mobile\r\n"
               "ORG:Example Org;Unit\r\nX-PALVANE-TEST;X-PARAM=\"a:b;c\":a long value that is "
               "long enough to be folded by\r\n  the server\\, surely more than seventy-five "
               "octets\r\nEND:VCARD\r\n")
        .arg(row.nick, row.name.isEmpty() ? row.nick : row.name, row.email)
        .toUtf8();
}

void SyncFixture::seedServer(const QStringList& contacts) {
    for (const QString& text : contacts) {
        const QString nick = contactOf(text).nick;
        const int status = server_->put(
            server_->addressBook().path() + nick + QStringLiteral(".vcf"), richCard(text));
        QVERIFY2(status == 201 || status == 204, qPrintable(QString::number(status)));
    }
}

QString SyncFixture::hrefOfNick(const QString& nick) {
    for (const QString& href : server_->hrefs()) {
        const tool::ReadContacts read = tool::readVCards(server_->card(href), 0);
        if (!read.contacts.empty() &&
            read.contacts.front().nick.compare(nick, Qt::CaseInsensitive) == 0)
            return href;
    }
    return {};
}

void SyncFixture::editServer(const QStringList& edits) {
    for (const QString& edit : edits) {
        if (edit.startsWith(QLatin1String("add "))) {
            seedServer({edit.mid(4)});
            continue;
        }
        if (edit.startsWith(QLatin1String("del "))) {
            const QString href = hrefOfNick(edit.mid(4));
            QVERIFY2(!href.isEmpty(), qPrintable(edit));
            QVERIFY(server_->remove(href) / 100 == 2);
            continue;
        }
        // ann.email=value: the first such line of the card is rewritten, as another client
        // would.
        const QString nick = edit.section(QLatin1Char('.'), 0, 0);
        const QString field = edit.section(QLatin1Char('.'), 1).section(QLatin1Char('='), 0, 0);
        const QString value = edit.section(QLatin1Char('='), 1);
        const QString href = hrefOfNick(nick);
        QVERIFY2(!href.isEmpty(), qPrintable(edit));
        QString etag;
        QString card = QString::fromUtf8(server_->card(href, &etag));
        // Of the e-mail addresses the preferred one, which the table holds.
        const QRegularExpression line(
            QStringLiteral("^%1(;[^:\\r\\n]*%2[^:\\r\\n]*)?:[^\\r\\n]*")
                .arg(QLatin1String(propertyOf(field)),
                     field == QLatin1String("email") ? QStringLiteral("PREF") : QString()),
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = line.match(card);
        if (match.hasMatch()) {
            const QString head = card.mid(match.capturedStart(), match.capturedLength())
                                     .section(QLatin1Char(':'), 0, 0);
            card.replace(match.capturedStart(), match.capturedLength(),
                         head + QLatin1Char(':') + value);
        } else {
            card.replace(QStringLiteral("END:VCARD"), QLatin1String(propertyOf(field)) +
                                                          QLatin1Char(':') + value +
                                                          QStringLiteral("\r\nEND:VCARD"));
        }
        QVERIFY(server_->put(href, card.toUtf8(), etag.toUtf8()) / 100 == 2);
    }
}

void SyncFixture::editTable(Table& t, const QStringList& edits) {
    const auto find = [&t](const QString& nick) {
        t.setIndexName(QLatin1String(kNickIndexName));
        t.setKey();
        t.fieldByName(QStringLiteral("IRC NICK")).setAsString(nick);
        t.gotoNearest();
        QVERIFY2(Table::sameNick(t.fieldByName(QStringLiteral("IRC Nick")).asString(), nick),
                 qPrintable(nick));
    };
    for (const QString& edit : edits) {
        if (edit.startsWith(QLatin1String("add "))) {
            const ContactRow row = contactOf(edit.mid(4));
            t.insertRecord({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0,
                            0, std::nullopt});
            t.edit();
            t.fieldByName(QStringLiteral("IRC Nick")).setAsString(row.nick);
            t.fieldByName(QStringLiteral("IRC Name")).setAsString(row.name);
            t.fieldByName(QStringLiteral("IRC Email")).setAsString(row.email);
            t.post();
        } else if (edit.startsWith(QLatin1String("del "))) {
            find(edit.mid(4));
            t.deleteRecord();
        } else {
            find(edit.section(QLatin1Char('.'), 0, 0));
            const QString field = edit.section(QLatin1Char('.'), 1).section(QLatin1Char('='), 0, 0);
            const QString name = field == QLatin1String("nick")    ? QStringLiteral("IRC Nick")
                                 : field == QLatin1String("name")  ? QStringLiteral("IRC Name")
                                 : field == QLatin1String("notes") ? QStringLiteral("IRC Notes")
                                                                   : QStringLiteral("IRC Email");
            t.edit();
            t.fieldByName(name).setAsString(edit.section(QLatin1Char('='), 1));
            t.post();
        }
    }
}

QStringList SyncFixture::tableContacts(const QString& path) {
    QStringList found;
    for (const ContactRow& row : readContacts(path))
        found << describeRow(row);
    found.sort(Qt::CaseInsensitive);
    return found;
}

QStringList SyncFixture::serverContacts() {
    QStringList found;
    for (const QString& href : server_->hrefs()) {
        const QByteArray card = server_->card(href);
        // The preferred e-mail address alone, as the table holds it.
        const tool::ReadContacts read =
            tool::readVCards(sync::CardEditor(card).withOnlyPreferred("EMAIL"), 0);
        for (const ContactRow& row : read.contacts)
            found << describeRow(row);
    }
    found.sort(Qt::CaseInsensitive);
    return found;
}

QStringList SyncFixture::foreignLines() {
    QStringList lines;
    for (const QString& href : server_->hrefs()) {
        const sync::CardEditor card(server_->card(href));
        const QString uid = QString::fromUtf8(card.value(card.preferred("UID")));
        for (int i = 0; i < card.count(); ++i) {
            const QByteArray& name = card.property(i).name;
            if (name == "TEL" || name == "X-ABLABEL" || name == "ORG" || name == "X-PALVANE-TEST" ||
                (name == "EMAIL" && card.value(i).contains("@work.example")))
                lines << uid + QLatin1Char(' ') + QString::fromUtf8(name) + QLatin1Char(';') +
                             QString::fromUtf8(card.property(i).params) + QLatin1Char(':') +
                             QString::fromUtf8(card.value(i));
        }
    }
    lines.sort();
    return lines;
}

} // namespace palvane::test
