#pragma once
// A real CardDAV server for the sync tests, started by the test on 127.0.0.1 at a free port,
// with its own storage folder and password file inside the test's working directory: Radicale
// (with a user and password, optionally over HTTPS with a self-signed certificate) or
// Xandikos (which has no log-in of its own). The test also acts as another client of it.

#include "sync/dav_client.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace palvane::test {

class DavServer {
public:
    enum class Kind { Radicale, Xandikos };

    // Starts the server in folder (created); QSKIP-worthy reasons come back from start().
    DavServer(Kind kind, const QString& folder, bool https = false);
    ~DavServer();

    // Starts it and waits until it answers; false with the reason when it cannot.
    bool start(QString* problem);
    // Kills it at once (SIGKILL), as a crash would.
    void kill();

    QUrl root() const;
    QUrl addressBook() const; // the collection's own URL
    QString user() const { return QStringLiteral("alice"); }
    QString password() const { return QStringLiteral("s3cret pass"); }
    QString caFile() const; // the self-signed certificate (https only)
    bool needsPassword() const { return kind_ == Kind::Radicale; }
    bool https() const { return https_; }

    // Another client's view: the cards as the server holds them, by href.
    QStringList hrefs();
    QByteArray card(const QString& href, QString* etag = nullptr);
    int put(const QString& href, const QByteArray& card, const QByteArray& ifMatch = {});
    int remove(const QString& href);

private:
    sync::DavClient& client();

    Kind kind_;
    QString folder_;
    bool https_;
    int port_ = 0;
    QProcess process_;
    std::unique_ptr<sync::DavClient> client_;
};

// Whether the server program is installed.
bool serverInstalled(DavServer::Kind kind);

} // namespace palvane::test
