#include "Daemon.h"

#include "RpcSession.h"

#include <QTcpSocket>

namespace kvxsrv {

void SessionThread::run() {
    QTcpSocket sock;
    if (!sock.setSocketDescriptor(socket_)) return;
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    RpcSession session(config_);
    while (!stopping_.load()) {
        if (!sock.canReadLine()) {
            if (sock.bytesAvailable() > kMaxRequestBytes) {
                sock.write(
                    R"({"jsonrpc":"2.0","error":{"code":-32600,"message":"Request too large"},"id":null})"
                    "\n");
                sock.waitForBytesWritten(1000);
                break;
            }
            if (sock.state() != QAbstractSocket::ConnectedState) break;
            sock.waitForReadyRead(100);
            continue;
        }
        QByteArray line = sock.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        const QByteArray reply = session.handleLine(line);
        if (!reply.isEmpty()) {
            sock.write(reply + '\n');
            while (sock.bytesToWrite() > 0 && sock.state() == QAbstractSocket::ConnectedState)
                sock.waitForBytesWritten(1000);
        }
    }
    sock.disconnectFromHost();
    if (sock.state() != QAbstractSocket::UnconnectedState) sock.waitForDisconnected(1000);
}

Daemon::Daemon(StorageConfig config, QObject* parent) : QTcpServer(parent), config_(std::move(config)) {}

Daemon::~Daemon() {
    shutdown();
}

void Daemon::incomingConnection(qintptr socket) {
    if (stopping_.load()) return;
    auto* t = new SessionThread(socket, config_, stopping_, this);
    sessions_.append(t);
    connect(t, &QThread::finished, this, [this, t] {
        sessions_.removeOne(t);
        t->deleteLater();
    });
    t->start();
}

void Daemon::shutdown() {
    close();
    stopping_.store(true);
    const auto running = sessions_;
    for (SessionThread* t : running)
        t->wait();
}

} // namespace kvxsrv
