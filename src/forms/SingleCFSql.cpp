#include "SingleCFSql.h"

#include <QRegularExpression>
#include <pugixml.hpp>
#include <stdexcept>

namespace kvx::single {

QString KeyString(const QStringList& keyValues) {
    return keyValues.join(QLatin1String("||"));
}

QString FollowLinkSql(const QString& program, const QString& field) {
    return QStringLiteral("SELECT * FROM ADMMR AS ADMMR  WHERE MR001='") + SqlText(program) +
           QStringLiteral("' and (MR004='") + SqlText(field) + QStringLiteral("' or MR005='") +
           SqlText(field) + QStringLiteral("')  order by MR011");
}

int SelectLinkRow(const QList<TLinkRow>& rows, const QString& selectorValue) {
    if (rows.isEmpty()) return -1;
    if (rows.first().MR003.trimmed().isEmpty()) return 0;
    for (int i = 0; i < rows.size(); ++i) {
        const QString v = rows[i].MR010.trimmed();
        if (v.isEmpty()) continue;
        if (v == selectorValue) return i;
    }
    return -1;
}

std::optional<QString> LinkCondition(const TLinkRow& row, const QString& a, const QString& b, int sqlType) {
    const QString fromA = row.MR004.trimmed(), fromB = row.MR005.trimmed();
    const QString toX = row.MR007.trimmed(), toY = row.MR008.trimmed(), sep = row.MR009.trimmed();
    const bool sameSource = fromA == fromB, sameTarget = toX == toY;
    const auto blank = [](const QString& v) { return v.trimmed().isEmpty(); };
    const QString q = QStringLiteral("'");
    if (sameSource && sameTarget) {
        if (blank(a)) return std::nullopt;
        return toX + QStringLiteral("='") + SqlText(a) + q;
    }
    if (!sameSource && !sameTarget) {
        if (blank(a) && blank(b)) return std::nullopt;
        return toX + QStringLiteral("='") + SqlText(a) + QStringLiteral("' and ") + toY +
               QStringLiteral("='") + SqlText(b) + q;
    }
    if (!sameSource && sameTarget) {
        if (blank(a) && blank(b)) return std::nullopt;
        return toX + QStringLiteral("='") + SqlText(a + sep + b) + q;
    }
    // Same source field, two target columns.
    if (blank(a)) return std::nullopt;
    if (!sep.isEmpty()) {
        const int at = a.indexOf(sep);
        const QString a1 = at < 0 ? a : a.left(at);
        const QString a2 = at < 0 ? QString() : a.mid(at + sep.size());
        if (a1.isEmpty() && a2.isEmpty()) return std::nullopt;
        if (sqlType == 0)
            return QStringLiteral("SUBSTRING(") + toX + QStringLiteral(",1,") + QString::number(a1.size()) +
                   QStringLiteral(")+'") + SqlText(sep) + QStringLiteral("'+SUBSTRING(") + toY +
                   QStringLiteral(",1,") + QString::number(a2.size()) + QStringLiteral(")='") +
                   SqlText(a1 + sep + a2) + q;
        return toX + QStringLiteral("||'") + SqlText(sep) + QStringLiteral("'||") + toY +
               QStringLiteral("='") + SqlText(a1 + sep + a2) + q;
    }
    if (sqlType == 1)
        return toX + QStringLiteral("||") + toY + QStringLiteral("='") + SqlText(a.left(15)) + q;
    // Engines of type 0 concatenate with "+".
    return toX + QStringLiteral("+") + toY + QStringLiteral("='") + SqlText(a.left(15)) + q;
}

QString AttachmentKeysSql(const QString& program, const QString& company) {
    return QStringLiteral(" SELECT DISTINCT KeyValues FROM ATTACH WHERE Parent = '") + SqlText(program) +
           QStringLiteral("' AND CompanyID = '") + SqlText(company) + QStringLiteral("'");
}

QString AttachmentDeleteSql(const QString& program, const QString& company, const QString& keyString) {
    return QStringLiteral(" DELETE FROM ATTACH  WHERE Parent = '") + SqlText(program) + QStringLiteral("' ") +
           QStringLiteral("       AND CompanyID = '") + SqlText(company) + QStringLiteral("' ") +
           QStringLiteral("       AND KeyValues = '") + SqlText(keyString) + QStringLiteral("' ");
}

QString VoucherFormatSql(const QString& printId) {
    return QStringLiteral("select NT001,NT002 from WARRANT where UPPER(NT001) like '%1' order by NT002")
        .arg(SqlText(QLatin1Char('%') + printId.toUpper() + QLatin1Char('%')));
}

QString UdfSourceFieldName(const QString& sourceName, const QString& mainTable) {
    const int dot = sourceName.indexOf(QLatin1Char('.'));
    if (dot < 0) return {};
    if (sourceName.left(dot).trimmed().compare(mainTable.trimmed(), Qt::CaseInsensitive) != 0) return {};
    QString f = sourceName.mid(dot + 1).trimmed();
    // A closing character after the field name (";" of the list, "]" of a bracketed name) is dropped.
    if (!f.isEmpty() && !f.back().isLetterOrNumber() && f.back() != QLatin1Char('_')) f.chop(1);
    return f;
}

QString ProgramRuleSql(const QString& program, const QString& code, bool useEfs) {
    if (!useEfs)
        return QStringLiteral(" SELECT MQ001,MQ002,MQ003 \r FROM $$ADMMQ AS ADMMQ   \r WHERE MQ001=") +
               SqlQuoted(program) + QStringLiteral(" AND (MQ002=") + SqlQuoted(code) +
               QStringLiteral(" OR MQ002='****') ");
    return QStringLiteral(" SELECT MC001,MC002,MC006 \r FROM $$EFSMC AS EFSMC    \r WHERE MC001=") +
           SqlQuoted(program) + QStringLiteral(" AND (MC002=") + SqlQuoted(code) +
           QStringLiteral(" OR MC002='****') ");
}

QString ProgramRuleTopSql(const QString& program, const QString& code, bool useEfs) {
    if (!useEfs)
        return QStringLiteral(" SELECT top  1  MQ003,MQ004 \r FROM  $$ADMMQ  \r WHERE MQ001=") +
               SqlQuoted(program) + QStringLiteral(" AND (MQ002=") + SqlQuoted(code) +
               QStringLiteral(" OR MQ002='****') ") + QStringLiteral("\r") +
               QStringLiteral(" ORDER  BY  MQ002 DESC  ");
    return QStringLiteral(" SELECT top  1  MC006,MC009 \r FROM  $$EFSMC \r WHERE MC001=") +
           SqlQuoted(program) + QStringLiteral(" AND (MC002=") + SqlQuoted(code) +
           QStringLiteral(" OR MC002='****') ") + QStringLiteral("\r") +
           QStringLiteral(" ORDER  BY  MC002 DESC  ");
}

QString LinkedDataRowsSql(const QString& p1, const QString& p4) {
    return QStringLiteral("  SELECT  MR005,MR004,MR007 \r  FROM $$ADMMR \r  WHERE  MR001=") + SqlQuoted(p1) +
           QStringLiteral(" AND MR002=") + SqlQuoted(p4);
}

QString LinkedDataValueSql(const QString& column, const QString& db, const QString& table,
                           const QString& cond) {
    return QStringLiteral(" SELECT   ") + column + QStringLiteral(" FROM  ") + db + QStringLiteral("..") +
           table + QLatin1Char(' ') + table + QStringLiteral("  WHERE ") + cond;
}

QString ColorFilterCondition(const QString& lastWhere, const QStringList& selected, const QString& db) {
    QString joined;
    for (const QString& c : selected)
        joined += QStringLiteral(" ( ") + c + QStringLiteral(" ) or ");
    joined.chop(3);
    QString result;
    if (selected.isEmpty())
        result = lastWhere;
    else if (!lastWhere.trimmed().isEmpty() && !joined.contains(lastWhere))
        result = QStringLiteral("(") + lastWhere + QStringLiteral(") and (") + joined + QStringLiteral(")");
    else
        result = joined;
    static const QRegularExpression prefix(QStringLiteral("\\$\\$"));
    return result.replace(prefix, db + QStringLiteral(".."));
}

QString ColorDefinitionSql(const QString& program) {
    return QStringLiteral("SELECT NH003 FROM $$ADMNH WHERE NH001 = ") + SqlQuoted(program.toUpper());
}

QList<TImportRecord> ParseImportXml(const QString& text) {
    QList<TImportRecord> records;
    if (text.trimmed().isEmpty()) return records;
    pugi::xml_document doc;
    const QByteArray utf8 = text.toUtf8();
    const pugi::xml_parse_result parsed = doc.load_buffer(utf8.constData(), size_t(utf8.size()));
    if (!parsed) throw std::runtime_error(std::string("XML import: ") + parsed.description());
    const pugi::xpath_node found = doc.select_node("//dataimport");
    if (!found) throw std::runtime_error("XML import: no dataimport element");
    const pugi::xml_node root = found.node();
    const auto names = [](const char* list) {
        return QString::fromUtf8(list).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    const QStringList headFields = names(root.attribute("headfields").value());
    const QStringList bodyFields = names(root.attribute("bodyfields").value());
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        TImportRecord r;
        const pugi::xml_node head = child.child("head").child("row");
        for (const QString& n : headFields) {
            const pugi::xml_attribute a = head.attribute(n.trimmed().toUtf8().constData());
            if (a) r.head.append({n.trimmed(), QString::fromUtf8(a.value())});
        }
        for (pugi::xml_node row = child.child("body").first_child(); row; row = row.next_sibling()) {
            if (row.type() != pugi::node_element) continue;
            QList<QPair<QString, QString>> values;
            for (const QString& n : bodyFields) {
                const pugi::xml_attribute a = row.attribute(n.trimmed().toUtf8().constData());
                if (a) values.append({n.trimmed(), QString::fromUtf8(a.value())});
            }
            r.body.append(values);
        }
        records.append(r);
    }
    return records;
}

} // namespace kvx::single
