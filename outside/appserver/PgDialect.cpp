#include "PgDialect.h"

#include "PgLib.h"
#include "SqlGuard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <functional>
#include <sys/socket.h>

Q_LOGGING_CATEGORY(lcPg, "kvx.appserver")

namespace kvxsrv {

namespace {

// Key of the advisory lock every write transaction takes ("KVXW").
constexpr qint64 kWriteLockKey = 0x4B565857;

// Applies `fn` to the parts of `sql` outside quotes ('text', "name") and puts the quoted parts back.
QString mapUnquoted(const QString& sql, const std::function<QString(const QString&)>& fn) {
    QString out, plain;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            out += fn(plain);
            plain.clear();
            int j = i + 1;
            for (;;) {
                while (j < sql.size() && sql.at(j) != c)
                    ++j;
                if (j + 1 < sql.size() && sql.at(j + 1) == c) { // doubled quote
                    j += 2;
                    continue;
                }
                break;
            }
            out += sql.mid(i, j - i + 1);
            i = j;
        } else {
            plain += c;
        }
    }
    return out + fn(plain);
}

QRegularExpression ci(const char* pattern) {
    return QRegularExpression(QString::fromLatin1(pattern),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

// Splits a column list at the commas outside parentheses.
QStringList topLevelItems(const QString& body) {
    QStringList items;
    int depth = 0, start = 0;
    bool quoted = false;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted) continue;
        if (c == QLatin1Char('(')) ++depth;
        if (c == QLatin1Char(')')) --depth;
        if (c == QLatin1Char(',') && depth == 0) {
            items << body.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    items << body.mid(start).trimmed();
    return items;
}

QString nameRow(const QString& table, const QString& column, const QString& name) {
    return QStringLiteral("INSERT INTO kvx_names (table_name, column_name, name) VALUES ('%1', '%2', '%3') "
                          "ON CONFLICT (table_name, column_name) DO UPDATE SET name = EXCLUDED.name")
        .arg(table.toLower(), column.toLower(), name);
}

bool namesTableExists(QSqlDatabase& db) {
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT to_regclass('kvx_names') IS NOT NULL")) && q.next() &&
           q.value(0).toBool();
}

QHash<QString, QString> spelledNames(QSqlDatabase& db, const QString& table) {
    QHash<QString, QString> names;
    if (!namesTableExists(db)) return names;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT column_name, name FROM kvx_names WHERE table_name = ?"));
    q.addBindValue(table.toLower());
    if (q.exec())
        while (q.next())
            names.insert(q.value(0).toString(), q.value(1).toString());
    return names;
}

} // namespace

void PostgresDialect::setConnection(QSqlDatabase* db) {
    db_ = db;
    QSqlQuery q(*db);
    schema_ = q.exec(QStringLiteral("SELECT current_schema()")) && q.next() ? q.value(0).toString()
                                                                            : QStringLiteral("public");
}

QString PostgresDialect::beginWrite() const {
    return QStringLiteral("BEGIN; SET LOCAL lock_timeout = '10s'; SELECT pg_advisory_xact_lock(%1)")
        .arg(kWriteLockKey);
}

QString PostgresDialect::declaredType(const QString& pgType) {
    const QString t = pgType.trimmed().toLower();
    static const QRegularExpression sized(
        QStringLiteral("^(character varying|varchar|character|char)\\((\\d+)\\)$"));
    if (const auto m = sized.match(t); m.hasMatch())
        return (m.captured(1).contains(QLatin1String("varying")) || m.captured(1) == QLatin1String("varchar")
                    ? QStringLiteral("VARCHAR(%1)")
                    : QStringLiteral("CHAR(%1)"))
            .arg(m.captured(2));
    if (t == QLatin1String("integer") || t == QLatin1String("bigint") || t == QLatin1String("smallint"))
        return QStringLiteral("INTEGER");
    if (t == QLatin1String("double precision") || t == QLatin1String("real")) return QStringLiteral("FLOAT");
    if (t == QLatin1String("bytea")) return QStringLiteral("BLOB");
    if (t == QLatin1String("character varying")) return QStringLiteral("TEXT");
    return t.toUpper();
}

QList<SqlDialect::Column> PostgresDialect::columns(QSqlDatabase& db, const QString& table) const {
    const QHash<QString, QString> spelled = spelledNames(db, table);
    const QStringList key = primaryKey(db, table);
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull FROM pg_attribute a "
        "JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = current_schema() AND c.relname = ? AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum"));
    q.addBindValue(table.toLower());
    if (!q.exec()) throw StorageError(q.lastError().text().toStdString());
    QList<Column> cols;
    while (q.next()) {
        Column c;
        const QString raw = q.value(0).toString();
        c.name = spelled.value(raw, raw.toUpper());
        c.declType = declaredType(q.value(1).toString());
        c.notNull = q.value(2).toBool();
        c.primaryKey = key.contains(c.name, Qt::CaseInsensitive);
        cols.append(c);
    }
    return cols;
}

bool PostgresDialect::tableExists(QSqlDatabase& db, const QString& table) const {
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = current_schema() AND c.relname = ? AND c.relkind IN ('r','v','p')"));
    q.addBindValue(table.toLower());
    return q.exec() && q.next();
}

QStringList PostgresDialect::tableNames(QSqlDatabase& db) const {
    const bool spelled = namesTableExists(db);
    QSqlQuery q(db);
    const QString sql =
        spelled ? QStringLiteral("SELECT c.relname, COALESCE(k.name, upper(c.relname)) FROM pg_class c "
                                 "JOIN pg_namespace n ON n.oid = c.relnamespace LEFT JOIN kvx_names k ON "
                                 "k.table_name = c.relname AND k.column_name = '' WHERE n.nspname = "
                                 "current_schema() AND c.relkind IN ('r','p') ORDER BY 1")
                : QStringLiteral("SELECT c.relname, upper(c.relname) FROM pg_class c JOIN pg_namespace n ON "
                                 "n.oid = c.relnamespace WHERE n.nspname = current_schema() AND c.relkind IN "
                                 "('r','p') ORDER BY 1");
    if (!q.exec(sql)) throw StorageError(q.lastError().text().toStdString());
    QStringList names;
    while (q.next())
        if (q.value(0).toString() != QLatin1String("kvx_names")) names << q.value(1).toString();
    return names;
}

QStringList PostgresDialect::primaryKey(QSqlDatabase& db, const QString& table) const {
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT a.attname FROM pg_index i JOIN pg_class c ON c.oid = i.indrelid JOIN pg_namespace n ON "
        "n.oid = c.relnamespace JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
        "WHERE i.indisprimary AND n.nspname = current_schema() AND c.relname = ? "
        "ORDER BY array_position(i.indkey::int2[], a.attnum)"));
    q.addBindValue(table.toLower());
    QStringList key;
    if (q.exec())
        while (q.next())
            key << q.value(0).toString().toUpper();
    return key;
}

QStringList PostgresDialect::adapt(const QString& input) const {
    QString sql = input.trimmed();
    if (sql.isEmpty() || sql.startsWith(QLatin1String("PRAGMA"), Qt::CaseInsensitive)) return {};
    QStringList extra;
    static const QRegularExpression createTable =
        ci("^CREATE\\s+TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?(\\w+)\\s*\\((.*)\\)\\s*(?:WITHOUT\\s+ROWID)?$");
    static const QRegularExpression addColumn =
        ci("^ALTER\\s+TABLE\\s+(\\w+)\\s+ADD\\s+(?:COLUMN\\s+)?(\\w+)\\b");
    static const QRegularExpression dropTable = ci("^DROP\\s+TABLE\\s+(?:IF\\s+EXISTS\\s+)?(\\w+)\\s*$");
    static const QSet<QString> constraintWords = {"PRIMARY", "UNIQUE", "CHECK", "FOREIGN", "CONSTRAINT"};
    if (const auto m = createTable.match(sql); m.hasMatch()) {
        const QString table = m.captured(1);
        if (table.compare(QLatin1String("kvx_names"), Qt::CaseInsensitive) != 0) {
            extra << nameRow(table, QString(), table);
            for (const QString& item : topLevelItems(m.captured(2))) {
                const QString word = item.section(QRegularExpression(QStringLiteral("\\s+")), 0, 0);
                if (!word.isEmpty() && !constraintWords.contains(word.toUpper()) &&
                    QRegularExpression(QStringLiteral("^\\w+$")).match(word).hasMatch())
                    extra << nameRow(table, word, word);
            }
        }
    } else if (const auto a = addColumn.match(sql); a.hasMatch()) {
        extra << nameRow(a.captured(1), a.captured(2), a.captured(2));
    } else if (const auto d = dropTable.match(sql); d.hasMatch()) {
        extra << QStringLiteral("DELETE FROM kvx_names WHERE table_name = '%1'").arg(d.captured(1).toLower());
    }

    // INSERT OR IGNORE / INSERT OR REPLACE / REPLACE INTO: PostgreSQL's ON CONFLICT.
    static const QRegularExpression insertOr =
        ci("^(?:INSERT\\s+OR\\s+(IGNORE|REPLACE)|(REPLACE))\\s+INTO\\s+(\\w+)\\s*(\\(([^)]*)\\))?");
    QString conflict;
    if (const auto m = insertOr.match(sql); m.hasMatch()) {
        const bool replace = !m.captured(2).isEmpty() ||
                             m.captured(1).compare(QLatin1String("REPLACE"), Qt::CaseInsensitive) == 0;
        const QString table = m.captured(3);
        sql = QStringLiteral("INSERT INTO ") + sql.mid(m.capturedStart(3));
        if (!replace) {
            conflict = QStringLiteral(" ON CONFLICT DO NOTHING");
        } else {
            const QStringList key = db_ ? primaryKey(*db_, table) : QStringList();
            if (key.isEmpty() || m.captured(5).isEmpty())
                throw StorageError(QStringLiteral("REPLACE INTO %1 needs a column list and a primary key on "
                                                  "PostgreSQL")
                                       .arg(table)
                                       .toStdString());
            QStringList sets;
            for (const QString& c : m.captured(5).split(QLatin1Char(',')))
                if (!key.contains(c.trimmed(), Qt::CaseInsensitive))
                    sets << QStringLiteral("%1 = EXCLUDED.%1").arg(c.trimmed());
            conflict = sets.isEmpty() ? QStringLiteral(" ON CONFLICT (%1) DO NOTHING").arg(key.join(','))
                                      : QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                                            .arg(key.join(','), sets.join(QLatin1String(", ")));
        }
    }

    sql = mapUnquoted(sql, [](const QString& part) {
        static const QList<QPair<QRegularExpression, QString>> rules = {
            {ci("\\bINTEGER\\s+PRIMARY\\s+KEY\\s+AUTOINCREMENT\\b"),
             "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"},
            {ci("\\bAUTOINCREMENT\\b"), ""},
            {ci("\\bCOLLATE\\s+NOCASE\\b"), ""},
            {ci("\\bWITHOUT\\s+ROWID\\b"), ""},
            {ci("\\bINTEGER\\b"), "BIGINT"}, // SQLite's integers have 64 bits
            {ci("\\bBLOB\\b"), "BYTEA"},
            {ci("\\bDATETIME\\b(?!\\s*\\()"), "TIMESTAMP"},
            {ci("\\bREAL\\b"), "DOUBLE PRECISION"},
            {ci("\\bIFNULL\\s*\\("), "COALESCE("},
        };
        QString out = part;
        for (const auto& [re, with] : rules)
            out.replace(re, with);
        return out;
    });
    // The current date and time, in the texts SQLite's functions give.
    sql.replace(ci("\\bdatetime\\s*\\(\\s*'now'\\s*\\)"),
                QStringLiteral("to_char(LOCALTIMESTAMP, 'YYYY-MM-DD HH24:MI:SS')"));
    sql.replace(ci("\\bdate\\s*\\(\\s*'now'\\s*\\)"), QStringLiteral("to_char(CURRENT_DATE, 'YYYY-MM-DD')"));
    return QStringList{sql + conflict} + extra;
}

QString PostgresDialect::translate(const QString& sql, const QString& dbName) const {
    return clientSql(SqliteDialect().translate(sql, dbName));
}

QString PostgresDialect::clientSql(const QString& sql) {
    // "NAME" as an identifier: unquoted, so that it folds like the schema's names.
    static const QRegularExpression quotedName(QStringLiteral("^\"(\\w+)\"$"));
    QString out, plain;
    auto flush = [&] {
        static const QRegularExpression bracket(QStringLiteral("\\[(\\w+)\\]"));
        static const QRegularExpression like(QStringLiteral("\\bLIKE\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
        plain.replace(bracket, QStringLiteral("\\1"));
        plain.replace(like, QStringLiteral("ILIKE"));
        out += plain;
        plain.clear();
    };
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            flush();
            int j = i + 1;
            for (;;) {
                while (j < sql.size() && sql.at(j) != c)
                    ++j;
                if (j + 1 < sql.size() && sql.at(j + 1) == c) {
                    j += 2;
                    continue;
                }
                break;
            }
            const QString quoted = sql.mid(i, j - i + 1);
            const auto m = quotedName.match(quoted);
            out += c == QLatin1Char('"') && m.hasMatch() ? m.captured(1) : quoted;
            i = j;
        } else {
            plain += c;
        }
    }
    flush();
    return out;
}

QString PostgresDialect::refusedFunction(const QString& sql) {
    static const QStringList prefixes = {
        "pg_",        "lo_",          "dblink",  "query_to_",  "cursor_to_",      "table_to_",
        "schema_to_", "database_to_", "ts_stat", "ts_rewrite", "set_config",      "current_setting",
        "nextval",    "setval",       "currval", "txid_",      "binary_upgrade_", "brin_",
        "gin_clean",  "xmlexists"};
    static const QRegularExpression call(QStringLiteral("(\\w+)\\s*\\(|\"([^\"]+)\"\\s*\\("));
    // Quoted texts are not calls; quoted names are.
    QString masked;
    bool inText = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\'')) inText = !inText;
        masked += inText && c != QLatin1Char('\'') ? QLatin1Char(' ') : c;
    }
    for (auto it = call.globalMatch(masked); it.hasNext();) {
        const auto m = it.next();
        const QString fn = (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).toLower();
        for (const QString& p : prefixes)
            if (fn.startsWith(p)) return fn;
    }
    return {};
}

// ---- cancellation ---------------------------------------------------------------------------------

PgCancelWatch::PgCancelWatch(Storage& s) {
    const std::shared_ptr<QueryStop> stop = s.queryStop();
    PGconn* conn = pq::connectionOf(s.db());
    if (!stop || !conn) return;
    const pq::Api* pq = pq::api();
    PGcancel* cancel = pq->getCancel(conn);
    if (!cancel) return;
    thread_ = std::thread([this, stop, cancel, pq] {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; })) break;
            }
            QString why;
            if (stop->stopping && stop->stopping->load())
                why = QStringLiteral("Query stopped: the server is shutting down");
            else if (stop->cancelled.load())
                why = QStringLiteral("Query stopped: the client has disconnected");
            else if (char c;
                     stop->socketFd >= 0 && ::recv(stop->socketFd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
                stop->cancelled.store(true);
                why = QStringLiteral("Query stopped: the client has disconnected");
            }
            if (!why.isEmpty()) {
                reason_ = why;
                cancelled_.store(true);
                char err[256];
                if (!pq->cancel(cancel, err, sizeof err)) qCWarning(lcPg) << "cancel request failed:" << err;
                break;
            }
        }
        pq->freeCancel(cancel);
    });
}

PgCancelWatch::~PgCancelWatch() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

QString PgCancelWatch::reason() const {
    return cancelled_.load() ? reason_ : QString();
}

// ---- guarded SELECT ------------------------------------------------------------------------------

namespace {

struct PlanCheck {
    QSet<QString> tables, denied;
    bool anyTable = false;
    QString refused;

    void walk(const QJsonObject& node) {
        if (!refused.isEmpty()) return;
        const QString type = node.value(QLatin1String("Node Type")).toString();
        if (type == QLatin1String("ModifyTable") || type == QLatin1String("LockRows")) {
            refused = QStringLiteral("the statement is not read-only");
            return;
        }
        if (node.contains(QLatin1String("Relation Name"))) {
            const QString table = node.value(QLatin1String("Relation Name")).toString().toLower();
            const QString schema = node.value(QLatin1String("Schema")).toString();
            const bool own = schema.isEmpty() || schema == currentSchema;
            if (!own || denied.contains(table) || table == QLatin1String("kvx_names") ||
                !(tables.contains(table) || anyTable)) {
                refused = QStringLiteral("the condition may not read table %1").arg(table.toUpper());
                return;
            }
        }
        if (node.contains(QLatin1String("Function Name"))) {
            const QString fn = node.value(QLatin1String("Function Name")).toString();
            if (!PostgresDialect::refusedFunction(fn + QStringLiteral("()")).isEmpty()) {
                refused = QStringLiteral("the function %1 is not allowed").arg(fn);
                return;
            }
        }
        for (const QJsonValue& child : node.value(QLatin1String("Plans")).toArray())
            walk(child.toObject());
    }
    QString currentSchema;
};

// Bind values written into the text as literals, so that the plan checked is the plan run.
QString inlineBinds(QSqlDatabase& db, const QString& sql, const QVariantList& binds) {
    QString out;
    int next = 0;
    bool inText = false, inName = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\'') && !inName) inText = !inText;
        if (c == QLatin1Char('"') && !inText) inName = !inName;
        if (c == QLatin1Char('?') && !inText && !inName) {
            if (next >= binds.size()) throw GuardError("Condition refused: a parameter has no value");
            const QVariant v = binds.at(next++);
            QSqlField f(QString(), v.isValid() ? v.metaType() : QMetaType(QMetaType::QString));
            f.setValue(v);
            out += db.driver()->formatValue(f);
        } else {
            out += c;
        }
    }
    return out;
}

bool failedOnTimeout(const QSqlError& e) {
    return e.nativeErrorCode() == QLatin1String("57014");
}

} // namespace

void execGuardedSelectPg(QSqlQuery& q, Storage& s, const QString& input, const QStringList& readableTables,
                         const QVariantList& binds, bool execute) {
    if (const QString fn = PostgresDialect::refusedFunction(input); !fn.isEmpty())
        throw GuardError(
            QStringLiteral("Condition refused: the function %1 is not allowed").arg(fn).toStdString());
    QSqlDatabase& db = s.db();
    const QString sql = inlineBinds(db, PostgresDialect::clientSql(input), binds);
    PlanCheck check;
    for (const QString& t : readableTables)
        if (t.startsWith(QLatin1Char('!')))
            check.denied.insert(t.mid(1).toLower());
        else
            check.tables.insert(t.toLower());
    check.anyTable = check.tables.contains(QStringLiteral("*"));

    // A read-only transaction of its own; inside an open write transaction, a savepoint (the plan check
    // then stands for read-only).
    const bool nested = s.inTransaction();
    // One round trip: the transaction (or savepoint) and its time limit.
    s.execDirect(QStringLiteral("%1; SET LOCAL statement_timeout = %2")
                     .arg(nested ? QStringLiteral("SAVEPOINT kvx_guard") : QStringLiteral("BEGIN READ ONLY"))
                     .arg(s.remainingMs()));
    bool open = true;
    auto end = [&](bool ok) {
        if (!open) return;
        open = false;
        QSqlQuery e(db);
        const QString sql = nested ? (ok ? QStringLiteral("RELEASE SAVEPOINT kvx_guard")
                                         : QStringLiteral("ROLLBACK TO SAVEPOINT kvx_guard"))
                                   : (ok ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
        // The result is read already; a failure here leaves nothing behind but is worth a line.
        if (!e.exec(sql)) qCWarning(lcPg) << sql << "failed:" << e.lastError().text();
    };
    try {
        check.currentSchema = static_cast<const PostgresDialect&>(s.dialect()).schema();
        QSqlQuery plan(db);
        if (!plan.exec(QStringLiteral("EXPLAIN (VERBOSE, FORMAT JSON) ") + sql)) {
            if (failedOnTimeout(plan.lastError())) s.noteStopped({});
            if (!s.stopReason().isEmpty()) throw GuardError(s.stopReason().toStdString());
            throw GuardError(
                QStringLiteral("Condition refused: %1").arg(plan.lastError().databaseText()).toStdString());
        }
        QString json;
        while (plan.next())
            json += plan.value(0).toString();
        const QJsonArray top = QJsonDocument::fromJson(json.toUtf8()).array();
        if (top.isEmpty()) throw GuardError("Condition refused: the statement has no plan");
        check.walk(top.at(0).toObject().value(QLatin1String("Plan")).toObject());
        if (!check.refused.isEmpty())
            throw GuardError(QStringLiteral("Condition refused: %1").arg(check.refused).toStdString());
        if (execute) {
            // The whole result is read before the transaction ends; later fetches come from memory.
            q.setForwardOnly(false);
            bool ok;
            QString cancelled;
            {
                PgCancelWatch watch(s);
                ok = q.exec(sql);
                cancelled = watch.reason();
            }
            if (!ok) {
                if (!cancelled.isEmpty())
                    s.noteStopped(cancelled);
                else if (failedOnTimeout(q.lastError()))
                    s.noteStopped({});
                if (!s.stopReason().isEmpty()) throw GuardError(s.stopReason().toStdString());
                throw GuardError(
                    QStringLiteral("Query failed: %1").arg(q.lastError().databaseText()).toStdString());
            }
        }
        if (nested) s.execDirect(QStringLiteral("SET LOCAL statement_timeout = 0"));
        end(true);
    } catch (...) {
        end(false);
        throw;
    }
}

} // namespace kvxsrv
