#include "DataPacket.h"

#include <QJsonArray>

namespace kvx {

namespace {
const char* const kTypeNames[] = {"Unknown",  "String", "FixedChar", "WideString", "Memo",     "Smallint",
                                  "Integer",  "Word",   "LargeInt",  "Float",      "Currency", "BCD",
                                  "Boolean",  "Date",   "Time",      "DateTime",   "AutoInc",  "Bytes",
                                  "VarBytes", "Blob",   "DataSet"};

QJsonArray rowToJson(const Row& row) {
    QJsonArray a;
    for (const Variant& v : row)
        a.append(v.toJson());
    return a;
}

Row rowFromJson(const QJsonValue& j) {
    Row r;
    for (const QJsonValue& v : j.toArray())
        r.append(Variant::fromJson(v));
    return r;
}

QJsonArray fieldsToJson(const QList<FieldDesc>& fields) {
    QJsonArray a;
    for (const FieldDesc& f : fields)
        a.append(f.toJson());
    return a;
}

QList<FieldDesc> fieldsFromJson(const QJsonValue& j) {
    QList<FieldDesc> out;
    for (const QJsonValue& v : j.toArray())
        out.append(FieldDesc::fromJson(v.toObject()));
    return out;
}
} // namespace

QString fieldTypeName(FieldType t) {
    return QString::fromLatin1(kTypeNames[int(t)]);
}

FieldType fieldTypeFromName(const QString& name) {
    for (int i = 0; i < int(std::size(kTypeNames)); ++i)
        if (name.compare(QLatin1String(kTypeNames[i]), Qt::CaseInsensitive) == 0) return FieldType(i);
    return FieldType::Unknown;
}

QJsonObject FieldDesc::toJson() const {
    QJsonObject o{{"name", name}, {"type", fieldTypeName(type)}, {"size", size}};
    if (precision) o.insert(QStringLiteral("precision"), precision);
    if (required) o.insert(QStringLiteral("required"), true);
    if (readOnly) o.insert(QStringLiteral("readOnly"), true);
    if (inKey) o.insert(QStringLiteral("inKey"), true);
    if (hidden) o.insert(QStringLiteral("hidden"), true);
    if (!children.isEmpty()) o.insert(QStringLiteral("children"), fieldsToJson(children));
    return o;
}

FieldDesc FieldDesc::fromJson(const QJsonObject& o) {
    FieldDesc f;
    f.name = o.value(QStringLiteral("name")).toString();
    f.type = fieldTypeFromName(o.value(QStringLiteral("type")).toString());
    f.size = o.value(QStringLiteral("size")).toInt();
    f.precision = o.value(QStringLiteral("precision")).toInt();
    f.required = o.value(QStringLiteral("required")).toBool();
    f.readOnly = o.value(QStringLiteral("readOnly")).toBool();
    f.inKey = o.value(QStringLiteral("inKey")).toBool();
    f.hidden = o.value(QStringLiteral("hidden")).toBool();
    f.children = fieldsFromJson(o.value(QStringLiteral("children")));
    return f;
}

bool FieldDesc::operator==(const FieldDesc& o) const {
    return name == o.name && type == o.type && size == o.size && precision == o.precision &&
           required == o.required && readOnly == o.readOnly && inKey == o.inKey && hidden == o.hidden &&
           children == o.children;
}

int DataPacket::fieldIndex(const QString& name) const {
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QJsonObject DataPacket::toJson() const {
    QJsonArray rs;
    for (const Row& r : rows)
        rs.append(rowToJson(r));
    return QJsonObject{{"fields", fieldsToJson(fields)}, {"rows", rs}, {"eof", eof}};
}

DataPacket DataPacket::fromJson(const QJsonObject& o) {
    DataPacket p;
    p.fields = fieldsFromJson(o.value(QStringLiteral("fields")));
    for (const QJsonValue& r : o.value(QStringLiteral("rows")).toArray())
        p.rows.append(rowFromJson(r));
    p.eof = o.value(QStringLiteral("eof")).toBool(true);
    return p;
}

QString updateStatusName(UpdateStatus s) {
    switch (s) {
    case UpdateStatus::Unmodified:
        return QStringLiteral("unmodified");
    case UpdateStatus::Modified:
        return QStringLiteral("modified");
    case UpdateStatus::Inserted:
        return QStringLiteral("inserted");
    case UpdateStatus::Deleted:
        return QStringLiteral("deleted");
    }
    return {};
}

static UpdateStatus updateStatusFromName(const QString& s) {
    if (s == QLatin1String("inserted")) return UpdateStatus::Inserted;
    if (s == QLatin1String("deleted")) return UpdateStatus::Deleted;
    if (s == QLatin1String("unmodified")) return UpdateStatus::Unmodified;
    if (s == QLatin1String("modified")) return UpdateStatus::Modified;
    // Guessing would apply a row as something it is not.
    throw VariantError(QStringLiteral("Unknown row status \"%1\" in a delta").arg(s).toStdString());
}

QJsonObject Delta::toJson() const {
    QJsonArray rs;
    for (const DeltaRow& r : rows)
        rs.append(QJsonObject{{"status", updateStatusName(r.status)},
                              {"old", rowToJson(r.oldValues)},
                              {"new", rowToJson(r.newValues)}});
    return QJsonObject{{"fields", fieldsToJson(fields)}, {"rows", rs}};
}

Delta Delta::fromJson(const QJsonObject& o) {
    Delta d;
    d.fields = fieldsFromJson(o.value(QStringLiteral("fields")));
    for (const QJsonValue& v : o.value(QStringLiteral("rows")).toArray()) {
        const QJsonObject r = v.toObject();
        d.rows.append(DeltaRow{updateStatusFromName(r.value(QStringLiteral("status")).toString()),
                               rowFromJson(r.value(QStringLiteral("old"))),
                               rowFromJson(r.value(QStringLiteral("new")))});
    }
    return d;
}

QJsonObject ReconcileError::toJson() const {
    return QJsonObject{{"index", deltaIndex},       {"code", errorCode},
                       {"message", message},        {"context", context},
                       {"previous", previousError}, {"current", rowToJson(currentValues)}};
}

ReconcileError ReconcileError::fromJson(const QJsonObject& o) {
    ReconcileError e;
    e.deltaIndex = o.value(QStringLiteral("index")).toInt(-1);
    e.errorCode = o.value(QStringLiteral("code")).toInt();
    e.message = o.value(QStringLiteral("message")).toString();
    e.context = o.value(QStringLiteral("context")).toString();
    e.previousError = o.value(QStringLiteral("previous")).toInt();
    e.currentValues = rowFromJson(o.value(QStringLiteral("current")));
    return e;
}

QJsonObject ApplyResult::toJson() const {
    QJsonArray errs, app;
    for (const ReconcileError& e : errors)
        errs.append(e.toJson());
    for (const auto& [idx, row] : applied)
        app.append(QJsonObject{{"index", idx}, {"row", rowToJson(row)}});
    return QJsonObject{{"errorCount", errorCount}, {"errors", errs}, {"applied", app}};
}

ApplyResult ApplyResult::fromJson(const QJsonObject& o) {
    ApplyResult r;
    r.errorCount = o.value(QStringLiteral("errorCount")).toInt();
    for (const QJsonValue& v : o.value(QStringLiteral("errors")).toArray())
        r.errors.append(ReconcileError::fromJson(v.toObject()));
    for (const QJsonValue& v : o.value(QStringLiteral("applied")).toArray()) {
        const QJsonObject a = v.toObject();
        r.applied.append(
            {a.value(QStringLiteral("index")).toInt(), rowFromJson(a.value(QStringLiteral("row")))});
    }
    return r;
}

Variant DataRequest::toVariant() const {
    return Variant::fromList({condition, order, extra});
}

DataRequest DataRequest::fromVariant(const Variant& v) {
    DataRequest r;
    if (v.isArray() && v.dimCount() == 1) {
        const VariantList l = v.toList();
        if (l.size() > 0) r.condition = l[0].toString();
        if (l.size() > 1) r.order = l[1].toString();
        if (l.size() > 2) r.extra = l[2];
    } else if (v.isString()) {
        r.condition = v.toString();
    }
    return r;
}

} // namespace kvx
