#include "RadicalCD.h"

#include "platform/Automation.h"
#include "platform/Field.h"
#include "server/Brokers.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"
#include "server/StaveloINI.h"

#include <QDate>
#include <QScopeGuard>

namespace kvx {

namespace {

const char* const kAuditFields[] = {"COMPANY",  "CREATOR",   "USR_GROUP", "CREATE_DATE",
                                    "MODIFIER", "MODI_DATE", "FLAG"};

struct AuditLabel {
    const char* field;
    const char* key;
    const char* text;
};
const AuditLabel kAuditLabels[] = {
    {"COMPANY", "sCompany", "公司编号"}, {"CREATOR", "sCreator", "录入者"},
    {"USR_GROUP", "sGroup", "组编号"},   {"CREATE_DATE", "sCreateDate", "录入日期"},
    {"MODIFIER", "sModifier", "更改者"}, {"MODI_DATE", "sModiDate", "更改日期"},
    {"FLAG", "sFlag", "标识"},
};

// FLAG read as an integer, 0 when empty or not a number.
qint64 flagOf(TClientDataSet* ds) {
    TField* f = ds->FindField(QStringLiteral("FLAG"));
    if (!f || f->IsNull()) return 0;
    bool ok = false;
    const double v = f->AsString().trimmed().toDouble(&ok);
    return ok ? qint64(v) : 0;
}

void setIfPresent(TClientDataSet* ds, const char* name, const QString& text) {
    if (TField* f = ds->FindField(QString::fromLatin1(name))) SetFieldValue(f, text, true);
}

bool plainTextType(FieldType t) {
    switch (t) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
    case FieldType::Bytes:
    case FieldType::AutoInc:
    case FieldType::LargeInt:
        return true;
    default:
        return false;
    }
}

// The selector that follows `selector` ("63" -> "64"), keeping its width.
QString nextSelector(const QString& selector) {
    bool ok = false;
    const int n = selector.trimmed().toInt(&ok);
    if (!ok) return selector;
    return PadL(QString::number(n + 1), {int(selector.trimmed().size()), '0'});
}

} // namespace

TdmRadical::TdmRadical(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("dmRadical"));
    SOB = new QObject(this);
    SOB->setObjectName(QStringLiteral("SOB"));
    MIDAS = new SocketConnection(this);
    MIDAS->setObjectName(QStringLiteral("MIDAS"));
    MIDAS->setServerName(QStringLiteral("TRIVON.Class1"));
    cdsSaveCondition = new TClientDataSet(this);
    cdsSaveCondition->setObjectName(QStringLiteral("cdsSaveCondition"));
    cdsSaveCondition->SetProviderName(QStringLiteral("pvdConSave"));
    cdsSaveCondition->IndexDefs().Add(QStringLiteral("Index1"),
                                      QStringLiteral("NCONDITION;CREATOR;PROGRAMME"));
    cdsSaveCondition->SetIndexName(QStringLiteral("Index1"));
    cdsSaveCondition->SetValidateWithMask(true);
    UseMidas(cdsSaveCondition);
    scLookUpData = new SocketConnection(this);
    scLookUpData->setObjectName(QStringLiteral("scLookUpData"));
    scLookUpData->setServerName(QStringLiteral("Halvex.Class1"));
    scLookUpData->setAddress(QStringLiteral("127.0.0.1"));
    // A closed connection leaves no dataset pointing at its provider side.
    connect(MIDAS, &SocketConnection::afterDisconnect, this, [this] {
        for (const QPointer<TClientDataSet>& ds : std::as_const(midasDataSets_))
            if (ds) ds->SetRemoteServer(nullptr);
    });
    DataModuleCreate();
}

TdmRadical::~TdmRadical() {
    DataModuleDestroy();
}

void TdmRadical::DataModuleCreate() {
    ConnectFlag = true;
}

void TdmRadical::DataModuleDestroy() {}

TDataModuleOwner* TdmRadical::OwnerForm() const {
    if (ownerForm_) return ownerForm_;
    if (auto* o = dynamic_cast<TDataModuleOwner*>(parent())) return o;
    return const_cast<TDataModuleOwner*>(&defaultOwner_);
}

QList<TClientDataSet*> TdmRadical::clientDataSets() const {
    return findChildren<TClientDataSet*>(QString(), Qt::FindDirectChildrenOnly);
}

void TdmRadical::UseMidas(TClientDataSet* ds) {
    if (!midasDataSets_.contains(ds)) midasDataSets_.append(ds);
    if (MIDAS && MIDAS->connected()) ds->SetRemoteServer(MIDAS->providers());
}

void TdmRadical::bindRemoteDataSets() {
    ProviderEndpoint* p = MIDAS->providers();
    for (const QPointer<TClientDataSet>& ds : std::as_const(midasDataSets_))
        if (ds) ds->SetRemoteServer(p);
}

// --- virtual operations ---------------------------------------------------------------------------------

void TdmRadical::NewRecordDefaults(TClientDataSet*) {}

void TdmRadical::StampAudit(TClientDataSet* ds) {
    const TDataSetState st = ds->State();
    const QString user = Broker ? Broker->UserID : QString();
    if (st == TDataSetState::dsInsert) {
        if (flagOf(ds) < 0) return;
        setIfPresent(ds, "COMPANY", Broker ? Broker->CompanyID : QString());
        setIfPresent(ds, "CREATOR", user);
        setIfPresent(ds, "CREATE_DATE", ServerDate);
        setIfPresent(ds, "USR_GROUP", Broker ? Broker->UserGroup : QString());
        setIfPresent(ds, "FLAG", QStringLiteral("-1"));
    } else if (st == TDataSetState::dsEdit) {
        const qint64 flag = flagOf(ds);
        if (flag < 0) return; // already stamped in this edit
        setIfPresent(ds, "MODIFIER", user);
        setIfPresent(ds, "MODI_DATE", ServerDate);
        setIfPresent(ds, "FLAG", QString::number(NextChangeFlag(flag)));
    }
}

bool TdmRadical::OpenMainAndColor() {
    return false;
}

bool TdmRadical::ConnectServer() {
    QString address;
    int port = SocketConnection::kDefaultPort;
    const Settings settings = installationSettings();
    if (!settings.servers.isEmpty()) {
        address = settings.servers.first().address.trimmed();
        if (settings.servers.first().port > 0) port = settings.servers.first().port;
    }
    MIDAS->close();
    MIDAS->setAddress(address);
    MIDAS->setPort(port);
    MIDAS->setTls(settings.tls);
    if (!MIDAS->connected()) {
        if (IsLocalAddress(address))
            MIDAS->setAppServer(CreateOleObject(QStringLiteral("TRIVON.Class1")));
        else
            MIDAS->open();
    }
    AppServer = Variant(MIDAS->appServer());
    bindRemoteDataSets();
    std::shared_ptr<Dispatch> server = Server();
    if (!server) return false;
    VariantList args{
        Variant::fromList({Broker ? Broker->ProgID : QString(), Broker ? Broker->UserID : QString(),
                           Broker ? Broker->CompanyID : QString(), Broker ? Broker->DBName : QString(),
                           ConnectFlag, Broker ? Broker->Unrestricted : false})};
    const Variant rc = server->invoke(QStringLiteral("Connect"), args);
    if (rc.toIntDef(-1) != 0) {
        // A refused connection says why; the metadata calls after it would only say "not connected".
        QString reason;
        try {
            reason = server->getProperty(QStringLiteral("LastError")).toString();
        } catch (const std::exception& e) {
            qCWarning(lcData) << "no reason for the refused connection:" << e.what();
        }
        qCWarning(lcData) << "Connect refused with code" << rc.toString() << reason;
        throw AutomationError(QStringLiteral("Connect %1: %2").arg(rc.toString(), reason).toStdString());
    }
    const QString data = server->call(QStringLiteral("SvrData")).toString();
    if (Broker) {
        QStringList lines = data.split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
        Broker->LoginInfo = lines;
    }
    ConnectLookupServer();
    OpenMainAndColor();
    OpenNestedDatasets();
    return rc.toIntDef(-1) == 0;
}

void TdmRadical::ConnectLookupServer() {
    if (!Features().lookupServer) return; // the older build never connects it
    scLookUpData->close();
    scLookUpData->setAddress(MIDAS->address());
    scLookUpData->setPort(MIDAS->port());
    scLookUpData->setTls(MIDAS->tls());
    if (scLookUpData->connected()) return;
    if (IsLocalAddress(scLookUpData->address()))
        scLookUpData->setAppServer(CreateOleObject(QStringLiteral("Halvex.Class1")));
    else
        scLookUpData->open();
}

void TdmRadical::OpenNestedDatasets() {
    for (TClientDataSet* ds : clientDataSets())
        if (IsNestedDetail(ds) && !ds->Active() && ds->masterDataSet() && ds->masterDataSet()->Active())
            ds->Open();
}

Settings TdmRadical::installationSettings() const {
    return settings_ ? *settings_ : ReadInstallationSettings();
}

bool TdmRadical::ApplyMain(TClientDataSet* ds) {
    PrepareFlags(ds, true);
    if (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert) ds->Post();
    int errors = 0;
    try {
        errors = ds->ApplyUpdates(0);
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        WriteToAlertFile(QStringLiteral("Class knlRadical-311"), QString::fromUtf8(e.what()),
                         QStringLiteral("D"));
        throw;
    }
    return errors == 0;
}

// --- audit fields ---------------------------------------------------------------------------------------

bool TdmRadical::IsAuditField(const QString& name) {
    for (const char* f : kAuditFields)
        if (name.compare(QLatin1String(f), Qt::CaseInsensitive) == 0) return true;
    return false;
}

void TdmRadical::SetAuditFieldsState(TClientDataSet* ds, bool flag) {
    TControlsDisabled disabled(ds);
    for (const char* name : kAuditFields)
        if (TField* f = ds->FindField(QString::fromLatin1(name))) {
            f->SetVisible(flag);
            f->SetReadOnly(flag);
        }
}

void TdmRadical::SetAuditFieldLabels(TClientDataSet* ds) {
    TDataModuleOwner* form = OwnerForm();
    for (const AuditLabel& l : kAuditLabels) {
        TField* f = ds->FindField(QString::fromLatin1(l.field));
        if (!f) continue;
        f->SetDisplayLabel(form->PackageText(QStringLiteral("TdmRadical"), QString::fromLatin1(l.key),
                                             QString::fromUtf8(l.text)));
    }
    for (const char* name : {"CREATE_DATE", "MODI_DATE"})
        if (TField* f = ds->FindField(QString::fromLatin1(name)))
            f->OnGetText = [this](TField* s, QString& t, bool d) { DateTimeFieldGetText(s, t, d); };
}

void TdmRadical::RefreshServerDate() {
    const QString local = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    std::shared_ptr<Dispatch> server = Server();
    if (!server) {
        ServerDate = local;
        return;
    }
    try {
        const QString d =
            server->call(QStringLiteral("Whatis"), {QStringLiteral("TODAY")}).toString().trimmed();
        ServerDate = d.isEmpty() ? local : d;
    } catch (const std::exception& e) {
        qCWarning(lcData) << "server date unavailable, using the local date:" << e.what();
        ServerDate = local;
    }
}

void TdmRadical::FillNulls(TClientDataSet* ds) {
    for (TField* f : ds->Fields()) {
        if (!f->IsDataField() || !f->IsNull()) continue;
        const FieldType t = f->DataType();
        const bool text = f->IsStringKind() || t == FieldType::Memo;
        const bool number = f->IsNumeric() && t != FieldType::Boolean;
        if (!text && !number) continue;
        const TFieldNotifyEvent validate = f->OnValidate;
        f->OnValidate = {};
        const auto restore = qScopeGuard([&] { f->OnValidate = validate; });
        SetFieldValue(f, text ? QString() : QStringLiteral("0"), true);
    }
}

void TdmRadical::BuildKeyCondition(TClientDataSet* ds, const QString& fieldList, QString& condition,
                                   const QString& defaultAlias, const QString& columnList) {
    condition.clear();
    const QStringList fields = fieldList.split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList columns =
        (columnList.isEmpty() ? fieldList : columnList).split(QLatin1Char(','), Qt::SkipEmptyParts);
    int next = 0;
    for (QString name : fields) {
        name = name.trimmed();
        if (const int dot = name.lastIndexOf(QLatin1Char('.')); dot >= 0) name = name.mid(dot + 1);
        TField* f = ds->FindField(name);
        if (!f) continue;
        const QString item = next < columns.size() ? columns[next].trimmed() : name;
        ++next;
        QString alias = defaultAlias, column = item;
        if (const int dot = item.indexOf(QLatin1Char('.')); dot >= 0) {
            alias = item.left(dot);
            column = item.mid(dot + 1);
        }
        const QString qualified = alias.isEmpty() ? column : alias + QLatin1Char('.') + column;
        const QString value = plainTextType(f->DataType()) ? f->AsString() : QuotedSql(f->AsString());
        condition =
            QStringLiteral("%1%2%3=%4")
                .arg(condition, condition.isEmpty() ? QString() : QStringLiteral(" and "), qualified, value);
    }
}

void TdmRadical::SetupTextConversion() {
    TDataModuleOwner* form = OwnerForm();
    for (TClientDataSet* ds : clientDataSets()) {
        TControlsDisabled disabled(ds);
        for (TField* f : ds->Fields()) {
            f->SetDisplayLabel(form->DisplayConvert(f->DisplayLabel()));
            if (!f->IsStringKind() && f->DataType() != FieldType::Memo) continue;
            if (!f->OnGetText) f->OnGetText = [this](TField* s, QString& t, bool d) { DOGetText(s, t, d); };
            if (!f->OnSetText) f->OnSetText = [this](TField* s, const QString& t) { DOSetText(s, t); };
        }
    }
}

void TdmRadical::DOGetText(TField* s, QString& text, bool) {
    text = OwnerForm()->DisplayConvert(s->AsString());
}

void TdmRadical::DOSetText(TField* s, const QString& text) {
    s->SetAsString(OwnerForm()->InputConvert(text));
}

// --- field-kind handlers --------------------------------------------------------------------------------

bool TdmRadical::validating(TField* f) const {
    TClientDataSet* ds = f->DataSet();
    return ds && (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert);
}

void TdmRadical::failValidation(const QString& code) {
    if (Broker)
        Broker->ShowMsg(QStringLiteral("E"), code);
    else
        qCWarning(lcData) << "field value refused with message" << code << "(no broker to show it)";
    Abort();
}

QString TdmRadical::EditMaskOf(TFieldKindHandler kind) const {
    switch (kind) {
    case TFieldKindHandler::Time:
        return TimeEditMask();
    case TFieldKindHandler::Day:
    case TFieldKindHandler::Month:
        return DayEditMask();
    case TFieldKindHandler::Date:
        return DateEditMask(DateStyle, DateSeparator);
    case TFieldKindHandler::MonthDay:
        return MonthDayEditMask(DateSeparator);
    case TFieldKindHandler::YearMonth:
        return YearMonthEditMask(DateStyle, DateSeparator);
    case TFieldKindHandler::Year:
        return YearEditMask(DateStyle);
    case TFieldKindHandler::Duration:
        return DurationEditMask();
    case TFieldKindHandler::Percent:
        return PercentEditMask();
    case TFieldKindHandler::DateTime:
        return {};
    }
    return {};
}

void TdmRadical::SetupFieldKind(TField* f, TFieldKindHandler kind) {
    f->SetEditMask(EditMaskOf(kind));
    auto get = [this](void (TdmRadical::*m)(TField*, QString&, bool)) {
        return [this, m](TField* s, QString& t, bool d) { (this->*m)(s, t, d); };
    };
    auto set = [this](void (TdmRadical::*m)(TField*, const QString&)) {
        return [this, m](TField* s, const QString& t) { (this->*m)(s, t); };
    };
    auto val = [this](void (TdmRadical::*m)(TField*)) { return [this, m](TField* s) { (this->*m)(s); }; };
    switch (kind) {
    case TFieldKindHandler::Time:
        f->OnGetText = get(&TdmRadical::TimeFieldGetText);
        f->OnSetText = set(&TdmRadical::TimeFieldSetText);
        f->OnValidate = val(&TdmRadical::TimeFieldValidate);
        break;
    case TFieldKindHandler::Day:
        f->OnSetText = set(&TdmRadical::DayFieldSetText);
        f->OnValidate = val(&TdmRadical::DayFieldValidate);
        break;
    case TFieldKindHandler::Month:
        f->OnSetText = set(&TdmRadical::MonthFieldSetText);
        f->OnValidate = val(&TdmRadical::MonthFieldValidate);
        break;
    case TFieldKindHandler::Date:
        f->OnGetText = get(&TdmRadical::DateFieldGetText);
        f->OnSetText = set(&TdmRadical::DateFieldSetText);
        f->OnValidate = val(&TdmRadical::DateFieldValidate);
        break;
    case TFieldKindHandler::MonthDay:
        f->OnGetText = get(&TdmRadical::MonthDayFieldGetText);
        f->OnSetText = set(&TdmRadical::MonthDayFieldSetText);
        f->OnValidate = val(&TdmRadical::MonthDayFieldValidate);
        break;
    case TFieldKindHandler::YearMonth:
        f->OnGetText = get(&TdmRadical::YearMonthFieldGetText);
        f->OnSetText = set(&TdmRadical::YearMonthFieldSetText);
        f->OnValidate = val(&TdmRadical::YearMonthFieldValidate);
        break;
    case TFieldKindHandler::Year:
        f->OnGetText = get(&TdmRadical::YearFieldGetText);
        f->OnSetText = set(&TdmRadical::YearFieldSetText);
        break;
    case TFieldKindHandler::Duration:
        f->OnGetText = get(&TdmRadical::SecondFieldGetText);
        f->OnSetText = set(&TdmRadical::SecondFieldSetText);
        break;
    case TFieldKindHandler::Percent:
        f->OnGetText = get(&TdmRadical::PercentFieldGetText);
        f->OnSetText = set(&TdmRadical::PercentFieldSetText);
        break;
    case TFieldKindHandler::DateTime:
        f->OnGetText = get(&TdmRadical::DateTimeFieldGetText);
        break;
    }
}

void TdmRadical::TimeFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : TimeTextOut(s->AsString());
}

void TdmRadical::TimeFieldSetText(TField* s, const QString& text) {
    s->SetAsString(TimeTextIn(text));
}

void TdmRadical::TimeFieldValidate(TField* s) {
    if (!validating(s)) return;
    const QString v = s->AsString();
    if (!v.isEmpty() && !IsValidTime(v)) failValidation(QStringLiteral("100187"));
}

void TdmRadical::DayFieldSetText(TField* s, const QString& text) {
    s->SetAsString(TwoDigitTextIn(text));
}

void TdmRadical::DayFieldValidate(TField* s) {
    if (!validating(s) || s->AsString().isEmpty()) return;
    bool ok = false;
    const int d = s->AsString().toInt(&ok);
    if (!ok || d < 1 || d > 31) failValidation(QStringLiteral("000005"));
}

void TdmRadical::MonthFieldSetText(TField* s, const QString& text) {
    s->SetAsString(TwoDigitTextIn(text));
}

void TdmRadical::MonthFieldValidate(TField* s) {
    if (!validating(s) || s->AsString().isEmpty()) return;
    bool ok = false;
    const int m = s->AsString().toInt(&ok);
    if (!ok || m < 1 || m > 12) failValidation(QStringLiteral("100002"));
}

void TdmRadical::DateFieldGetText(TField* s, QString& text, bool) {
    if (s->IsNull()) {
        text.clear();
    } else if (s->DataType() == FieldType::Date || s->DataType() == FieldType::DateTime) {
        text = DateToString(s->AsDateTime(), DateStyle, DateSeparator);
    } else {
        text = DateTextOut(s->AsString(), DateStyle, DateSeparator);
    }
}

void TdmRadical::DateFieldSetText(TField* s, const QString& text) {
    const QString stored = DateTextIn(text, DateStyle, DateSeparator);
    if (s->DataType() == FieldType::Date || s->DataType() == FieldType::DateTime) {
        const TDateTime d = stored.isEmpty() ? 0 : TransDateIn(stored);
        if (d > 0)
            s->SetAsDateTime(d);
        else
            s->Clear();
        return;
    }
    s->SetAsString(stored);
}

void TdmRadical::DateFieldValidate(TField* s) {
    if (!validating(s) || s->IsNull()) return;
    if (s->DataType() == FieldType::Date || s->DataType() == FieldType::DateTime) return;
    const QString v = s->AsString().trimmed();
    if (!v.isEmpty() && (v.size() != 8 || !CheckDate(v))) failValidation(QStringLiteral("000005"));
}

void TdmRadical::MonthDayFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : MonthDayTextOut(s->AsString(), DateStyle, DateSeparator);
}

void TdmRadical::MonthDayFieldSetText(TField* s, const QString& text) {
    s->SetAsString(MonthDayTextIn(text, DateStyle, DateSeparator));
}

void TdmRadical::MonthDayFieldValidate(TField* s) {
    if (!validating(s) || s->AsString().isEmpty()) return;
    if (!IsValidMonthDay(s->AsString(), QDate::currentDate().year()))
        failValidation(QStringLiteral("000005"));
}

void TdmRadical::YearMonthFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : YearMonthTextOut(s->AsString(), DateStyle, DateSeparator);
}

void TdmRadical::YearMonthFieldSetText(TField* s, const QString& text) {
    s->SetAsString(YearMonthTextIn(text, DateStyle, DateSeparator));
}

void TdmRadical::YearMonthFieldValidate(TField* s) {
    if (!validating(s) || s->AsString().isEmpty()) return;
    const QString code = YearMonthError(s->AsString());
    if (!code.isEmpty()) failValidation(code);
}

void TdmRadical::YearFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : YearTextOut(s->AsString(), DateStyle);
}

void TdmRadical::YearFieldSetText(TField* s, const QString& text) {
    s->SetAsString(YearTextIn(text, DateStyle));
}

void TdmRadical::SecondFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : DurationTextOut(s->AsInteger());
}

void TdmRadical::SecondFieldSetText(TField* s, const QString& text) {
    if (IsDurationClear(text)) {
        s->Clear();
        return;
    }
    const std::optional<qint64> seconds = DurationTextIn(text);
    if (!seconds) failValidation(QStringLiteral("100187"));
    s->SetAsInteger(*seconds);
}

void TdmRadical::PercentFieldGetText(TField* s, QString& text, bool) {
    text = s->IsNull() ? QString() : PercentTextOut(s->AsFloat());
}

void TdmRadical::PercentFieldSetText(TField* s, const QString& text) {
    s->SetAsFloat(PercentTextIn(text));
}

void TdmRadical::DateTimeFieldGetText(TField* s, QString& text, bool) {
    if (s->IsNull()) {
        text.clear();
        return;
    }
    if (s->DataType() == FieldType::Date || s->DataType() == FieldType::DateTime) {
        text = MyDateTimeToString(s->AsDateTime(), DateStyle, DateSeparator);
        return;
    }
    const QString v = s->AsString().trimmed();
    if (v.size() == 8) {
        text = DateTextOut(v, DateStyle, DateSeparator);
    } else if (v.size() > 8) {
        const TDateTime d = TransDateTimeIn(v);
        text = d > 0 ? MyDateTimeToString(d, DateStyle, DateSeparator) : v;
    } else {
        text = v;
    }
}

// --- lookup input handlers ------------------------------------------------------------------------------

QString TdmRadical::inputOf(const QString& text) const {
    return OwnerForm()->InputConvert(text);
}

void TdmRadical::lookupInto(TField* field, const QString& converted, const Variant& args,
                            const QString& selector, const QString& table) {
    Variant result;
    if (Broker) {
        const Variant a = args.isEmptyOrNull() ? Variant::fromList({converted}) : args;
        Broker->LookupData(table, selector, result, {}, {}, {}, 0, {}, false, false, {}, a);
    }
    QString value = converted;
    if (result.isArray() && result.dimCount() == 1 && result.highBound() >= result.lowBound()) {
        const Variant row = result.at(result.lowBound());
        value = row.isArray()
                    ? (row.highBound() >= row.lowBound() ? row.at(row.lowBound()).toString() : QString())
                    : row.toString();
    }
    field->SetAsString(value);
    field->FocusControl();
}

void TdmRadical::BarCodeFieldSetText(TField* s, const QString& text, const Variant& args,
                                     const QString& selector, const QString& table) {
    const QString converted = inputOf(text);
    if (converted.isEmpty()) {
        s->SetAsString(QString());
        return;
    }
    if (BarCodeKindField && BarCodeKindField->AsString() == QLatin1String("2") && Broker) {
        Variant hit;
        Broker->LookupData(QStringLiteral("INVMH"), QStringLiteral("01"), hit, {}, {}, {}, 0, {}, false,
                           false, {}, Variant::fromList({converted}));
        if (hit.isArray() && hit.highBound() >= hit.lowBound()) {
            const Variant row = hit.at(hit.lowBound());
            s->SetAsString(row.isArray() ? row.at(row.lowBound()).toString() : row.toString());
            s->FocusControl();
            return;
        }
    }
    const QString mode = Broker ? Broker->GetSysParam(QStringLiteral("SYS053")).trimmed() : QString();
    const QString t = table.isEmpty() ? QStringLiteral("INVMB") : table;
    const QString sel = selector.isEmpty() ? QStringLiteral("63") : selector;
    if (mode == QLatin1String("1"))
        s->SetAsString(converted);
    else if (mode == QLatin1String("2"))
        lookupInto(s, converted, args, nextSelector(sel), t);
    else if (mode == QLatin1String("3"))
        lookupInto(s, converted, args, sel, t);
}

void TdmRadical::CostFieldSetText(TField* s, const QString& text, const Variant& args,
                                  const QString& selector, const QString& table) {
    const QString converted = inputOf(text);
    const QString mode = Broker ? Broker->GetSysParam(QStringLiteral("SYS056")).trimmed() : QString();
    const QString t = table.isEmpty() ? QStringLiteral("ACTMA") : table;
    const QString sel = selector.isEmpty() ? QStringLiteral("66") : selector;
    if (mode == QLatin1String("1") || converted.isEmpty())
        s->SetAsString(converted);
    else if (mode == QLatin1String("2"))
        lookupInto(s, converted, args, nextSelector(sel), t);
    else
        lookupInto(s, converted, args, sel, t);
}

void TdmRadical::CustomerFieldSetText(TField* s, const QString& text, const Variant& args) {
    const QString converted = inputOf(text);
    const QString mode = Broker ? Broker->GetSysParam(QStringLiteral("SYS054")).trimmed() : QString();
    if (mode == QLatin1String("1") || converted.isEmpty())
        s->SetAsString(converted);
    else
        lookupInto(s, converted, args,
                   mode == QLatin1String("2") ? QStringLiteral("62") : QStringLiteral("61"),
                   QStringLiteral("COPMA"));
}

void TdmRadical::ProviderFieldSetText(TField* s, const QString& text, const Variant& args,
                                      const QString& selector) {
    const QString converted = inputOf(text);
    const QString mode = Broker ? Broker->GetSysParam(QStringLiteral("SYS055")).trimmed() : QString();
    if (mode == QLatin1String("1") || converted.isEmpty())
        s->SetAsString(converted);
    else
        lookupInto(s, converted, args, mode == QLatin1String("2") ? nextSelector(selector) : selector,
                   QStringLiteral("PURMA"));
}

// --- saved query conditions -----------------------------------------------------------------------------

Variant TdmRadical::serverCall(const QString& method, VariantList args) {
    std::shared_ptr<Dispatch> server = Server();
    if (!server) throw AutomationError("The application server is not connected");
    for (Variant& a : args)
        a = KVStrToWideString(a, 936);
    return server->invoke(method, args);
}

QString TdmRadical::LoadTable() {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    const QString answer =
        serverCall(QStringLiteral("LoadTable"), {Variant::fromList({user, prog})}).toString();
    if (!answer.isEmpty()) return answer;
    cdsSaveCondition->Close();
    cdsSaveCondition->Open();
    return {};
}

QString TdmRadical::InsertConTable(const QString& name, const QString& condition, int activePage,
                                   bool replace) {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    return serverCall(
               QStringLiteral("InsertConTable"),
               {Variant::fromList({name, user, QDate::currentDate().toString(QStringLiteral("yyyyMMdd")),
                                   prog, condition, activePage, replace})})
        .toString();
}

QString TdmRadical::DeleteConTable(const QString& name) {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    return serverCall(QStringLiteral("DeleteConTable"), {Variant::fromList({name, user, prog})}).toString();
}

QString TdmRadical::ChangeConName(const QString& oldName, const QString& newName) {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    return serverCall(QStringLiteral("ChangeConName"),
                      {Variant::fromList({oldName, user, prog}), Variant::fromList({newName, user, prog})})
        .toString();
}

QString TdmRadical::ShareConTable(const QString& name, bool shared) {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    return serverCall(
               QStringLiteral("ShareConTable"),
               {Variant::fromList({name, user, prog, shared ? QStringLiteral("Y") : QStringLiteral("N")})})
        .toString();
}

QString TdmRadical::SetDefaultCon(const QString& name, bool isDefault) {
    const QString user = Broker ? Broker->UserID : QString(), prog = Broker ? Broker->ProgID : QString();
    return serverCall(
               QStringLiteral("SetDefaultCon"),
               {Variant::fromList({name, user, prog, isDefault ? QStringLiteral("Y") : QStringLiteral("N")})})
        .toString();
}

bool TdmRadical::ConditionExists(const QString& name) {
    if (!Broker) return false;
    Variant result;
    return Broker->CheckValue(QStringLiteral("DOCUS"), QStringLiteral("01"), result,
                              Variant::fromList({name, Broker->UserID, Broker->ProgID}));
}

bool TdmRadical::LocateCondition(const QString& name) {
    if (!cdsSaveCondition->Active()) return false;
    return cdsSaveCondition->Locate(
        QStringLiteral("NCONDITION;CREATOR;PROGRAMME"),
        Variant::fromList({name, Broker ? Broker->UserID : QString(), Broker ? Broker->ProgID : QString()}));
}

} // namespace kvx
