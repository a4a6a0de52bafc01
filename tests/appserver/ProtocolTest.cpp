#include "RpcSession.h"
#include "ServerEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

using namespace kvxsrv;

namespace {
QJsonObject reply(RpcSession& s, const QByteArray& line) {
    const QByteArray out = s.handleLine(line);
    return QJsonDocument::fromJson(out).object();
}
int errorCode(const QJsonObject& r) {
    return r.value("error").toObject().value("code").toInt();
}
QByteArray request(const char* method, const QJsonObject& params, int id = 1) {
    QJsonObject o{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", id}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
} // namespace

TEST(Protocol, MalformedRequestsGetJsonRpcErrorsAndTheSessionGoesOn) {
    apptest::ServerEnv env;
    RpcSession s(env.config);
    QJsonObject r = reply(s, "{not json");
    EXPECT_EQ(errorCode(r), RpcSession::kParseError);
    EXPECT_TRUE(r.value("id").isNull());
    EXPECT_EQ(r.value("jsonrpc").toString(), "2.0");
    EXPECT_EQ(errorCode(reply(s, "[1,2]")), RpcSession::kInvalidRequest); // batches are refused
    EXPECT_EQ(errorCode(reply(s, R"({"method":"create","id":4})")), RpcSession::kInvalidRequest);
    EXPECT_EQ(errorCode(reply(s, R"({"jsonrpc":"2.0","method":7,"id":4})")), RpcSession::kInvalidRequest);
    EXPECT_EQ(errorCode(reply(s, R"({"jsonrpc":"2.0","method":"create","id":{"x":1}})")),
              RpcSession::kInvalidRequest);
    EXPECT_EQ(errorCode(reply(s, R"({"jsonrpc":"2.0","method":"create","params":[1],"id":4})")),
              RpcSession::kInvalidParams);
    EXPECT_EQ(errorCode(reply(s, R"({"jsonrpc":"2.0","method":"shutdown","id":4})")),
              RpcSession::kMethodNotFound);
    EXPECT_EQ(errorCode(reply(s, request("create", {{"progid", "No.Such"}}))), RpcSession::kUnknownClass);
    EXPECT_EQ(errorCode(reply(s, request("invoke", {{"object", 99}, {"method", "Connect"}}))),
              RpcSession::kUnknownObject);
    EXPECT_EQ(errorCode(reply(s, request("invoke", {{"object", "1"}, {"method", "Connect"}}))),
              RpcSession::kInvalidParams);
    // A notification gets no answer, not even an error.
    EXPECT_TRUE(s.handleLine(R"({"jsonrpc":"2.0","method":"shutdown"})").isEmpty());
    EXPECT_TRUE(
        s.handleLine(R"({"jsonrpc":"2.0","method":"create","params":{"progid":"TRIVON.Class1"}})").isEmpty());
    EXPECT_EQ(s.objectCount(), 1);

    r = reply(s, request("create", {{"progid", "trivon.class1"}}, 7));
    EXPECT_EQ(r.value("id").toInt(), 7);
    const int obj = r.value("result").toObject().value("object").toInt();
    r = reply(s, request("invoke",
                         {{"object", obj},
                          {"method", "Connect"},
                          {"args", QJsonArray{QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}}}));
    EXPECT_EQ(r.value("result").toObject().value("result").toInt(), 0);
    EXPECT_EQ(errorCode(reply(s, request("invoke", {{"object", obj}, {"method", "NoSuchMethod"}}))),
              RpcSession::kServerError);
    EXPECT_EQ(errorCode(reply(s, request("getRecords", {{"object", obj}, {"provider", "pvdMain"}}))),
              RpcSession::kInvalidParams);
    EXPECT_EQ(
        errorCode(reply(s, request("getRecords", {{"object", obj}, {"provider", "pvdNone"}, {"count", 1}}))),
        RpcSession::kServerError);
    EXPECT_EQ(errorCode(reply(
                  s, request("applyUpdates", {{"object", obj}, {"provider", "pvdMain"}, {"delta", 3}}))),
              RpcSession::kInvalidParams);
    r = reply(s, request("getRecords", {{"object", obj}, {"provider", "pvdMain"}, {"count", 2}}));
    EXPECT_EQ(r.value("result").toObject().value("rows").toArray().size(), 2);
    r = reply(s, request("get", {{"object", obj}, {"name", "LastError"}}));
    EXPECT_EQ(r.value("result").toString(), "");
    EXPECT_TRUE(reply(s, request("release", {{"object", obj}})).value("result").toBool());
    EXPECT_EQ(errorCode(reply(s, request("release", {{"object", obj}}))), RpcSession::kUnknownObject);
}

TEST(Protocol, PacketsWrittenDirectlyReadBackAsTheSharedPacketFormat) {
    kvx::DataPacket p;
    p.fields = {kvx::FieldDesc("MB001", kvx::FieldType::String, 20),
                kvx::FieldDesc("FLAG", kvx::FieldType::Float)};
    p.fields[0].inKey = true;
    const kvx::Variant values[] = {QString("quote \" back \\ nl\n tab\t bell\x07 汇出"),
                                   kvx::Variant::null(),
                                   kvx::Variant(),
                                   true,
                                   qint64(1) << 60,
                                   -42,
                                   0.1,
                                   std::numeric_limits<double>::quiet_NaN(),
                                   kvx::Currency::fromDouble(12.5),
                                   kvx::Variant::fromDate(45000.25),
                                   kvx::Variant::fromList({1, "x"})};
    for (const kvx::Variant& v : values)
        p.rows.append({v, 999.0});
    p.eof = false;
    const QJsonDocument direct = QJsonDocument::fromJson(packetJson(p));
    ASSERT_TRUE(direct.isObject());
    EXPECT_EQ(direct.object(), p.toJson());
    const kvx::DataPacket back = kvx::DataPacket::fromJson(direct.object());
    ASSERT_EQ(back.rows.size(), p.rows.size());
    for (int i = 0; i < p.rows.size(); ++i)
        EXPECT_TRUE(back.rows[i][0].identical(p.rows[i][0]) ||
                    (std::isnan(p.rows[i][0].toDoubleDef(0)) && std::isnan(back.rows[i][0].toDoubleDef(0))))
            << i;
    EXPECT_FALSE(back.eof);
}
