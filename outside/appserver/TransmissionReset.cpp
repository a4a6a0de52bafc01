#include "TransmissionReset.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

namespace kvxsrv {

namespace {
struct Item {
    QString table, description, file, keys;
};

// Empty texts are stored as '' (a null QString would bind as NULL).
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}
} // namespace

QSet<QString> TransmissionReset::knownItems() {
    QSet<QString> known;
    QSqlQuery q(s_.db());
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT MB003 FROM QLDMB"));
    while (q.next())
        for (const QString& item : q.value(0).toString().split(QLatin1Char('|'), Qt::SkipEmptyParts))
            known.insert(item.section(QLatin1Char('_'), 0, 0).trimmed().toUpper());
    return known;
}

QString TransmissionReset::run(const QString& itemList, const QString& mode, const QString& category,
                               const QString& user) {
    QStringList errors;
    const QString cat = category.trimmed();
    if (cat != QLatin1String("1") && cat != QLatin1String("2"))
        errors << QStringLiteral("类别 \"%1\" 无效, 应为 1 或 2 (invalid category)").arg(category);
    if (itemList.trimmed().isEmpty()) errors << QStringLiteral("传输项目清单是空的 (the item list is empty)");

    static const QRegularExpression ident(QStringLiteral("^[A-Za-z][A-Za-z0-9_]{0,19}$"));
    const QSet<QString> known = knownItems();
    QList<Item> items;
    QSet<QString> seen;
    const QStringList parts = itemList.split(QLatin1Char(';'));
    for (int i = 0; i < parts.size() && !itemList.trimmed().isEmpty(); ++i) {
        const QStringList f = parts[i].split(QLatin1Char(','));
        const QString table = f.value(0).trimmed().toUpper();
        if (f.size() != 4) {
            errors << QStringLiteral(
                          "第 %1 项 \"%2\" 格式错误: 应有 4 个以逗号分隔的栏位, 实有 %3 个 (malformed item)")
                          .arg(i + 1)
                          .arg(parts[i], QString::number(f.size()));
            continue;
        }
        if (!ident.match(table).hasMatch()) {
            errors << QStringLiteral("第 %1 项 \"%2\" 格式错误: 表名无效 (malformed item: bad table name)")
                          .arg(i + 1)
                          .arg(parts[i]);
            continue;
        }
        if (!known.contains(table)) {
            errors << QStringLiteral("第 %1 项: 传输项目 %2 不存在 (unknown item)").arg(i + 1).arg(table);
            continue;
        }
        if (seen.contains(table)) continue;
        seen.insert(table);
        items.append({table, f[1].trimmed(), f[2].trimmed(), f[3].trimmed()});
    }
    if (!errors.isEmpty()) return errors.join(QLatin1Char('\n'));

    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    try {
        Storage::Transaction tx(s_);
        for (const Item& it : items) {
            s_.exec(QStringLiteral("DELETE FROM QLDTB WHERE TB001 = ?"), {it.table});
            if (mode.trimmed() == QLatin1String("2"))
                s_.exec(QStringLiteral(
                            "INSERT INTO QLDTB (TB001, TB002, TB003, TB004, TB005, TB006, TB007, TB008, "
                            "TB009) VALUES (?, ?, ?, ?, ?, 'Y', '', ?, ?)"),
                        {it.table, notNull(it.description), notNull(it.file), notNull(it.keys), cat, now,
                         notNull(user.left(10))});
        }
        tx.commit();
    } catch (const std::exception& e) {
        return QStringLiteral("传输信息更新失败 (the update failed): %1").arg(QString::fromUtf8(e.what()));
    }
    return {};
}

} // namespace kvxsrv
