// The socket daemon: accepts TCP connections and serves each in a thread of its own with its own
// RpcSession (server objects and database connections). Stopping finishes the request each session is
// running, so an apply is either committed or never started.
#pragma once

#include "Storage.h"

#include <QList>
#include <QTcpServer>
#include <QThread>
#include <atomic>

namespace kvxsrv {

constexpr qint64 kMaxRequestBytes = 64 * 1024 * 1024;

class SessionThread : public QThread {
public:
    SessionThread(qintptr socket, StorageConfig config, const std::atomic_bool& stopping, QObject* parent)
        : QThread(parent), socket_(socket), config_(std::move(config)), stopping_(stopping) {}

protected:
    void run() override;

private:
    qintptr socket_;
    StorageConfig config_;
    const std::atomic_bool& stopping_;
};

class Daemon : public QTcpServer {
    Q_OBJECT
public:
    explicit Daemon(StorageConfig config, QObject* parent = nullptr);
    ~Daemon() override;
    // Stops accepting, lets every session finish its current request and waits for them.
    void shutdown();

protected:
    void incomingConnection(qintptr socket) override;

private:
    StorageConfig config_;
    std::atomic_bool stopping_{false};
    QList<SessionThread*> sessions_;
};

} // namespace kvxsrv
