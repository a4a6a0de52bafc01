#include "ColourRules.h"

#include "SqlGuard.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <pugixml.hpp>

namespace kvxsrv {

namespace {

QString sqlLiteral(const QString& s) {
    return QLatin1Char('\'') + QString(s).replace('\'', "''") + QLatin1Char('\'');
}

// Colour numbers only; anything else (the empty marker "'", blanks, names) is the empty marker.
QString colourValue(const char* text) {
    const QString v = QString::fromUtf8(text).trimmed();
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    return ok && n >= 0 && n <= 0xFFFFFFFFLL ? QString::number(n) : QStringLiteral("'");
}

QString flagValue(const char* text) {
    return QString::fromUtf8(text).trimmed().compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0
               ? QStringLiteral("Y")
               : QStringLiteral("N");
}

// Why the condition may not stand in the colour SELECT; empty when it may. After the text scan and the
// guarded preparation the condition is run on one record under the time limit, so that a condition that
// fails whatever the data (json('x'), an overflowing abs()) cannot stop the whole colour fetch later.
QString refusal(Storage& storage, const QString& table, const QString& condition) {
    const QString why = checkClauseText(condition);
    if (!why.isEmpty()) return why;
    QSqlQuery probe(storage.db());
    probe.setForwardOnly(true);
    try {
        Storage::TimeLimit limit(storage);
        execGuardedSelect(probe, storage,
                          QStringLiteral("SELECT CASE WHEN (") + condition +
                              QStringLiteral(") THEN 1 ELSE 0 END FROM ") + table +
                              QStringLiteral(" LIMIT 1"),
                          {table});
        if (!probe.next() && probe.lastError().isValid())
            return QStringLiteral("it fails when run: ") + probe.lastError().databaseText();
    } catch (const GuardError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

ColourRuleSet compileColourRules(Storage& storage, const QString& table, const QStringList& takenNames,
                                 const QString& xml) {
    ColourRuleSet out;
    if (xml.trimmed().isEmpty()) return out;
    pugi::xml_document doc;
    const QByteArray bytes = xml.toUtf8();
    if (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default, pugi::encoding_utf8)) {
        out.refused << QStringLiteral("the colour rules are no XML document");
        return out;
    }
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    QStringList names;               // in document order
    QList<QStringList> whens;        // per name
    QHash<QString, QString> checked; // condition → why it is refused: components often share conditions
    int n = 0;
    for (const pugi::xpath_node& xn : doc.select_nodes("//colormanager/head/component[@enable=\"Y\"]")) {
        const pugi::xml_node c = xn.node();
        const QString name = QString::fromUtf8(c.attribute("name").value()).trimmed();
        ++n;
        if (!ident.match(name).hasMatch() || takenNames.contains(name, Qt::CaseInsensitive)) {
            out.refused << QStringLiteral("component #%1 (%2): not a usable column name").arg(n).arg(name);
            continue;
        }
        int at = -1;
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0) at = i;
        if (at < 0) {
            names << name;
            whens << QStringList();
            at = int(names.size()) - 1;
        }
        int k = 0;
        for (const pugi::xml_node& cond : c.children("condition")) {
            ++k;
            const QString value = QString::fromUtf8(cond.attribute("value").value()).trimmed();
            if (value.isEmpty()) continue;
            auto known = checked.constFind(value);
            if (known == checked.constEnd()) known = checked.insert(value, refusal(storage, table, value));
            const QString why = known.value();
            if (!why.isEmpty()) {
                out.refused
                    << QStringLiteral("component %1 condition #%2 (%3): %4").arg(name).arg(k).arg(value, why);
                continue;
            }
            const QString settings =
                QStringLiteral("bkcolor=") + colourValue(cond.attribute("bkcolor").value()) +
                QStringLiteral(";colorx=") + colourValue(cond.attribute("colorx").value()) +
                QStringLiteral(";bold=") + flagValue(cond.attribute("bold").value()) +
                QStringLiteral(";italic=") + flagValue(cond.attribute("italic").value()) + QLatin1Char(';');
            whens[at] << QStringLiteral("WHEN (") + value + QStringLiteral(") THEN ") + sqlLiteral(settings);
        }
    }
    for (int i = 0; i < names.size(); ++i)
        out.columns.append({names[i], whens[i].isEmpty()
                                          ? QStringLiteral("''")
                                          : QStringLiteral("CASE ") + whens[i].join(QLatin1Char(' ')) +
                                                QStringLiteral(" ELSE '' END")});
    return out;
}

} // namespace kvxsrv
