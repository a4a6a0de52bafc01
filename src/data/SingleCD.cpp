#include "SingleCD.h"

#include "KnlBase.h"
#include "Log.h"

#include "platform/DialogService.h"
#include "server/Brokers.h"
#include "server/LibStrs.h"
#include "server/TextFormat.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QWidget>

namespace kvx {

namespace {

constexpr auto kSelectionField = "MultiSelected";

bool isIgnoredSortKind(const TField* f) {
    switch (f->DataType()) {
    case FieldType::DataSet:
    case FieldType::Blob:
    case FieldType::Memo:
    case FieldType::Bytes:
    case FieldType::VarBytes:
    case FieldType::Unknown:
        return true;
    default:
        return f->FieldKind() == TField::fkCalculated || f->FieldKind() == TField::fkLookup;
    }
}

QString shownValue(const Variant& v) {
    if (v.isUnassigned()) return QStringLiteral("-");
    if (v.isNull()) return QStringLiteral("(null)");
    return v.toString();
}

} // namespace

void TSingleModuleOwner::OpenDocument(const QString& fileName) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)))
        qCWarning(lcData) << "no program opened" << fileName;
}

// --- TdmSingle -----------------------------------------------------------------------------------------

TdmSingle::TdmSingle(QObject* owner) : TdmBase(owner) {
    setObjectName(QStringLiteral("dmSingle"));
    cdsMain->BeforeOpen = [this](TDataSet* ds) { cdsMainBeforeOpen(ds); };
    cdsMain->AfterScroll = [this](TDataSet* ds) { cdsMainAfterScroll(ds); };
    cdsMain->OnReconcileError = [this](TClientDataSet* ds, EReconcileError& e, TUpdateKind k,
                                       TReconcileAction& a) { cdsMainReconcileError(ds, e, k, a); };
    connect(cdsMain, &TClientDataSet::dataEvent, this, [this](TDataEvent event, TField*) {
        if (event != TDataEvent::deDataSetChange || !SingleOwner()->ColorManagement()) return;
        try {
            FollowMainPackets();
        } catch (const std::exception& e) {
            qCWarning(lcData) << "colour packets not fetched:" << e.what();
        }
    });
    DataModuleCreate();
}

TdmSingle::~TdmSingle() {
    DataModuleDestroy();
}

void TdmSingle::DataModuleCreate() {
    CarryOverValues.clear();
}

void TdmSingle::DataModuleDestroy() {
    CarryOverValues.clear();
}

TSingleModuleOwner* TdmSingle::SingleOwner() const {
    if (auto* o = dynamic_cast<TSingleModuleOwner*>(OwnerForm())) return o;
    return const_cast<TSingleModuleOwner*>(&defaultSingleOwner_);
}

QString TdmSingle::text(const QString& key, const QString& def) const {
    const TDataModuleOwner* form = OwnerForm();
    return form->PackageText(QStringLiteral("TdmSingle"), key, form->DisplayConvert(def));
}

int TdmSingle::showError(const QString& message) const {
    MessageRequest req;
    req.type = MsgDlgType::Error;
    req.buttons = mbOK;
    req.text = message;
    req.parent = SingleOwner()->DialogParent();
    return DialogService::instance().showMessage(req);
}

int TdmSingle::askYesNo(const QString& message) const {
    MessageRequest req;
    req.type = MsgDlgType::Confirmation;
    req.buttons = mbYes | mbNo;
    req.defaultButton = mbYes;
    req.text = message;
    req.parent = SingleOwner()->DialogParent();
    return DialogService::instance().showMessage(req);
}

// --- new records ---------------------------------------------------------------------------------------

void TdmSingle::NewRecordDefaults(TClientDataSet* ds) {
    TdmBase::NewRecordDefaults(ds);
    // Switched off without touching the key field's Required flag.
    if (autoNumberMode_) {
        autoNumberMode_ = false;
        autoNumberField_.clear();
    }
    RestoreCarryOver();
    ApplyHostDefaults();
    SingleOwner()->ApplyUserDefaults();
    QueryUdfDefaults(cdsMain, SingleOwner()->UdfDefaults(QStringLiteral("Z01"), QStringLiteral("N")));
}

void TdmSingle::SaveCarryOver() {
    for (QString& line : CarryOverValues) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        QString value;
        try {
            TField* f = cdsMain->FindField(name);
            if (f && !f->IsNull()) value = f->AsString() + QLatin1Char(' ');
        } catch (const std::exception& e) {
            qCWarning(lcData) << "carry-over value of" << name << "not read:" << e.what();
        }
        line = name + QLatin1Char('=') + value;
    }
}

void TdmSingle::RestoreCarryOver() {
    for (const QString& line : std::as_const(CarryOverValues)) {
        const int eq = line.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? line : line.left(eq);
        const QString value = eq < 0 ? QString() : line.mid(eq + 1);
        TField* f = cdsMain->FindField(name.trimmed());
        if (!f) continue;
        try {
            // A null value was stored as nothing; any other value carries one trailing space.
            if (value.isEmpty())
                f->Clear();
            else
                SetFieldValue(f, value.trimmed());
        } catch (const EAbort&) {
        } catch (const std::exception& e) {
            qCWarning(lcData) << "carry-over value of" << name << "refused:" << e.what();
        }
    }
}

void TdmSingle::ClearCarryOver() {
    for (QString& line : CarryOverValues)
        line = line.section(QLatin1Char('='), 0, 0) + QStringLiteral("= ");
}

void TdmSingle::ApplyHostDefaults() {
    if (HostDefaults.dimCount() != 2) return;
    const int lo = HostDefaults.lowBound(2), hi = HostDefaults.highBound(2);
    const int row0 = HostDefaults.lowBound(1);
    if (HostDefaults.highBound(1) < row0 + 1) return;
    for (int i = lo; i <= hi; ++i) {
        const QString name = HostDefaults.at(row0, i).toString().trimmed();
        TField* f = name.isEmpty() ? nullptr : cdsMain->FindField(name);
        if (!f) continue;
        try {
            const Variant v = HostDefaults.at(row0 + 1, i);
            if (v.isEmptyOrNull())
                f->Clear();
            else
                SetFieldValue(f, v.toString());
        } catch (const EAbort&) {
        } catch (const std::exception& e) {
            qCWarning(lcData) << "host default of" << name << "refused:" << e.what();
        }
    }
}

void TdmSingle::QueryUdfDefaults(TClientDataSet* ds, const QList<TUdfDefault>& fields) {
    if (!ds || !Broker) return;
    bool reported = false;
    for (const TUdfDefault& udf : fields) {
        VariantList related;
        for (const QString& name : udf.RelatedFields) {
            const TField* f = ds->FindField(name.trimmed());
            related.append(f ? Variant(f->AsString()) : Variant(QString()));
        }
        TField* target = ds->FindField(udf.TargetField.trimmed());
        try {
            const Variant answer =
                Broker->CallCounter(QStringLiteral("QueryUDFData"),
                                    Variant::fromList({udf.DefinitionName, QString(), Broker->DBName,
                                                       QStringLiteral("N"), Variant::fromList(related)}));
            if (!answer.isArray() || answer.highBound() < answer.lowBound()) continue;
            const Variant& first = answer.at(answer.lowBound());
            if (!first.isArray() || first.highBound() < first.lowBound() || !target) continue;
            const Variant& value = first.at(first.lowBound());
            SetFieldValue(target, value.toString());
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception& e) {
            qCWarning(lcData) << "user-defined field" << udf.TargetField << "not filled:" << e.what();
            if (reported) continue;
            reported = true;
            const TDataModuleOwner* form = OwnerForm();
            const QString fmt =
                form->PackageText(QStringLiteral("TfrmSingle"), QStringLiteral("sUDFError"),
                                  QStringLiteral("自定义栏位(%s)赋值错误，可能是类型不匹配！！"));
            const QString label = target ? target->DisplayLabel() : udf.TargetField;
            Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000032"),
                            {server::FormatVariants(fmt, {Variant(label)})});
        }
    }
}

QList<TUdfDefault> TdmSingle::UdfDefaultsOf(const TUDFFields& fields) {
    QList<TUdfDefault> out;
    for (int i = 0; i < fields.Count(); ++i) {
        const TUDFField* f = fields.Items(i);
        TUdfDefault d{f->FieldName, f->DefineName, {}};
        for (int r = 0; r < f->RelatedFields->Count(); ++r)
            d.RelatedFields << f->RelatedFields->Items(r)->FieldName;
        out << d;
    }
    return out;
}

void TdmSingle::QueryUdfDefaults(TClientDataSet* ds, const TUDFFields& fields) {
    QueryUdfDefaults(ds, UdfDefaultsOf(fields));
}

// --- keys ----------------------------------------------------------------------------------------------

void TdmSingle::SetAutoNumberMode(bool flag) {
    if (flag != autoNumberMode_) {
        autoNumberMode_ = flag;
        autoNumberField_.clear();
    }
    if (!flag) return;
    const QStringList keys = KeyFields.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (keys.isEmpty()) return;
    autoNumberField_ = keys.last().trimmed();
    if (TField* f = cdsMain->FindField(autoNumberField_)) f->SetRequired(false);
}

QString TdmSingle::GetAutoNumberField() {
    return autoNumberField_;
}

void TdmSingle::SetKeyFields(const QString& keys) {
    TdmBase::SetKeyFields(keys);
    const QStringList items = KeyFields.split(QLatin1Char(','), Qt::SkipEmptyParts);
    keyCount_ = int(items.size());
    if (autoNumberMode_ && autoNumberField_.isEmpty() && !items.isEmpty()) {
        autoNumberField_ = items.last().trimmed();
        if (TField* f = cdsMain->FindField(autoNumberField_)) f->SetRequired(false);
    }
}

void TdmSingle::BeforeSaveNew() {}

// --- saving --------------------------------------------------------------------------------------------

bool TdmSingle::CanModify() {
    bool result = TdmBase::CanModify();
    if (!Broker || Broker->GetLoginInfo(QStringLiteral("H11_KEY")).isEmpty()) return result;
    TClientDataSet* body = nullptr;
    for (TClientDataSet* ds : clientDataSets()) {
        TDataSetField* master = ds->DataSetField();
        if (master && master->DataSet() == cdsMain &&
            ds->objectName().compare(QLatin1String("cdsBody1"), Qt::CaseInsensitive) != 0) {
            body = ds;
            break;
        }
    }
    if (!body) return result;
    QString rejected;
    result = CheckBodyPermission(body, QStringLiteral("H11"), rejected);
    if (!result) {
        if (rejected != QLatin1String("ALL"))
            Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("200571"),
                            {QStringLiteral("\r\n\r\n") +
                             QString(rejected).replace(QLatin1Char(';'), QStringLiteral("\r\n"))});
        else
            Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("200570"));
    }
    return result;
}

bool TdmSingle::ApplyMain(TClientDataSet* ds) {
    TSingleModuleOwner* form = SingleOwner();
    const bool adding = form->EditingMode() == TDataModuleOwner::emAdd;
    const bool ok = TdmBase::ApplyMain(ds);
    if (adding && ok) SaveCarryOver();
    if (form->ColorManagement() && cdsMainColor && cdsMainColor->Active()) {
        form->ReloadColorData(adding);
        RefreshColorMark();
    }
    return ok;
}

void TdmSingle::cdsMainReconcileError(TClientDataSet*, EReconcileError& error, TUpdateKind,
                                      TReconcileAction&) {
    const TDataModuleOwner* form = OwnerForm();
    showError(form->DisplayConvert(ReconcileReport(error.Message, error.Record)));
    try {
        const QString prog = Broker ? Broker->ProgID : QString();
        const QString failed = form->PackageText(QStringLiteral("TdmSingle"), QStringLiteral("sFailedSave"),
                                                 QStringLiteral("保存失败"));
        WriteToAlertFile(prog,
                         QStringLiteral("Single") + failed + QStringLiteral("Context :") + error.Context,
                         QStringLiteral("D"));
        WriteToAlertFile(prog,
                         QStringLiteral("Single") + failed + QStringLiteral("PreviousError :") +
                             QString::number(error.PreviousError),
                         QStringLiteral("D"));
    } catch (const std::exception& e) {
        qCWarning(lcData) << "reconcile error not logged:" << e.what();
    }
}

QString TdmSingle::ReconcileReport(const QString& message, const TReconcileRecord& record) {
    QStringList lines;
    for (const FieldDesc& f : record.fields) {
        const Variant tried = record.NewValue(f.name);
        if (tried.isUnassigned()) continue;
        const Variant fetched = record.OldValue(f.name);
        if (tried.identical(fetched)) continue;
        lines << QStringLiteral("%1: %2 -> %3 (now %4)")
                     .arg(f.name, shownValue(fetched), shownValue(tried),
                          shownValue(record.CurValue(f.name)));
    }
    if (lines.isEmpty()) return message;
    return message + QStringLiteral("\r\n\r\n") + lines.join(QStringLiteral("\r\n"));
}

// --- colour marks --------------------------------------------------------------------------------------

void TdmSingle::RefreshColorMark() {
    TSingleModuleOwner* form = SingleOwner();
    if (!form->ColorManagement() || !cdsMainColor) return;
    try {
        FollowMainPackets();
        form->ResetColorRules();
        if (!cdsMainColor->Active()) return;
        Variant keys = form->CurrentKeyValues();
        if (keys.isUnassigned()) {
            VariantList values;
            for (const QString& k : KeyFields.split(QLatin1Char(','), Qt::SkipEmptyParts))
                if (TField* f = cdsMain->FindField(k.trimmed())) values.append(f->Value());
            keys = values.size() == 1 ? values.first() : Variant::fromList(values);
        }
        QString fields = KeyFields;
        fields.replace(QLatin1Char(','), QLatin1Char(';'));
        if (cdsMainColor->Locate(fields, keys)) form->ApplyColorRules(cdsMainColor);
    } catch (const std::exception& e) {
        qCDebug(lcData) << "colour mark not refreshed:" << e.what();
    }
}

void TdmSingle::FollowMainPackets() {
    if (!cdsMainColor) return; // a build without colour management
    while (cdsMainColor->Active() && cdsMainColor->RecordCount() < cdsMain->RecordCount() &&
           cdsMainColor->HasMorePackets())
        if (cdsMainColor->GetNextPacket() == 0) break;
}

void TdmSingle::cdsMainAfterScroll(TDataSet* ds) {
    if (!SingleOwner()->SuppressColorMark()) RefreshColorMark();
    TdmBase::cdsMainAfterScroll(ds);
}

// --- sorting and the selection column ------------------------------------------------------------------

void TdmSingle::SortByField(const QString& fieldName) {
    TSingleModuleOwner* form = SingleOwner();
    if (!form->SortAllowed() || !cdsMain->Active()) return;
    const int count = cdsMain->RecordCount();
    if (fieldName.trimmed().isEmpty()) {
        if (SortField) {
            SortField = nullptr;
            cdsMain->SetIndexName(QString());
            cdsMain->SetIndexFieldNames(DefaultIndexFields);
        }
    } else {
        TField* f = cdsMain->FindField(fieldName.trimmed());
        if (!f || isIgnoredSortKind(f)) return;
        if (form->EditingMode() != TDataModuleOwner::emBrowse) return;
        const QString name = f->FieldName();
        if (f != SortField) {
            SortField = f;
            cdsMain->SetIndexFieldNames(name);
        } else {
            const TIndexDef* current =
                cdsMain->IndexName().isEmpty() ? nullptr : cdsMain->IndexDefs().Find(cdsMain->IndexName());
            const bool ascending = !cdsMain->IndexFieldNames().isEmpty() ||
                                   (current && !current->Options.testFlag(ixDescending));
            if (ascending) {
                TIndexDef* def = cdsMain->IndexDefs().Find(name);
                if (!def) def = &cdsMain->IndexDefs().Add(name, name);
                def->Fields = name;
                def->DescFields = name;
                def->Options = ixDescending;
                cdsMain->SetIndexFieldNames(QString());
                cdsMain->SetIndexName(name);
            } else {
                cdsMain->SetIndexFieldNames(name);
            }
        }
    }
    if (cdsMain->RecordCount() == count) return;
    // The record count changed (packets fetched by the index): the grid follows once.
    const TDataChangeEvent saved = dsMain->OnDataChange;
    dsMain->OnDataChange = nullptr;
    try {
        cdsMain->Next();
        cdsMain->Prior();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        WriteToAlertFile(Broker ? Broker->ProgID : QString(),
                         QStringLiteral("Single-763:") + QString::fromUtf8(e.what()), QStringLiteral("D"));
    }
    dsMain->OnDataChange = saved;
}

void TdmSingle::cdsMainBeforeOpen(TDataSet* ds) {
    TdmBase::cdsMainBeforeOpen(ds);
    if (cdsMain->FindField(QLatin1String(kSelectionField))) return;
    TSingleModuleOwner* form = SingleOwner();
    auto* f = new TStringField(this);
    f->setObjectName(QStringLiteral("cdsMainMultiSelected"));
    f->SetFieldName(QLatin1String(kSelectionField));
    f->SetSize(1);
    f->SetFieldKind(TField::fkInternalCalc);
    f->SetDataSet(cdsMain);
    f->SetIndex(0);
    f->SetReadOnly(true);
    f->SetVisible(selectionVisible_);
    const QString cp = form->CodePage();
    f->SetDisplayLabel(cp == QLatin1String("950") || cp == QLatin1String("936") ? QStringLiteral("选定")
                                                                                : QStringLiteral("Selected"));
    f->OnGetText = [this](TField* s, QString& t, bool d) { SelectionFieldGetText(s, t, d); };
    SelectionField = f;
    form->SetControlType(cdsMain, f->FieldName(), QStringLiteral("CheckBox;Y;N"));
    form->RefreshGridLayout();
}

void TdmSingle::SelectionFieldGetText(TField* sender, QString& text, bool) {
    const TClientDataSet* ds = sender->DataSet();
    text = ds && SingleOwner()->GridRowSelected(ds->activeBookmark()) ? QStringLiteral("Y")
                                                                      : QStringLiteral("N");
}

void TdmSingle::SetSelectionVisible(bool flag) {
    selectionVisible_ = flag;
    if (SelectionField) SelectionField->SetVisible(flag);
}

// --- numbers and texts ---------------------------------------------------------------------------------

void TdmSingle::FetchAllPackets(TClientDataSet* ds) {
    if (!ds || !ds->Active()) return;
    while (ds->GetNextPacket() > 0) {
    }
    ds->First();
}

int TdmSingle::DigitsByRuleKey(const QString& fieldName, int def) {
    for (int key = 0; key <= 10; ++key) {
        // The field must be listed as a word: "N" is not found in "cdsMain:QTY", nor "MB01" in "MB010".
        if (FindToken(fieldName, DecimalRuleValue(key)) > 0) return DecimalRuleDecimals(key);
    }
    return def;
}

void TdmSingle::ComboDisplayText(TClientDataSet* ds, QObject*, QString& outText, const QString& displayText,
                                 const QString& fieldName) {
    outText = displayText;
    if (!ds) return;
    const TSingleModuleOwner* form = SingleOwner();
    QString combo;
    for (const QString& decl : form->ControlTypes(ds)) {
        const QStringList parts = decl.split(QLatin1Char(';'));
        if (parts.size() >= 3 && parts[0].trimmed().compare(fieldName, Qt::CaseInsensitive) == 0 &&
            parts[1].trimmed().compare(QLatin1String("CustomEdit"), Qt::CaseInsensitive) == 0) {
            combo = parts[2].trimmed();
            break;
        }
    }
    if (combo.isEmpty()) return;
    const QStringList items = form->ComboItems(combo);
    if (items.isEmpty()) return;
    // The item storing exactly the field's value wins; "contains" is only the fall-back.
    const TField* f = ds->FindField(fieldName);
    if (f && !f->IsNull()) {
        const QString stored = f->AsString().trimmed();
        for (const QString& item : items) {
            const int tab = item.indexOf(QLatin1Char('\t'));
            if (tab >= 0 && item.mid(tab + 1).trimmed() == stored) {
                outText = item.left(tab);
                return;
            }
        }
    }
    if (displayText.isEmpty()) return;
    for (const QString& item : items)
        if (item.contains(displayText)) {
            outText = item.section(QLatin1Char('\t'), 0, 0);
            return;
        }
}

void TdmSingle::ApplyBaseCurrencyDigits() {
    if (!Broker) return;
    const QString code = Broker->GetSysParam(QStringLiteral("SYS003")).trimmed();
    for (int k = cdtPrice; k <= cdtCostsAmount; ++k) {
        const auto kind = TCurrencyDigitType(k);
        const QString key = QStringLiteral("SYS003||") + CurrencyDigitTypeName(kind);
        QString spec;
        for (const QString& entry : std::as_const(CurrencyRules))
            if (entry.section(QLatin1Char('='), 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
                spec = entry.section(QLatin1Char('='), 1);
                break;
            }
        if (spec.trimmed().isEmpty()) continue;
        SetNumberFieldFormats(spec, GetCurrencyDigits(code, kind), true);
    }
}

// --- export folder -------------------------------------------------------------------------------------

QString TdmSingle::ExportFolder() const {
    QString base = SingleOwner()->ClientWorkPath();
    if (base.isEmpty()) base = installationSettings().clientPath;
    if (base.isEmpty()) base = QDir::currentPath();
    if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
    return base + QStringLiteral("c_data/") + (Broker ? Broker->UserID : QString());
}

bool TdmSingle::ensureFolder(const QString& folder) const {
    // Missing parents are created too: a fresh installation has no c_data folder yet.
    return QDir(folder).exists() || QDir().mkpath(folder);
}

QString TdmSingle::exportFileName(const QString& folder, const QString& extension) const {
    const QString prog = Broker ? Broker->ProgID : QString();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString name = folder + QLatin1Char('/') + prog + QLatin1Char('_') + stamp;
    // Two exports within one second must not overwrite each other.
    QString candidate = name + extension;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = name + QStringLiteral("_%1").arg(n) + extension;
    return candidate;
}

} // namespace kvx
