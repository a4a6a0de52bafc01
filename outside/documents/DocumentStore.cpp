#include "DocumentStore.h"

#include "platform/Automation.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SocketConnection.h"

#include <QDir>

namespace kvxdoc {

namespace {
QString clientFolder() {
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return QDir::homePath();
    const QString client = reg.readString(QStringLiteral("ClientPath"));
    return client.isEmpty() ? QDir::homePath() : client;
}
} // namespace

QString StoreFolder() {
    const QString client = clientFolder();
    const kvx::IniFile ini(QDir(client).filePath(QStringLiteral("StaveloC.ini")));
    const QString configured =
        ini.readString(QStringLiteral("Document"), QStringLiteral("StorePath"), {}).trimmed();
    if (configured.isEmpty()) return QDir(client).filePath(QStringLiteral("DocStore"));
    return QDir::isAbsolutePath(configured) ? configured : QDir(client).filePath(configured);
}

CounterLink::CounterLink() {
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return;
    const QString client = reg.readString(QStringLiteral("ClientPath"));
    if (client.isEmpty()) return;
    const kvx::IniFile ini(QDir(client).filePath(QStringLiteral("StaveloC.ini")));
    const QString hosts =
        ini.readString(QStringLiteral("Server Information"), QStringLiteral("ComputerName"), host_).trimmed();
    const QString first = hosts.section(QLatin1Char(';'), 0, 0).trimmed();
    if (!first.isEmpty()) host_ = first;
    port_ = ini.readInteger(QStringLiteral("Server Information"), QStringLiteral("ServerPort"), port_);
}

CounterLink::~CounterLink() {
    server_.reset();
    if (socket_) {
        try {
            socket_->close();
        } catch (const std::exception&) {
            // the connection is already gone
        }
    }
}

kvx::Variant CounterLink::call(const QString& method, kvx::VariantList args) {
    if (!server_) {
        const QString name = QStringLiteral("KvxCounter.Class1");
        if (host_ == QLatin1String("127.0.0.1")) {
            server_ = kvx::CreateOleObject(name);
        } else {
            auto socket = std::make_unique<kvx::SocketConnection>();
            socket->setAddress(host_);
            socket->setPort(port_);
            socket->setServerName(name);
            socket->open();
            server_ = socket->appServer();
            socket_ = std::move(socket);
        }
    }
    return server_->invoke(method, args);
}

} // namespace kvxdoc
