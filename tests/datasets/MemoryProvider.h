// An in-memory provider for dataset tests: one table per provider name, a condition filter, packets
// from a cursor, and applying with optimistic concurrency (old values must match the stored row).
#pragma once

#include "platform/ClientDataSet.h"

#include <functional>

namespace kvx::test {

class MemoryProvider : public ProviderEndpoint {
public:
    struct Table {
        QList<FieldDesc> fields;
        QList<Row> rows;
    };

    Table& table(const QString& provider) { return tables_[provider]; }

    Variant dataRequest(const QString& provider, const Variant& data) override;
    DataPacket getRecords(const QString& provider, int count) override;
    ApplyResult applyUpdates(const QString& provider, const Delta& delta, int maxErrors) override;

    // What the provider saw.
    QList<DataRequest> requests;
    QList<int> packetSizes;
    QList<Delta> deltas;
    // Called on every row before it is stored (the server's own stamping).
    std::function<void(Row&)> onStore;

private:
    struct Cursor {
        QList<Row> rows;
        int next = 0;
    };
    int keyColumn(const Table& t) const;
    int findRow(const Table& t, const Row& key) const;
    QMap<QString, Table> tables_;
    QMap<QString, Cursor> cursors_;
    QMap<QString, DataRequest> current_;
};

// A table MB001 (string 20, key), MB002 (string 1), MB005 (string 255), FLAG (float), N (integer)
// with `count` rows "A0001".. and N = row number.
void fillStandard(MemoryProvider::Table& t, int count);

} // namespace kvx::test
