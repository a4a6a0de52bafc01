// PostgreSQL beside SQLite: the dialect (catalogue, write lock, SQLite-flavoured SQL adapted), the guarded
// read-only SELECT of client conditions, and the cancellation of a running statement.
//
// PostgreSQL folds unquoted names to lower case. The schema is created with unquoted names, so every
// statement keeps working as written; the names as the migrations spelled them ("MB001", "ActivePage") are
// kept in the table kvx_names and the column catalogue answers with them.
#pragma once

#include "Storage.h"

#include <QSqlQuery>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kvxsrv {

class PostgresDialect : public SqlDialect {
public:
    QString name() const override { return QStringLiteral("POSTGRESQL"); }
    bool isPostgres() const override { return true; }
    int sqlType() const override { return 1; }
    QString qtDriver() const override { return QStringLiteral("QPSQL"); }
    // One advisory lock for every writer of the database, whichever server it runs in: write
    // transactions never interleave (as with SQLite's single writer); readers are not held up.
    QString beginWrite() const override;
    QString limitClause(int rows) const override { return QStringLiteral(" LIMIT %1").arg(rows); }
    QList<Column> columns(QSqlDatabase& db, const QString& table) const override;
    bool tableExists(QSqlDatabase& db, const QString& table) const override;
    QStringList tableNames(QSqlDatabase& db) const override;
    QStringList primaryKey(QSqlDatabase& db, const QString& table) const override;
    QStringList adapt(const QString& sql) const override;
    QString translate(const QString& sql, const QString& dbName) const override;

    // The declared type PostgreSQL reports (format_type) in the spelling the providers read.
    static QString declaredType(const QString& pgType);
    // Client SQL written for SQLite or SQL Server as PostgreSQL reads it: [name] and "NAME" become plain
    // names, LIKE compares without regard to case. Quoted texts are left alone.
    static QString clientSql(const QString& sql);
    // Names of functions a client statement calls that it may not (reading files, settings, locks,
    // running other queries, sequences); empty when none.
    static QString refusedFunction(const QString& sql);

    // INSERT OR REPLACE needs the key columns of its table: the dialect asks this connection, whose
    // schema (the first of its search path) it also remembers.
    void setConnection(QSqlDatabase* db);
    QString schema() const { return schema_; }

private:
    QSqlDatabase* db_ = nullptr;
    QString schema_;
};

// Stops a statement running on a PostgreSQL connection when the daemon shuts down or the client goes
// away: a watcher thread sends the server a cancel request. The statement limit itself is the server's
// statement_timeout.
class PgCancelWatch {
public:
    explicit PgCancelWatch(Storage& s);
    ~PgCancelWatch();
    PgCancelWatch(const PgCancelWatch&) = delete;
    PgCancelWatch& operator=(const PgCancelWatch&) = delete;
    // Why the statement was cancelled (empty: it was not).
    QString reason() const;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false; // guarded by mutex_
    std::thread thread_;
    QString reason_;
    std::atomic_bool cancelled_{false};
};

// The guarded SELECT on PostgreSQL (see SqlGuard.h): inside a read-only transaction (a savepoint when a
// write transaction is open) with statement_timeout; the plan must read only the readable tables and
// modify nothing; the result is read completely before the transaction ends.
void execGuardedSelectPg(QSqlQuery& q, Storage& s, const QString& sql, const QStringList& readableTables,
                         const QVariantList& binds, bool execute);

} // namespace kvxsrv
