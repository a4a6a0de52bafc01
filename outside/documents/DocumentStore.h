// DocumentStore: the folder the document-management stand-ins keep their files in, and the link to the
// application server's counter object through which the attachment window reads and writes ATTACH.
//
// The folder is [Document] StorePath of the client configuration (StaveloC.ini beside the registry's
// ClientPath), by default "DocStore" under the client folder. Documents live under
// <store>/<document id>/<version>/, attachments under <store>/attach/<company>/<document id>/.
#pragma once

#include "platform/Dispatch.h"

#include <QString>
#include <memory>

namespace kvx {
class SocketConnection;
}

namespace kvxdoc {

QString StoreFolder();

// The counter object "KvxCounter.Class1": in process for 127.0.0.1, otherwise over the socket, at the
// address of the client configuration.
class CounterLink {
public:
    CounterLink();
    ~CounterLink();
    kvx::Variant call(const QString& method, kvx::VariantList args);

private:
    QString host_ = QStringLiteral("127.0.0.1");
    int port_ = 211;
    std::unique_ptr<kvx::SocketConnection> socket_;
    std::shared_ptr<kvx::Dispatch> server_;
};

} // namespace kvxdoc
