// The counter's SQL functions.
//
// SimpleSql runs one read-only SELECT: "$$" (the database prefix) is dropped outside quoted texts, a
// leading "select top N" becomes the dialect's row limit, the text is checked like a client condition and
// run under the read-only authorizer; the columns named in the field list are returned (all columns when
// it is empty) as an array of row arrays, or Unassigned when no row matches.
//
// TransactionSql runs only the statements the module issues (listed in docs/workcenter.md), all of them in
// one transaction; a statement outside the list refuses the whole call before anything is written.
#pragma once

#include "Storage.h"
#include "platform/Variant.h"

namespace kvxsrv {

class CounterSql {
public:
    explicit CounterSql(Storage& s) : s_(s) {}

    // params: [statement, field list, database, flag]
    kvx::Variant simpleSql(const kvx::Variant& params);
    // params: a statement, or an array whose element 0 is a statement or an array of statements
    kvx::Variant transactionSql(const kvx::Variant& params);

    // "$$" removed outside quotes and "select top N ..." rewritten with the dialect's limit.
    static QString translate(const QString& sql, const SqlDialect& dialect);

private:
    Storage& s_;
    QStringList allTables();
};

// A QVariant read from the database as a variant (NULL → Null).
kvx::Variant fromDb(const QVariant& v);

} // namespace kvxsrv
