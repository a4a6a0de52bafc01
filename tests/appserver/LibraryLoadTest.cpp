// The server library resolves libpq at run time: a server on SQLite (every program started against
// 127.0.0.1 runs one in process) never maps libpq and its dependencies; on PostgreSQL the run-time bound
// functions answer the transaction and connection state. A process of its own, so that no other test has
// loaded the PostgreSQL driver before.
#include "ServerEnv.h"
#include "Storage.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

#include <QFile>

namespace {
bool mapped(const char* library) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains(library);
}
bool libpqMapped() {
    return mapped("/libpq.so");
}

// Connects the program's server object and reads the keys of QLDMB through its provider.
QStringList programKeys(kvx::SocketConnection& c) {
    EXPECT_EQ(c.appServer()
                  ->call("Connect", {kvx::Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
                  .toInt(),
              0);
    kvx::ProviderEndpoint* p = c.providers();
    if (!p) return {};
    p->dataRequest("pvdMain", kvx::DataRequest{"", "MB001", {}}.toVariant());
    const kvx::DataPacket rows = p->getRecords("pvdMain", -1);
    QStringList keys;
    for (const kvx::Row& row : rows.rows)
        keys << row.at(rows.fieldIndex("MB001")).toString().trimmed();
    return keys;
}
} // namespace

TEST(ServerLibraryLoad, SqliteServerReadsAndWritesWithoutLibpq) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    auto server = env.connect();
    kvxsrv::Storage s(env.config);
    EXPECT_TRUE(s.connectionOk());
    EXPECT_FALSE(s.inTransaction());
    s.exec(QStringLiteral("BEGIN"));
    EXPECT_TRUE(s.inTransaction());
    s.exec(QStringLiteral("ROLLBACK"));
    EXPECT_FALSE(s.inTransaction());
    EXPECT_FALSE(libpqMapped());
}

TEST(ServerLibraryLoad, PostgresStateComesFromTheDriversLibpq) {
    if (!apptest::onPostgres()) GTEST_SKIP() << "PostgreSQL only";
    apptest::ServerEnv env;
    kvxsrv::Storage s(env.config);
    EXPECT_TRUE(libpqMapped()); // loaded by the QPSQL driver
    EXPECT_TRUE(s.connectionOk());
    EXPECT_FALSE(s.inTransaction());
    s.exec(QStringLiteral("BEGIN"));
    EXPECT_TRUE(s.inTransaction());
    s.exec(QStringLiteral("ROLLBACK"));
    EXPECT_FALSE(s.inTransaction());
}

// The socket client is a library of its own, loaded on the first remote open: servers created in process
// (every program started against 127.0.0.1) run without QtNetwork and its TLS and name-service libraries.
TEST(ServerLibraryLoad, InProcessServersMapNoNetworkUntilTheFirstRemoteOpen) {
    apptest::ServerEnv env;
    kvx::SocketConnection local;
    local.setAppServer(kvx::CreateOleObject("TRIVON.Class1"));
    EXPECT_TRUE(local.inProcess());
    const QStringList inProcess = programKeys(local);
    EXPECT_FALSE(inProcess.isEmpty());
    EXPECT_FALSE(mapped("/libQt6Network.so"));
    EXPECT_FALSE(mapped("/libkvxremote.so"));

    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    kvx::SocketConnection remote;
    remote.setAddress("127.0.0.1");
    remote.setPort(daemon.port());
    remote.setServerName("TRIVON.Class1");
    remote.open();
    EXPECT_FALSE(remote.inProcess());
    EXPECT_EQ(programKeys(remote), inProcess);
    EXPECT_TRUE(mapped("/libkvxremote.so"));
    EXPECT_TRUE(mapped("/libQt6Network.so"));

    // A proxy kept past the close refuses its calls instead of reaching a closed socket.
    const std::shared_ptr<kvx::Dispatch> kept = remote.appServer();
    remote.close();
    EXPECT_FALSE(remote.connected());
    EXPECT_THROW(
        kept->call("Connect", {kvx::Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})}),
        kvx::AutomationError);
}
