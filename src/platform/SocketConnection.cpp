#include "SocketConnection.h"

#include "Automation.h"
#include "IniFile.h"
#include "RemoteLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kvx {

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
    RemoteTarget target;
    target.host = address_.trimmed();
    target.port = port_;
    target.timeoutMs = timeoutMs_;
    target.tls = tls_;
    target.user = user;
    target.password = password;
    target.progid = serverName_;
    const auto connectRemote = reinterpret_cast<RemoteConnectFn>(
        resolveLibraryFunction(QString::fromLatin1(kRemoteLibrary), kRemoteEntry));
    link_.reset(connectRemote(target));
    appServer_ = link_->server();
    emit afterConnect();
}

void SocketConnection::close() {
    if (!connected() && !link_) return;
    appServer_.reset(); // a remote object releases itself while the socket is still open
    if (link_) link_->close();
    link_.reset();
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
