#include "Daemon.h"

#include "RpcSession.h"

#include <QTcpSocket>

namespace kvxsrv {

void SessionThread::run() {
    QTcpSocket sock;
    if (!sock.setSocketDescriptor(socket_)) return;
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    RpcSession session(config_);
    QByteArray buffer;
    qsizetype scanned = 0; // bytes of the buffer already searched for a line end
    while (!stopping_.load()) {
        const qsizetype end = buffer.indexOf('\n', scanned);
        if (end < 0) {
            scanned = buffer.size();
            if (buffer.size() > kMaxRequestBytes) {
                sock.write(
                    R"({"jsonrpc":"2.0","error":{"code":-32600,"message":"Request too large"},"id":null})"
                    "\n");
                sock.waitForBytesWritten(1000);
                break;
            }
            if (sock.bytesAvailable() == 0) {
                if (sock.state() != QAbstractSocket::ConnectedState) break;
                sock.waitForReadyRead(100);
            }
            buffer += sock.readAll();
            continue;
        }
        QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        scanned = 0;
        while (line.endsWith('\r'))
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
