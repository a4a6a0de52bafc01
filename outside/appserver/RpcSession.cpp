#include "RpcSession.h"

#include "ArgumentError.h"
#include "Passwords.h"
#include "ProgramServer.h"
#include "platform/DataPacket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <limits>
#include <utility>

namespace kvxsrv {

namespace {
struct RpcFault {
    int code;
    QString message;
};

QJsonObject errorObject(int code, const QString& message) {
    QJsonObject e;
    e.insert(QStringLiteral("code"), code);
    e.insert(QStringLiteral("message"), message);
    return e;
}

QByteArray response(const QJsonValue& id, const char* key, const QJsonValue& value) {
    QJsonObject r;
    r.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    r.insert(QString::fromLatin1(key), value);
    r.insert(QStringLiteral("id"), id);
    return QJsonDocument(r).toJson(QJsonDocument::Compact);
}

// Packets are the bulk of the traffic: they are written straight to JSON text instead of through
// QJsonDocument, in the same form DataPacket::toJson gives.
void appendJsonString(QByteArray& out, const QString& s) {
    out += '"';
    const QByteArray utf8 = s.toUtf8();
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendVariant(QByteArray& out, const kvx::Variant& v) {
    switch (v.type()) {
    case kvx::VarType::String:
        appendJsonString(out, v.toString());
        return;
    case kvx::VarType::Null:
        out += "null";
        return;
    case kvx::VarType::Bool:
        out += v.toBool() ? "true" : "false";
        return;
    case kvx::VarType::Int: {
        const qint64 i = v.toInt();
        if (i > -(qint64(1) << 53) && i < (qint64(1) << 53)) {
            out += QByteArray::number(i);
            return;
        }
        break;
    }
    case kvx::VarType::Double: {
        const double d = v.toDouble();
        if (std::isfinite(d)) {
            out += R"({"t":"f","v":)" + QByteArray::number(d, 'g', 17) + '}';
            return;
        }
        break;
    }
    default:
        break;
    }
    const QByteArray wrapped = QJsonDocument(QJsonArray{v.toJson()}).toJson(QJsonDocument::Compact);
    out += wrapped.mid(1, wrapped.size() - 2);
}

// An integral JSON number within [lo, hi]; fractions, texts and out-of-range numbers are refused.
qint64 requireInteger(const QJsonObject& p, const char* name, qint64 lo, qint64 hi, qint64 def,
                      bool optional) {
    const QJsonValue v = p.value(QString::fromLatin1(name));
    if (optional && v.isUndefined()) return def;
    const double d = v.toDouble(0.5);
    if (!v.isDouble() || std::trunc(d) != d || d < double(lo) || d > double(hi))
        throw RpcFault{RpcSession::kInvalidParams,
                       QStringLiteral("\"%1\" must be an integer from %2 to %3").arg(name).arg(lo).arg(hi)};
    return qint64(d);
}

kvx::Variant variantParam(const QJsonValue& v, const char* name) {
    try {
        return kvx::Variant::fromJson(v);
    } catch (const kvx::VariantError& e) {
        throw RpcFault{RpcSession::kInvalidParams,
                       QStringLiteral("\"%1\": %2").arg(name, QString::fromUtf8(e.what()))};
    }
}

QString requireString(const QJsonObject& p, const char* name) {
    const QJsonValue v = p.value(QString::fromLatin1(name));
    if (!v.isString())
        throw RpcFault{RpcSession::kInvalidParams, QStringLiteral("\"%1\" must be a string").arg(name)};
    return v.toString();
}
} // namespace

void appendPacketJson(QByteArray& out, const kvx::DataPacket& p) {
    QJsonArray fields;
    for (const kvx::FieldDesc& f : p.fields)
        fields.append(f.toJson());
    // Room for the rows at a guess, so that the text grows a few times rather than many.
    out.reserve(out.size() + 256 + p.rows.size() * qMax<qsizetype>(16, p.fields.size() * 12));
    out += R"({"fields":)";
    out += QJsonDocument(fields).toJson(QJsonDocument::Compact);
    out += R"(,"rows":[)";
    for (int r = 0; r < p.rows.size(); ++r) {
        if (r) out += ',';
        out += '[';
        const kvx::Row& row = p.rows[r];
        for (int i = 0; i < row.size(); ++i) {
            if (i) out += ',';
            appendVariant(out, row[i]);
        }
        out += ']';
    }
    out += R"(],"eof":)";
    out += p.eof ? "true}" : "false}";
}

QByteArray packetJson(const kvx::DataPacket& p) {
    QByteArray out;
    appendPacketJson(out, p);
    return out;
}

RpcSession::RpcSession(StorageConfig config, SessionLimits limits)
    : config_(std::move(config)), limits_(limits) {}

RpcSession::~RpcSession() = default;

std::shared_ptr<kvx::Dispatch> RpcSession::object(const QJsonObject& p) {
    const qint64 id = requireInteger(p, "object", 1, (qint64(1) << 53), 0, false);
    auto it = objects_.find(id);
    if (it == objects_.end())
        throw RpcFault{kUnknownObject, QStringLiteral("No object %1 in this session").arg(id)};
    return it.value();
}

QJsonValue RpcSession::call(const QString& method, const QJsonObject& p) {
    if (method == QLatin1String("login")) {
        const QString user = requireString(p, "user"), password = requireString(p, "password");
        if (!user_.isEmpty() && user.compare(user_, Qt::CaseInsensitive) != 0)
            throw RpcFault{kLoginFailed, QStringLiteral("This connection is signed in as %1").arg(user_)};
        QString id;
        try {
            id = authenticate(*openStorage(config_), user, password);
        } catch (const StorageError& e) {
            throw RpcFault{kServerError, QString::fromUtf8(e.what())};
        }
        if (id.isEmpty()) {
            if (++loginFailures_ >= limits_.maxLoginFailures) finished_ = true;
            throw RpcFault{kLoginFailed, QStringLiteral("Login failed: unknown user or wrong password")};
        }
        user_ = id;
        config_.boundUser = id;
        return QJsonObject{{QStringLiteral("user"), id}};
    }
    if (limits_.requireLogin && user_.isEmpty())
        throw RpcFault{kLoginRequired, QStringLiteral("Sign in first: call login with user and password")};
    if (method == QLatin1String("create")) {
        const QString progid = requireString(p, "progid");
        if (objects_.size() >= limits_.maxObjects)
            throw RpcFault{kLimitReached, QStringLiteral("A connection may hold at most %1 server objects; "
                                                         "release one first")
                                              .arg(limits_.maxObjects)};
        auto obj = createServerObject(progid, config_);
        if (!obj) throw RpcFault{kUnknownClass, QStringLiteral("Invalid class string: %1").arg(progid)};
        const qint64 id = nextId_++;
        objects_.insert(id, obj);
        QJsonObject r;
        r.insert(QStringLiteral("object"), id);
        r.insert(QStringLiteral("className"), obj->className());
        r.insert(QStringLiteral("providers"), dynamic_cast<kvx::ProviderEndpoint*>(obj.get()) != nullptr);
        return r;
    }
    if (method == QLatin1String("release")) {
        object(p);
        objects_.remove(requireInteger(p, "object", 1, (qint64(1) << 53), 0, false));
        return true;
    }
    if (method == QLatin1String("invoke")) {
        auto obj = object(p);
        const QString name = requireString(p, "method");
        const QJsonValue argsJson = p.value(QStringLiteral("args"));
        if (!argsJson.isUndefined() && !argsJson.isArray())
            throw RpcFault{kInvalidParams, QStringLiteral("\"args\" must be an array")};
        kvx::VariantList args;
        for (const QJsonValue& a : argsJson.toArray())
            args.append(variantParam(a, "args"));
        kvx::Variant result;
        try {
            result = obj->invoke(name, args);
        } catch (const ArgumentError& e) {
            throw RpcFault{kInvalidParams, QString::fromUtf8(e.what())};
        }
        QJsonArray back;
        for (const kvx::Variant& a : args)
            back.append(a.toJson());
        QJsonObject r;
        r.insert(QStringLiteral("result"), result.toJson());
        r.insert(QStringLiteral("args"), back);
        return r;
    }
    if (method == QLatin1String("get")) return object(p)->getProperty(requireString(p, "name")).toJson();
    if (method == QLatin1String("put")) {
        object(p)->setProperty(requireString(p, "name"),
                               variantParam(p.value(QStringLiteral("value")), "value"));
        return QJsonValue(QJsonValue::Null);
    }
    if (method == QLatin1String("dataRequest") || method == QLatin1String("getRecords") ||
        method == QLatin1String("applyUpdates")) {
        auto obj = object(p);
        auto* endpoint = dynamic_cast<kvx::ProviderEndpoint*>(obj.get());
        if (!endpoint)
            throw RpcFault{kServerError, QStringLiteral("%1 has no providers").arg(obj->className())};
        const QString provider = requireString(p, "provider");
        if (method == QLatin1String("dataRequest"))
            return endpoint->dataRequest(provider, variantParam(p.value(QStringLiteral("data")), "data"))
                .toJson();
        if (method == QLatin1String("getRecords")) {
            const int count = int(requireInteger(p, "count", std::numeric_limits<int>::min(),
                                                 std::numeric_limits<int>::max(), 0, false));
            // The answer is written around the packet in place: no copy of a large text.
            const kvx::DataPacket packet = endpoint->getRecords(provider, count);
            rawResult_ = R"({"jsonrpc":"2.0","result":)";
            appendPacketJson(rawResult_, packet);
            if (rawResult_.size() > limits_.maxAnswerBytes) {
                rawResult_.clear();
                throw RpcFault{kLimitReached,
                               QStringLiteral("The answer exceeds %1 bytes: fetch fewer rows at a time")
                                   .arg(limits_.maxAnswerBytes)};
            }
            return QJsonValue();
        }
        const QJsonValue delta = p.value(QStringLiteral("delta"));
        if (!delta.isObject()) throw RpcFault{kInvalidParams, QStringLiteral("\"delta\" must be an object")};
        const int maxErrors = int(requireInteger(p, "maxErrors", std::numeric_limits<int>::min(),
                                                 std::numeric_limits<int>::max(), 0, true));
        kvx::Delta parsed;
        try {
            parsed = kvx::Delta::fromJson(delta.toObject());
        } catch (const kvx::VariantError& e) {
            throw RpcFault{kInvalidParams, QStringLiteral("\"delta\": %1").arg(QString::fromUtf8(e.what()))};
        }
        return endpoint->applyUpdates(provider, parsed, maxErrors).toJson();
    }
    throw RpcFault{kMethodNotFound, QStringLiteral("Method not found: %1").arg(method)};
}

QByteArray RpcSession::handleLine(const QByteArray& line) {
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &perr);
    if (perr.error != QJsonParseError::NoError)
        return response(QJsonValue::Null, "error",
                        errorObject(kParseError, QStringLiteral("Parse error: ") + perr.errorString()));
    if (!doc.isObject())
        return response(
            QJsonValue::Null, "error",
            errorObject(
                kInvalidRequest,
                QStringLiteral("Invalid request: one JSON object per line (batches are not supported)")));
    const QJsonObject req = doc.object();
    const QJsonValue id = req.value(QStringLiteral("id"));
    const bool notification = id.isUndefined();
    const QJsonValue replyId = notification ? QJsonValue(QJsonValue::Null) : id;
    if (!id.isUndefined() && !id.isString() && !id.isDouble() && !id.isNull())
        return response(QJsonValue::Null, "error",
                        errorObject(kInvalidRequest, QStringLiteral("Invalid request: bad id")));
    if (req.value(QStringLiteral("jsonrpc")).toString() != QLatin1String("2.0") ||
        !req.value(QStringLiteral("method")).isString())
        return response(
            replyId, "error",
            errorObject(kInvalidRequest,
                        QStringLiteral("Invalid request: \"jsonrpc\":\"2.0\" and a method are required")));
    const QJsonValue params = req.value(QStringLiteral("params"));
    if (!params.isUndefined() && !params.isObject())
        return notification
                   ? QByteArray()
                   : response(replyId, "error",
                              errorObject(kInvalidParams, QStringLiteral("\"params\" must be an object")));
    QJsonValue result;
    rawResult_.clear();
    try {
        result = call(req.value(QStringLiteral("method")).toString(), params.toObject());
    } catch (const RpcFault& f) {
        return notification ? QByteArray() : response(replyId, "error", errorObject(f.code, f.message));
    } catch (const std::exception& e) {
        return notification
                   ? QByteArray()
                   : response(replyId, "error", errorObject(kServerError, QString::fromUtf8(e.what())));
    }
    if (notification) return {};
    if (!rawResult_.isEmpty()) {
        const QByteArray idText = QJsonDocument(QJsonArray{replyId}).toJson(QJsonDocument::Compact);
        rawResult_ += R"(,"id":)";
        rawResult_ += QByteArrayView(idText).sliced(1, idText.size() - 2);
        rawResult_ += '}';
        return std::exchange(rawResult_, QByteArray());
    }
    return response(replyId, "result", result);
}

} // namespace kvxsrv
