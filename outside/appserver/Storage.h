// Storage: the application server's database connection, its SQL dialect and the versioned schema.
//
// Every program server object opens its own connection (in the daemon, the objects of one client
// connection share one: SharedConnection); SQLite connections
// share one database file in WAL mode and wait for each other's write locks. Opening a database runs the
// schema migrations that it has not seen yet, each in its own transaction; an older database is upgraded
// in place, never recreated.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>

namespace kvxsrv {

class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What differs between database engines. SQLite is the embedded default; a PostgreSQL dialect can
// implement the same operations.
class SqlDialect {
public:
    virtual ~SqlDialect() = default;
    virtual QString name() const = 0;
    // The value "Whatis SQLTYPE" answers: 0 for engines that limit rows with "SELECT TOP n" (the
    // client then sends SetTopRow), 1 for engines that take "LIMIT n" (SQLite, PostgreSQL).
    virtual int sqlType() const = 0;
    virtual QString qtDriver() const = 0;
    // Statement that starts a transaction which takes the write lock at once.
    virtual QString beginWrite() const = 0;
    virtual QString limitClause(int rows) const = 0;
    // Column names of a table in declared order, with declared types and NOT NULL flags.
    struct Column {
        QString name;
        QString declType;
        bool notNull = false;
        bool primaryKey = false;
    };
    virtual QList<Column> columns(QSqlDatabase& db, const QString& table) const = 0;
    virtual bool tableExists(QSqlDatabase& db, const QString& table) const = 0;
    // Turns a statement in the clients' SQL dialect (cross-database names "DB..TABLE", "SELECT TOP n")
    // into this engine's SQL. Quoted texts are left alone.
    virtual QString translate(const QString& sql, const QString& dbName) const = 0;
};

class SqliteDialect : public SqlDialect {
public:
    QString name() const override { return QStringLiteral("SQLITE"); }
    int sqlType() const override { return 1; }
    QString qtDriver() const override { return QStringLiteral("QSQLITE"); }
    QString beginWrite() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString limitClause(int rows) const override { return QStringLiteral(" LIMIT %1").arg(rows); }
    QList<Column> columns(QSqlDatabase& db, const QString& table) const override;
    bool tableExists(QSqlDatabase& db, const QString& table) const override;
    QString translate(const QString& sql, const QString& dbName) const override;
};

// Stops client queries that run too long, whose client has gone, or that a shutdown interrupts. One
// per client connection, shared by the connection's server objects.
struct QueryStop {
    std::atomic_bool cancelled{false};          // raised by the owner (client gone)
    const std::atomic_bool* stopping = nullptr; // the daemon's shutdown flag
    int socketFd = -1;                          // peeked now and then: a closed socket stops the query
};

class Storage;
// One database connection for all the server objects of a client connection (opened on first use).
struct SharedConnection {
    std::shared_ptr<Storage> storage;
};

// Where the database lives. An explicit file wins; otherwise the server folder (registry value
// ServerPath of Software\KVX\Stavelo, or the given folder) and its StaveloS.ini [Database] File=
// (default kvx.db, relative to the server folder).
struct StorageConfig {
    QString databaseFile;
    QString serverPath;
    int migrateUpTo = -1;      // tests: stop at an older schema version
    bool runMigrations = true; // false where the schema was brought up to date once at start
    int queryMs = 5000;        // time limit of one client-supplied query (0: none)
    std::shared_ptr<QueryStop> stop;
    QString boundUser; // the user signed in on the socket: server objects connect as this user only
    std::shared_ptr<SharedConnection> connection; // set: the objects share this connection

    // Reads [Limits] QuerySeconds of StaveloS.ini in the server folder (when there is one).
    void loadLimits();

    // Resolves to an absolute file path; raises StorageError when no location is known.
    QString resolveFile() const;
    static StorageConfig fromRegistry();
};

class Storage {
public:
    explicit Storage(const StorageConfig& config);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    QSqlDatabase& db() { return db_; }
    const SqlDialect& dialect() const { return *dialect_; }
    QString filePath() const { return file_; }
    int schemaVersion();

    // Runs a statement with positional bind values; raises StorageError with the driver's text.
    void exec(const QString& sql, const QVariantList& binds = {});
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& binds = {});
    // Whether a transaction is open on this connection (a failed statement may have ended it).
    bool inTransaction();

    // While one lives, statements of this connection stop after the configured time limit (and
    // whenever the connection's QueryStop says so); a statement stopped that way fails, and
    // stopReason() tells why.
    class TimeLimit {
    public:
        explicit TimeLimit(Storage& s);
        ~TimeLimit();

    private:
        Storage& s_;
    };
    QString stopReason() const { return stopReason_; }
    // Raises StorageError with the stop reason when the last statement was stopped.
    void throwIfStopped();

    // Write transaction; rolled back by the destructor unless committed.
    class Transaction {
    public:
        explicit Transaction(Storage& s);
        ~Transaction();
        void commit();

    private:
        Storage& s_;
        bool open_ = false;
    };

private:
    friend int storageProgress(void*);
    std::unique_ptr<SqlDialect> dialect_;
    std::shared_ptr<QueryStop> stop_;
    int queryMs_ = 0;
    std::chrono::steady_clock::time_point deadline_{};
    std::chrono::steady_clock::time_point nextPeek_{};
    bool limited_ = false;
    QString stopReason_;
    QString connectionName_;
    QString file_;
    QSqlDatabase db_;
};

// The connection of a server object: the shared one when the configuration names one, else its own.
std::shared_ptr<Storage> openStorage(const StorageConfig& config);

// Latest schema version this build knows.
int latestSchemaVersion();
// Runs the pending migrations up to a version (all when upTo < 0); Storage runs them on open.
void migrate(Storage& s, int upTo = -1);

} // namespace kvxsrv
