#include "Qldi05Items.h"

#include <QStringList>

namespace kvx {

QString TransmissionItemList(const QString& content) {
    QStringList items;
    QString rest = content;
    while (!rest.isEmpty()) {
        const qsizetype bar = rest.indexOf(QLatin1Char('|'));
        const QString item = bar < 0 ? rest : rest.left(bar);
        rest = bar < 0 ? QString() : rest.mid(bar + 1);
        if (item.trimmed().isEmpty()) continue;
        const QStringList fields = item.split(QLatin1Char('_'));
        auto field = [&fields](int n) { return n <= fields.size() ? fields.at(n - 1) : QString(); };
        items << QStringList{field(1), field(2), field(9), field(10)}.join(QLatin1Char(','));
    }
    return items.join(QLatin1Char(';'));
}

} // namespace kvx
