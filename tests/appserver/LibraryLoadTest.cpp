// The server library resolves libpq at run time: a server on SQLite (every program started against
// 127.0.0.1 runs one in process) never maps libpq and its dependencies; on PostgreSQL the run-time bound
// functions answer the transaction and connection state. A process of its own, so that no other test has
// loaded the PostgreSQL driver before.
#include "ServerEnv.h"
#include "Storage.h"

#include <QFile>

namespace {
bool libpqMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains("/libpq.so");
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
