#include "tests/sync/holding_proxy.h"

#include <QTcpSocket>

namespace palvane::test {

HoldingProxy::HoldingProxy(quint16 upstreamPort) : upstream_(upstreamPort) {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &HoldingProxy::accept);
}

void HoldingProxy::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        const bool held = ++connections_ == hold_;
        if (held)
            held_ = client;
        auto* up = new QTcpSocket(client);
        auto pending = std::make_shared<QByteArray>();
        up->connectToHost(QHostAddress::LocalHost, upstream_);
        connect(up, &QTcpSocket::connected, client, [up, pending] {
            up->write(*pending);
            pending->clear();
        });
        connect(client, &QTcpSocket::readyRead, up, [client, up, pending] {
            if (up->state() == QAbstractSocket::ConnectedState)
                up->write(client->readAll());
            else
                *pending += client->readAll();
        });
        connect(up, &QTcpSocket::readyRead, client, [client, up, held] {
            const QByteArray answer = up->readAll();
            if (!held)
                client->write(answer);
        });
        connect(up, &QTcpSocket::disconnected, client, [client, held] {
            if (!held)
                client->disconnectFromHost();
        });
        // No server behind: the client is cut off as it would be by the server itself.
        connect(up, &QTcpSocket::errorOccurred, client,
                [client, held](QAbstractSocket::SocketError error) {
                    if (!held && error == QAbstractSocket::ConnectionRefusedError)
                        client->abort();
                });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }
}

void HoldingProxy::dropHeld() {
    if (held_)
        held_->abort();
}

} // namespace palvane::test
