#include "ServerEnv.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

using namespace kvxsrv;
using kvx::Variant;

namespace {
std::unique_ptr<kvx::SocketConnection> remote(int port, const QString& user = "DS",
                                              const QString& password = {}) {
    auto c = std::make_unique<kvx::SocketConnection>();
    c->setAddress("127.0.0.1");
    c->setPort(port);
    if (!password.isEmpty()) c->setCredentials(user, password);
    c->setServerName("TRIVON.Class1");
    c->open();
    EXPECT_EQ(c->appServer()
                  ->call("Connect", {Variant::fromList({"QLDI05", user, "DEMO", "DEMO", true, false})})
                  .toInt(),
              0);
    return c;
}

kvx::DataPacket fetchAll(kvx::ProviderEndpoint& p, const QString& cond, const QString& order = "MB001") {
    p.dataRequest("pvdMain", kvx::DataRequest{cond, order, {}}.toVariant());
    return p.getRecords("pvdMain", -1);
}

kvx::Delta modifyAll(const kvx::DataPacket& p, const QString& field, const QString& value) {
    kvx::Delta d;
    d.fields = p.fields;
    for (const kvx::Row& row : p.rows) {
        kvx::DeltaRow r{kvx::UpdateStatus::Modified, row, {}};
        for (int i = 0; i < p.fields.size(); ++i)
            r.newValues.append(Variant());
        r.newValues[p.fieldIndex(field)] = value;
        d.rows.append(r);
    }
    return d;
}
} // namespace

TEST(Daemon, LoopbackAndInProcessGiveTheSameResults) {
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    auto net = remote(daemon.port());
    EXPECT_FALSE(net->inProcess());
    kvx::SocketConnection local;
    local.setAppServer(kvx::CreateOleObject("TRIVON.Class1"));
    ASSERT_EQ(local.appServer()
                  ->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
                  .toInt(),
              0);

    for (auto* c : {net.get(), &local})
        EXPECT_EQ(c->appServer()->className(), "TRIVON.Class1");
    EXPECT_EQ(net->appServer()->call("SvrData").toString(), local.appServer()->call("SvrData").toString());
    for (const QString& cond : {QString(), QString("MB002 = '2'"), QString("MB005 LIKE '%总部%'")}) {
        const auto a = fetchAll(*net->providers(), cond, "MB004, MB001 DESC");
        const auto b = fetchAll(*local.providers(), cond, "MB004, MB001 DESC");
        EXPECT_EQ(QJsonDocument(a.toJson()).toJson(), QJsonDocument(b.toJson()).toJson())
            << cond.toStdString();
    }
    // By-reference arguments come back over the socket as in process.
    kvx::VariantList args{"SQLTYPE"};
    EXPECT_EQ(net->appServer()->invoke("Whatis", args).toInt(),
              local.appServer()->invoke("Whatis", args).toInt());
    // Errors carry the same text.
    auto error = [](kvx::SocketConnection& c) {
        try {
            c.providers()->dataRequest("pvdMain",
                                       kvx::DataRequest{"1=1; DROP TABLE QLDMB", {}, {}}.toVariant());
        } catch (const kvx::AutomationError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_FALSE(error(*net).empty());
    EXPECT_EQ(error(*net), error(local));

    // Both paths apply against the same rows: an edit in process conflicts with a stale remote edit.
    const auto stale = fetchAll(*net->providers(), "MB001 = 'INVMB'");
    const auto fresh = fetchAll(*local.providers(), "MB001 = 'INVMB'");
    EXPECT_EQ(local.providers()->applyUpdates("pvdMain", modifyAll(fresh, "MB005", "local"), 0).errorCount,
              0);
    const kvx::ApplyResult r =
        net->providers()->applyUpdates("pvdMain", modifyAll(stale, "MB005", "remote"), 0);
    ASSERT_EQ(r.errorCount, 1);
    EXPECT_EQ(r.errors[0].errorCode, kChangedByOther);
    EXPECT_EQ(r.errors[0].currentValues[stale.fieldIndex("MB005")].toString(), "local");
}

TEST(Daemon, ServesSeveralClientsAndSurvivesMalformedLines) {
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    auto a = remote(daemon.port(), "DS");
    auto b = remote(daemon.port(), "MGR", daemon.password("MGR"));
    const auto rowsA = fetchAll(*a->providers(), "MB001 = 'PURTC'");
    const auto rowsB = fetchAll(*b->providers(), "MB001 = 'PURTC'");
    EXPECT_EQ(a->providers()->applyUpdates("pvdMain", modifyAll(rowsA, "MB002", "1"), 0).errorCount, 0);
    EXPECT_EQ(
        b->providers()->applyUpdates("pvdMain", modifyAll(rowsB, "MB002", "2"), 0).errors.value(0).errorCode,
        kChangedByOther);
    EXPECT_EQ(fetchAll(*b->providers(), "MB001 = 'PURTC'").rows[0][2].toString(), "1");

    QTcpSocket raw;
    raw.connectToHost("127.0.0.1", quint16(daemon.port()));
    ASSERT_TRUE(raw.waitForConnected(5000));
    auto roundTrip = [&](const QByteArray& line) {
        raw.write(line + "\n");
        while (!raw.canReadLine() && raw.waitForReadyRead(5000)) {
        }
        return QJsonDocument::fromJson(raw.readLine()).object();
    };
    EXPECT_EQ(roundTrip("}}garbage").value("error").toObject().value("code").toInt(), -32700);
    EXPECT_EQ(roundTrip(R"({"jsonrpc":"2.0","method":"create","params":{"progid":"Halvex.Class1"},"id":"x"})")
                  .value("id")
                  .toString(),
              "x");
    // The other clients were not disturbed.
    EXPECT_EQ(a->appServer()->call("Whatis", {"SQLTYPE"}).toInt(), 1);
}

TEST(Daemon, KilledAndRestartedKeepsCommittedData) {
    apptest::ServerEnv env;
    {
        apptest::DaemonProcess daemon;
        ASSERT_TRUE(daemon.start(env.dbFile()));
        auto c = remote(daemon.port());
        const auto rows = fetchAll(*c->providers(), "MB004 = '2'");
        ASSERT_GT(rows.rows.size(), 20);
        EXPECT_EQ(c->providers()
                      ->applyUpdates("pvdMain", modifyAll(rows, "MB005", "before the crash"), 0)
                      .errorCount,
                  0);
        EXPECT_EQ(daemon.stop(SIGKILL), -1);
        EXPECT_THROW(c->appServer()->call("Whatis", {"TODAY"}), kvx::AutomationError);
    }
    apptest::DaemonProcess again;
    ASSERT_TRUE(again.start(env.dbFile()));
    auto c = remote(again.port());
    const auto rows = fetchAll(*c->providers(), "MB004 = '2'");
    for (const kvx::Row& r : rows.rows)
        EXPECT_EQ(r[rows.fieldIndex("MB005")].toString(), "before the crash");
    EXPECT_GT(fetchAll(*c->providers(), "").rows.size(), 30);
}

TEST(Daemon, TerminationFinishesTheRunningApplyWhole) {
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    auto c = remote(daemon.port());
    const auto rows = fetchAll(*c->providers(), "");
    // Send the apply without waiting for it, then stop the daemon at once.
    QTcpSocket raw;
    raw.connectToHost("127.0.0.1", quint16(daemon.port()));
    ASSERT_TRUE(raw.waitForConnected(5000));
    auto send = [&](const QJsonObject& params, const char* method, int id) {
        QJsonObject req{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", id}};
        raw.write(QJsonDocument(req).toJson(QJsonDocument::Compact) + "\n");
        raw.flush();
    };
    send({{"progid", "TRIVON.Class1"}}, "create", 1);
    send({{"object", 1},
          {"method", "Connect"},
          {"args", QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}},
         "invoke", 2);
    send({{"object", 1},
          {"provider", "pvdMain"},
          {"delta", modifyAll(rows, "MB005", "all or nothing").toJson()},
          {"maxErrors", 0}},
         "applyUpdates", 3);
    raw.waitForBytesWritten(5000);
    EXPECT_EQ(daemon.stop(SIGTERM), 0);

    Storage s(env.config);
    const int changed = s.scalar("SELECT COUNT(*) FROM QLDMB WHERE MB005 = 'all or nothing'").toInt();
    EXPECT_TRUE(changed == 0 || changed == rows.rows.size()) << changed;
    if (!s.dialect().isPostgres()) {
        EXPECT_EQ(s.scalar("PRAGMA integrity_check").toString(), "ok");
    }
}

TEST(SocketConnectionTest, ReportsUnreachableServersAndClosesCleanly) {
    QTcpServer probe; // a port that is free: bound once, then released
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    kvx::SocketConnection c;
    EXPECT_EQ(c.port(), 211);
    c.setAddress("127.0.0.1");
    c.setPort(port);
    EXPECT_THROW(c.open(), kvx::AutomationError); // no server name
    c.setServerName("TRIVON.Class1");
    try {
        c.open();
        FAIL() << "connected to a closed port";
    } catch (const kvx::AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot connect"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(c.connected());
    EXPECT_EQ(c.providers(), nullptr);

    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    c.setPort(daemon.port());
    c.setServerName("No.Such");
    EXPECT_THROW(c.open(), kvx::AutomationError);
    EXPECT_FALSE(c.connected());
    c.setServerName("Halvex.Class1");
    c.setCredentials("CLERK", daemon.password("CLERK")); // the lookup server connects as the signed-in user
    c.setConnected(true);
    ASSERT_TRUE(c.connected());
    auto lookup = c.appServer();
    EXPECT_EQ(lookup->call("Connect", {"CLERK", "DEMO"}).toInt(), 0);
    EXPECT_EQ(c.providers(), nullptr) << "the lookup server has no providers, as in process";
    c.setPort(daemon.port() + 1 == 65536 ? 1 : daemon.port() + 1); // changing the port closes the connection
    EXPECT_FALSE(c.connected());
    EXPECT_THROW(lookup->call("Whatis", {"TODAY"}), kvx::AutomationError);
}
