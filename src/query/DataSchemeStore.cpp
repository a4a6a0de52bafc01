#include "DataSchemeStore.h"

#include "data/RadicalCD.h"
#include "server/Brokers.h"

namespace kvx {

namespace {
QString text(const TClientDataSet* ds, const char* name) {
    const TField* f = ds->FindField(QLatin1String(name));
    return f ? f->AsString() : QString();
}
} // namespace

QString TdmSchemeStore::UserID() const {
    return dm_->Broker ? dm_->Broker->UserID : QString();
}

TQBEScheme TdmSchemeStore::current() const {
    const TClientDataSet* ds = dm_->cdsSaveCondition;
    TQBEScheme s;
    s.name = text(ds, "NCONDITION");
    s.creator = text(ds, "CREATOR");
    s.createDate = text(ds, "CREATE_DATE");
    s.text = text(ds, "VCONDITION");
    s.activePage = text(ds, "ActivePage").toInt();
    s.shared = text(ds, "SHARED").trimmed().toUpper() == QLatin1String("Y");
    s.isDefault = text(ds, "IS_DEFAULT").trimmed().toUpper() == QLatin1String("Y");
    return s;
}

QString TdmSchemeStore::Load(QList<TQBEScheme>& schemes) {
    schemes.clear();
    const QString answer = dm_->LoadTable();
    if (!answer.isEmpty()) return answer;
    TClientDataSet* ds = dm_->cdsSaveCondition;
    for (ds->First(); !ds->Eof(); ds->Next())
        schemes << current();
    ds->First();
    return {};
}

QString TdmSchemeStore::Insert(const QString& name, const QString& text, int activePage, bool replace) {
    return dm_->InsertConTable(name, text, activePage, replace);
}

QString TdmSchemeStore::Delete(const QString& name) {
    return dm_->DeleteConTable(name);
}

QString TdmSchemeStore::Rename(const QString& oldName, const QString& newName) {
    const QString answer = dm_->ChangeConName(oldName, newName);
    if (!answer.isEmpty()) return answer;
    // The loaded record follows the server; it is posted locally only.
    if (dm_->LocateCondition(oldName)) {
        TClientDataSet* ds = dm_->cdsSaveCondition;
        ds->Edit();
        ds->FieldByName(QStringLiteral("NCONDITION"))->SetAsString(newName);
        ds->Post();
    }
    return {};
}

bool TdmSchemeStore::Exists(const QString& name) {
    // The loaded schemes answer too: without a validator service the check through the broker says no.
    return dm_->ConditionExists(name) || Find(name, UserID()).has_value();
}

std::optional<TQBEScheme> TdmSchemeStore::Find(const QString& name, const QString& creator) {
    TClientDataSet* ds = dm_->cdsSaveCondition;
    if (!ds->Active()) return std::nullopt;
    const QString prog = dm_->Broker ? dm_->Broker->ProgID : QString();
    if (!ds->Locate(QStringLiteral("NCONDITION;CREATOR;PROGRAMME"), Variant::fromList({name, creator, prog})))
        return std::nullopt;
    return current();
}

QString TdmSchemeStore::Share(const QString& name, bool shared) {
    return dm_->ShareConTable(name, shared);
}

QString TdmSchemeStore::SetDefault(const QString& name, bool isDefault) {
    return dm_->SetDefaultCon(name, isDefault);
}

} // namespace kvx
