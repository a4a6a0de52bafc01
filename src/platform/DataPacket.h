// DataPacket: the record-packet and delta formats shared by the client datasets and the providers of
// the application server. Their JSON form is the one the socket protocol carries (docs/protocol.md).
#pragma once

#include "Variant.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace kvx {

enum class FieldType {
    Unknown,
    String,
    FixedChar,
    WideString,
    Memo,
    Smallint,
    Integer,
    Word,
    LargeInt,
    Float,
    Currency,
    BCD,
    Boolean,
    Date,
    Time,
    DateTime,
    AutoInc,
    Bytes,
    VarBytes,
    Blob,
    DataSet,
};

QString fieldTypeName(FieldType t);
FieldType fieldTypeFromName(const QString& name); // Unknown for an unknown name

struct FieldDesc {
    FieldDesc() = default;
    FieldDesc(const QString& n, FieldType t, int sz = 0) : name(n), type(t), size(sz) {}

    QString name;
    FieldType type = FieldType::String;
    int size = 0;      // bytes for strings, digits for BCD
    int precision = 0; // BCD
    bool required = false;
    bool readOnly = false;
    bool inKey = false;        // part of the key used to find the row when applying
    bool hidden = false;       // sent but not shown
    QList<FieldDesc> children; // nested dataset field

    QJsonObject toJson() const;
    static FieldDesc fromJson(const QJsonObject& o);
    bool operator==(const FieldDesc& o) const;
};

using Row = QList<Variant>;

// One packet of records. `eof` is true when the provider has no rows after these.
struct DataPacket {
    QList<FieldDesc> fields;
    QList<Row> rows;
    bool eof = true;

    int fieldIndex(const QString& name) const; // -1 when missing; case-insensitive
    QJsonObject toJson() const;
    static DataPacket fromJson(const QJsonObject& o);
};

enum class UpdateStatus { Unmodified, Modified, Inserted, Deleted };
QString updateStatusName(UpdateStatus s);

// One change of the change log. `oldValues` is the row as fetched (empty for an insert); `newValues`
// holds every field for an insert and, for a modification, the new value of each changed field with
// Unassigned for the fields left alone.
struct DeltaRow {
    UpdateStatus status = UpdateStatus::Modified;
    Row oldValues;
    Row newValues;
};

struct Delta {
    QList<FieldDesc> fields;
    QList<DeltaRow> rows;

    QJsonObject toJson() const;
    static Delta fromJson(const QJsonObject& o);
};

// A change the provider could not apply. `currentValues` is the row as the server holds it now (empty
// when it no longer exists).
struct ReconcileError {
    int deltaIndex = -1;
    int errorCode = 0;
    QString message;
    QString context;
    int previousError = 0;
    Row currentValues;

    QJsonObject toJson() const;
    static ReconcileError fromJson(const QJsonObject& o);
};

// Result of applying a delta. Each applied change has the row as stored (`applied`, by delta index) so
// that the client shows what the server stored.
struct ApplyResult {
    int errorCount = 0;
    QList<ReconcileError> errors;
    QList<QPair<int, Row>> applied;

    QJsonObject toJson() const;
    static ApplyResult fromJson(const QJsonObject& o);
};

// The request a client dataset hands to its provider before opening.
struct DataRequest {
    QString condition; // SQL condition text, without WHERE
    QString order;     // SQL order text, without ORDER BY
    Variant extra;     // provider-specific

    Variant toVariant() const;
    static DataRequest fromVariant(const Variant& v);
};

// The provider side as a client dataset sees it: one named provider of a remote server.
class ProviderEndpoint {
public:
    virtual ~ProviderEndpoint() = default;
    // Hands the request to the provider; the next getRecords starts from the first row.
    virtual Variant dataRequest(const QString& provider, const Variant& data) = 0;
    // Next `count` rows (all when count < 0; metadata only when count == 0) from the provider's cursor.
    virtual DataPacket getRecords(const QString& provider, int count) = 0;
    virtual ApplyResult applyUpdates(const QString& provider, const Delta& delta, int maxErrors) = 0;
};

} // namespace kvx
