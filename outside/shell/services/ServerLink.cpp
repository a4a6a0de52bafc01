#include "ServerLink.h"

#include "platform/Automation.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SocketConnection.h"

#include <QDir>

namespace pellan {

ServerAddress ServerAddress::fromConfiguration() {
    ServerAddress a;
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return a;
    const QString client = reg.readString(QStringLiteral("ClientPath"));
    if (client.isEmpty()) return a;
    const QString iniFile = QDir(client).filePath(QStringLiteral("StaveloC.ini"));
    const kvx::IniFile ini(iniFile);
    a.tls = kvx::readClientTls(iniFile);
    QString hosts = ini.readString(QStringLiteral("Server Information"), QStringLiteral("ComputerName"),
                                   QStringLiteral("127.0.0.1"))
                        .trimmed();
    if (hosts.endsWith(QLatin1Char(';'))) hosts.chop(1);
    const QString first = hosts.section(QLatin1Char(';'), 0, 0).trimmed();
    if (!first.isEmpty()) a.host = first;
    a.port = ini.readInteger(QStringLiteral("Server Information"), QStringLiteral("ServerPort"), 211);
    return a;
}

ServerLink::ServerLink() : ServerLink(ServerAddress::fromConfiguration()) {}

ServerLink::ServerLink(ServerAddress address) : address_(std::move(address)) {}

ServerLink::~ServerLink() {
    disconnect();
}

bool ServerLink::inProcess() const {
    return address_.host == QLatin1String("127.0.0.1");
}

void ServerLink::connect() {
    if (server_) return;
    const QString name = QString::fromLatin1(kServerName);
    if (inProcess()) {
        server_ = kvx::CreateOleObject(name);
        return;
    }
    auto socket = std::make_unique<kvx::SocketConnection>();
    socket->setAddress(address_.host);
    socket->setPort(address_.port);
    socket->setTls(address_.tls);
    socket->setServerName(name);
    socket->open();
    server_ = socket->appServer();
    socket_ = std::move(socket);
}

void ServerLink::disconnect() {
    server_.reset();
    if (socket_) {
        try {
            socket_->close();
        } catch (const std::exception&) {
            // closing a connection that is already gone
        }
        socket_.reset();
    }
}

bool ServerLink::socketLost() const {
    return socket_ && !socket_->connected();
}

kvx::Variant ServerLink::invoke(const QString& method, kvx::VariantList& args) {
    connect();
    std::shared_ptr<kvx::Dispatch> server = server_;
    try {
        return server->invoke(method, args);
    } catch (const kvx::AutomationError& e) {
        // A broken socket leaves the connection unusable: drop it so that the next call reconnects.
        const QString what = QString::fromUtf8(e.what());
        const bool broken = what.startsWith(QLatin1String("Lost the application server")) ||
                            what.contains(QLatin1String("connection to the application server is closed"));
        if (socket_ && (socketLost() || broken)) {
            disconnect();
            throw kvx::AutomationError(
                QStringLiteral("应用服务器连接中断 (the connection to the application server was lost): %1")
                    .arg(what)
                    .toStdString());
        }
        throw;
    }
}

void ServerLink::setProperty(const QString& name, const kvx::Variant& value) {
    connect();
    server_->setProperty(name, value);
}

} // namespace pellan
