// Registry entries of the application server's classes in a temporary installation tree, and the client
// configuration that points the tree's programs at a server. Targets that include this define
// KVX_APPSERVER_LIB (the built server library).
#pragma once

#include "TempTree.h"

namespace kvxtest {

// The program server (TRIVON.Class1) and the lookup server (Halvex.Class1) from the built library.
inline void registerServerClasses(TempTree& tree) {
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Factory", "CreateTrivonServer", "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\Halvex.Class1");
    tree.setRegistryValue("Factory", "CreateHalvexServer", "Classes\\Halvex.Class1");
}

// StaveloC.ini naming the daemon on loopback `port`, or the servers in process (127.0.0.1) for port 0;
// `more` is appended as it stands (further sections).
inline void pointClientAtServer(TempTree& tree, int port, const QString& more = {}) {
    const QString server =
        port ? QStringLiteral("[Server Information]\nComputerName=localhost\nServerPort=%1\n").arg(port)
             : QStringLiteral("[Server Information]\nComputerName=127.0.0.1\n");
    tree.writeText("client/StaveloC.ini", server + more);
}

} // namespace kvxtest
