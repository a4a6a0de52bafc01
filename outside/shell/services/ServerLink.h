// ServerLink: the work center's connection to the counter server object ("KvxCounter.Class1") of the
// application server. The address and port come from the client configuration (registry ClientPath,
// StaveloC.ini [Server Information] ComputerName / ServerPort and the TLS keys, as the data module reads
// them): for 127.0.0.1 the object is created in process by its program identifier, otherwise over the socket.
// A call that fails because the connection broke raises an error saying so and drops the link; the next
// call connects afresh.
#pragma once

#include "platform/Dispatch.h"
#include "platform/Settings.h"

#include <QString>
#include <memory>

namespace kvx {
class SocketConnection;
}

namespace pellan {

struct ServerAddress {
    QString host = QStringLiteral("127.0.0.1");
    int port = 211;
    kvx::ClientTls tls; // [Server Information] Tls, TlsCaFile, TlsPeerName
    // From the registry and StaveloC.ini; the defaults when either is missing.
    static ServerAddress fromConfiguration();
};

class ServerLink {
public:
    static constexpr const char* kServerName = "KvxCounter.Class1";

    ServerLink();
    explicit ServerLink(ServerAddress address);
    ~ServerLink();

    // Connects when not connected; raises AutomationError with the reason.
    void connect();
    void disconnect();
    bool connected() const { return bool(server_); }
    bool inProcess() const;
    const ServerAddress& address() const { return address_; }

    // Invokes a method of the server object (arguments by reference); connects first when needed.
    kvx::Variant invoke(const QString& method, kvx::VariantList& args);
    kvx::Variant call(const QString& method, kvx::VariantList args = {}) { return invoke(method, args); }
    void setProperty(const QString& name, const kvx::Variant& value);

private:
    ServerAddress address_;
    std::unique_ptr<kvx::SocketConnection> socket_;
    std::shared_ptr<kvx::Dispatch> server_;

    bool socketLost() const;
};

} // namespace pellan
