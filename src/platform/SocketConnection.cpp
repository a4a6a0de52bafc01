#include "SocketConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace kvx {

// One socket to the daemon; requests are sent one at a time and answered in order.
class RpcClient {
public:
    RpcClient(const QString& host, int port, int timeoutMs) : timeoutMs_(timeoutMs) {
        socket_.connectToHost(host, quint16(port));
        if (!socket_.waitForConnected(timeoutMs_))
            throw AutomationError(QStringLiteral("Cannot connect to the application server at %1:%2: %3")
                                      .arg(host)
                                      .arg(port)
                                      .arg(socket_.errorString())
                                      .toStdString());
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }

    bool isOpen() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void close() {
        socket_.disconnectFromHost();
        if (socket_.state() != QAbstractSocket::UnconnectedState) socket_.waitForDisconnected(1000);
    }

    QJsonValue call(const QString& method, const QJsonObject& params) {
        if (!isOpen()) throw AutomationError("The connection to the application server is closed");
        const qint64 id = nextId_++;
        QJsonObject req;
        req.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
        req.insert(QStringLiteral("method"), method);
        req.insert(QStringLiteral("params"), params);
        req.insert(QStringLiteral("id"), id);
        socket_.write(QJsonDocument(req).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer timer;
        timer.start();
        while (socket_.bytesToWrite() > 0) {
            if (!socket_.waitForBytesWritten(remaining(timer))) fail(QStringLiteral("sending"));
        }
        // Accumulate and look for the line end in the new bytes only: answers can be megabytes long.
        qsizetype end = -1;
        for (;;) {
            const qsizetype from = buffer_.size();
            buffer_ += socket_.readAll();
            end = buffer_.indexOf('\n', from);
            if (end >= 0) break;
            if (!socket_.waitForReadyRead(remaining(timer))) fail(QStringLiteral("waiting for the answer"));
        }
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        QJsonParseError perr;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &perr);
        if (!doc.isObject()) fail(QStringLiteral("reading the answer (%1)").arg(perr.errorString()));
        const QJsonObject res = doc.object();
        if (res.value(QStringLiteral("id")).toInteger(-1) != id) fail(QStringLiteral("matching the answer"));
        if (res.contains(QStringLiteral("error")))
            throw AutomationError(res.value(QStringLiteral("error"))
                                      .toObject()
                                      .value(QStringLiteral("message"))
                                      .toString()
                                      .toStdString());
        return res.value(QStringLiteral("result"));
    }

private:
    QTcpSocket socket_;
    QByteArray buffer_;
    int timeoutMs_;
    qint64 nextId_ = 1;

    int remaining(const QElapsedTimer& t) const { return int(qMax<qint64>(1, timeoutMs_ - t.elapsed())); }
    [[noreturn]] void fail(const QString& what) {
        const QString reason = socket_.state() == QAbstractSocket::ConnectedState
                                   ? QStringLiteral("timed out")
                                   : socket_.errorString();
        socket_.abort();
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
    auto client = std::make_shared<RpcClient>(address_.trimmed(), port_, timeoutMs_);
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
