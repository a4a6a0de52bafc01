// Copies a database into an empty one, table by table (kvx-appserver --copy-to): the target gets the
// schema through the migrations, then every row of the source in one transaction, verified by row
// counts and checksums before it is committed.
#pragma once

#include "Storage.h"

namespace kvxsrv {

struct CopiedTable {
    QString name;
    qint64 rows = 0;
    QString checksum; // hex; the same for the same rows in any order, whichever engine holds them
};

// Raises StorageError when the target has any table already, when a table is missing there, or when
// counts or checksums differ after the copy (nothing is then committed).
QList<CopiedTable> copyDatabase(Storage& source, const StorageConfig& target);

// Row count and checksum of one table: every row's values in a form that does not depend on the engine
// (integers, numbers to 17 digits, texts), hashed; the row hashes summed, so that order does not matter.
CopiedTable tableChecksum(Storage& s, const QString& table);

} // namespace kvxsrv
