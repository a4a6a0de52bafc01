#include "Daemon.h"

#include "platform/IniFile.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QSslSocket>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcDaemon, "kvx.appserver")

namespace kvxsrv {

namespace {
QByteArray errorLine(int code, const QString& message) {
    return QStringLiteral(R"({"jsonrpc":"2.0","error":{"code":%1,"message":"%2"},"id":null})")
               .arg(code)
               .arg(message)
               .toUtf8() +
           '\n';
}

// The first byte the client sent, left in the socket; '\0' when it closed or sent nothing in time.
char peekFirstByte(int fd, int waitMs, const std::atomic_bool& stopping) {
    QDeadlineTimer deadline(waitMs);
    while (!stopping.load()) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(qBound(qint64(0), deadline.remainingTime(), qint64(200))));
        if (r > 0) {
            char c = 0;
            const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 1) return c == '\0' ? '\1' : c;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return '\0';
        } else if (r < 0 && errno != EINTR) {
            return '\0';
        }
        if (deadline.hasExpired()) return '\0';
    }
    return '\0';
}

// Sends a last line and closes. What the client had sent is read first (for up to a second), so that
// closing does not reset the connection before the client has read the line.
void refuseAndClose(int fd, const QByteArray& line) {
    [[maybe_unused]] ssize_t n =
        ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    QDeadlineTimer deadline(1000);
    char scratch[4096];
    while (!deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime()))) <= 0) break;
        const ssize_t got = ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    ::close(fd);
}

QString peerAddress(qintptr fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getpeername(int(fd), reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
    QHostAddress a(reinterpret_cast<sockaddr*>(&ss));
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4).toString() : a.toString();
}
} // namespace

ServerLimits ServerLimits::fromIni(const QString& iniFile) {
    ServerLimits l;
    const kvx::IniFile ini(iniFile);
    const QString s = QStringLiteral("Limits");
    auto positive = [&](const char* key, int def) {
        const int v = ini.readInteger(s, QString::fromLatin1(key), def);
        return v > 0 ? v : def;
    };
    l.maxConnections = positive("MaxConnections", l.maxConnections);
    l.maxPerAddress = positive("MaxConnectionsPerAddress", l.maxPerAddress);
    l.session.maxObjects = positive("ObjectsPerConnection", l.session.maxObjects);
    l.idleSeconds = positive("IdleSeconds", l.idleSeconds);
    l.partialLineSeconds = positive("PartialLineSeconds", l.partialLineSeconds);
    l.writeStallSeconds = positive("WriteStallSeconds", l.writeStallSeconds);
    l.shutdownSeconds = positive("ShutdownSeconds", l.shutdownSeconds);
    l.maxRequestBytes = positive("MaxRequestBytes", int(qMin<qint64>(l.maxRequestBytes, INT_MAX)));
    l.session.maxAnswerBytes =
        positive("MaxAnswerBytes", int(qMin<qint64>(l.session.maxAnswerBytes, INT_MAX)));
    l.session.requireLogin =
        ini.readString(s, QStringLiteral("LoginRequired"), QStringLiteral("Y")).trimmed().toUpper() !=
        QLatin1String("N");
    return l;
}

void SessionThread::run() {
    std::unique_ptr<QTcpSocket> sock = openSocket();
    if (!sock) {
        if (onEnd_) onEnd_();
        return;
    }
    serve(*sock);
    if (onEnd_) onEnd_();
    if (stopping_.load() || sock->state() != QAbstractSocket::ConnectedState) {
        sock->abort();
        return;
    }
    sock->disconnectFromHost();
    if (sock->state() != QAbstractSocket::UnconnectedState) sock->waitForDisconnected(1000);
}

std::unique_ptr<QTcpSocket> SessionThread::openSocket() {
    const int fd = int(socket_);
    const char first = tls_ ? peekFirstByte(fd, limits_.partialLineSeconds * 1000, stopping_) : '\0';
    if (tls_ && first == '\0') { // closed, or nothing sent in time
        ::close(fd);
        return nullptr;
    }
    if (tls_ && first != char(kTlsHandshakeByte) && tls_->required) {
        qCInfo(lcDaemon) << "refused a plain connection: this server requires TLS";
        refuseAndClose(fd, errorLine(RpcSession::kTlsRequired,
                                     QStringLiteral("This application server accepts only TLS connections: "
                                                    "set Tls=Y in [Server Information] of StaveloC.ini")));
        return nullptr;
    }
    if (!tls_ || first != char(kTlsHandshakeByte)) {
        auto plain = std::make_unique<QTcpSocket>();
        if (!plain->setSocketDescriptor(socket_)) {
            ::close(fd);
            return nullptr;
        }
        return plain;
    }
    auto ssl = std::make_unique<QSslSocket>();
    if (!ssl->setSocketDescriptor(socket_)) {
        ::close(fd);
        return nullptr;
    }
    ssl->setSslConfiguration(tls_->configuration);
    ssl->startServerEncryption();
    QDeadlineTimer deadline(limits_.partialLineSeconds * 1000LL);
    while (!ssl->isEncrypted()) {
        if (stopping_.load() || deadline.hasExpired() || ssl->state() != QAbstractSocket::ConnectedState) {
            qCInfo(lcDaemon) << "TLS handshake failed:" << ssl->errorString();
            ssl->abort();
            return nullptr;
        }
        ssl->waitForEncrypted(200);
    }
    return ssl;
}

void SessionThread::serve(QTcpSocket& sock) {
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Qt stops reading from the kernel when this is full: a client that floods requests without
    // reading its answers is held back by TCP instead of growing this process.
    sock.setReadBufferSize(qMin<qint64>(limits_.maxRequestBytes + 1, 4 * 1024 * 1024));
    auto stop = std::make_shared<QueryStop>();
    stop->stopping = &stopping_;
    stop->socketFd = int(socket_);
    config_.stop = stop;
    config_.runMigrations = false;
    config_.connection = std::make_shared<SharedConnection>(); // one database connection per client
    RpcSession session(config_, limits_.session);
    QByteArray buffer;
    qsizetype scanned = 0; // bytes of the buffer already searched for a line end
    QElapsedTimer idle, partial;
    idle.start();
    auto closeWith = [&](int code, const QString& message) {
        sock.write(errorLine(code, message));
        sock.waitForBytesWritten(1000);
    };
    bool open = true;
    bool received = false; // anything from the client yet
    while (open && !stopping_.load()) {
        const qsizetype end = buffer.indexOf('\n', scanned);
        if (end < 0) {
            scanned = buffer.size();
            if (buffer.size() > limits_.maxRequestBytes) {
                closeWith(RpcSession::kInvalidRequest, QStringLiteral("Request too large"));
                break;
            }
            if (!buffer.isEmpty() && partial.isValid() &&
                partial.elapsed() > limits_.partialLineSeconds * 1000LL) {
                closeWith(RpcSession::kInvalidRequest, QStringLiteral("Request line not finished in time"));
                break;
            }
            if (idle.elapsed() > limits_.idleSeconds * 1000LL) {
                closeWith(RpcSession::kInvalidRequest, QStringLiteral("Idle connection closed"));
                break;
            }
            if (sock.bytesAvailable() == 0) {
                if (sock.state() != QAbstractSocket::ConnectedState) break;
                sock.waitForReadyRead(100);
            }
            // What is there, within the request limit (read(n) would allocate n bytes first).
            const QByteArray more =
                sock.read(qMin(sock.bytesAvailable(), limits_.maxRequestBytes + 1 - buffer.size()));
            if (!received && !more.isEmpty() && more.front() == char(kTlsHandshakeByte)) {
                qCInfo(lcDaemon) << "refused a TLS handshake: this server has no TLS configured";
                closeWith(RpcSession::kInvalidRequest,
                          QStringLiteral("This application server does not use TLS: set Tls=N in [Server "
                                         "Information] of StaveloC.ini"));
                break;
            }
            received = received || !more.isEmpty();
            if (!more.isEmpty() && buffer.isEmpty()) partial.start();
            buffer += more;
            continue;
        }
        QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        scanned = 0;
        if (!buffer.isEmpty()) partial.start();
        idle.restart();
        while (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        const QByteArray reply = session.handleLine(line);
        if (!reply.isEmpty()) {
            // The next request is read only when this answer is gone; a client that stops reading is
            // dropped after the stall limit, and a shutdown drops what is unsent.
            if (!sendAnswer(sock, reply)) open = false;
        }
        if (session.finished()) break;
    }
    if (!open) sock.abort();
}

bool SessionThread::sendAnswer(QTcpSocket& sock, const QByteArray& reply) {
    QElapsedTimer stall;
    stall.start();
    auto stalled = [&] {
        if (stall.elapsed() <= limits_.writeStallSeconds * 1000LL) return false;
        qCInfo(lcDaemon) << "dropping a client that does not read its answers";
        return true;
    };
    if (qobject_cast<QSslSocket*>(&sock)) {
        sock.write(reply);
        sock.write("\n", 1);
        while (sock.bytesToWrite() > 0 && sock.state() == QAbstractSocket::ConnectedState) {
            if (stopping_.load()) return false;
            if (sock.waitForBytesWritten(200))
                stall.restart();
            else if (stalled())
                return false;
        }
        return true;
    }
    // Plain TCP: the answer goes from its own buffer to the kernel, with the line end beside it.
    static const char lineEnd = '\n';
    iovec parts[2] = {{const_cast<char*>(reply.constData()), size_t(reply.size())},
                      {const_cast<char*>(&lineEnd), 1}};
    int first = 0;
    const int fd = int(sock.socketDescriptor());
    while (first < 2) {
        msghdr m{};
        m.msg_iov = parts + first;
        m.msg_iovlen = size_t(2 - first);
        const ssize_t n = ::sendmsg(fd, &m, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            size_t left = size_t(n);
            while (first < 2 && left >= parts[first].iov_len)
                left -= parts[first++].iov_len;
            if (first < 2) {
                parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + left;
                parts[first].iov_len -= left;
            }
            stall.restart();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (stopping_.load() || stalled()) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 200);
    }
    return true;
}

Daemon::Daemon(StorageConfig config, ServerLimits limits, QObject* parent)
    : QTcpServer(parent), config_(std::move(config)), limits_(limits) {
    config_.runMigrations = false; // brought up to date once at start
}

Daemon::~Daemon() {
    shutdown();
}

void Daemon::incomingConnection(qintptr socket) {
    const QString peer = peerAddress(socket);
    auto refuse = [&](const QString& why) {
        const QByteArray line = errorLine(RpcSession::kLimitReached, why);
        [[maybe_unused]] ssize_t n =
            ::send(int(socket), line.constData(), size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(int(socket));
        qCInfo(lcDaemon) << "refused a connection from" << peer << ":" << why;
    };
    if (stopping_.load()) {
        ::close(int(socket));
        return;
    }
    {
        QMutexLocker lock(&countsMutex_);
        if (active_ >= limits_.maxConnections) {
            lock.unlock();
            return refuse(QStringLiteral("Too many connections (at most %1)").arg(limits_.maxConnections));
        }
        if (perAddress_.value(peer) >= limits_.maxPerAddress) {
            lock.unlock();
            return refuse(QStringLiteral("Too many connections from %1 (at most %2)")
                              .arg(peer)
                              .arg(limits_.maxPerAddress));
        }
        ++active_;
        ++perAddress_[peer];
    }
    auto onEnd = [this, peer] {
        QMutexLocker lock(&countsMutex_);
        --active_;
        if (--perAddress_[peer] <= 0) perAddress_.remove(peer);
    };
    auto* t = new SessionThread(socket, config_, limits_, tls_, stopping_, onEnd, this);
    sessions_.append(t);
    connect(t, &QThread::finished, this, [this, t] {
        sessions_.removeOne(t);
        t->deleteLater();
    });
    t->start();
}

bool Daemon::shutdown() {
    close();
    stopping_.store(true);
    QDeadlineTimer deadline(limits_.shutdownSeconds * 1000LL);
    bool all = true;
    const auto running = sessions_;
    for (SessionThread* t : running)
        all = t->wait(deadline) && all;
    if (!all) qCWarning(lcDaemon) << "some sessions did not end within" << limits_.shutdownSeconds << "s";
    return all;
}

} // namespace kvxsrv
