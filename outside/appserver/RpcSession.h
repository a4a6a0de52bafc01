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
// The same text appended to `out`.
void appendPacketJson(QByteArray& out, const kvx::DataPacket& p);

// What one session may hold.
struct SessionLimits {
    int maxObjects = 32;                      // server objects at once
    qint64 maxAnswerBytes = 64 * 1024 * 1024; // one answer larger than this is refused instead
    bool requireLogin = false;                // socket sessions: "login" before anything else
    int maxLoginFailures = 3;                 // then the session ends
};

class RpcSession {
public:
    explicit RpcSession(StorageConfig config, SessionLimits limits = {});
    ~RpcSession();

    // One request (a JSON object, without the line end). Returns the response without the line end,
    // or an empty array for a notification.
    QByteArray handleLine(const QByteArray& line);
    int objectCount() const { return int(objects_.size()); }
    // The signed-in user (empty before login, or when no login is required).
    QString user() const { return user_; }
    // True once the session should end (too many failed logins).
    bool finished() const { return finished_; }

    // Standard and server error codes.
    enum Code {
        kParseError = -32700,
        kInvalidRequest = -32600,
        kMethodNotFound = -32601,
        kInvalidParams = -32602,
        kServerError = -32000, // the server object raised an error; message is its text
        kUnknownObject = -32001,
        kUnknownClass = -32002,
        kLoginFailed = -32003,   // wrong user or password
        kLoginRequired = -32004, // the method needs a signed-in user
        kLimitReached = -32005,  // a limit of the session (objects, answer size) refuses the request
        kTlsRequired = -32006,   // a plain connection to a server that accepts only TLS
    };

private:
    StorageConfig config_;
    SessionLimits limits_;
    QString user_;
    int loginFailures_ = 0;
    bool finished_ = false;
    QHash<qint64, std::shared_ptr<kvx::Dispatch>> objects_;
    qint64 nextId_ = 1;
    QByteArray rawResult_; // a result already written as JSON text (record packets)

    QJsonValue call(const QString& method, const QJsonObject& params);
    std::shared_ptr<kvx::Dispatch> object(const QJsonObject& params);
};

} // namespace kvxsrv
