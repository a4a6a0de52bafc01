// The validator's table functions (CheckValue / QueryData by table and function key) and document
// numbering (QueryMaxSeq). docs/workcenter.md lists each function with its parameters and result.
#pragma once

#include "Storage.h"
#include "platform/Variant.h"

namespace kvxsrv {

class TableFunctions {
public:
    explicit TableFunctions(Storage& s) : s_(s) {}

    // True with a result when the function found something. An unknown table/key pair or malformed
    // parameters raise AutomationError.
    bool run(const QString& table, const QString& key, const kvx::Variant& params, kvx::Variant& result);

    // Next number for a record of `table`: the last field of `fieldList` ("A,B,C,") is numbered, the
    // fields before it take `values`; the number is `prefix` followed by a running number one above the
    // highest stored with that prefix (width of the stored numbers, else 4 digits).
    bool queryMaxSeq(const QString& table, const QString& fieldList, const kvx::Variant& values,
                     const QString& prefix, QString& number);

private:
    Storage& s_;

    kvx::Variant programInfo(const kvx::VariantList& p);
    kvx::Variant savedScheme(const kvx::VariantList& p);
    kvx::Variant numberWidths(const kvx::VariantList& p);
    kvx::Variant document(const QString& kind, const kvx::VariantList& p);
    kvx::Variant udfLabels(const kvx::VariantList& p);
    kvx::Variant lookupLink(const kvx::VariantList& p);
    kvx::Variant rows(const QString& sql, const QVariantList& binds);
};

// Parameters given as one value or an array of values.
kvx::VariantList paramList(const kvx::Variant& params);

} // namespace kvxsrv
