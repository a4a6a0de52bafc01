#include "Storage.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

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
    return c;
}

namespace {
QString nextConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("kvxsrv-%1").arg(++counter);
}
} // namespace

Storage::Storage(const StorageConfig& config)
    : dialect_(std::make_unique<SqliteDialect>()), connectionName_(nextConnectionName()),
      file_(config.resolveFile()) {
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
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    migrate(*this, config.migrateUpTo);
}

Storage::~Storage() {
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
    s_.exec(QStringLiteral("COMMIT"));
    open_ = false;
}

} // namespace kvxsrv
