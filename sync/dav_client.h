#pragma once
// HTTP for WebDAV through Qt Network: one request at a time, each waited for in a local event
// loop, its answer handed out in pieces as it arrives. HTTPS checks the server against the
// system's certificate authorities (and a private one, when given); plain HTTP goes only to a
// loopback address, also after a redirect. The password is given to the server when it asks,
// and appears nowhere else.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <stdexcept>

namespace palvane::sync {

// A failure the user sees: the message says what went wrong and, where it helps, what to do.
class SyncError : public std::runtime_error {
public:
    enum class Kind { Network, Authentication, Server, Setup, Local };
    SyncError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), kind_(kind) {}
    Kind kind() const { return kind_; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    Kind kind_;
};

struct DavAnswer {
    int status = 0;
    QByteArray body; // empty when the body went to a consumer
    QString etag;
    QUrl url; // where the answer came from, after redirects
};

using DavHeaders = QList<QPair<QByteArray, QByteArray>>;

class DavClient {
public:
    struct Settings {
        QString user;
        QString password;
        QString caFile; // PEM certificates trusted besides the system's
        // A request that receives nothing this long fails. Generous: a server may think for
        // minutes before it lists a large address book for the first time.
        int idleTimeoutMs = 300000;
    };

    explicit DavClient(const Settings& settings);
    ~DavClient();
    DavClient(const DavClient&) = delete;
    DavClient& operator=(const DavClient&) = delete;

    // Sends one request and waits for the whole answer. With a consumer the body goes to it in
    // pieces instead of into the answer. Throws SyncError for a refused address, a network or
    // TLS failure and a refused password; every HTTP status is returned.
    DavAnswer send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                   const DavHeaders& headers = {},
                   const std::function<void(const QByteArray&)>& consume = {});

    // Requests sent so far.
    qint64 requests() const;

    // Whether the URL may be used: https, or http to a loopback address. The reason otherwise.
    static bool allowedUrl(const QUrl& url, QString* reason);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The URL without user name or password, for messages.
QString shownUrl(const QUrl& url);

} // namespace palvane::sync
