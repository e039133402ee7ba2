#pragma once
// A TCP relay on 127.0.0.1 between the table tool and a test's server that can stop at an
// exact request: the answer to one connection is held back (the request reached the server,
// the tool never hears of it), so that the test can kill the tool or the server at that
// point and not a moment earlier or later. The server answers HTTP/1.0, one request per
// connection, so connections count requests.

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace palvane::test {

class HoldingProxy : public QObject {
    Q_OBJECT

public:
    explicit HoldingProxy(quint16 upstreamPort);
    quint16 port() const { return server_.serverPort(); }
    // The answer of the connection with this number (from 1) is held back; 0 holds none.
    void holdAnswerOf(int connection) { hold_ = connection; }
    int connections() const { return connections_; }
    // Closes the held connection without an answer, as a server that died would.
    void dropHeld();

private:
    void accept();

    QTcpServer server_;
    quint16 upstream_;
    int hold_ = 0;
    int connections_ = 0;
    QPointer<QTcpSocket> held_;
};

} // namespace palvane::test
