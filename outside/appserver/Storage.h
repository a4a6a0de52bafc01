// Storage: the application server's database connection, its SQL dialect and the versioned schema.
//
// In the daemon the server objects of one client connection share one connection (SharedConnection);
// in process, the objects created by the factories share one connection per database and thread
// (StorageConfig::shareInProcess, openStorage), so that a program start opens its database once and
// reads its schema and pending migrations once. Objects sharing a connection never interleave
// statements: they run on one thread, one call at a time, and before the connection writes, every open
// read cursor of it is read into memory (Storage::CursorHolder), as if each object had its own snapshot. The
// engine is SQLite (one database file in WAL mode, the embedded default) or PostgreSQL (several servers on
// one database); writers of either engine take one write lock, so write transactions never interleave.
// Opening a database runs the schema migrations that it has not seen yet, each in its own transaction; an
// older database is upgraded in place, never recreated.
#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
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

// What differs between database engines: SQLite (the embedded default) and PostgreSQL (PgDialect.h).
class SqlDialect {
public:
    virtual ~SqlDialect() = default;
    virtual QString name() const = 0;
    virtual bool isPostgres() const { return false; }
    // The value "Whatis SQLTYPE" answers: 0 for engines that limit rows with "SELECT TOP n" (the
    // client then sends SetTopRow), 1 for engines that take "LIMIT n" (SQLite, PostgreSQL).
    virtual int sqlType() const = 0;
    virtual QString qtDriver() const = 0;
    // Statement(s) that start a transaction which takes the write lock at once (run unprepared).
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
    // The tables (not views) of the database, without the engine's own.
    virtual QStringList tableNames(QSqlDatabase& db) const = 0;
    // Primary-key columns of a table in key order.
    virtual QStringList primaryKey(QSqlDatabase& db, const QString& table) const;
    // The server's own SQL, written in SQLite's flavour (migrations, seed data, services), as this engine
    // runs it; may yield more than one statement (run in order) or none (a PRAGMA elsewhere).
    virtual QStringList adapt(const QString& sql) const { return {sql}; }
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
    QStringList tableNames(QSqlDatabase& db) const override;
    QString translate(const QString& sql, const QString& dbName) const override;
};

// A database: a SQLite file or a PostgreSQL database. Written as a file path or as the URI
// "postgresql://[user@][host][:port]/database[?host=/socket/folder&port=N&admin=role]".
struct DatabaseLocation {
    enum class Engine { SQLite, PostgreSQL };
    Engine engine = Engine::SQLite;
    QString file; // SQLite
    QString host; // PostgreSQL: a host name, address or Unix socket folder (empty: libpq's default)
    int port = 5432;
    QString name;
    QString user;
    QString password;  // from KVX_DB_PASSWORD or a password file; never from a configuration file
    QString adminUser; // role that owns the schema and runs migrations (empty: the server's own role)
    QString adminPassword;

    bool isPostgres() const { return engine == Engine::PostgreSQL; }
    // Parses a file path or a "postgresql://" URI; raises StorageError for a malformed URI.
    static DatabaseLocation parse(const QString& text);
    // The URI (never with a password) or the absolute file path.
    QString describe() const;
    // Fills the passwords from the environment (KVX_DB_PASSWORD, KVX_DB_ADMIN_PASSWORD) or else from
    // a password file (KVX_DB_PASSFILE or the given one) in the .pgpass format. Left empty when neither
    // knows one: libpq then reads PGPASSWORD and ~/.pgpass itself.
    void findPasswords(const QString& passwordFile = {});
};

// The password of the first matching line of a .pgpass-style text ("host:port:database:user:password",
// "*" matching anything, "\\:" and "\\\\" escaped, "#" comments); empty when no line matches.
QString passwordFromPassFile(const QString& text, const QString& host, int port, const QString& database,
                             const QString& user);

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

// Where the database lives. An explicit file (or PostgreSQL URI) wins; otherwise the server folder
// (registry value ServerPath of Software\KVX\Stavelo, or the given folder) and its StaveloS.ini
// [Database]: Engine=SQLite (default) with File= (default kvx.db, relative to the server folder), or
// Engine=PostgreSQL with Host, Port, Name, User, AdminUser and PasswordFile.
struct StorageConfig {
    QString databaseFile; // a file path or a "postgresql://" URI
    QString serverPath;
    int migrateUpTo = -1;      // tests: stop at an older schema version
    bool runMigrations = true; // false where the schema was brought up to date once at start
    int queryMs = 5000;        // time limit of one client-supplied query (0: none)
    std::shared_ptr<QueryStop> stop;
    QString boundUser; // the user signed in on the socket: server objects connect as this user only
    std::shared_ptr<SharedConnection> connection; // set: the objects share this connection
    // No `connection` set: share the connection of other objects of this process and thread that asked
    // the same (same database, limits and migrations); false: a connection of its own.
    bool shareInProcess = false;
    std::shared_ptr<const DatabaseLocation> location; // set: this database, whatever the above say

    // Reads [Limits] QuerySeconds of StaveloS.ini in the server folder (when there is one).
    void loadLimits();

    // Resolves to an absolute file path; raises StorageError when no location is known.
    QString resolveFile() const;
    // Resolves to the database, passwords included; raises StorageError when no location is known.
    DatabaseLocation resolveLocation() const;
    static StorageConfig fromRegistry();
    // fromRegistry() for objects created in process (the automation factories): they share connections.
    static StorageConfig inProcess();
};

class Storage {
public:
    explicit Storage(const StorageConfig& config);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // An object that keeps a read cursor open on this connection between calls: it reads the cursor to
    // its end when asked, before the connection writes. Registered for its lifetime.
    class CursorHolder {
    public:
        virtual ~CursorHolder() = default;
        virtual void detachCursor() = 0;
    };
    void addCursorHolder(CursorHolder* h);
    void removeCursorHolder(CursorHolder* h);
    // Reads every open cursor of the connection into memory (before any write: Transaction, exec), and
    // counts the write in writeGeneration().
    void detachCursors();
    // Grows before every write of any connection of this process (the pragmas that open a connection
    // aside): answers read ahead at one value are stale at another (ReadAhead).
    static quint64 writeGeneration();

    QSqlDatabase& db() { return db_; }
    const SqlDialect& dialect() const { return *dialect_; }
    // The database file (SQLite) or the connection URI without password (PostgreSQL).
    QString filePath() const { return file_; }
    const DatabaseLocation& location() const { return location_; }
    int schemaVersion();
    // The database's tables (SqlDialect::tableNames). SQLite: kept while the schema cookie stays the same
    // (any change of the schema, by any connection, changes it); PostgreSQL: listed at each call.
    QStringList tableNames();
    // The columns of a table (SqlDialect::columns), kept likewise: a program's main and colour providers
    // describe the same table once.
    QList<SqlDialect::Column> columns(const QString& table);

    // Runs a statement with positional bind values; raises StorageError with the driver's text. The
    // statement is written in SQLite's flavour and adapted to the engine (SqlDialect::adapt).
    void exec(const QString& sql, const QVariantList& binds = {});
    // Runs statements unprepared, as they are (no bind values, no adaptation).
    void execDirect(const QString& sql);
    // First column of the first row, or an invalid QVariant when there is no row. On SQLite the statement
    // is prepared once per connection and kept (at most kMaxKeptStatements), reset after each use.
    QVariant scalar(const QString& sql, const QVariantList& binds = {});
    // Whether a transaction is open on this connection and still usable (a failed statement may have
    // ended it, or on PostgreSQL left it unable to commit).
    bool inTransaction();
    // Whether the driver connection to the database server is up (SQLite: always).
    bool connectionOk();

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
    // Milliseconds the running time limit leaves (0: no limit running); at least 1 while one runs.
    int remainingMs() const;
    // Records that the database stopped a statement on the time limit (PostgreSQL: SQLSTATE 57014).
    void noteStopped(const QString& reason);
    const std::shared_ptr<QueryStop>& queryStop() const { return stop_; }
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

    // Around one statement of a longer write transaction whose failure the caller reports and goes on
    // from: on PostgreSQL a failed statement spoils the whole transaction unless it is rolled back to a
    // savepoint taken before it; SQLite keeps the transaction usable, so nothing is done there.
    class StatementSavepoint {
    public:
        explicit StatementSavepoint(Storage& s);
        ~StatementSavepoint();
        // After the statement failed: back to the state before it.
        void rollBack();

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
    DatabaseLocation location_;
    QSqlDatabase db_;
    QList<CursorHolder*> cursorHolders_;
    static constexpr int kMaxKeptStatements = 64;
    QHash<QString, std::shared_ptr<QSqlQuery>> kept_; // scalar()'s prepared statements (SQLite)
    QStringList tables_;                              // tableNames() as of the schema cookie tablesCookie_
    qint64 tablesCookie_ = -1;
    QHash<QString, QList<SqlDialect::Column>> columns_; // columns() as of the schema cookie columnsCookie_
    qint64 columnsCookie_ = -1;
    bool opening_ = false; // the connection's own pragmas run: no write of data
    void openSqlite(const StorageConfig& config);
    void openPostgres(const StorageConfig& config);
    void closeConnection();
};

// The connection of a server object: the shared one when the configuration names one, the process's
// connection to that database on this thread when it asks to share (kept while an object holds it),
// else its own.
std::shared_ptr<Storage> openStorage(const StorageConfig& config);
// Connections of this process opened for sharing and still held (tests).
int sharedInProcessConnections();

// Latest schema version this build knows.
int latestSchemaVersion();
// Runs the pending migrations up to a version (all when upTo < 0); Storage runs them on open.
void migrate(Storage& s, int upTo = -1);
// Grants a server role what it needs of the schema the connected (owner) role has made: using the
// schema, reading and writing the rows of its tables and drawing from its sequences; never DDL.
void grantServerRole(Storage& owner, const QString& role);
// Whether migrations up to a version (all when upTo < 0) are still to run; takes no lock.
bool migrationsPending(Storage& s, int upTo = -1);

} // namespace kvxsrv
