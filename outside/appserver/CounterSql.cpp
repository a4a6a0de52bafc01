#include "CounterSql.h"

#include "SqlGuard.h"
#include "platform/Dispatch.h"

#include "ServerArgs.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kvxsrv {

using kvx::Variant;
using kvx::VariantList;

namespace {
// Removes "$$" outside quoted texts and identifiers.
QString dropPrefix(const QString& sql) {
    QString out;
    out.reserve(sql.size());
    QChar quote;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('$') && i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char('$')) {
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

// The one statement shape TransactionSQL accepts: the attachment clean-up after a delete.
const QRegularExpression& attachDelete() {
    static const QRegularExpression re(
        QStringLiteral(
            "^\\s*DELETE\\s+FROM\\s+ATTACH\\s+WHERE\\s+Parent\\s*=\\s*'((?:[^']|'')*)'\\s+AND\\s+"
            "CompanyID\\s*=\\s*'((?:[^']|'')*)'\\s+AND\\s+KeyValues\\s*=\\s*'((?:[^']|'')*)'\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString unquote(QString s) {
    return s.replace(QStringLiteral("''"), QStringLiteral("'"));
}
} // namespace

Variant fromDb(const QVariant& v) {
    if (v.isNull()) return Variant::null();
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return Variant(v.toLongLong());
    case QMetaType::Double:
        return Variant(v.toDouble());
    case QMetaType::Bool:
        return Variant(v.toBool());
    default:
        return Variant(v.toString());
    }
}

QString CounterSql::translate(const QString& sql, const SqlDialect& dialect) {
    QString text = dropPrefix(sql);
    static const QRegularExpression top(QStringLiteral("^(\\s*select\\s+(?:distinct\\s+)?)top\\s+(\\d+)\\s+"),
                                        QRegularExpression::CaseInsensitiveOption);
    // Engines of SQL type 0 understand "top N" themselves.
    const QRegularExpressionMatch m = top.match(text);
    if (m.hasMatch() && dialect.sqlType() != 0)
        text = (m.captured(1) + text.mid(m.capturedEnd(0))).trimmed() +
               dialect.limitClause(m.captured(2).toInt());
    return text;
}

QStringList CounterSql::allTables() {
    QStringList tables;
    // Never the users (password hashes), nor other users' settings, phrases and saved schemes.
    static const QStringList privateTables = {"KVXMA", "USRDEF", "KVXPH", "DOCUS", "schema_version"};
    for (const QString& t : s_.tableNames())
        if (!privateTables.contains(t, Qt::CaseInsensitive)) tables << t;
    return tables;
}

Variant CounterSql::simpleSql(const Variant& params) {
    if (!params.isArray() || params.dimCount() != 1)
        refuse(
            QStringLiteral("SimpleSQL: the parameters must be an array [statement, fields, database, flag]"));
    const VariantList p = params.toList();
    const QString sql = p.value(0).isString() ? p[0].toString() : QString();
    if (sql.trimmed().isEmpty()) refuse(QStringLiteral("SimpleSQL: the statement is empty"));
    const QString text = translate(sql, s_.dialect());
    if (!text.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive))
        refuse(QStringLiteral("SimpleSQL: only a SELECT statement may be run"));
    const QString why = checkClauseText(text);
    if (!why.isEmpty()) refuse(QStringLiteral("SimpleSQL: statement refused: %1").arg(why));

    QSqlQuery q(s_.db());
    q.setForwardOnly(true);
    try {
        Storage::TimeLimit limit(s_);
        execGuardedSelect(q, s_, text, allTables());
    } catch (const GuardError& e) {
        if (!s_.stopReason().isEmpty()) refuse(QStringLiteral("SimpleSQL: %1").arg(s_.stopReason()));
        refuse(QStringLiteral("SimpleSQL: %1").arg(QString::fromUtf8(e.what())));
    }
    const QSqlRecord rec = q.record();
    QList<int> columns;
    const QString fieldList = p.value(1).isUnassigned() || p.value(1).isNull() ? QString() : p[1].toString();
    for (const QString& f : fieldList.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int i = rec.indexOf(f.trimmed());
        if (i < 0) refuse(QStringLiteral("SimpleSQL: the field %1 is not in the result").arg(f.trimmed()));
        columns << i;
    }
    if (columns.isEmpty())
        for (int i = 0; i < rec.count(); ++i)
            columns << i;
    VariantList rows;
    while (q.next()) {
        VariantList row;
        for (int i : columns)
            row << fromDb(q.value(i));
        rows << Variant::fromList(row);
    }
    return rows.isEmpty() ? Variant() : Variant::fromList(rows);
}

Variant CounterSql::transactionSql(const Variant& params) {
    VariantList statements;
    if (params.isString())
        statements << params;
    else if (params.isArray() && params.dimCount() == 1 && params.highBound() >= params.lowBound()) {
        const Variant first = params.at(params.lowBound());
        statements = first.isArray() ? first.toList() : VariantList{first};
    }
    if (statements.isEmpty())
        refuse(
            QStringLiteral("TransactionSQL: the parameters must be a statement or an array of statements"));

    struct Bound {
        QString sql;
        QVariantList binds;
    };
    QList<Bound> work;
    for (int i = 0; i < statements.size(); ++i) {
        const QString text = statements[i].isString() ? statements[i].toString() : QString();
        const QRegularExpressionMatch m = attachDelete().match(dropPrefix(text));
        if (!m.hasMatch())
            refuse(QStringLiteral("TransactionSQL: statement %1 is not one the server runs: %2")
                       .arg(i + 1)
                       .arg(text.simplified().left(120)));
        work.append(
            {QStringLiteral("DELETE FROM ATTACH WHERE Parent = ? AND CompanyID = ? AND KeyValues = ?"),
             {unquote(m.captured(1)), unquote(m.captured(2)), unquote(m.captured(3))}});
    }
    Storage::Transaction tx(s_);
    for (const Bound& b : work)
        s_.exec(b.sql, b.binds);
    tx.commit();
    return QString();
}

} // namespace kvxsrv
