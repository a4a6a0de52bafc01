#include "SqlGuard.h"

#include "PgDialect.h"

#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <sqlite3.h>

namespace kvxsrv {

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Words that only begin statements of their own; inside one SELECT they have no place.
const QSet<QString>& statementWords() {
    static const QSet<QString> words = {"INSERT", "UPDATE", "DELETE",   "CREATE",    "DROP",    "ALTER",
                                        "ATTACH", "DETACH", "PRAGMA",   "VACUUM",    "REINDEX", "ANALYZE",
                                        "BEGIN",  "COMMIT", "ROLLBACK", "SAVEPOINT", "RELEASE", "TRUNCATE",
                                        "GRANT",  "EXEC",   "EXECUTE"};
    return words;
}

struct AuthContext {
    QSet<QString> tables; // lower case; "*" for every table of the main database
    QSet<QString> denied; // lower case; never read, even with "*"
    bool anyTable = false;
    QString refused;
};

int authorize(void* user, int action, const char* a1, const char* a2, const char* dbName, const char*) {
    auto* ctx = static_cast<AuthContext*>(user);
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_READ: {
        const QString table = QString::fromUtf8(a1).toLower();
        // COUNT(*) reads a table without naming its database.
        const bool mainDb = !dbName || qstrcmp(dbName, "main") == 0;
        if (mainDb && !ctx->denied.contains(table) &&
            (ctx->tables.contains(table) || (ctx->anyTable && !table.startsWith(QLatin1String("sqlite_")))))
            return SQLITE_OK;
        if (ctx->refused.isEmpty())
            ctx->refused = QStringLiteral("the condition may not read table %1").arg(QString::fromUtf8(a1));
        return SQLITE_DENY;
    }
    case SQLITE_FUNCTION: {
        const QString fn = QString::fromUtf8(a2).toLower();
        static const QSet<QString> refusedFns = {"load_extension", "readfile",       "writefile",
                                                 "edit",           "fts3_tokenizer", "sqlite_offset"};
        if (!refusedFns.contains(fn)) return SQLITE_OK;
        if (ctx->refused.isEmpty()) ctx->refused = QStringLiteral("the function %1 is not allowed").arg(fn);
        return SQLITE_DENY;
    }
    default:
        if (ctx->refused.isEmpty())
            ctx->refused = QStringLiteral("only reading is allowed (operation %1 refused)").arg(action);
        return SQLITE_DENY;
    }
}

sqlite3* sqliteHandle(QSqlDatabase& db) {
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0) return *static_cast<sqlite3* const*>(v.data());
    return nullptr;
}

sqlite3_stmt* statementHandle(const QSqlQuery& q) {
    const QVariant v = q.result() ? q.result()->handle() : QVariant();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3_stmt*") == 0)
        return *static_cast<sqlite3_stmt* const*>(v.data());
    return nullptr;
}

struct AuthorizerScope {
    sqlite3* h;
    AuthorizerScope(sqlite3* handle, AuthContext* ctx) : h(handle) {
        sqlite3_set_authorizer(h, authorize, ctx);
    }
    ~AuthorizerScope() { sqlite3_set_authorizer(h, nullptr, nullptr); }
};

} // namespace

QString checkClauseText(const QString& text) {
    int depth = 0;
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QChar(0)) return QStringLiteral("the text contains a NUL character");
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') ||
            c == QLatin1Char('[')) {
            // Quoted literal or identifier; a doubled quote stands for itself.
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            int j = i + 1;
            for (;;) {
                if (j >= n) return QStringLiteral("a quoted text is not closed");
                if (text.at(j) == close) {
                    if (close != QLatin1Char(']') && j + 1 < n && text.at(j + 1) == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j;
            continue;
        }
        if (c == QLatin1Char(';')) return QStringLiteral("a second statement (\";\") is not allowed");
        if ((c == QLatin1Char('-') && i + 1 < n && text.at(i + 1) == QLatin1Char('-')) ||
            (c == QLatin1Char('/') && i + 1 < n && text.at(i + 1) == QLatin1Char('*')))
            return QStringLiteral("comments are not allowed");
        if (c == QLatin1Char('(')) ++depth;
        if (c == QLatin1Char(')') && --depth < 0) return QStringLiteral("a \")\" has no matching \"(\"");
        if (isWordChar(c) && (i == 0 || !isWordChar(text.at(i - 1)))) {
            int j = i;
            while (j < n && isWordChar(text.at(j)))
                ++j;
            const QString word = text.mid(i, j - i).toUpper();
            if (statementWords().contains(word))
                return QStringLiteral("the keyword %1 is not allowed").arg(word);
            i = j - 1;
        }
    }
    if (depth != 0) return QStringLiteral("a \"(\" is not closed");
    return {};
}

namespace {
AuthContext readContext(const QStringList& readableTables) {
    AuthContext ctx;
    for (const QString& t : readableTables)
        if (t.startsWith(QLatin1Char('!')))
            ctx.denied.insert(t.mid(1).toLower());
        else
            ctx.tables.insert(t.toLower());
    ctx.anyTable = ctx.tables.contains(QStringLiteral("*"));
    return ctx;
}
} // namespace

void execPreparedGuardedSelect(QSqlQuery& q, QSqlDatabase& db, const QStringList& readableTables,
                               const QVariantList& binds) {
    sqlite3* h = sqliteHandle(db);
    if (!h) throw GuardError("the database driver gives no statement control");
    AuthContext ctx = readContext(readableTables);
    for (const QVariant& b : binds)
        q.addBindValue(b);
    AuthorizerScope scope(h, &ctx); // a re-prepare during execution stays under the same rules
    if (!q.exec())
        throw GuardError(QStringLiteral("Query failed: %1").arg(q.lastError().databaseText()).toStdString());
}

void execGuardedSelect(QSqlQuery& q, QSqlDatabase& db, const QString& sql, const QStringList& readableTables,
                       const QVariantList& binds, bool execute) {
    sqlite3* h = sqliteHandle(db);
    if (!h) throw GuardError("the database driver gives no statement control");
    AuthContext ctx = readContext(readableTables);
    {
        AuthorizerScope scope(h, &ctx);
        if (!q.prepare(sql)) {
            const QString why = ctx.refused.isEmpty() ? q.lastError().databaseText() : ctx.refused;
            throw GuardError(QStringLiteral("Condition refused: %1").arg(why).toStdString());
        }
    }
    sqlite3_stmt* st = statementHandle(q);
    if (!st || !sqlite3_stmt_readonly(st))
        throw GuardError("Condition refused: the statement is not read-only");
    if (!execute) return;
    execPreparedGuardedSelect(q, db, readableTables, binds);
}

void execGuardedSelect(QSqlQuery& q, Storage& s, const QString& sql, const QStringList& readableTables,
                       const QVariantList& binds, bool execute) {
    if (s.dialect().isPostgres())
        execGuardedSelectPg(q, s, sql, readableTables, binds, execute);
    else
        execGuardedSelect(q, s.db(), sql, readableTables, binds, execute);
}

} // namespace kvxsrv
