// The socket side of SocketConnection: the JSON-RPC client of the kvx-appserver daemon and the proxies of
// the server objects created there. Built as libkvxremote.so (RemoteLink.h), loaded on the first remote open.
#include "RemoteLink.h"

#include "DataPacket.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <utility>

namespace kvx {

namespace {

// One socket to the daemon; requests are sent one at a time and answered in order.
class RpcClient {
public:
    RpcClient(const QString& host, int port, int timeoutMs, const ClientTls& tls) : timeoutMs_(timeoutMs) {
        const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
        if (!tls.enabled) {
            socket_ = std::make_unique<QTcpSocket>();
            socket_->connectToHost(host, quint16(port));
            if (!socket_->waitForConnected(timeoutMs_))
                throw AutomationError(QStringLiteral("Cannot connect to the application server at %1: %2")
                                          .arg(where, socket_->errorString())
                                          .toStdString());
        } else {
            auto ssl = std::make_unique<QSslSocket>();
            ssl->setSslConfiguration(tlsConfiguration(tls));
            const QString peer = tls.peerName.trimmed().isEmpty() ? host : tls.peerName.trimmed();
            ssl->connectToHostEncrypted(host, quint16(port), peer);
            if (!ssl->waitForEncrypted(timeoutMs_)) {
                QStringList reasons;
                for (const QSslError& e : ssl->sslHandshakeErrors())
                    reasons << e.errorString();
                if (reasons.isEmpty()) reasons << ssl->errorString();
                const bool verified = ssl->sslHandshakeErrors().isEmpty();
                ssl->abort();
                throw AutomationError(
                    (verified
                         ? QStringLiteral("No TLS connection to the application server at %1 (does it "
                                          "use TLS?): %2")
                         : QStringLiteral("The application server at %1 failed the certificate check: %2"))
                        .arg(where, reasons.join(QStringLiteral("; ")))
                        .toStdString());
            }
            socket_ = std::move(ssl);
        }
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }

    bool isOpen() const { return socket_->state() == QAbstractSocket::ConnectedState; }
    void close() {
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->waitForDisconnected(1000);
    }

    QJsonValue call(const QString& method, const QJsonObject& params) {
        if (!isOpen()) throw AutomationError("The connection to the application server is closed");
        const qint64 id = nextId_++;
        QJsonObject req;
        req.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
        req.insert(QStringLiteral("method"), method);
        req.insert(QStringLiteral("params"), params);
        req.insert(QStringLiteral("id"), id);
        socket_->write(QJsonDocument(req).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer timer;
        timer.start();
        while (socket_->bytesToWrite() > 0) {
            if (!socket_->waitForBytesWritten(remaining(timer))) fail(QStringLiteral("sending"));
        }
        // Accumulate and look for the line end in the new bytes only: answers can be megabytes long.
        qsizetype end = -1;
        for (;;) {
            const qsizetype from = buffer_.size();
            buffer_ += socket_->readAll();
            end = buffer_.indexOf('\n', from);
            if (end >= 0) break;
            if (!socket_->waitForReadyRead(remaining(timer))) fail(QStringLiteral("waiting for the answer"));
        }
        // An answer that ends the buffer (the usual case) is taken over without a copy.
        QByteArray line;
        if (end + 1 == buffer_.size()) {
            line = std::exchange(buffer_, QByteArray());
            line.chop(1);
        } else {
            line = buffer_.left(end);
            buffer_.remove(0, end + 1);
        }
        QJsonParseError perr;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &perr);
        if (!doc.isObject()) fail(QStringLiteral("reading the answer (%1)").arg(perr.errorString()));
        const QJsonObject res = doc.object();
        const QJsonValue answerId = res.value(QStringLiteral("id"));
        if (answerId.isNull() && res.contains(QStringLiteral("error"))) {
            // The server refused the connection as a whole (a limit, TLS required) and closes it.
            socket_->abort();
            throw AutomationError(res.value(QStringLiteral("error"))
                                      .toObject()
                                      .value(QStringLiteral("message"))
                                      .toString()
                                      .toStdString());
        }
        if (answerId.toInteger(-1) != id) fail(QStringLiteral("matching the answer"));
        if (res.contains(QStringLiteral("error")))
            throw AutomationError(res.value(QStringLiteral("error"))
                                      .toObject()
                                      .value(QStringLiteral("message"))
                                      .toString()
                                      .toStdString());
        return res.value(QStringLiteral("result"));
    }

private:
    std::unique_ptr<QTcpSocket> socket_;
    QByteArray buffer_;
    int timeoutMs_;
    qint64 nextId_ = 1;

    // Only the CA certificates of the file when one is named (the system's are not trusted then).
    static QSslConfiguration tlsConfiguration(const ClientTls& tls) {
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
        conf.setProtocol(QSsl::TlsV1_2OrLater);
        if (!tls.caFile.trimmed().isEmpty()) {
            const QString file = tls.caFile.trimmed();
            if (!QFileInfo(file).isReadable())
                throw AutomationError(QStringLiteral("Cannot read the CA file %1").arg(file).toStdString());
            const QList<QSslCertificate> cas = QSslCertificate::fromPath(file, QSsl::Pem);
            if (cas.isEmpty())
                throw AutomationError(
                    QStringLiteral("No PEM certificate in the CA file %1").arg(file).toStdString());
            conf.setCaCertificates(cas);
        }
        return conf;
    }

    int remaining(const QElapsedTimer& t) const { return int(qMax<qint64>(1, timeoutMs_ - t.elapsed())); }
    [[noreturn]] void fail(const QString& what) {
        const QString reason = socket_->state() == QAbstractSocket::ConnectedState
                                   ? QStringLiteral("timed out")
                                   : socket_->errorString();
        socket_->abort();
        throw AutomationError(
            QStringLiteral("Lost the application server while %1: %2").arg(what, reason).toStdString());
    }
};

// The late-bound proxy of a server object that lives in the daemon.
class RemoteObject : public Dispatch {
public:
    RemoteObject(std::shared_ptr<RpcClient> client, qint64 id, QString className)
        : client_(std::move(client)), id_(id), className_(std::move(className)) {}
    ~RemoteObject() override {
        if (auto c = client_.lock(); c && c->isOpen()) {
            try {
                c->call(QStringLiteral("release"), params());
            } catch (const AutomationError&) {
                // The session ends with the socket anyway.
            }
        }
    }

    Variant invoke(const QString& name, VariantList& args) override {
        QJsonObject p = params();
        p.insert(QStringLiteral("method"), name);
        QJsonArray a;
        for (const Variant& v : args)
            a.append(v.toJson());
        p.insert(QStringLiteral("args"), a);
        const QJsonObject r = client()->call(QStringLiteral("invoke"), p).toObject();
        const QJsonArray back = r.value(QStringLiteral("args")).toArray();
        for (int i = 0; i < args.size() && i < back.size(); ++i)
            args[i] = Variant::fromJson(back[i]);
        return Variant::fromJson(r.value(QStringLiteral("result")));
    }
    Variant getProperty(const QString& name) override {
        QJsonObject p = params();
        p.insert(QStringLiteral("name"), name);
        return Variant::fromJson(client()->call(QStringLiteral("get"), p));
    }
    void setProperty(const QString& name, const Variant& value) override {
        QJsonObject p = params();
        p.insert(QStringLiteral("name"), name);
        p.insert(QStringLiteral("value"), value.toJson());
        client()->call(QStringLiteral("put"), p);
    }
    QString className() const override { return className_; }

protected:
    std::weak_ptr<RpcClient> client_;
    qint64 id_;
    QString className_;

    std::shared_ptr<RpcClient> client() const {
        auto c = client_.lock();
        if (!c) throw AutomationError("The connection to the application server is closed");
        return c;
    }
    QJsonObject params() const {
        QJsonObject p;
        p.insert(QStringLiteral("object"), id_);
        return p;
    }
};

// The proxy of a server object with providers.
class RemoteProviderObject : public RemoteObject, public ProviderEndpoint {
public:
    using RemoteObject::RemoteObject;

    Variant dataRequest(const QString& provider, const Variant& data) override {
        QJsonObject p = providerParams(provider);
        p.insert(QStringLiteral("data"), data.toJson());
        return Variant::fromJson(client()->call(QStringLiteral("dataRequest"), p));
    }
    DataPacket getRecords(const QString& provider, int count) override {
        QJsonObject p = providerParams(provider);
        p.insert(QStringLiteral("count"), count);
        return DataPacket::fromJson(client()->call(QStringLiteral("getRecords"), p).toObject());
    }
    ApplyResult applyUpdates(const QString& provider, const Delta& delta, int maxErrors) override {
        QJsonObject p = providerParams(provider);
        p.insert(QStringLiteral("delta"), delta.toJson());
        p.insert(QStringLiteral("maxErrors"), maxErrors);
        return ApplyResult::fromJson(client()->call(QStringLiteral("applyUpdates"), p).toObject());
    }

private:
    QJsonObject providerParams(const QString& provider) const {
        QJsonObject p = params();
        p.insert(QStringLiteral("provider"), provider);
        return p;
    }
};

// The session: the client and the proxy of the server object it created.
class SocketLink : public RemoteLink {
public:
    explicit SocketLink(const RemoteTarget& t)
        : client_(std::make_shared<RpcClient>(t.host, t.port, t.timeoutMs, t.tls)) {
        if (!t.user.isEmpty())
            client_->call(QStringLiteral("login"), QJsonObject{{QStringLiteral("user"), t.user},
                                                               {QStringLiteral("password"), t.password}});
        QJsonObject p;
        p.insert(QStringLiteral("progid"), t.progid);
        const QJsonObject r = client_->call(QStringLiteral("create"), p).toObject();
        const qint64 id = r.value(QStringLiteral("object")).toInteger();
        const QString className = r.value(QStringLiteral("className")).toString();
        if (r.value(QStringLiteral("providers")).toBool())
            server_ = std::make_shared<RemoteProviderObject>(client_, id, className);
        else
            server_ = std::make_shared<RemoteObject>(client_, id, className);
    }
    ~SocketLink() override { close(); }

    std::shared_ptr<Dispatch> server() const override { return server_; }
    void close() override {
        server_.reset(); // releases the object while the socket is still open, unless a caller holds it
        if (client_) client_->close();
        client_.reset();
    }

private:
    std::shared_ptr<RpcClient> client_;
    std::shared_ptr<Dispatch> server_;
};

} // namespace

} // namespace kvx

extern "C" __attribute__((visibility("default"))) kvx::RemoteLink*
kvxConnectRemote(const kvx::RemoteTarget& target) {
    return new kvx::SocketLink(target);
}
