// RpcSession: the JSON-RPC 2.0 side of one client connection (docs/protocol.md). It owns the server
// objects the client created and turns one request line into one response line.
#pragma once

#include "Storage.h"
#include "platform/DataPacket.h"
#include "platform/Dispatch.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <memory>

namespace kvxsrv {

// The JSON text of a record packet, as DataPacket::toJson gives it, written directly.
QByteArray packetJson(const kvx::DataPacket& p);

class RpcSession {
public:
    explicit RpcSession(StorageConfig config);
    ~RpcSession();

    // One request (a JSON object, without the line end). Returns the response without the line end,
    // or an empty array for a notification.
    QByteArray handleLine(const QByteArray& line);
    int objectCount() const { return int(objects_.size()); }

    // Standard and server error codes.
    enum Code {
        kParseError = -32700,
        kInvalidRequest = -32600,
        kMethodNotFound = -32601,
        kInvalidParams = -32602,
        kServerError = -32000, // the server object raised an error; message is its text
        kUnknownObject = -32001,
        kUnknownClass = -32002,
    };

private:
    StorageConfig config_;
    QHash<qint64, std::shared_ptr<kvx::Dispatch>> objects_;
    qint64 nextId_ = 1;
    QByteArray rawResult_; // a result already written as JSON text (record packets)

    QJsonValue call(const QString& method, const QJsonObject& params);
    std::shared_ptr<kvx::Dispatch> object(const QJsonObject& params);
};

} // namespace kvxsrv
