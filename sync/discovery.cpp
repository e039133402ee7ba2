// Set-up: the address book is found from the URL the user gives (the address book itself, a
// principal, an address-book home, or the server), through current-user-principal and
// addressbook-home-set, and recorded beside the table.

#include "sync/dav_xml.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

#include "store/contact_stream.h"

#include <QFileInfo>

#include <algorithm>

namespace palvane::sync {

namespace {

struct Found {
    std::vector<DavEntry> entries;
    int status = 0;
};

Found propfind(DavClient& client, const QUrl& url, const QByteArray& depth) {
    Found found;
    MultistatusReader reader([&](const DavEntry& entry) { found.entries.push_back(entry); });
    const DavAnswer answer =
        client.send("PROPFIND", url,
                    propfindBody({"resourcetype", "current-user-principal", "displayname",
                                  "supported-report-set"},
                                 {"addressbook-home-set"}),
                    {{"Depth", depth}}, [&](const QByteArray& piece) { reader.add(piece); });
    found.status = answer.status;
    QString problem;
    if (answer.status == 207 && !reader.finish(&problem))
        throw SyncError(
            SyncError::Kind::Server,
            QStringLiteral("the answer of %1 cannot be read: %2").arg(shownUrl(url), problem));
    return found;
}

QUrl resolved(const QUrl& base, const QString& href) {
    QUrl url = base.resolved(QUrl(href, QUrl::TolerantMode));
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    return url;
}

// The address books in a home (or the home itself, when it is one).
std::vector<DavEntry> addressBooksIn(DavClient& client, const QUrl& home) {
    std::vector<DavEntry> books;
    const Found found = propfind(client, home, "1");
    for (const DavEntry& entry : found.entries)
        if (entry.addressBook)
            books.push_back(entry);
    return books;
}

QUrl discover(DavClient& client, const QUrl& given, QStringList* others) {
    Found here = propfind(client, given, "0");
    QUrl base = given;
    if ((here.status == 404 || here.status == 405 || here.entries.empty()) &&
        (given.path().isEmpty() || given.path() == QLatin1String("/"))) {
        // A server's root may only point the way (RFC 6764).
        base = given.resolved(QUrl(QStringLiteral("/.well-known/carddav")));
        here = propfind(client, base, "0");
    }
    if (here.status != 207 || here.entries.empty())
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("%1 answered %2: it is not a CardDAV server or address "
                                       "book")
                            .arg(shownUrl(given))
                            .arg(here.status));
    const DavEntry& entry = here.entries.front();
    if (entry.addressBook)
        return resolved(base, entry.href.isEmpty() ? base.path() : entry.href);
    QStringList homes = entry.homeHrefs;
    if (homes.isEmpty() && !entry.principalHrefs.isEmpty()) {
        const QUrl principal = resolved(base, entry.principalHrefs.front());
        const Found found = propfind(client, principal, "0");
        for (const DavEntry& e : found.entries)
            homes << e.homeHrefs;
        base = principal;
    }
    if (homes.isEmpty())
        homes << base.path();
    std::vector<std::pair<QUrl, QString>> books;
    for (const QString& home : homes) {
        const QUrl homeUrl = resolved(base, home);
        for (const DavEntry& book : addressBooksIn(client, homeUrl))
            books.emplace_back(resolved(homeUrl, book.href), book.displayName);
    }
    if (books.empty())
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("no address book found at %1; make one on the server, "
                                       "or give the address book's own URL")
                            .arg(shownUrl(given)));
    std::sort(books.begin(), books.end(),
              [](const auto& a, const auto& b) { return a.first.path() < b.first.path(); });
    for (size_t i = 1; i < books.size(); ++i)
        *others << shownUrl(books[i].first);
    return books.front().first;
}

} // namespace

SyncSetup setUp(const QString& tablePath, const QString& url, const QString& user,
                const QString& password, const QString& caFile, int idleTimeoutMs) {
    const QUrl given(url, QUrl::StrictMode);
    if (!given.isValid() || given.host().isEmpty())
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("'%1' is not a server address (https://host/...)")
                            .arg(given.toString(QUrl::RemoveUserInfo)));
    if (!given.userInfo().isEmpty())
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("give the user name with --user, and the password when "
                                       "asked: not in the URL"));
    QString reason;
    if (!DavClient::allowedUrl(given, &reason))
        throw SyncError(SyncError::Kind::Setup, reason);

    DavClient::Settings settings;
    settings.user = user;
    settings.password = password;
    settings.caFile = caFile;
    settings.idleTimeoutMs = idleTimeoutMs;
    DavClient client(settings);
    QStringList others;
    const QUrl book = discover(client, given, &others);

    ContactWriter writer(tablePath, stateFileOf(tablePath), QLatin1String(kStateSchema));
    SyncState state(writer.connection());
    SyncSetup setup;
    setup.url = book.toString();
    setup.user = user;
    // Kept for later runs from any directory (the timer's).
    setup.caFile = caFile.isEmpty() ? QString() : QFileInfo(caFile).absoluteFilePath();
    writer.begin(false);
    try {
        if (state.setting("url") != setup.url) {
            // Another address book: its cards are not this one's.
            state.forgetCards();
            state.setSetting("token", QString());
            state.setSetting("ctag", QString());
            state.setSetting("no_sync_collection", QString());
        }
        state.setSetting("url", setup.url);
        state.setSetting("user", setup.user);
        state.setSetting("ca_file", setup.caFile);
        writer.commit();
    } catch (...) {
        writer.rollback();
        throw;
    }
    if (!others.isEmpty())
        setup.others = others;
    return setup;
}

} // namespace palvane::sync
