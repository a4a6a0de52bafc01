// libUDF: descriptions of user-defined fields whose value the server computes from other fields of the
// record (ADMTK rule headers, ADMTL rule lines). Each TUDFField names its target field, the server-side
// definition (the rule id for the "QueryUDFData" counter call) and the related fields it depends on. The
// collection is filled by one SimpleSql call; the fields are resolved by a callback so that the unit
// needs no window.
#pragma once

#include "platform/ClientDataSet.h"
#include "platform/Collection.h"
#include "platform/Field.h"
#include "platform/Variant.h"

#include <QPointer>
#include <QString>
#include <functional>

class TBrokers;

namespace kvx {

class TUDFRelatedField : public TCollectionItem {
    Q_OBJECT
public:
    explicit TUDFRelatedField(TCollection* owner);
    QPointer<TField> Field; // the form's field of that name, or none
    QString FieldName;
};

class TUDFRelatedFields : public TCollection {
    Q_OBJECT
public:
    explicit TUDFRelatedFields(QObject* parent = nullptr);
    TUDFRelatedField* Add();
    TUDFRelatedField* Items(int index) const { return itemAs<TUDFRelatedField>(index); }
    // The first item that refers to `field`; null when none (and for a null field).
    TUDFRelatedField* FindField(const TField* field) const;
};

class TUDFField : public TCollectionItem {
    Q_OBJECT
public:
    explicit TUDFField(TCollection* owner);
    QString FieldName;                // target field (TL006)
    TUDFRelatedFields* RelatedFields; // owned
    QString DefineName;               // server-side definition (TL013)
};

class TUDFFields : public TCollection {
    Q_OBJECT
public:
    // Resolves a field name of the record to the field object (null when none).
    using FieldResolver = std::function<TField*(const QString& name)>;

    explicit TUDFFields(QObject* parent = nullptr);
    TUDFField* Add();
    TUDFField* Items(int index) const { return itemAs<TUDFField>(index); }
    // The rules whose related fields include `field`, in order.
    QList<TUDFField*> RulesOf(const TField* field) const;

    // The statement that reads the rules: flag "Y" keeps rules with related fields, "N" those without,
    // anything else both; kind is the rule kind (TL005, e.g. "Z01") and progId the program code.
    static QString RulesStatement(const QString& flag, const QString& kind, const QString& progId);
    // The columns the statement returns.
    static QString RulesColumns() { return QStringLiteral("TL006,TL013,TL012"); }

    // Adds one TUDFField per row (TL006, TL013, TL012): TL012 is a ";"-separated list of field names,
    // each adding a related field; a name "TABLE.FIELD" resolves the part after the last ".".
    void AddRows(const Variant& rows, const FieldResolver& resolve);
    // Asks the server with the broker's SimpleSql and adds the rows. The broker's errors reach the caller.
    void Load(TBrokers& broker, const QString& flag, const QString& kind, const FieldResolver& resolve);
};

} // namespace kvx
