#include "TableFunctions.h"

#include "CounterSql.h"
#include "platform/Dispatch.h"

#include "ServerArgs.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kvxsrv {

using kvx::Variant;
using kvx::VariantList;

namespace {
void need(const VariantList& p, int n, const char* what) {
    if (p.size() < n)
        refuse(
            QStringLiteral("%1 needs %2 parameter(s), got %3").arg(QLatin1String(what)).arg(n).arg(p.size()));
}

bool identifier(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,29}$"));
    return re.match(s).hasMatch();
}
} // namespace

VariantList paramList(const Variant& params) {
    if (params.isArray() && params.dimCount() == 1) return params.toList();
    if (params.isUnassigned()) return {};
    return {params};
}

Variant TableFunctions::rows(const QString& sql, const QVariantList& binds) {
    QSqlQuery q(s_.db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec()) refuse(QStringLiteral("query failed: %1").arg(sql));
    VariantList out;
    const int n = q.record().count();
    while (q.next()) {
        VariantList row;
        for (int i = 0; i < n; ++i)
            row << fromDb(q.value(i));
        out << Variant::fromList(row);
    }
    return out.isEmpty() ? Variant() : Variant::fromList(out);
}

bool TableFunctions::run(const QString& table, const QString& key, const Variant& params, Variant& result) {
    const QString t = table.trimmed().toUpper(), k = key.trimmed();
    const VariantList p = paramList(params);
    if (t == QLatin1String("ADMMB") && k == QLatin1String("06"))
        result = programInfo(p);
    else if (t == QLatin1String("DOCUS") && k == QLatin1String("01"))
        result = savedScheme(p);
    else if (t == QLatin1String("NUMFD") && k == QLatin1String("01"))
        result = numberWidths(p);
    else if (t == QLatin1String("INVMB") && k == QLatin1String("12"))
        result = document(QStringLiteral("INVMB"), p);
    else if (t == QLatin1String("CMSMV") && k == QLatin1String("07"))
        result = document(QString(), p);
    else if (t == QLatin1String("ADMMD") && k == QLatin1String("03"))
        result = udfLabels(p);
    else if (t == QLatin1String("F2LINK") && k == QLatin1String("01"))
        result = lookupLink(p);
    else
        refuse(QStringLiteral("Unknown table function %1 \"%2\"").arg(table, key));
    return !result.isEmptyOrNull();
}

// [program code, database] → [name, print id, system, table, keys, library, max records, unrestricted,
// traditional name, English name]
Variant TableFunctions::programInfo(const VariantList& p) {
    need(p, 1, "ADMMB 06");
    const Variant r =
        rows(QStringLiteral("SELECT MB002, MB003, MB004, MB005, MB006, MB017, MB014, MB015, MB011, MB012 "
                            "FROM ADMMB WHERE MB001 = ?"),
             {text(p, 0).toUpper()});
    return r.isArray() ? r.at(0) : Variant();
}

// [scheme name, user, program] → [name, user, program, date] when the user has a scheme of that name
Variant TableFunctions::savedScheme(const VariantList& p) {
    need(p, 3, "DOCUS 01");
    const Variant r = rows(QStringLiteral("SELECT NCONDITION, CREATOR, PROGRAMME, CREATE_DATE FROM DOCUS "
                                          "WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"),
                           {text(p, 0), text(p, 1), text(p, 2).toUpper()});
    return r.isArray() ? r.at(0) : Variant();
}

// [table] → rows [column, precision, scale]
Variant TableFunctions::numberWidths(const VariantList& p) {
    need(p, 1, "NUMFD 01");
    return rows(QStringLiteral("SELECT FD002, FD003, FD004 FROM NUMFD WHERE FD001 = ? ORDER BY FD002"),
                {text(p, 0).toUpper()});
}

// INVMB 12: [item number] → [document id, version] of the item's document.
// CMSMV 07: [document id] → [document id, version] of that document.
Variant TableFunctions::document(const QString& kind, const VariantList& p) {
    need(p, 1, kind.isEmpty() ? "CMSMV 07" : "INVMB 12");
    const Variant r =
        kind.isEmpty() ? rows(QStringLiteral("SELECT DC001, DC002 FROM KVXDOC WHERE DC001 = ?"), {text(p, 0)})
                       : rows(QStringLiteral("SELECT DC001, DC002 FROM KVXDOC WHERE DC005 = ? AND DC006 = ? "
                                             "ORDER BY DC001"),
                              {kind, text(p, 0)});
    return r.isArray() ? r.at(0) : Variant();
}

// [table] → rows [field, label, English label]
Variant TableFunctions::udfLabels(const VariantList& p) {
    need(p, 1, "ADMMD 03");
    return rows(QStringLiteral("SELECT MD002, MD003, MD005 FROM ADMMD WHERE MD001 = ? ORDER BY MD002"),
                {text(p, 0).toUpper()});
}

// ["1", lookup code, selector] → [lookup code, selector] when the lookup is defined
Variant TableFunctions::lookupLink(const VariantList& p) {
    need(p, 3, "F2LINK 01");
    const Variant r =
        rows(QStringLiteral("SELECT LK002, LK003 FROM F2LINK WHERE LK001 = ? AND LK002 = ? AND LK003 = ?"),
             {text(p, 0), text(p, 1).toUpper(), text(p, 2)});
    return r.isArray() ? r.at(0) : Variant();
}

bool TableFunctions::queryMaxSeq(const QString& table, const QString& fieldList, const Variant& values,
                                 const QString& prefix, QString& number) {
    const QString t = table.trimmed().toUpper();
    QStringList fields;
    for (const QString& f : fieldList.split(QLatin1Char(','), Qt::SkipEmptyParts))
        fields << f.trimmed();
    if (!identifier(t) || fields.isEmpty())
        refuse(QStringLiteral("QueryMaxSeq: a table and a field list are required"));
    if (!s_.dialect().tableExists(s_.db(), t)) refuse(QStringLiteral("QueryMaxSeq: unknown table %1").arg(t));
    QSet<QString> columns;
    for (const SqlDialect::Column& c : s_.dialect().columns(s_.db(), t))
        columns.insert(c.name.toUpper());
    for (const QString& f : fields)
        if (!identifier(f) || !columns.contains(f.toUpper()))
            refuse(QStringLiteral("QueryMaxSeq: %1 has no field %2").arg(t, f));
    const VariantList v = paramList(values);
    const QString numbered = fields.last();
    QStringList where{QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(numbered)};
    QString escaped = prefix;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    QVariantList binds{escaped + QLatin1Char('%')};
    for (int i = 0; i + 1 < fields.size(); ++i) {
        where << QStringLiteral("%1 = ?").arg(fields[i]);
        binds << (i < v.size() ? v[i].toString() : QString());
    }
    QSqlQuery q(s_.db());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(numbered, t, where.join(QStringLiteral(" AND "))));
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec()) refuse(QStringLiteral("QueryMaxSeq: the query failed"));
    qint64 highest = 0;
    int width = 4;
    while (q.next()) {
        const QString rest = q.value(0).toString().trimmed().mid(prefix.size());
        bool ok = false;
        const qint64 n = rest.toLongLong(&ok);
        if (!ok || n < 0) continue;
        if (n >= highest) {
            highest = n;
            width = int(rest.size());
        }
    }
    number = prefix + QStringLiteral("%1").arg(highest + 1, width, 10, QLatin1Char('0'));
    return true;
}

} // namespace kvxsrv
