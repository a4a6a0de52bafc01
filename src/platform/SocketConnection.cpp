#include "SocketConnection.h"

#include "IniFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <utility>

namespace kvx {

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

namespace {

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

} // namespace

ClientTls readClientTls(const QString& iniFile) {
    const IniFile ini(iniFile);
    const QString info = QStringLiteral("Server Information");
    ClientTls t;
    const QString on = ini.readString(info, QStringLiteral("Tls"), QStringLiteral("N")).trimmed().toUpper();
    t.enabled = on == QLatin1String("Y") || on == QLatin1String("1") || on == QLatin1String("YES") ||
                on == QLatin1String("TRUE");
    const QString ca = ini.readString(info, QStringLiteral("TlsCaFile")).trimmed();
    if (!ca.isEmpty()) t.caFile = QFileInfo(ca).isAbsolute() ? ca : QFileInfo(iniFile).dir().filePath(ca);
    t.peerName = ini.readString(info, QStringLiteral("TlsPeerName")).trimmed();
    return t;
}

SocketConnection::SocketConnection(QObject* parent) : QObject(parent) {}

SocketConnection::~SocketConnection() {
    close();
}

void SocketConnection::setAddress(const QString& a) {
    if (a != address_) close();
    address_ = a;
}

void SocketConnection::setPort(int p) {
    if (p != port_) close();
    port_ = p;
}

void SocketConnection::setServerName(const QString& n) {
    if (n != serverName_) close();
    serverName_ = n;
}

void SocketConnection::setTls(const ClientTls& tls) {
    if (tls != tls_) close();
    tls_ = tls;
}

void SocketConnection::setConnected(bool on) {
    if (on)
        open();
    else
        close();
}

void SocketConnection::setCredentials(const QString& user, const QString& password) {
    if (user != user_ || password != password_) close();
    user_ = user;
    password_ = password;
}

void SocketConnection::open() {
    if (connected()) return;
    if (address_.trimmed().isEmpty()) throw AutomationError("No application server address");
    if (serverName_.trimmed().isEmpty()) throw AutomationError("No application server name");
    QString user = user_, password = password_;
    if (user.isEmpty()) {
        user = qEnvironmentVariable("KVX_USER");
        password = qEnvironmentVariable("KVX_PASSWORD");
        const QString file = qEnvironmentVariable("KVX_PASSWORD_FILE");
        if (password.isEmpty() && !file.isEmpty()) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                throw AutomationError(
                    QStringLiteral("Cannot read the password file %1").arg(file).toStdString());
            password = QString::fromUtf8(f.readLine()).trimmed();
        }
    }
    auto client = std::make_shared<RpcClient>(address_.trimmed(), port_, timeoutMs_, tls_);
    if (!user.isEmpty())
        client->call(QStringLiteral("login"),
                     QJsonObject{{QStringLiteral("user"), user}, {QStringLiteral("password"), password}});
    QJsonObject p;
    p.insert(QStringLiteral("progid"), serverName_);
    const QJsonObject r = client->call(QStringLiteral("create"), p).toObject();
    client_ = client;
    const qint64 id = r.value(QStringLiteral("object")).toInteger();
    const QString className = r.value(QStringLiteral("className")).toString();
    if (r.value(QStringLiteral("providers")).toBool())
        appServer_ = std::make_shared<RemoteProviderObject>(client_, id, className);
    else
        appServer_ = std::make_shared<RemoteObject>(client_, id, className);
    emit afterConnect();
}

void SocketConnection::close() {
    if (!connected() && !client_) return;
    appServer_.reset(); // a remote object releases itself while the socket is still open
    if (client_) client_->close();
    client_.reset();
    emit afterDisconnect();
}

void SocketConnection::setAppServer(std::shared_ptr<Dispatch> server) {
    close();
    appServer_ = std::move(server);
    if (appServer_) emit afterConnect();
}

ProviderEndpoint* SocketConnection::providers() const {
    return dynamic_cast<ProviderEndpoint*>(appServer_.get());
}

} // namespace kvx
