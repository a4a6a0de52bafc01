// RemoteLink: one signed-in socket session with the kvx-appserver daemon and the server object created
// in it, as SocketConnection::open uses it.
//
// The implementation (RemoteLink.cpp) is the library libkvxremote.so, the only library of ours that
// links QtNetwork; SocketConnection loads it on the first remote open through the library loader of
// Automation.h. A process whose servers all run in process therefore never maps QtNetwork with its TLS
// and name-service libraries.
#pragma once

#include "Dispatch.h"
#include "Settings.h"

#include <memory>

namespace kvx {

// Where and as whom to connect, and which server object to create there.
struct RemoteTarget {
    QString host;
    int port = 0;
    int timeoutMs = 60000;
    ClientTls tls;
    QString user, password; // no sign-in when the user is empty
    QString progid;
};

class RemoteLink {
public:
    virtual ~RemoteLink() = default;
    // The proxy of the server object (a ProviderEndpoint as well when the object has providers). It may
    // outlive the link: its calls raise AutomationError once the link is closed.
    virtual std::shared_ptr<Dispatch> server() const = 0;
    // Closes the socket; the server object should be released before.
    virtual void close() = 0;
};

// The library and its entry point:  extern "C" kvx::RemoteLink* kvxConnectRemote(const kvx::RemoteTarget&)
// connects, signs in and creates the server object; it raises AutomationError on failure.
inline constexpr char kRemoteLibrary[] = "libkvxremote.so";
inline constexpr char kRemoteEntry[] = "kvxConnectRemote";
using RemoteConnectFn = RemoteLink* (*)(const RemoteTarget&);

} // namespace kvx
