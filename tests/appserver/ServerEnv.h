// Shared set-up of the application-server tests: a temporary installation tree whose registry knows the
// server classes, and helpers to connect server objects and to run the daemon as a process.
#pragma once

#include "DaemonProcess.h"
#include "PgTestDatabase.h"
#include "ProgramServer.h"
#include "ServerClasses.h"
#include "TempTree.h"

#include <gtest/gtest.h>

namespace apptest {

using kvxtest::registerServerClasses;

struct ServerEnv {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    ServerEnv() {
        registerServerClasses(tree);
        config.serverPath = tree.serverPath();
    }
    // The database as kvx-appserver --db takes it: the file, or the PostgreSQL URI.
    QString dbFile() const { return config.resolveLocation().describe(); }

    std::shared_ptr<kvxsrv::ProgramServer> connect(const QString& user = "DS",
                                                   const QString& prog = "QLDI05") {
        auto s = std::make_shared<kvxsrv::ProgramServer>(config);
        const int rc = s->connect(prog, user, "DEMO", "DEMO");
        EXPECT_EQ(rc, 0) << s->lastError().toStdString();
        return s;
    }
};

using kvxtest::DaemonProcess;

// DDL of a test's own: on PostgreSQL the owner role runs it and grants the server role the rows.
inline void ownerExec(kvxsrv::Storage& s, const QString& ddl) {
    if (!s.dialect().isPostgres()) {
        s.exec(ddl);
        return;
    }
    auto owner = std::make_shared<kvxsrv::DatabaseLocation>(s.location());
    owner->user = owner->adminUser;
    owner->password = owner->adminPassword;
    owner->adminUser.clear();
    kvxsrv::StorageConfig c;
    c.location = owner;
    c.runMigrations = false;
    kvxsrv::Storage o(c);
    o.exec(ddl);
    kvxsrv::grantServerRole(o, s.location().user);
}

// Whether this run's databases are PostgreSQL ones (KVX_TEST_PG, tests/support/PgTestDatabase.h).
inline bool onPostgres() {
    return kvxtest::PgTestDatabase::wanted();
}

} // namespace apptest

// For a test about the SQLite engine itself (its files, locks, authorizer).
#define APPTEST_SQLITE_ONLY()                                                                                \
    do {                                                                                                     \
        if (apptest::onPostgres()) GTEST_SKIP() << "SQLite engine only";                                     \
    } while (0)
