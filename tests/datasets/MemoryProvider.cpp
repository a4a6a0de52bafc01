#include "MemoryProvider.h"

namespace kvx::test {

Variant MemoryProvider::dataRequest(const QString& provider, const Variant& data) {
    DataRequest r = DataRequest::fromVariant(data);
    requests << r;
    current_[provider] = r;
    cursors_.remove(provider);
    return Variant(true);
}

// Conditions understood: empty, "1=2", and "FIELD='value'".
static bool accepts(const MemoryProvider::Table& t, const Row& row, const QString& condition) {
    const QString c = condition.trimmed();
    if (c.isEmpty() || c == "1=1") return true;
    if (c == "1=2") return false;
    const int eq = c.indexOf('=');
    const QString field = c.left(eq).trimmed();
    const QString value = c.mid(eq + 1).trimmed().remove('\'');
    for (int i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].name == field) return row[i].toString() == value;
    return false;
}

DataPacket MemoryProvider::getRecords(const QString& provider, int count) {
    packetSizes << count;
    const Table& t = tables_[provider];
    if (!cursors_.contains(provider)) {
        Cursor c;
        for (const Row& r : t.rows)
            if (accepts(t, r, current_.value(provider).condition)) c.rows << r;
        if (current_.value(provider).order.trimmed() == "MB001 DESC")
            std::reverse(c.rows.begin(), c.rows.end());
        cursors_[provider] = c;
    }
    Cursor& c = cursors_[provider];
    DataPacket p;
    p.fields = t.fields;
    const int n = count < 0 ? int(c.rows.size()) - c.next : std::min<int>(count, int(c.rows.size()) - c.next);
    for (int i = 0; i < n; ++i)
        p.rows << c.rows[c.next++];
    p.eof = c.next >= c.rows.size();
    return p;
}

int MemoryProvider::keyColumn(const Table& t) const {
    for (int i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].inKey) return i;
    return 0;
}

int MemoryProvider::findRow(const Table& t, const Row& key) const {
    const int k = keyColumn(t);
    for (int i = 0; i < t.rows.size(); ++i)
        if (t.rows[i][k] == key[k]) return i;
    return -1;
}

ApplyResult MemoryProvider::applyUpdates(const QString& provider, const Delta& delta, int maxErrors) {
    deltas << delta;
    Table& t = tables_[provider];
    const Table before = t;
    ApplyResult result;
    for (int i = 0; i < delta.rows.size(); ++i) {
        const DeltaRow& d = delta.rows[i];
        auto fail = [&](const QString& msg, const Row& current) {
            result.errors << ReconcileError{i, 1,      msg, QStringLiteral("%1 row %2").arg(provider).arg(i),
                                            7, current};
        };
        if (d.status == UpdateStatus::Inserted) {
            if (findRow(t, d.newValues) >= 0) {
                fail("Key violation", t.rows[findRow(t, d.newValues)]);
                continue;
            }
            Row r = d.newValues;
            if (onStore) onStore(r);
            t.rows << r;
            result.applied << qMakePair(i, r);
            continue;
        }
        const int at = findRow(t, d.oldValues);
        if (at < 0) {
            fail("Record not found or changed by another user", {});
            continue;
        }
        bool same = true;
        for (int c = 0; c < d.oldValues.size(); ++c)
            if (!(t.rows[at][c] == d.oldValues[c])) same = false;
        if (!same) {
            fail("Record changed by another user", t.rows[at]);
            continue;
        }
        if (d.status == UpdateStatus::Deleted) {
            t.rows.removeAt(at);
            result.applied << qMakePair(i, Row());
        } else {
            Row r = t.rows[at];
            for (int c = 0; c < d.newValues.size(); ++c)
                if (!d.newValues[c].isUnassigned()) r[c] = d.newValues[c];
            if (onStore) onStore(r);
            t.rows[at] = r;
            result.applied << qMakePair(i, r);
        }
    }
    result.errorCount = int(result.errors.size());
    if (maxErrors >= 0 && result.errorCount > maxErrors) {
        t = before; // one transaction: nothing is kept
        result.applied.clear();
    }
    return result;
}

void fillStandard(MemoryProvider::Table& t, int count) {
    FieldDesc key("MB001", FieldType::String, 20);
    key.inKey = true;
    t.fields = {key, FieldDesc("MB002", FieldType::String, 1), FieldDesc("MB005", FieldType::String, 255),
                FieldDesc("FLAG", FieldType::Float), FieldDesc("N", FieldType::Integer)};
    t.rows.clear();
    for (int i = 1; i <= count; ++i)
        t.rows << Row{QStringLiteral("A%1").arg(i, 4, 10, QChar('0')), QString::number(i % 3 + 1),
                      QStringLiteral("remark %1").arg(i), 1.0, i};
}

} // namespace kvx::test
