#pragma once
// What the sync tests share: a sandbox with a table the program's own store keeps open (as a
// running program would), a real server, and the two sides described and edited in one small
// language: contacts as "nick,name,email", edits as "ann.email=a@x", "del ann" and
// "add zed,Zed,z@x".

#include "store/table.h"
#include "sync/sync_engine.h"
#include "tests/support/sandbox.h"
#include "tests/sync/dav_server.h"

#include <QStringList>

#include <memory>

namespace palvane::test {

class SyncFixture {
public:
    // Starts the server; false (and the reason) when it cannot run here.
    bool start(DavServer::Kind kind, QString* problem, bool https = false);

    Sandbox& box() { return box_; }
    DavServer& server() { return *server_; }
    Table& table() { return *table_; }

    // A table at path (made with these contacts) set up with the server's address book, or
    // the same address book through another port (a relay's); the password is kept as the
    // tool keeps it. The table at the sandbox's own path stays open in table().
    void setUpTable(const QString& path, const QStringList& contacts, int port = 0);
    sync::SyncReport sync(const QString& path, sync::Prefer prefer = sync::Prefer::Neither,
                          const std::function<void(const QString&)>& beforeUpload = {},
                          const std::function<void(const QString&)>& progress = {});

    // A card as another client writes it, with properties the table has no field for.
    static QByteArray richCard(const QString& contact);
    void seedServer(const QStringList& contacts);
    void editServer(const QStringList& edits);
    // The edits through the store, as the program's windows make them, on the open table.
    void editTable(const QStringList& edits) { editTable(*table_, edits); }
    static void editTable(Table& table, const QStringList& edits);

    QStringList tableContacts(const QString& path);
    QStringList serverContacts();
    // Lines of the cards, unfolded, for the properties the table has no field for, by UID.
    QStringList foreignLines();

private:
    QString hrefOfNick(const QString& nick);

    Sandbox box_;
    std::unique_ptr<DavServer> server_;
    std::unique_ptr<Table> table_;
};

} // namespace palvane::test
