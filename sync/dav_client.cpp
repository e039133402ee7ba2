#include "sync/dav_client.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace palvane::sync {

namespace {

constexpr qint64 kStreamedReadBuffer = 256 * 1024;
constexpr qint64 kPiece = 64 * 1024;

// What has arrived, handed on in small pieces: a server that sends its whole answer and closes
// leaves all of it in the reply at once, and one piece of that size would be held twice more
// (the copy, and the XML reader's text of it).
void consumeInPieces(QNetworkReply& reply, const std::function<void(const QByteArray&)>& consume) {
    while (reply.bytesAvailable() > 0)
        consume(reply.read(kPiece));
}

} // namespace

struct DavClient::Impl {
    Settings settings;
    QNetworkAccessManager manager;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    qint64 requests = 0;

    explicit Impl(const Settings& s) : settings(s) {
        if (!settings.caFile.isEmpty()) {
            QFile file(settings.caFile);
            if (!file.open(QIODevice::ReadOnly))
                throw SyncError(SyncError::Kind::Setup,
                                QStringLiteral("cannot read the certificate file %1: %2")
                                    .arg(settings.caFile, file.errorString()));
            const QList<QSslCertificate> certificates =
                QSslCertificate::fromData(file.readAll(), QSsl::Pem);
            if (certificates.isEmpty())
                throw SyncError(
                    SyncError::Kind::Setup,
                    QStringLiteral("the file %1 holds no PEM certificate").arg(settings.caFile));
            tls.addCaCertificates(certificates);
        }
        // Credentials are given per request below, never cached by a URL.
        manager.setAutoDeleteReplies(false);
    }
};

DavClient::DavClient(const Settings& settings) : d(std::make_unique<Impl>(settings)) {}

DavClient::~DavClient() = default;

qint64 DavClient::requests() const {
    return d->requests;
}

bool DavClient::allowedUrl(const QUrl& url, QString* reason) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http")) {
        *reason = QStringLiteral("%1 is not an http or https address").arg(shownUrl(url));
        return false;
    }
    const QString host = url.host();
    const QHostAddress address(host);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        (!address.isNull() && address.isLoopback()))
        return true;
    *reason = QStringLiteral("%1 is plain HTTP to another machine, which would show the password "
                             "and the contacts to the network; use https")
                  .arg(shownUrl(url));
    return false;
}

QString shownUrl(const QUrl& url) {
    return url.toString(QUrl::RemoveUserInfo);
}

DavAnswer DavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                          const DavHeaders& headers,
                          const std::function<void(const QByteArray&)>& consume) {
    QString reason;
    if (!allowedUrl(url, &reason))
        throw SyncError(SyncError::Kind::Setup, reason);
    QNetworkRequest request(url);
    request.setSslConfiguration(d->tls);
    request.setTransferTimeout(d->settings.idleTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("User-Agent", "palvane-table");
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");

    ++d->requests;
    std::unique_ptr<QNetworkReply> reply(d->manager.sendCustomRequest(request, verb, body));
    // Qt reads the answer on a thread of its own; unbounded, it would pile up a long listing
    // whole while the consumer stores the entries. Bounded, the server waits for us instead.
    // Qt forgets the bound when it sends the request again with the credentials, so it is set
    // once more when the answer's headers are in.
    if (consume) {
        reply->setReadBufferSize(kStreamedReadBuffer);
        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(),
                         [&] { reply->setReadBufferSize(kStreamedReadBuffer); });
    }
    bool askedOnce = false;
    bool refusedRedirect = false;
    QObject::connect(&d->manager, &QNetworkAccessManager::authenticationRequired, reply.get(),
                     [&](QNetworkReply* asking, QAuthenticator* authenticator) {
                         // A second question means the first answer was refused.
                         if (asking != reply.get() || askedOnce)
                             return;
                         askedOnce = true;
                         authenticator->setUser(d->settings.user);
                         authenticator->setPassword(d->settings.password);
                     });
    QObject::connect(reply.get(), &QNetworkReply::redirected, reply.get(), [&](const QUrl& target) {
        QString why;
        if (allowedUrl(target, &why)) {
            emit reply->redirectAllowed();
        } else {
            refusedRedirect = true;
            reason = why;
            reply->abort();
        }
    });
    DavAnswer answer;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        // Only a success carries the data a consumer wants; an error page stays in the answer.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (consume && status >= 200 && status < 300)
            consumeInPieces(*reply, consume);
        else
            answer.body += reply->readAll();
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.etag = QString::fromLatin1(reply->rawHeader("ETag"));
    answer.url = reply->url();
    const int status = answer.status;
    if (reply->isOpen()) {
        if (consume && status >= 200 && status < 300)
            consumeInPieces(*reply, consume);
        else
            answer.body += reply->readAll();
    }

    if (refusedRedirect)
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("the server sent the request on to %1").arg(reason));
    if (status == 401 || reply->error() == QNetworkReply::AuthenticationRequiredError)
        throw SyncError(
            SyncError::Kind::Authentication,
            QStringLiteral("the server %1 refused the user name or password").arg(url.host()));
    const QNetworkReply::NetworkError error = reply->error();
    // Errors below the content ones are the connection's: no whole answer came.
    if (status == 0 ||
        (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)) {
        const QString what =
            error == QNetworkReply::OperationCanceledError
                ? QStringLiteral("no answer for %1 s").arg(d->settings.idleTimeoutMs / 1000)
                : reply->errorString();
        throw SyncError(
            SyncError::Kind::Network,
            QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(verb), shownUrl(url), what));
    }
    return answer;
}

} // namespace palvane::sync
