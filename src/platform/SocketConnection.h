// SocketConnection: the connection of a data module to an application-server object.
//
// Over a socket: Open connects to the kvx-appserver daemon at Address:Port (JSON-RPC 2.0, one JSON
// object per line, docs/protocol.md) and creates the server object named ServerName there; AppServer is
// then a late-bound proxy whose calls, property reads and writes travel over the socket.
// In process: a server object created by program identifier (CreateOleObject) is handed over with
// setAppServer; the connection is then open without a socket.
// Over TLS (setTls) the server's certificate is verified before anything is sent; a server that does
// not pass is refused with the reasons.
// The socket side lives in libkvxremote.so (RemoteLink.h), loaded on the first remote open: in process
// nothing maps QtNetwork.
// Either way AppServer is a Dispatch that also implements ProviderEndpoint, so callers cannot tell the
// two apart. Calls are synchronous; errors raise AutomationError with the server's text.
#pragma once

#include "DataPacket.h"
#include "Dispatch.h"
#include "Settings.h"

#include <QObject>
#include <memory>

namespace kvx {

class RemoteLink;

// [Server Information] Tls (Y/N, 1/0), TlsCaFile (relative to the folder of the file) and TlsPeerName of
// a client configuration file (StaveloC.ini).
ClientTls readClientTls(const QString& iniFile);

class SocketConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Address READ address WRITE setAddress)
    Q_PROPERTY(int Port READ port WRITE setPort)
    Q_PROPERTY(QString ServerName READ serverName WRITE setServerName)
    Q_PROPERTY(bool Connected READ connected WRITE setConnected)
public:
    static constexpr int kDefaultPort = 211;

    explicit SocketConnection(QObject* parent = nullptr);
    ~SocketConnection() override;

    QString address() const { return address_; }
    void setAddress(const QString& a);
    int port() const { return port_; }
    void setPort(int p);
    QString serverName() const { return serverName_; }
    void setServerName(const QString& n);
    // Who signs in over the socket before the server object is created. Without them the environment
    // is asked: KVX_USER with KVX_PASSWORD, or the first line of the file KVX_PASSWORD_FILE. Not used in
    // process.
    void setCredentials(const QString& user, const QString& password);
    const ClientTls& tls() const { return tls_; }
    void setTls(const ClientTls& tls);
    int timeoutMs() const { return timeoutMs_; }
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }

    bool connected() const { return appServer_ != nullptr; }
    void setConnected(bool on);
    // Connects over the socket and creates the server object; raises AutomationError on failure.
    void open();
    // Releases the server object and closes the socket.
    void close();

    // Hands over a server object created in process; the connection counts as open.
    void setAppServer(std::shared_ptr<Dispatch> server);
    // The server object; null while closed.
    std::shared_ptr<Dispatch> appServer() const { return appServer_; }
    // The provider side of the server object; null while closed or when it has no providers.
    ProviderEndpoint* providers() const;
    bool inProcess() const { return connected() && !link_; }

signals:
    void afterConnect();
    void afterDisconnect();

private:
    QString address_;
    int port_ = kDefaultPort;
    QString serverName_;
    int timeoutMs_ = 60000;
    QString user_, password_;
    ClientTls tls_;
    std::unique_ptr<RemoteLink> link_; // the socket session; null in process
    std::shared_ptr<Dispatch> appServer_;
};

} // namespace kvx
