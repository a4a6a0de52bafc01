#include "QBESchemes.h"

namespace kvx::qbe {

namespace {
const QString kLineBreak = QStringLiteral("\r\n");

QString clean(QString s) {
    s.remove(kSchemeRowLimitEnd);
    s.remove(kSchemeItemEnd);
    s.remove(kSchemeFieldEnd);
    return s;
}

QString cleanLine(const QString& s) {
    QString t = clean(s);
    t.replace(u'\r', u' ');
    t.replace(u'\n', u' ');
    return t;
}

QString convert(const SchemeConvert& f, const QString& s) {
    return f ? f(s) : s;
}

// The text before the first code 7 and the rest; without a code 7 the whole text is the rest.
std::pair<QString, QString> splitRowLimit(const QString& text) {
    const qsizetype at = text.indexOf(kSchemeRowLimitEnd);
    if (at < 0) return {QString(), text};
    return {text.left(at), text.mid(at + 1)};
}
} // namespace

QString encodeGridScheme(const QString& rowLimit, const QList<SchemeGridRow>& rows) {
    QString out = clean(rowLimit) + kSchemeRowLimitEnd;
    for (const SchemeGridRow& r : rows) {
        if (r.field.trimmed().isEmpty() && r.value.trimmed().isEmpty()) continue;
        out +=
            QStringList{cleanLine(r.field), cleanLine(r.op), cleanLine(r.value), cleanLine(r.connector)}.join(
                kLineBreak) +
            kSchemeItemEnd;
    }
    return out;
}

GridScheme decodeGridScheme(const QString& text, const SchemeConvert& f) {
    GridScheme g;
    const auto [limit, rest] = splitRowLimit(text);
    g.rowLimit = limit;
    for (const QString& piece : rest.split(kSchemeItemEnd)) {
        if (piece.trimmed().isEmpty()) continue;
        // Lines first, then each cell trimmed: a row with a blank first cell keeps its cells in place.
        const QStringList lines = piece.split(kLineBreak);
        auto cell = [&](int i) { return convert(f, lines.value(i).trimmed()); };
        g.rows << SchemeGridRow{cell(0), cell(1), cell(2), cell(3)};
    }
    return g;
}

QString encodeAdvancedScheme(const AdvancedScheme& s) {
    QString sort;
    for (const SchemeSortItem& i : s.sort)
        sort += clean(i.item) + kSchemeItemEnd + (i.descending ? u'1' : u'0') + u'\t';
    return clean(s.rowLimit) + kSchemeRowLimitEnd + clean(s.memo) + kSchemeFieldEnd + sort + kSchemeFieldEnd +
           (s.detail ? u'1' : u'0') + kSchemeFieldEnd + clean(s.detailMemo);
}

AdvancedScheme decodeAdvancedScheme(const QString& text, const SchemeConvert& f) {
    AdvancedScheme s;
    const auto [limit, rest] = splitRowLimit(text);
    s.rowLimit = limit;
    const QStringList fields = rest.split(kSchemeFieldEnd);
    s.memo = convert(f, fields.value(0));
    QString sort = fields.value(1);
    while (!sort.trimmed().isEmpty()) {
        const qsizetype end = sort.indexOf(kSchemeItemEnd);
        if (end < 0) break;
        SchemeSortItem item;
        item.item = convert(f, sort.left(end).trimmed());
        sort = sort.mid(end + 1);
        const qsizetype tab = sort.indexOf(u'\t');
        const QString flag = tab < 0 ? sort : sort.left(tab);
        item.descending = flag.trimmed() == QLatin1String("1");
        sort = tab < 0 ? QString() : sort.mid(tab + 1);
        if (!item.item.isEmpty()) s.sort << item;
    }
    s.detail = fields.value(2).trimmed() == QLatin1String("1");
    s.detailMemo = convert(f, fields.value(3));
    return s;
}

} // namespace kvx::qbe
