#include "Storage.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <sqlite3.h>
#include <sys/socket.h>

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

StorageConfig StorageConfig::fromRegistry() {
    StorageConfig c;
    kvx::Registry reg;
    if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo")))
        c.serverPath = reg.readString(QStringLiteral("ServerPath"));
    c.loadLimits();
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
    : dialect_(std::make_unique<SqliteDialect>()), connectionName_(nextConnectionName()),
      file_(config.resolveFile()) {
    stop_ = config.stop;
    queryMs_ = config.queryMs;
    QDir().mkpath(QFileInfo(file_).absolutePath());
    db_ = QSqlDatabase::addDatabase(dialect_->qtDriver(), connectionName_);
    db_.setDatabaseName(file_);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db_.open()) {
        const QString err = db_.lastError().text();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName_);
        throw StorageError(QStringLiteral("Cannot open database %1: %2").arg(file_, err).toStdString());
    }
    try {
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        if (sqlite3* h = handleOf(db_)) sqlite3_progress_handler(h, 1000, storageProgress, this);
        if (config.runMigrations) migrate(*this, config.migrateUpTo);
    } catch (...) {
        // The destructor does not run for a half-made object: close and remove the connection here.
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName_);
        throw;
    }
}

Storage::~Storage() {
    if (sqlite3* h = handleOf(db_)) sqlite3_progress_handler(h, 0, nullptr, nullptr);
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

void Storage::exec(const QString& sql, const QVariantList& binds) {
    QSqlQuery q(db_);
    if (!q.prepare(sql))
        throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec()) throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
}

QVariant Storage::scalar(const QString& sql, const QVariantList& binds) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec()) throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text(), sql).toStdString());
    return q.next() ? q.value(0) : QVariant();
}

std::shared_ptr<Storage> openStorage(const StorageConfig& config) {
    if (!config.connection) return std::make_shared<Storage>(config);
    if (!config.connection->storage) config.connection->storage = std::make_shared<Storage>(config);
    return config.connection->storage;
}

bool Storage::inTransaction() {
    sqlite3* h = handleOf(db_);
    return h && sqlite3_get_autocommit(h) == 0;
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

int Storage::schemaVersion() {
    if (!dialect_->tableExists(db_, QStringLiteral("schema_version"))) return 0;
    return scalar(QStringLiteral("SELECT COALESCE(MAX(version),0) FROM schema_version")).toInt();
}

Storage::Transaction::Transaction(Storage& s) : s_(s) {
    s_.exec(s_.dialect().beginWrite());
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
        throw StorageError("The transaction was rolled back by the database; nothing was stored");
    }
    s_.exec(QStringLiteral("COMMIT"));
    open_ = false;
}

} // namespace kvxsrv
