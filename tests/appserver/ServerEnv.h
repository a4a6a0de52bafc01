// Shared set-up of the application-server tests: a temporary installation tree whose registry knows the
// server classes, and helpers to connect server objects and to run the daemon as a process.
#pragma once

#include "DaemonProcess.h"
#include "PgTestDatabase.h"
#include "ProgramServer.h"
#include "TempTree.h"

#include <gtest/gtest.h>

namespace apptest {

inline void registerServerClasses(kvxtest::TempTree& tree) {
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Factory", "CreateTrivonServer", "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\Halvex.Class1");
    tree.setRegistryValue("Factory", "CreateHalvexServer", "Classes\\Halvex.Class1");
}

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
