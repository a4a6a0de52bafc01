// A private PostgreSQL database for one test, when the environment asks for one: KVX_TEST_ENGINE is
// "PostgreSQL" and KVX_TEST_PG holds the superuser URI that scripts/pg-test.sh printed. Each database is new
// and dropped afterwards; it is owned by the role kvx_owner (runs the migrations) and served by kvx_server
// (reads and writes rows only), both signing in with passwords from a .pgpass-style file.
#pragma once

#include <QString>

namespace kvxtest {

class PgTestDatabase {
public:
    // Whether the tests of this process run on PostgreSQL.
    static bool wanted();
    // Creates a database; passFile is where the password file is written (mode 0600).
    explicit PgTestDatabase(const QString& passFile);
    ~PgTestDatabase();
    PgTestDatabase(const PgTestDatabase&) = delete;
    PgTestDatabase& operator=(const PgTestDatabase&) = delete;

    QString name() const { return name_; }
    QString socketFolder() const { return host_; }
    // postgresql://kvx_server@/NAME?host=...&admin=kvx_owner
    QString uri() const;
    // The [Database] section of StaveloS.ini for this database.
    QString iniSection(const QString& passFileName) const;
    // Runs one statement as the superuser on this database (or on "postgres"); false when it failed.
    bool superuserExec(const QString& sql, bool onThisDatabase = true) const;

private:
    QString name_;
    QString host_;
    int port_ = 5432;
};

} // namespace kvxtest
