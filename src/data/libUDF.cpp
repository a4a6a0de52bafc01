#include "libUDF.h"
#include "KnlBase.h"

#include "server/Brokers.h"
#include "server/LibStrs.h"

namespace kvx {

namespace {

QString textOf(const VariantList& row, int i) {
    return i < row.size() && !row[i].isEmptyOrNull() ? row[i].toString().trimmed() : QString();
}

} // namespace

TUDFRelatedField::TUDFRelatedField(TCollection* owner) : TCollectionItem(owner) {}

TUDFRelatedFields::TUDFRelatedFields(QObject* parent)
    : TCollection([](TCollection* c) { return new TUDFRelatedField(c); }, parent) {}

TUDFRelatedField* TUDFRelatedFields::Add() {
    return static_cast<TUDFRelatedField*>(TCollection::Add());
}

TUDFRelatedField* TUDFRelatedFields::FindField(const TField* field) const {
    if (!field) return nullptr;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Field == field) return Items(i);
    return nullptr;
}

TUDFField::TUDFField(TCollection* owner)
    : TCollectionItem(owner), RelatedFields(new TUDFRelatedFields(this)) {}

TUDFFields::TUDFFields(QObject* parent)
    : TCollection([](TCollection* c) { return new TUDFField(c); }, parent) {}

TUDFField* TUDFFields::Add() {
    return static_cast<TUDFField*>(TCollection::Add());
}

QList<TUDFField*> TUDFFields::RulesOf(const TField* field) const {
    QList<TUDFField*> out;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->RelatedFields->FindField(field)) out << Items(i);
    return out;
}

QString TUDFFields::RulesStatement(const QString& flag, const QString& kind, const QString& progId) {
    QString filter;
    if (flag == QLatin1String("Y"))
        filter = QStringLiteral(" TL012 <> '' ");
    else if (flag == QLatin1String("N"))
        filter = QStringLiteral(" TL012 = '' ");
    else
        filter = QStringLiteral(" 1=1 ");
    return QStringLiteral(
               " SELECT TL006,TL013,TL012 FROM $$ADMTK ADMTK  LEFT JOIN $$ADMTL ADMTL ON TK001 = TL001 "
               "AND TL010 = 'Y'  WHERE ") +
           filter + QStringLiteral(" AND TK003 = 'Y' AND TL005 = ") + QuotedSql(kind) +
           QStringLiteral(" AND TL003 = ") + QuotedSql(progId) + QStringLiteral(" ORDER BY TL011 ");
}

void TUDFFields::AddRows(const Variant& rows, const FieldResolver& resolve) {
    for (const VariantList& row : AnswerRows(rows)) {
        const QString target = textOf(row, 0);
        // The left join gives a row without line for a header whose lines are all disabled.
        if (target.isEmpty()) continue;
        TUDFField* rule = Add();
        rule->FieldName = target;
        rule->DefineName = textOf(row, 1);
        for (const QString& part : textOf(row, 2).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString name = part.trimmed();
            if (name.isEmpty()) continue;
            TUDFRelatedField* related = rule->RelatedFields->Add();
            related->FieldName = name;
            if (resolve) {
                const int dot = name.lastIndexOf(QLatin1Char('.'));
                related->Field = resolve(dot >= 0 ? name.mid(dot + 1) : name);
            }
        }
    }
}

void TUDFFields::Load(TBrokers& broker, const QString& flag, const QString& kind,
                      const FieldResolver& resolve) {
    const Variant answer = broker.CallCounter(
        QStringLiteral("SimpleSql"), Variant::fromList({RulesStatement(flag, kind, broker.ProgID),
                                                        RulesColumns(), broker.DBName, QStringLiteral("N")}));
    AddRows(answer, resolve);
}

} // namespace kvx
