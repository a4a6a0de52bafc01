#include "QBECondition.h"

#include "server/LibStrs.h"

#include "controls/KvDBComboBox.h"

#include <QRegularExpression>
#include <charconv>
#include <cmath>

namespace kvx::qbe {

TypeClass typeClassOf(FieldType type) {
    switch (type) {
    case FieldType::String:
    case FieldType::FixedChar:
    case FieldType::WideString:
        return TypeClass::Text;
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD:
    case FieldType::Bytes:
    case FieldType::VarBytes:
    case FieldType::LargeInt:
        return TypeClass::Number;
    default:
        return TypeClass::Unsupported;
    }
}

bool isAdvancedNumber(FieldType type) {
    switch (type) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::Float:
    case FieldType::Bytes:
        return true;
    default:
        return false;
    }
}

QString quoted(const QString& value) {
    return QuotedSql(value);
}

bool isNumber(const QString& text) {
    static const QRegularExpression re(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    return re.match(text.trimmed()).hasMatch();
}

QString shortestNumber(const QString& text) {
    if (!isNumber(text)) return {};
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return {};
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v == 0 ? 0.0 : v);
    return QString::fromLatin1(buf, int(res.ptr - buf));
}

namespace {
bool splitInts(const QString& text, const QString& separator, int count, QList<int>& out) {
    if (separator.isEmpty()) return false;
    const QStringList parts = text.trimmed().split(separator);
    if (parts.size() != count) return false;
    for (const QString& p : parts) {
        bool ok = false;
        const int n = p.trimmed().toInt(&ok);
        if (!ok) return false;
        out << n;
    }
    return true;
}
} // namespace

QString dateToStored(const QString& text, int formatCode, const QString& separator) {
    QList<int> n;
    if (!splitInts(text, separator, 3, n)) return {};
    int y, m, d;
    switch (formatCode) {
    case 1:
        y = n[0], m = n[1], d = n[2];
        break;
    case 2:
        y = n[2], m = n[0], d = n[1];
        break;
    case 3:
        y = n[2], m = n[1], d = n[0];
        break;
    case 4:
    case 5:
        y = n[0] + 1911, m = n[1], d = n[2];
        break;
    default:
        return {};
    }
    return QString::asprintf("%d%.2d%.2d", y, m, d);
}

QString yearMonthToStored(const QString& text, int style, const QString& separator) {
    QList<int> n;
    if (!splitInts(text, separator, 2, n)) return {};
    const bool monthFirst = style == 2 || style == 3;
    int year = monthFirst ? n[1] : n[0];
    const int month = monthFirst ? n[0] : n[1];
    if (year <= 0 || month <= 0) return {};
    if (style == 4 || style == 5) year += 1911;
    return QStringLiteral("%1%2").arg(year, 4, 10, QLatin1Char('0')).arg(month, 2, 10, QLatin1Char('0'));
}

bool validYearMonth(const QString& stored) {
    if (stored.size() <= 5) return false;
    bool ok = false;
    const int m = stored.mid(4, 2).toInt(&ok);
    return ok && m >= 1 && m <= 12;
}

QStringList defaultOperators() {
    return {QStringLiteral("等于\t="),        QStringLiteral("大于或等于\t>="),
            QStringLiteral("小于或等于\t<="), QStringLiteral("大于\t>"),
            QStringLiteral("小于\t<"),        QStringLiteral("不等于\t<>"),
            QStringLiteral("起始于\tLLIKE"),  QStringLiteral("终止于\tRLIKE"),
            QStringLiteral("包含\tILIKE"),    QStringLiteral("存在于\tIN")};
}

QString operatorValue(const QStringList& operators, const QString& display) {
    for (const QString& line : operators)
        if (MappedItems::displayPart(line) == display) return MappedItems::valuePart(line);
    return display;
}

namespace {
QString connectorOf(const QString& connector) {
    return connector.trimmed().compare(QLatin1String("OR"), Qt::CaseInsensitive) == 0 ? QStringLiteral("OR")
                                                                                      : QStringLiteral("AND");
}

QString likePattern(const QString& op, const QString& value) {
    if (op == QLatin1String("llike")) return quoted(value + u'%');
    if (op == QLatin1String("rlike")) return quoted(u'%' + value);
    return quoted(u'%' + value + u'%');
}
} // namespace

QString rowCondition(const RowField& field, const QString& operatorValue, const QString& value,
                     const QString& connector, int dateFormat, const QString& dateSeparator) {
    QString op = operatorValue.trimmed();
    QString v = value;
    if (op.isEmpty() || v.trimmed().isEmpty() || field.typeClass == TypeClass::Unsupported) return {};
    const QString lop = op.toLower();
    const bool isIn = lop == QLatin1String("in");
    if (!isIn) v = MappedItems::valueOf(field.pickList, v);
    if (field.dateMask)
        v = dateToStored(v, dateFormat, dateSeparator);
    else if (field.yearMonthMask)
        v = yearMonthToStored(v, dateFormat, dateSeparator);
    if (v.trimmed().isEmpty()) return {};

    const bool like =
        lop == QLatin1String("llike") || lop == QLatin1String("rlike") || lop == QLatin1String("ilike");
    if (field.typeClass == TypeClass::Number && !isIn) {
        v = shortestNumber(v);
        if (v.isEmpty()) return {};
    }
    if (like) {
        op = QStringLiteral("like");
        v = likePattern(lop, v);
    } else if (!isIn && field.typeClass == TypeClass::Text) {
        v = quoted(v);
    }

    QString result;
    if (isIn) {
        QStringList elements;
        for (const QString& raw : v.split(u',')) {
            const QString e = raw.trimmed();
            if (field.typeClass == TypeClass::Number) {
                // Anything but a number would go into the statement as it stands.
                if (!isNumber(e)) return {};
                elements << e;
            } else {
                elements << quoted(field.pickList.isEmpty() ? e : MappedItems::valueOf(field.pickList, e));
            }
        }
        result = QStringLiteral("%1 %2 (%3)").arg(field.expression, op, elements.join(u','));
    } else {
        result = QStringLiteral("%1 %2 %3").arg(field.expression, op, v);
    }
    return result.trimmed() + u' ' + connectorOf(connector);
}

QString gridCondition(const QStringList& rowConditions) {
    QString text;
    for (const QString& row : rowConditions) {
        if (row.isEmpty()) continue;
        text += QStringLiteral(" (") + row.left(row.size() - 3) + QStringLiteral(") ") + row.right(3);
    }
    text.chop(3);
    return text;
}

QStringList normalisedSelectColumns(const QString& selectColumns) {
    QStringList out;
    if (selectColumns.trimmed().isEmpty()) return out;
    for (const QString& raw : selectColumns.split(u',')) {
        const QString item = raw.trimmed();
        const int eq = item.indexOf(u'=');
        if (eq >= 0 && !item.left(eq).trimmed().contains(u' '))
            out << item.mid(eq + 1).trimmed() + u' ' + item.left(eq).trimmed();
        else if (eq < 0 && !item.contains(u' '))
            out << u' ' + item;
        else
            out << item;
    }
    return out;
}

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.';
}

// Position of " field" closing a word inside the item, or -1.
int aliasPosition(const QString& item, const QString& fieldName) {
    const QString needle = u' ' + fieldName;
    for (int from = 0;;) {
        const int at = item.indexOf(needle, from, Qt::CaseInsensitive);
        if (at < 0) return -1;
        const int end = at + needle.size();
        if (end >= item.size() || !isWordChar(item.at(end))) return at;
        from = at + 1;
    }
}

QString qualified(const QString& tableName, const QString& fieldName) {
    return tableName.isEmpty() ? fieldName : tableName + u'.' + fieldName;
}

// The expression naming a computed field, or a null string when no item names it.
QString selectExpression(const QString& fieldName, const QString& tableName, const QString& selectColumns) {
    for (const QString& item : normalisedSelectColumns(selectColumns)) {
        const int at = aliasPosition(item, fieldName);
        if (at < 0) continue;
        const QString expr = item.left(at).trimmed();
        // A bare column names the table's own column.
        return expr.isEmpty() ? qualified(tableName, fieldName) : expr;
    }
    return QString();
}
} // namespace

QString advancedName(const QString& fieldName, const QString& tableName, const QString& selectColumns) {
    if (selectColumns.trimmed().isEmpty()) return {};
    const QString expr = selectExpression(fieldName, tableName, selectColumns);
    return expr.isNull() ? fieldName : expr;
}

QString catalogueExpression(const QString& fieldName, const QString& tableName,
                            const QString& selectColumns) {
    if (selectColumns.trimmed().isEmpty()) return {};
    const QString expr = selectExpression(fieldName, tableName, selectColumns);
    return expr.isNull() ? qualified(tableName, fieldName) : expr;
}

bool isSelectExpression(const QString& name, const QString& selectColumns) {
    if (name.isEmpty()) return false;
    const int at = selectColumns.indexOf(name, 0, Qt::CaseInsensitive);
    if (at < 0) return false;
    auto boundary = [](QChar c) { return c == u'\n' || c == u'\r' || c == u' ' || c == u','; };
    const int end = at + name.size();
    return (at == 0 || boundary(selectColumns.at(at - 1))) &&
           (end >= selectColumns.size() || boundary(selectColumns.at(end)));
}

bool countsAsExpression(const QString& name, const QString& selectColumns) {
    // A bare column name in the select list is still the table's own column.
    static const QRegularExpression bare(QStringLiteral(R"(^[A-Za-z_][A-Za-z0-9_]*$)"));
    return isSelectExpression(name, selectColumns) && !bare.match(name).hasMatch();
}

bool endsInColumnNumber(const QString& fieldName) {
    bool ok = false;
    const int n = fieldName.right(2).toInt(&ok);
    return fieldName.size() >= 2 && ok && n >= 1 && fieldName.right(2).at(0).isDigit();
}

bool isAuditField(const QString& fieldName) {
    static const QStringList audit = {"COMPANY",  "CREATOR",   "USR_GROUP", "CREATE_DATE",
                                      "MODIFIER", "MODI_DATE", "FLAG"};
    return audit.contains(fieldName.toUpper());
}

QString advancedCondition(const AdvancedTerm& t) {
    static const char* const ops[] = {"=", ">=", "<=", ">", "<", "<>", "like", "like", "like"};
    const int index = qBound(0, t.operatorIndex, 8);
    const QString op = QLatin1String(ops[index]);
    QString v = t.value;
    if (index == 6)
        v = v + u'%';
    else if (index == 7)
        v = u'%' + v;
    else if (index == 8)
        v = u'%' + v + u'%';
    const bool expr = countsAsExpression(t.name, t.selectColumns);
    const QString column = qualified(t.tableName, t.fieldName);
    if (t.number) {
        if (!isNumber(t.value)) return {};
        // A pattern is text even on a number column.
        const QString operand = index >= 6 ? quoted(v) : v.trimmed();
        return QStringLiteral("(%1 %2 %3)").arg(expr ? t.name : column, op, operand);
    }
    const QString q = quoted(v);
    if (expr) return QStringLiteral("(%1 %2 %3)").arg(t.name, op, q);
    const QString upper = t.fieldName.toUpper();
    if ((upper == QLatin1String("CREATE_DATE") || upper == QLatin1String("MODI_DATE")) && t.sqlType == 0)
        return QStringLiteral("(SUBSTRING(%1 ,1,8 ) %2 %3)").arg(column, op, q);
    return QStringLiteral("(%1 %2 %3)").arg(column, op, q);
}

QString appendAdvancedLine(const QString& memo, const QString& condition, const QString& connector) {
    if (condition.isEmpty()) return memo;
    if (memo.isEmpty()) return condition;
    QString text = memo;
    if (!text.endsWith(u'\n')) text += u'\n';
    return text + QStringLiteral("  ") + connector + u' ' + condition;
}

QString sortText(const QStringList& items, const QList<bool>& descending, const QString& tableName,
                 const QString& selectColumns) {
    QString text;
    for (int i = 0; i < items.size(); ++i) {
        QString name = items[i].section(u'\t', 1);
        if (!countsAsExpression(name, selectColumns) && !name.contains(u'.'))
            name = qualified(tableName, name);
        text += name + (descending.value(i) ? QStringLiteral(" desc,") : QStringLiteral(" asc,"));
    }
    text.chop(1);
    return text;
}

QString combinedCondition(const QString& masterText, const QString& detailText, const DetailFilter& f) {
    const QString master = masterText.trimmed();
    const QString detail = detailText.trimmed();
    if (detail.isEmpty()) return master;
    const QStringList masterKeys = f.masterKeys.split(u',', Qt::SkipEmptyParts);
    const QStringList detailKeys = f.detailKeys.split(u',');
    QString pieces;
    for (int i = 0; i < masterKeys.size(); ++i) {
        pieces += QStringLiteral(" (%1%2=%3%4)")
                      .arg(qualified(f.masterTable, masterKeys[i].trimmed()), QString(),
                           qualified(f.detailTable, detailKeys.value(i).trimmed()), QString()) +
                  QStringLiteral(" and ");
    }
    const QString source =
        f.databaseName.isEmpty() ? f.detailTable : f.databaseName + QStringLiteral("..") + f.detailTable;
    const QString sub = QStringLiteral(" select count(*) FROM ") + source + u' ' + f.detailTable +
                        f.extraClause + QStringLiteral(" where ") + pieces + QStringLiteral(" ( ") + detail +
                        QStringLiteral(" ) ");
    QString out;
    if (!master.isEmpty()) out = u'(' + master + QStringLiteral(")") + QStringLiteral(" and ");
    return out + QStringLiteral(" (") + sub + QStringLiteral(") > 0 ");
}

} // namespace kvx::qbe
