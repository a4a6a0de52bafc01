// Reads rows straight through SQLite's C interface on a connection the Qt driver opened: no QSqlRecord,
// no QVariant per value and one UTF-8 decoding per text (the driver has SQLite convert every text to
// UTF-16 and copies it again). Values come out as the driver would give them (qtValue) or as the
// providers convert those (value), so the two read paths cannot differ.
#pragma once

#include "platform/DataPacket.h"

#include <QString>
#include <QVariant>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

namespace kvxsrv {

class SqliteStatement {
public:
    // Prepares `sql` on `db` (kept until destroyed); ok() tells whether it prepared.
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    QString error() const { return error_; }

    // Binds a value as the Qt driver binds it (from 0). False, with error() set, when SQLite refuses.
    bool bind(int index, const QVariant& value);
    // Steps to the next row: true on a row; false at the end or on an error (failed() then tells).
    bool next();
    bool failed() const { return !error_.isEmpty(); }
    // Ends the current run (keeps the bindings' statement prepared for the next).
    void reset();

    int columnCount() const;
    // The column's value as the Qt driver reads it.
    QVariant qtValue(int column) const;
    // The column's value as a provider field of type `t` holds it: Null for NULL, else the driver's value
    // converted to the field's type.
    kvx::Variant value(int column, kvx::FieldType t) const;

private:
    void keepError();
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    QString error_;
};

// The provider conversion of a driver value to a field of type `t`.
kvx::Variant fieldValue(const QVariant& v, kvx::FieldType t);

// The SQLite connection under a Qt database, or null for another engine.
sqlite3* sqliteHandle(const QSqlDatabase& db);

} // namespace kvxsrv
