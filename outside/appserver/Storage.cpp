#include "Storage.h"

#include "PgDialect.h"
#include "PgLib.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <mutex>
#include <sqlite3.h>
#include <sys/socket.h>
#include <vector>

Q_LOGGING_CATEGORY(lcStorage, "kvx.appserver")

namespace kvxsrv {

QList<SqlDialect::Column> SqliteDialect::columns(QSqlDatabase& db, const QString& table) const {
    QList<Column> cols;
    QSqlQuery q(db);
    // Table names come from the server's own metadata, never from clients; quote them anyway.
    if (!q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QString(table).replace('"', "\"\""))))
        throw StorageError(q.lastError().text().toStdString());
    while (q.next()) {
        Column c;
        c.name = q.value(1).toString();
        c.declType = q.value(2).toString().toUpper();
        c.notNull = q.value(3).toInt() != 0;
        c.primaryKey = q.value(5).toInt() != 0;
        cols.append(c);
    }
    return cols;
}

bool SqliteDialect::tableExists(QSqlDatabase& db, const QString& table) const {
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ? COLLATE NOCASE"));
    q.addBindValue(table);
    return q.exec() && q.next();
}

QStringList SqliteDialect::tableNames(QSqlDatabase& db) const {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                               "'sqlite_%' ORDER BY name")))
        throw StorageError(q.lastError().text().toStdString());
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

QStringList SqlDialect::primaryKey(QSqlDatabase& db, const QString& table) const {
    QStringList key;
    for (const Column& c : columns(db, table))
        if (c.primaryKey) key << c.name;
    return key;
}

QString SqliteDialect::translate(const QString& sql, const QString& dbName) const {
    // Outside quotes only: drop "DB.." and "DB.dbo." prefixes of the company database.
    QString out;
    const QRegularExpression prefix(
        QStringLiteral("\\b%1\\.(dbo)?\\.").arg(QRegularExpression::escape(dbName)),
        QRegularExpression::CaseInsensitiveOption);
    QString plain;
    auto flush = [&] {
        if (!dbName.isEmpty()) plain.replace(prefix, QString());
        out += plain;
        plain.clear();
    };
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            flush();
            int j = i + 1;
            while (j < sql.size() && sql.at(j) != c)
                ++j;
            out += sql.mid(i, j - i + 1);
            i = j;
        } else {
            plain += c;
        }
    }
    flush();
    static const QRegularExpression top(QStringLiteral("^(\\s*SELECT\\s+(?:DISTINCT\\s+)?)TOP\\s+(\\d+)\\s+"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = top.match(out);
    if (m.hasMatch()) out = m.captured(1) + out.mid(m.capturedEnd()) + limitClause(m.captured(2).toInt());
    return out;
}

QString StorageConfig::resolveFile() const {
    if (!databaseFile.isEmpty()) return QFileInfo(databaseFile).absoluteFilePath();
    if (serverPath.isEmpty())
        throw StorageError("No server folder: the registry key Software\\KVX\\Stavelo has no ServerPath");
    QDir dir(serverPath);
    const kvx::IniFile ini(dir.filePath(QStringLiteral("StaveloS.ini")));
    const QString name =
        ini.readString(QStringLiteral("Database"), QStringLiteral("File"), QStringLiteral("kvx.db"));
    return QFileInfo(name).isAbsolute() ? name : dir.absoluteFilePath(name);
}

DatabaseLocation StorageConfig::resolveLocation() const {
    if (location) return *location;
    DatabaseLocation loc;
    if (!databaseFile.isEmpty()) {
        loc = DatabaseLocation::parse(databaseFile);
        if (!loc.isPostgres()) loc.file = resolveFile();
        loc.findPasswords();
        return loc;
    }
    if (serverPath.isEmpty()) return DatabaseLocation::parse(resolveFile()); // raises the error
    const QDir dir(serverPath);
    const kvx::IniFile ini(dir.filePath(QStringLiteral("StaveloS.ini")));
    const QString section = QStringLiteral("Database");
    const QString engine =
        ini.readString(section, QStringLiteral("Engine"), QStringLiteral("SQLite")).trimmed();
    if (engine.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0 ||
        engine.compare(QLatin1String("Postgres"), Qt::CaseInsensitive) == 0) {
        loc.engine = DatabaseLocation::Engine::PostgreSQL;
        loc.host = ini.readString(section, QStringLiteral("Host"), QString()).trimmed();
        loc.port = ini.readInteger(section, QStringLiteral("Port"), 5432);
        loc.name = ini.readString(section, QStringLiteral("Name"), QStringLiteral("kvx")).trimmed();
        loc.user = ini.readString(section, QStringLiteral("User"), QString()).trimmed();
        loc.adminUser = ini.readString(section, QStringLiteral("AdminUser"), QString()).trimmed();
        QString passFile = ini.readString(section, QStringLiteral("PasswordFile"), QString()).trimmed();
        if (!passFile.isEmpty() && QFileInfo(passFile).isRelative())
            passFile = dir.absoluteFilePath(passFile);
        loc.findPasswords(passFile);
        return loc;
    }
    if (engine.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0)
        throw StorageError(
            QStringLiteral("StaveloS.ini [Database] Engine=%1: the engine is SQLite or PostgreSQL")
                .arg(engine)
                .toStdString());
    loc.file = resolveFile();
    return loc;
}

DatabaseLocation DatabaseLocation::parse(const QString& text) {
    DatabaseLocation loc;
    const QString t = text.trimmed();
    if (!t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) &&
        !t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        loc.file = t.isEmpty() ? QString() : QFileInfo(t).absoluteFilePath();
        return loc;
    }
    loc.engine = Engine::PostgreSQL;
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.path().size() < 2)
        throw StorageError(
            QStringLiteral("The database URI %1 is not postgresql://[user@][host][:port]/database")
                .arg(t)
                .toStdString());
    if (!url.password().isEmpty())
        throw StorageError("A database URI carries no password: use KVX_DB_PASSWORD or a password file");
    loc.user = url.userName();
    loc.host = url.host();
    loc.port = url.port(5432);
    loc.name = url.path().mid(1);
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        loc.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        loc.port = query.queryItemValue(QStringLiteral("port")).toInt();
    if (query.hasQueryItem(QStringLiteral("admin")))
        loc.adminUser = query.queryItemValue(QStringLiteral("admin"), QUrl::FullyDecoded);
    return loc;
}

QString DatabaseLocation::describe() const {
    if (!isPostgres()) return file;
    // A socket folder and its port go in the query: a URI has no place for a path as its host.
    const bool socket = host.startsWith(QLatin1Char('/'));
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setPath(QLatin1Char('/') + name);
    QUrlQuery query;
    if (socket) {
        url.setHost(QString());
        query.addQueryItem(QStringLiteral("host"), QString::fromUtf8(QUrl::toPercentEncoding(host)));
        if (port != 5432) query.addQueryItem(QStringLiteral("port"), QString::number(port));
    } else {
        url.setHost(host);
        url.setPort(port);
    }
    if (!adminUser.isEmpty()) query.addQueryItem(QStringLiteral("admin"), adminUser);
    if (!query.isEmpty()) url.setQuery(query);
    QString text = url.toString(QUrl::FullyEncoded);
    // "postgresql://user@/db": QUrl leaves out the "@" of an empty host.
    if (socket && !user.isEmpty() && !text.contains(QLatin1Char('@')))
        text.replace(QStringLiteral("postgresql://") + user,
                     QStringLiteral("postgresql://") + user + QLatin1Char('@'));
    return text;
}

QString passwordFromPassFile(const QString& text, const QString& host, int port, const QString& database,
                             const QString& user) {
    // libpq's own rule: a socket folder (or no host) matches "localhost".
    const QString h =
        host.isEmpty() || host.startsWith(QLatin1Char('/')) ? QStringLiteral("localhost") : host;
    const QStringList want = {h, QString::number(port), database, user};
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.endsWith(QLatin1Char('\r')) ? raw.chopped(1) : raw;
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#'))) continue;
        QStringList fields{QString()};
        for (int i = 0; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c == QLatin1Char('\\') && i + 1 < line.size())
                fields.last() += line.at(++i);
            else if (c == QLatin1Char(':') && fields.size() < 5)
                fields << QString();
            else
                fields.last() += c;
        }
        if (fields.size() != 5) continue;
        bool match = true;
        for (int i = 0; i < 4 && match; ++i)
            match = fields[i] == QLatin1String("*") || fields[i] == want[i];
        if (match) return fields[4];
    }
    return {};
}

void DatabaseLocation::findPasswords(const QString& passwordFile) {
    if (!isPostgres()) return;
    QString fileText;
    const QString path =
        qEnvironmentVariableIsSet("KVX_DB_PASSFILE") ? qEnvironmentVariable("KVX_DB_PASSFILE") : passwordFile;
    if (!path.isEmpty()) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            // Like libpq: a password file others may read is ignored.
            if (f.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                                   QFileDevice::WriteOther))
                qCWarning(lcStorage) << "password file" << path << "is readable by others; ignored";
            else
                fileText = QString::fromUtf8(f.readAll());
        }
    }
    if (password.isEmpty())
        password = qEnvironmentVariableIsSet("KVX_DB_PASSWORD")
                       ? qEnvironmentVariable("KVX_DB_PASSWORD")
                       : passwordFromPassFile(fileText, host, port, name, user);
    if (!adminUser.isEmpty() && adminPassword.isEmpty())
        adminPassword = qEnvironmentVariableIsSet("KVX_DB_ADMIN_PASSWORD")
                            ? qEnvironmentVariable("KVX_DB_ADMIN_PASSWORD")
                            : passwordFromPassFile(fileText, host, port, name, adminUser);
}

StorageConfig StorageConfig::fromRegistry() {
    StorageConfig c;
    kvx::Registry reg;
    if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo")))
        c.serverPath = reg.readString(QStringLiteral("ServerPath"));
    c.loadLimits();
    return c;
}

StorageConfig StorageConfig::inProcess() {
    StorageConfig c = fromRegistry();
    c.shareInProcess = true;
    return c;
}

void StorageConfig::loadLimits() {
    if (serverPath.isEmpty()) return;
    const kvx::IniFile ini(QDir(serverPath).filePath(QStringLiteral("StaveloS.ini")));
    const int seconds =
        ini.readInteger(QStringLiteral("Limits"), QStringLiteral("QuerySeconds"), queryMs / 1000);
    queryMs = qMax(0, seconds) * 1000;
}

namespace {
sqlite3* handleOf(QSqlDatabase& db) {
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0) return *static_cast<sqlite3* const*>(v.data());
    return nullptr;
}

QString nextConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("kvxsrv-%1").arg(++counter);
}
} // namespace

int storageProgress(void* user) {
    auto* s = static_cast<Storage*>(user);
    using clock = std::chrono::steady_clock;
    if (const QueryStop* stop = s->stop_.get()) {
        if (stop->stopping && stop->stopping->load()) {
            s->stopReason_ = QStringLiteral("Query stopped: the server is shutting down");
            return 1;
        }
        if (stop->cancelled.load()) {
            s->stopReason_ = QStringLiteral("Query stopped: the client has disconnected");
            return 1;
        }
    }
    if (!s->limited_) return 0;
    const auto now = clock::now();
    if (now >= s->deadline_) {
        s->stopReason_ =
            QStringLiteral("Query stopped: it ran longer than the limit of %1 ms").arg(s->queryMs_);
        return 1;
    }
    if (s->stop_ && s->stop_->socketFd >= 0 && now >= s->nextPeek_) {
        s->nextPeek_ = now + std::chrono::milliseconds(100);
        char c;
        // 0: the peer closed the connection; a client that is gone does not wait for the answer.
        if (::recv(s->stop_->socketFd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
            s->stop_->cancelled.store(true);
            s->stopReason_ = QStringLiteral("Query stopped: the client has disconnected");
            return 1;
        }
    }
    return 0;
}

Storage::Storage(const StorageConfig& config)
    : connectionName_(nextConnectionName()), location_(config.resolveLocation()) {
    stop_ = config.stop;
    queryMs_ = config.queryMs;
    file_ = location_.describe();
    if (location_.isPostgres())
        openPostgres(config);
    else
        openSqlite(config);
}

void Storage::closeConnection() {
    kept_.clear();
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

void Storage::openSqlite(const StorageConfig& config) {
    dialect_ = std::make_unique<SqliteDialect>();
    QDir().mkpath(QFileInfo(file_).absolutePath());
    db_ = QSqlDatabase::addDatabase(dialect_->qtDriver(), connectionName_);
    db_.setDatabaseName(file_);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db_.open()) {
        const QString err = db_.lastError().text();
        closeConnection();
        throw StorageError(QStringLiteral("Cannot open database %1: %2").arg(file_, err).toStdString());
    }
    try {
        opening_ = true;
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        opening_ = false;
        if (sqlite3* h = handleOf(db_)) sqlite3_progress_handler(h, 1000, storageProgress, this);
        if (config.runMigrations) migrate(*this, config.migrateUpTo);
    } catch (...) {
        // The destructor does not run for a half-made object: close and remove the connection here.
        closeConnection();
        throw;
    }
}

void Storage::openPostgres(const StorageConfig& config) {
    auto dialect = std::make_unique<PostgresDialect>();
    PostgresDialect* pg = dialect.get();
    dialect_ = std::move(dialect);
    auto connectAs = [&](const QString& user, const QString& password) {
        db_ = QSqlDatabase::addDatabase(dialect_->qtDriver(), connectionName_);
        if (!location_.host.isEmpty()) db_.setHostName(location_.host);
        db_.setPort(location_.port);
        db_.setDatabaseName(location_.name);
        if (!user.isEmpty()) db_.setUserName(user);
        if (!password.isEmpty()) db_.setPassword(password);
        db_.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=kvx-appserver"));
        if (!db_.open()) {
            const QString err = db_.lastError().text();
            closeConnection();
            throw StorageError(
                QStringLiteral("Cannot open database %1: %2").arg(file_, err.trimmed()).toStdString());
        }
        pg->setConnection(&db_);
    };
    const bool separateOwner = !location_.adminUser.isEmpty() && location_.adminUser != location_.user;
    if (config.runMigrations && separateOwner) {
        // The schema belongs to the owner role: it runs the migrations and grants the server's role
        // what the server does with the tables (read and write rows), nothing more.
        connectAs(location_.user, location_.password);
        bool pending = true;
        try {
            pending = migrationsPending(*this, config.migrateUpTo);
        } catch (const StorageError& e) {
            // The server role may not read the bookkeeping yet (a new database): the owner looks.
            qCInfo(lcStorage) << "schema version unreadable as" << location_.user << "-" << e.what();
        }
        closeConnection();
        if (pending) {
            auto owner = std::make_shared<DatabaseLocation>(location_);
            owner->user = location_.adminUser;
            owner->password = location_.adminPassword;
            owner->adminUser.clear();
            StorageConfig asOwner;
            asOwner.location = owner;
            asOwner.migrateUpTo = config.migrateUpTo;
            Storage admin(asOwner);
            grantServerRole(admin, location_.user);
        }
        connectAs(location_.user, location_.password);
        return;
    }
    connectAs(location_.user, location_.password);
    try {
        if (config.runMigrations) migrate(*this, config.migrateUpTo);
    } catch (...) {
        closeConnection();
        throw;
    }
}

Storage::~Storage() {
    if (sqlite3* h = handleOf(db_)) sqlite3_progress_handler(h, 0, nullptr, nullptr);
    closeConnection();
}

void Storage::exec(const QString& sql, const QVariantList& binds) {
    detachCursors();
    const QStringList statements = dialect_->adapt(sql);
    for (int i = 0; i < statements.size(); ++i) {
        // The dialect's own bookkeeping statements that follow the first take no bind values.
        const bool bound = i == 0 && !binds.isEmpty();
        QSqlQuery q(db_);
        // PostgreSQL prepares only SELECT, INSERT, UPDATE, DELETE and VALUES: the rest runs as it is.
        if (!bound && dialect_->isPostgres()) {
            if (!q.exec(statements[i]))
                throw StorageError(
                    QStringLiteral("%1 [%2]").arg(q.lastError().text(), statements[i]).toStdString());
            continue;
        }
        if (!q.prepare(statements[i]))
            throw StorageError(
                QStringLiteral("%1 [%2]").arg(q.lastError().text(), statements[i]).toStdString());
        if (bound)
            for (const QVariant& b : binds)
                q.addBindValue(b);
        if (!q.exec())
            throw StorageError(
                QStringLiteral("%1 [%2]").arg(q.lastError().text(), statements[i]).toStdString());
    }
}

void Storage::execDirect(const QString& sql) {
    QSqlQuery q(db_);
    if (!q.exec(sql))
        throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
}

QVariant Storage::scalar(const QString& sql, const QVariantList& binds) {
    if (!dialect_->isPostgres()) {
        std::shared_ptr<QSqlQuery> q = kept_.value(sql);
        if (!q) {
            q = std::make_shared<QSqlQuery>(db_);
            q->setForwardOnly(true);
            if (!q->prepare(sql))
                throw StorageError(QStringLiteral("%1 [%2]").arg(q->lastError().text(), sql).toStdString());
            if (kept_.size() >= kMaxKeptStatements) kept_.clear();
            kept_.insert(sql, q);
        }
        for (int i = 0; i < binds.size(); ++i)
            q->bindValue(i, binds[i]);
        // Reset whatever happens: a statement left active would hold its read snapshot.
        struct Reset {
            QSqlQuery& q;
            ~Reset() { q.finish(); }
        } reset{*q};
        if (!q->exec())
            throw StorageError(QStringLiteral("%1 [%2]").arg(q->lastError().text(), sql).toStdString());
        return q->next() ? q->value(0) : QVariant();
    }
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec()) throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
    return q.next() ? q.value(0) : QVariant();
}

namespace {
// The connections in-process server objects share: one per database, settings and thread. Held weakly:
// a connection closes when the last object using it goes.
class ProcessConnections {
public:
    static ProcessConnections& instance() {
        static ProcessConnections registry;
        return registry;
    }

    std::shared_ptr<Storage> open(const StorageConfig& config) {
        StorageConfig resolved = config;
        if (!resolved.location)
            resolved.location = std::make_shared<DatabaseLocation>(config.resolveLocation());
        const Key key{QThread::currentThread(), resolved.location->describe(), resolved.location->user,
                      resolved.queryMs,         resolved.migrateUpTo,          resolved.runMigrations};
        std::lock_guard lock(mutex_);
        std::erase_if(open_, [](const auto& e) { return e.second.expired(); });
        for (const auto& [k, weak] : open_)
            if (k == key)
                if (auto s = weak.lock()) return s;
        auto s = std::make_shared<Storage>(resolved);
        open_.emplace_back(key, s);
        return s;
    }

    int count() {
        std::lock_guard lock(mutex_);
        return int(
            std::count_if(open_.begin(), open_.end(), [](const auto& e) { return !e.second.expired(); }));
    }

private:
    struct Key {
        QThread* thread;
        QString database, user;
        int queryMs, migrateUpTo;
        bool runMigrations;
        bool operator==(const Key&) const = default;
    };
    std::mutex mutex_;
    std::vector<std::pair<Key, std::weak_ptr<Storage>>> open_;
};
} // namespace

std::shared_ptr<Storage> openStorage(const StorageConfig& config) {
    if (!config.connection)
        return config.shareInProcess ? ProcessConnections::instance().open(config)
                                     : std::make_shared<Storage>(config);
    if (!config.connection->storage) config.connection->storage = std::make_shared<Storage>(config);
    return config.connection->storage;
}

int sharedInProcessConnections() {
    return ProcessConnections::instance().count();
}

void Storage::addCursorHolder(CursorHolder* h) {
    if (!cursorHolders_.contains(h)) cursorHolders_.append(h);
}

void Storage::removeCursorHolder(CursorHolder* h) {
    cursorHolders_.removeAll(h);
}

namespace {
std::atomic<quint64> writes{0};
} // namespace

quint64 Storage::writeGeneration() {
    return writes.load();
}

void Storage::detachCursors() {
    if (!opening_) writes.fetch_add(1);
    for (CursorHolder* h : cursorHolders_)
        h->detachCursor();
}

bool Storage::inTransaction() {
    if (PGconn* c = pq::connectionOf(db_)) {
        if (pq::api()->transactionStatus(c) == PQTRANS_ACTIVE) {
            // A forward-only query read row by row has not been read to its end (no statement of this
            // connection is still in use when this is asked): the next statement discards its rest.
            QSqlQuery flush(db_);
            flush.exec(QStringLiteral("SELECT 1"));
        }
        return pq::api()->transactionStatus(c) == PQTRANS_INTRANS;
    }
    sqlite3* h = handleOf(db_);
    return h && sqlite3_get_autocommit(h) == 0;
}

bool Storage::connectionOk() {
    if (PGconn* c = pq::connectionOf(db_)) return pq::api()->status(c) == CONNECTION_OK;
    return db_.isOpen();
}

int Storage::remainingMs() const {
    if (!limited_) return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    return int(qMax<qint64>(1, left.count()));
}

void Storage::noteStopped(const QString& reason) {
    stopReason_ = !reason.isEmpty()
                      ? reason
                      : QStringLiteral("Query stopped: it ran longer than the limit of %1 ms").arg(queryMs_);
}

Storage::StatementSavepoint::StatementSavepoint(Storage& s) : s_(s) {
    if (!s_.dialect().isPostgres()) return;
    s_.execDirect(QStringLiteral("SAVEPOINT kvx_row"));
    open_ = true;
}

Storage::StatementSavepoint::~StatementSavepoint() {
    if (!open_) return;
    QSqlQuery q(s_.db_);
    if (!q.exec(QStringLiteral("RELEASE SAVEPOINT kvx_row")))
        qCWarning(lcStorage) << "releasing a savepoint failed:" << q.lastError().text();
}

void Storage::StatementSavepoint::rollBack() {
    if (!open_) return;
    open_ = false;
    QSqlQuery q(s_.db_);
    if (!q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT kvx_row")))
        qCWarning(lcStorage) << "rolling back to a savepoint failed:" << q.lastError().text();
}

Storage::TimeLimit::TimeLimit(Storage& s) : s_(s) {
    s_.stopReason_.clear();
    if (s_.queryMs_ <= 0) return;
    s_.limited_ = true;
    s_.deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(s_.queryMs_);
    s_.nextPeek_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
}

Storage::TimeLimit::~TimeLimit() {
    s_.limited_ = false;
}

void Storage::throwIfStopped() {
    if (!stopReason_.isEmpty()) throw StorageError(stopReason_.toStdString());
}

QStringList Storage::tableNames() {
    if (dialect_->isPostgres()) return dialect_->tableNames(db_);
    const qint64 cookie = scalar(QStringLiteral("PRAGMA schema_version")).toLongLong();
    if (cookie != tablesCookie_ || tablesCookie_ < 0) {
        tables_ = dialect_->tableNames(db_);
        tablesCookie_ = cookie;
    }
    return tables_;
}

QList<SqlDialect::Column> Storage::columns(const QString& table) {
    if (dialect_->isPostgres()) return dialect_->columns(db_, table);
    const qint64 cookie = scalar(QStringLiteral("PRAGMA schema_version")).toLongLong();
    if (cookie != columnsCookie_) {
        columns_.clear();
        columnsCookie_ = cookie;
    }
    auto it = columns_.constFind(table);
    if (it != columns_.constEnd()) return *it;
    const QList<SqlDialect::Column> cols = dialect_->columns(db_, table);
    if (!cols.isEmpty()) columns_.insert(table, cols); // a table made later is looked up again
    return cols;
}

int Storage::schemaVersion() {
    if (!dialect_->tableExists(db_, QStringLiteral("schema_version"))) return 0;
    return scalar(QStringLiteral("SELECT COALESCE(MAX(version),0) FROM schema_version")).toInt();
}

Storage::Transaction::Transaction(Storage& s) : s_(s) {
    s_.detachCursors();
    try {
        s_.execDirect(s_.dialect().beginWrite());
    } catch (...) {
        // Half begun (PostgreSQL: the write lock timed out): end what was begun.
        QSqlQuery q(s_.db_);
        if (s_.dialect().isPostgres()) q.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    open_ = true;
}

Storage::Transaction::~Transaction() {
    if (open_) {
        QSqlQuery q(s_.db_);
        q.exec(QStringLiteral("ROLLBACK"));
    }
}

void Storage::Transaction::commit() {
    // A statement that failed may have rolled the transaction back already; committing then would
    // report as stored what is not.
    if (!s_.inTransaction()) {
        open_ = false;
        // PostgreSQL: a failed transaction stays open until it is ended; COMMIT would quietly roll back.
        if (s_.dialect().isPostgres()) {
            QSqlQuery q(s_.db_);
            q.exec(QStringLiteral("ROLLBACK"));
        }
        throw StorageError("The transaction was rolled back by the database; nothing was stored");
    }
    s_.exec(QStringLiteral("COMMIT"));
    open_ = false;
}

} // namespace kvxsrv
