// The socket daemon: accepts TCP connections and serves each in a thread of its own with its own
// RpcSession (server objects and database connections). Limits (StaveloS.ini [Limits]) keep one client
// from stopping the others: connections in total and per address, objects per connection, the size of
// a request and of an answer, idle and partial-line timeouts, and a stall limit for a client that does
// not read its answers. Stopping interrupts running queries, drops unsent answers and waits for the
// sessions up to a deadline; an apply is either committed or rolled back.
#pragma once

#include "RpcSession.h"
#include "ServerTls.h"
#include "Storage.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <functional>

namespace kvxsrv {

constexpr qint64 kMaxRequestBytes = 64 * 1024 * 1024;

struct ServerLimits {
    int maxConnections = 256;
    int maxPerAddress = 64;
    int idleSeconds = 900;       // no request for this long: the connection is closed
    int partialLineSeconds = 30; // a request line begun and not finished in this time
    int writeStallSeconds = 30;  // an answer the client does not read for this long
    int shutdownSeconds = 10;    // SIGTERM: sessions still running after this are abandoned
    qint64 maxRequestBytes = kMaxRequestBytes;
    SessionLimits session{32, kMaxRequestBytes, true, 3};

    // [Limits] of a StaveloS.ini: MaxConnections, MaxConnectionsPerAddress, ObjectsPerConnection,
    // IdleSeconds, PartialLineSeconds, WriteStallSeconds, ShutdownSeconds, MaxRequestBytes,
    // MaxAnswerBytes, LoginRequired (Y/N).
    static ServerLimits fromIni(const QString& iniFile);
};

class SessionThread : public QThread {
public:
    // `onEnd` runs in the session's thread just before its socket closes.
    SessionThread(qintptr socket, StorageConfig config, ServerLimits limits,
                  std::shared_ptr<const ServerTls> tls, const std::atomic_bool& stopping,
                  std::function<void()> onEnd, QObject* parent)
        : QThread(parent), socket_(socket), config_(std::move(config)), limits_(limits), tls_(std::move(tls)),
          stopping_(stopping), onEnd_(std::move(onEnd)) {}

protected:
    void run() override;

private:
    qintptr socket_;
    StorageConfig config_;
    ServerLimits limits_;
    std::shared_ptr<const ServerTls> tls_;
    const std::atomic_bool& stopping_;
    std::function<void()> onEnd_;
    // The socket to serve: plain or, after a finished handshake, TLS; null when the connection was
    // refused or ended before that (the descriptor is closed then).
    std::unique_ptr<class QTcpSocket> openSocket();
    void serve(class QTcpSocket& sock);
    // Writes one answer and its line end; false when the client stopped reading for the stall limit,
    // the server is stopping, or the connection broke.
    bool sendAnswer(class QTcpSocket& sock, const QByteArray& reply);
};

class Daemon : public QTcpServer {
    Q_OBJECT
public:
    explicit Daemon(StorageConfig config, ServerLimits limits = {}, QObject* parent = nullptr);
    ~Daemon() override;
    // Stops accepting, interrupts running queries, and waits for the sessions up to the shutdown
    // deadline; false when some were still running then.
    bool shutdown();
    // Serves connections over TLS from now on (null: plain).
    void setTls(std::shared_ptr<const ServerTls> tls) { tls_ = std::move(tls); }
    bool usesTls() const { return tls_ != nullptr; }

protected:
    void incomingConnection(qintptr socket) override;

private:
    StorageConfig config_;
    ServerLimits limits_;
    std::shared_ptr<const ServerTls> tls_;
    std::atomic_bool stopping_{false};
    QList<SessionThread*> sessions_;
    QMutex countsMutex_; // the counts drop in the sessions' threads, before their sockets close
    int active_ = 0;
    QHash<QString, int> perAddress_;
};

} // namespace kvxsrv
