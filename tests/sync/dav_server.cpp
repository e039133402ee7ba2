#include "tests/sync/dav_server.h"

#include "sync/dav_xml.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

namespace palvane::test {

namespace {

int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

bool serverInstalled(DavServer::Kind kind) {
    return !QStandardPaths::findExecutable(kind == DavServer::Kind::Radicale
                                               ? QStringLiteral("radicale")
                                               : QStringLiteral("xandikos"))
                .isEmpty();
}

DavServer::DavServer(Kind kind, const QString& folder, bool https)
    : kind_(kind), folder_(folder), https_(https) {
    QDir().mkpath(folder_);
}

DavServer::~DavServer() {
    kill();
}

QUrl DavServer::root() const {
    QUrl url;
    url.setScheme(https_ ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port_);
    url.setPath(QStringLiteral("/"));
    return url;
}

QUrl DavServer::addressBook() const {
    return root().resolved(QUrl(kind_ == Kind::Radicale
                                    ? QStringLiteral("/alice/contacts/")
                                    : QStringLiteral("/user/contacts/addressbook/")));
}

QString DavServer::caFile() const {
    return folder_ + QStringLiteral("/cert.pem");
}

bool DavServer::start(QString* problem) {
    if (!serverInstalled(kind_)) {
        *problem = QStringLiteral("the server program is not installed (scripts/install-deps)");
        return false;
    }
    if (port_ == 0)
        port_ = freePort();
    if (https_ && !QFile::exists(caFile())) {
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-keyout"), folder_ + QStringLiteral("/key.pem"),
                       QStringLiteral("-out"), caFile(), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1")});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
            *problem = QStringLiteral("openssl could not make a certificate");
            return false;
        }
    }
    QStringList arguments;
    QString program;
    if (kind_ == Kind::Radicale) {
        const QString config =
            QStringLiteral("[server]\nhosts = 127.0.0.1:%1\nssl = %2\ncertificate = %3\n"
                           "key = %4/key.pem\n[auth]\ntype = htpasswd\nhtpasswd_filename = "
                           "%4/users\nhtpasswd_encryption = plain\n[storage]\n"
                           "filesystem_folder = %4/collections\n[rights]\ntype = owner_only\n"
                           "[logging]\nlevel = warning\n")
                .arg(port_)
                .arg(https_ ? QStringLiteral("True") : QStringLiteral("False"), caFile(), folder_);
        writeFile(folder_ + QStringLiteral("/config"), config.toUtf8());
        writeFile(folder_ + QStringLiteral("/users"), (user() + ':' + password() + '\n').toUtf8());
        program = QStringLiteral("radicale");
        arguments = {QStringLiteral("-C"), folder_ + QStringLiteral("/config")};
    } else {
        program = QStringLiteral("xandikos");
        arguments = {QStringLiteral("-d"),         folder_ + QStringLiteral("/store"),
                     QStringLiteral("--defaults"), QStringLiteral("-l"),
                     QStringLiteral("127.0.0.1"),  QStringLiteral("-p"),
                     QString::number(port_)};
    }
    // The server goes with the test, also when the test crashes.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(folder_ + QStringLiteral("/server.log"), QIODevice::Append);
    process_.start(program, arguments);
    if (!process_.waitForStarted(10000)) {
        *problem = QStringLiteral("%1 did not start").arg(program);
        return false;
    }
    // Ready once it answers; a server that does not within 20 s is broken.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            const sync::DavAnswer answer = client().send("PROPFIND", root(), {}, {{"Depth", "0"}});
            if (answer.status == 207)
                break;
        } catch (const sync::SyncError&) {
        }
        if (process_.state() != QProcess::Running || waited.elapsed() > 20000) {
            *problem = QStringLiteral("%1 did not answer; see %2/server.log").arg(program, folder_);
            return false;
        }
        QThread::msleep(50);
    }
    if (kind_ == Kind::Radicale) {
        const QByteArray body =
            "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" "
            "xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><set><prop><resourcetype><collection/>"
            "<C:addressbook/></resourcetype></prop></set></mkcol>";
        const int status = client().send("MKCOL", addressBook(), body).status;
        if (status != 201 && status != 405) {
            *problem = QStringLiteral("the address book could not be made: %1").arg(status);
            return false;
        }
    }
    return true;
}

void DavServer::kill() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
    client_.reset(); // its connections went with the server
}

sync::DavClient& DavServer::client() {
    if (!client_) {
        sync::DavClient::Settings settings;
        settings.user = user();
        settings.password = password();
        settings.caFile = https_ ? caFile() : QString();
        settings.idleTimeoutMs = 10000;
        client_ = std::make_unique<sync::DavClient>(settings);
    }
    return *client_;
}

QStringList DavServer::hrefs() {
    QStringList found;
    const QString self = addressBook().path();
    sync::MultistatusReader reader([&](const sync::DavEntry& entry) {
        const QString path = QUrl(entry.href).path();
        if (path != self && !entry.collection)
            found << path;
    });
    client().send("PROPFIND", addressBook(), sync::propfindBody({"getetag"}, {}), {{"Depth", "1"}},
                  [&](const QByteArray& piece) { reader.add(piece); });
    QString problem;
    reader.finish(&problem);
    found.sort();
    return found;
}

QByteArray DavServer::card(const QString& href, QString* etag) {
    const sync::DavAnswer answer = client().send("GET", root().resolved(QUrl(href)));
    if (etag)
        *etag = answer.etag;
    return answer.status == 200 ? answer.body : QByteArray();
}

int DavServer::put(const QString& href, const QByteArray& card, const QByteArray& ifMatch) {
    sync::DavHeaders headers{{"Content-Type", "text/vcard; charset=utf-8"}};
    if (!ifMatch.isEmpty())
        headers.append({"If-Match", ifMatch});
    return client().send("PUT", root().resolved(QUrl(href)), card, headers).status;
}

int DavServer::remove(const QString& href) {
    return client().send("DELETE", root().resolved(QUrl(href))).status;
}

} // namespace palvane::test
