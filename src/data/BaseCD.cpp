#include "BaseCD.h"

#include "KnlBase.h"
#include "platform/FieldFormat.h"
#include "server/Brokers.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"
#include "server/StartReads.h"

#include <QSet>
#include <pugixml.hpp>

namespace kvx {

namespace {

const char* const kDigitTypeNames[] = {"cdtPrice", "cdtMoney", "cdtUnitCost", "cdtCostsAmount"};

QString ruleName(const QString& entry) {
    return entry.left(entry.indexOf(QLatin1Char('='))).section(QStringLiteral("||"), 0, 0).trimmed();
}

QString ruleKey(const QString& entry) {
    return entry.left(entry.indexOf(QLatin1Char('='))).trimmed();
}

QString ruleValue(const QString& entry) {
    const int eq = entry.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : entry.mid(eq + 1);
}

int digitTypeOf(const QString& name) {
    for (int i = 0; i < 4; ++i)
        if (name.trimmed().compare(QLatin1String(kDigitTypeNames[i]), Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const char* const kAuditNames[] = {"COMPANY",  "CREATOR",   "USR_GROUP", "CREATE_DATE",
                                   "MODIFIER", "MODI_DATE", "FLAG"};

} // namespace

QString CurrencyDigitTypeName(TCurrencyDigitType kind) {
    return QString::fromLatin1(kDigitTypeNames[int(kind)]);
}

int TCurrencySetting::DigitsOf(TCurrencyDigitType kind) const {
    switch (kind) {
    case cdtPrice:
        return PriceDigits;
    case cdtMoney:
        return MoneyDigits;
    case cdtUnitCost:
        return UnitCostDigits;
    case cdtCostsAmount:
        return CostsAmountDigits;
    }
    return 0;
}

TdmBase::TdmBase(QObject* owner) : TdmRadical(owner) {
    setObjectName(QStringLiteral("dmBase"));
    cdsMain = new TClientDataSet(this);
    cdsMain->setObjectName(QStringLiteral("cdsMain"));
    cdsMain->SetFetchOnDemand(false);
    cdsMain->SetPacketRecords(20);
    cdsMain->SetProviderName(QStringLiteral("pvdMain"));
    cdsMain->SetValidateWithMask(true);
    UseMidas(cdsMain);
    cdsMain->BeforeOpen = [this](TDataSet* ds) { cdsMainBeforeOpen(ds); };
    cdsMain->AfterOpen = [this](TDataSet* ds) { cdsMainAfterOpen(ds); };
    cdsMain->AfterEdit = [this](TDataSet* ds) { cdsMainAfterEdit(ds); };
    cdsMain->BeforePost = [this](TDataSet* ds) { cdsMainBeforePost(ds); };
    cdsMain->BeforeScroll = [this](TDataSet* ds) { cdsMainBeforeScroll(ds); };
    cdsMain->AfterScroll = [this](TDataSet* ds) { cdsMainAfterScroll(ds); };
    cdsMain->OnNewRecord = [this](TDataSet* ds) { cdsMainNewRecord(ds); };
    dsMain = new TDataSource(this);
    dsMain->setObjectName(QStringLiteral("dsMain"));
    dsMain->SetDataSet(cdsMain);
    // The older build has no colour management: neither colour dataset exists.
    if (Features().colourManagement) {
        cdsMainColor = new TClientDataSet(this);
        cdsMainColor->setObjectName(QStringLiteral("cdsMainColor"));
        cdsMainColor->SetFetchOnDemand(false);
        cdsMainColor->SetPacketRecords(20);
        cdsMainColor->SetValidateWithMask(true);
        UseMidas(cdsMainColor);
        dsMainColor = new TDataSource(this);
        dsMainColor->setObjectName(QStringLiteral("dsMainColor"));
    }
    DataModuleCreate();
}

TdmBase::~TdmBase() {
    DataModuleDestroy();
}

void TdmBase::DataModuleCreate() {
    FetchOnScroll = true;
    NumberFieldWidths.clear();
    DecimalRules.clear();
    CurrencyRules.clear();
    currencyCache_.clear();
    MoneyAutoZero = MoneyThousand = QuantityAutoZero = QuantityThousand = true;
}

void TdmBase::DataModuleDestroy() {
    DecimalRules.clear();
    CurrencyRules.clear();
    currencyCache_.clear();
    for (TClientDataSet* ds : clientDataSets())
        if (!IsNestedDetail(ds)) ds->Close();
    if (MIDAS->connected()) MIDAS->close();
    TdmRadical::DataModuleDestroy();
    NumberFieldWidths.clear();
}

// --- virtual operations ---------------------------------------------------------------------------------

bool TdmBase::IsLocalServer() {
    return IsLocalAddress(MIDAS->address());
}

void TdmBase::SetKeyFields(const QString& keys) {
    if (keys.compare(KeyFields, Qt::CaseInsensitive) != 0) KeyFields = keys;
}

void TdmBase::SetMainSelect(const QString& statement) {
    const QString s = statement.toUpper();
    const int comma = s.indexOf(QLatin1Char(','));
    QString rest = comma < 0 ? QString() : s.mid(comma + 1);
    const int from = rest.indexOf(QLatin1String("FROM"));
    if (from >= 0) rest = rest.left(from);
    MainSelect = rest.trimmed().replace(QLatin1String(" AS "), QLatin1String(" "));
}

void TdmBase::SetDetailSelect(const QString& statement) {
    const QString u = statement.toUpper();
    int from = -1, depth = 0;
    for (int i = 0; i + 4 <= u.size(); ++i) {
        const QChar c = u[i];
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (depth == 0 && u.mid(i, 4) == QLatin1String("FROM")) {
            from = i;
            break;
        }
    }
    if (from < 0) from = u.indexOf(QLatin1String("FROM"));
    QString select =
        (from < 0 ? u : u.left(from)).trimmed().replace(QLatin1String(" AS "), QLatin1String(" "));
    const int comma = select.indexOf(QLatin1Char(','));
    DetailSelect = comma < 0 ? QString() : select.mid(comma + 1).trimmed();
    DetailJoin.clear();
    if (from < 0) return;
    int start = -1;
    for (const char* kw : {"LEFT", "RIGHT", "INNER"}) {
        const int p = u.indexOf(QLatin1String(kw), from + 4);
        if (p >= 0 && (start < 0 || p < start)) start = p;
    }
    if (start < 0) return;
    const int where = u.indexOf(QLatin1String("WHERE"), start);
    const QString join = statement.mid(start, where < 0 ? -1 : where - start).trimmed();
    DetailJoin = QLatin1Char(' ') + join;
}

void TdmBase::SetupFields() {}

void TdmBase::LoadNumberFieldWidths(const QString& table) {
    if (table.isEmpty() || !Broker) return;
    Variant result;
    if (!Broker->QueryData(QStringLiteral("NUMFD"), QStringLiteral("01"), result, Variant::fromList({table})))
        return;
    for (const VariantList& row : AnswerRows(result)) {
        if (row.size() < 3) continue;
        const QString name = row[0].toString().trimmed().toUpper();
        bool listed = false;
        for (const QString& e : std::as_const(NumberFieldWidths))
            listed = listed || e.section(QLatin1Char('='), 0, 0).compare(name, Qt::CaseInsensitive) == 0;
        if (!listed)
            NumberFieldWidths.append(
                QStringLiteral("%1=%2.%3").arg(name).arg(row[1].toIntDef(0)).arg(row[2].toIntDef(0)));
    }
}

void TdmBase::ApplyCurrencyDigits(TClientDataSet* ds, TField* field, const QString& code) {
    // Rule names of the currency fields concerned, with their fields.
    QList<QPair<QString, TField*>> targets;
    QSet<QString> seen;
    for (const QString& entry : std::as_const(CurrencyRules)) {
        const QString name = ruleName(entry);
        if (name.isEmpty() || name.compare(QLatin1String("SYS003"), Qt::CaseInsensitive) == 0) continue;
        if (seen.contains(name.toUpper())) continue;
        seen.insert(name.toUpper());
        TField* f = fieldComponent(name);
        if (!f) continue;
        if (field && f != field) continue;
        if (ds && f->DataSet() != ds) continue;
        targets.append({name, f});
    }
    for (const auto& [name, f] : targets) {
        for (int k = cdtPrice; k <= cdtCostsAmount; ++k) {
            const auto kind = TCurrencyDigitType(k);
            const QString key = name + QStringLiteral("||") + CurrencyDigitTypeName(kind);
            QString spec;
            for (const QString& entry : std::as_const(CurrencyRules))
                if (ruleKey(entry).compare(key, Qt::CaseInsensitive) == 0) {
                    spec = ruleValue(entry);
                    break;
                }
            if (spec.trimmed().isEmpty()) continue;
            const QString c = code.isEmpty() ? f->AsString() : code;
            SetNumberFieldFormats(spec, GetCurrencyDigits(c, kind), true);
        }
    }
}

void TdmBase::HookCurrencyField(TField* field) {
    if (field && !field->OnChange) field->OnChange = [this](TField* f) { CurrencyFieldChange(f); };
}

bool TdmBase::CheckBodyPermission(TClientDataSet* body, const QString& prefix, QString& rejected) {
    rejected.clear();
    if (!body || !body->Active() || body->RecordCount() == 0) return true;
    QString p = prefix;
    if (!p.contains(QLatin1Char('_'))) p += QLatin1Char('_');
    auto info = [this](const QString& name) { return Broker ? Broker->GetLoginInfo(name) : QString(); };
    QString keys, columns, alias;
    TClientDataSet* source = nullptr;
    if (p.startsWith(QLatin1Char('F'), Qt::CaseInsensitive)) {
        keys = info(QStringLiteral("D11_KEY"));
        columns = info(p + QStringLiteral("KEY"));
        alias = info(QStringLiteral("D11_TABLE"));
        source = dataSetNamed(QStringLiteral("cdsBody1"));
    } else {
        keys = KeyFields;
        columns = info(p + QStringLiteral("KEY"));
        alias = info(p + QStringLiteral("TABLE"));
        source = cdsMain;
    }
    QString condition;
    if (source && source->Active()) BuildKeyCondition(source, keys, condition, alias, columns);
    const QString prog = Broker ? Broker->ProgID : QString();
    Variant answer;
    try {
        std::shared_ptr<Dispatch> server = Server();
        if (!server) throw AutomationError("The application server is not connected");
        answer = server->call(QStringLiteral("GetBaseLimitedRecs"), {p, condition, body->RecordCount()});
    } catch (const std::exception& e) {
        WriteToAlertFile(prog,
                         QStringLiteral("BaseCD-876(对单身或子单身加基础数据权限时出错):") +
                             QString::fromUtf8(e.what()),
                         QStringLiteral("D"));
        return true;
    }
    try {
        const VariantList a = answer.toList();
        if (a.isEmpty()) return true;
        const qint64 count = a[0].toIntDef(-1);
        if (count == 0) {
            rejected = QStringLiteral("ALL");
            return false;
        }
        if (count < 0 || count == body->RecordCount()) return true;
        QSet<QString> permitted;
        if (a.size() > 1)
            for (const Variant& k : a[1].isArray() ? a[1].toList() : VariantList{a[1]})
                permitted.insert(k.toString());
        QList<TField*> keyFields;
        for (QString c : columns.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            c = c.trimmed();
            if (const int dot = c.indexOf(QLatin1Char('.')); dot >= 0) c = c.mid(dot + 1);
            if (TField* f = body->FindField(c)) keyFields.append(f);
        }
        TControlsDisabled disabled(body);
        const TBookmark where = body->Bookmark();
        TBookmark firstRejected = -1;
        int listed = 0;
        bool more = false;
        for (body->First(); !body->Eof(); body->Next()) {
            QStringList parts;
            for (TField* f : keyFields)
                parts.append(PadR(f->AsString(), {f->Size()}));
            const QString key = parts.join(QLatin1Char('-'));
            if (permitted.contains(key)) continue;
            if (firstRejected < 0) firstRejected = body->Bookmark();
            if (listed == 4) {
                more = true;
                break;
            }
            rejected += (rejected.isEmpty() ? QString() : QStringLiteral(";")) + key;
            ++listed;
        }
        if (more) rejected += QStringLiteral(";...");
        const TBookmark back = firstRejected >= 0 ? firstRejected : where;
        if (body->BookmarkValid(back)) body->GotoBookmark(back);
        return false;
    } catch (const std::exception& e) {
        WriteToAlertFile(prog,
                         QStringLiteral("BaseCD-876(解读对单身或子单身加基础数据权限的结果时出错):") +
                             QString::fromUtf8(e.what()),
                         QStringLiteral("D"));
        return true;
    }
}

bool TdmBase::CanModify() {
    return true;
}

// --- opening --------------------------------------------------------------------------------------------

bool TdmBase::OpenMainAndColor() {
    cdsMain->SetPacketRecords(Broker ? Broker->GetMaxRecord() : 0);
    const auto info = [this](const char* name) {
        return Broker ? Broker->GetLoginInfo(QString::fromLatin1(name)) : QString();
    };
    MainTable = info("M11_TABLE");
    SetKeyFields(info("M11_KEY"));
    if (Broker && Broker->GetSysParam(QStringLiteral("SYS150")).startsWith(QLatin1Char('Y'))) {
        SetMainSelect(info("M11_SELECT"));
        SetDetailSelect(info("D11_SELECT"));
    }
    cdsMain->Open();
    SetAuditFieldLabels(cdsMain);
    const bool result = cdsMain->Active();
    if (!cdsMainColor) return result;
    try {
        cdsMainColor->SetPacketRecords(cdsMain->PacketRecords());
        UseMidas(cdsMainColor);
        cdsMainColor->SetProviderName(QStringLiteral("pvdColor"));
        cdsMainColor->Open();
    } catch (const std::exception& e) {
        qCInfo(lcData) << "the colour dataset stays closed:" << e.what();
        cdsMainColor->Close();
    }
    return result;
}

void TdmBase::ShowManagementFields(bool show) {
    const TFieldUpdate batch(cdsMain); // one layout change for all audit fields
    for (const char* name : kAuditNames)
        if (TField* f = cdsMain->FindField(QString::fromLatin1(name))) {
            f->SetVisible(show);
            f->SetReadOnly(show);
        }
}

// --- dataset events -------------------------------------------------------------------------------------

void TdmBase::cdsMainBeforeOpen(TDataSet*) {}

void TdmBase::cdsMainAfterOpen(TDataSet*) {
    ApplyAllCurrencyFields();
    if (std::shared_ptr<Dispatch> server = Server())
        RecordCount = int(server->call(QStringLiteral("GetRecCount")).toIntDef(0));
}

void TdmBase::cdsMainAfterEdit(TDataSet* ds) {
    if (OwnerForm()->EditingMode() == TDataModuleOwner::emModify) StampAudit(ds);
}

void TdmBase::cdsMainBeforePost(TDataSet* ds) {
    if (!OwnerForm()->BeforePostCheck(ds)) Abort();
}

void TdmBase::cdsMainBeforeScroll(TDataSet*) {
    if (FetchOnScroll) FetchNextPacketAtEnd(cdsMain, dsMain);
}

void TdmBase::cdsMainAfterScroll(TDataSet* ds) {
    try {
        OwnerForm()->RecordChanged(ds);
    } catch (const std::exception& e) {
        qCWarning(lcData) << "record-changed notification failed:" << e.what();
    }
}

void TdmBase::cdsMainNewRecord(TDataSet* ds) {
    StampAudit(ds);
    NewRecordDefaults(ds);
    FillNulls(ds);
}

// --- numbers --------------------------------------------------------------------------------------------

TClientDataSet* TdmBase::dataSetNamed(const QString& name) const {
    for (TClientDataSet* ds : findChildren<TClientDataSet*>())
        if (ds->objectName().compare(name.trimmed(), Qt::CaseInsensitive) == 0) return ds;
    return nullptr;
}

TField* TdmBase::fieldComponent(const QString& name) const {
    const QString n = name.trimmed();
    if (n.isEmpty()) return nullptr;
    for (TField* f : findChildren<TField*>())
        if (f->objectName().compare(n, Qt::CaseInsensitive) == 0) return f;
    // A field created from a packet is named by its dataset and field ("cdsMainMF001").
    for (TClientDataSet* ds : findChildren<TClientDataSet*>()) {
        const QString dsName = ds->objectName();
        if (dsName.isEmpty() || !n.startsWith(dsName, Qt::CaseInsensitive)) continue;
        if (TField* f = ds->FindField(n.mid(dsName.size()))) return f;
    }
    return nullptr;
}

int TdmBase::quantityDigits() {
    if (!quantityDigitsRead_ && Broker) {
        quantityDigits_ = Broker->GetSysParam(QStringLiteral("sys068"));
        quantityDigitsRead_ = true;
    }
    bool ok = false;
    const int n = quantityDigits_.trimmed().toInt(&ok);
    return ok ? n : 3;
}

int TdmBase::decimalRuleDigitsOf(const QString& fieldName) const {
    for (const QString& entry : DecimalRules) {
        if (FindToken(fieldName, ruleValue(entry)) == 0) continue;
        bool ok = false;
        const int key = ruleKey(entry).toInt(&ok);
        if (!ok) return -1;
        const auto it = DecimalRuleDigits.find(key);
        return it != DecimalRuleDigits.end() && it->second != 0 ? it->second : key;
    }
    return -1;
}

int TdmBase::currencyDigitsOf(const QString& fieldName) {
    for (const QString& entry : std::as_const(CurrencyRules)) {
        if (FindToken(fieldName, ruleValue(entry)) == 0) continue;
        const QString key = ruleKey(entry);
        const QString name = key.section(QStringLiteral("||"), 0, 0).trimmed();
        const int kind = digitTypeOf(key.section(QStringLiteral("||"), 1));
        if (kind < 0) return -1;
        QString code;
        if (name.compare(QLatin1String("SYS003"), Qt::CaseInsensitive) == 0) {
            code = Broker ? Broker->GetSysParam(QStringLiteral("SYS003")) : QString();
        } else if (TField* f = fieldComponent(name)) {
            code = f->AsString();
        } else {
            return -1;
        }
        return GetCurrencyDigits(code.trimmed(), TCurrencyDigitType(kind));
    }
    return -1;
}

int TdmBase::DigitsOfField(const QString& fieldName) {
    if (fieldName.isEmpty()) return -1;
    if (FindToken(fieldName, QuantityFields) > 0) return quantityDigits();
    const int d = decimalRuleDigitsOf(fieldName);
    if (d != -1) return d;
    return currencyDigitsOf(fieldName);
}

QString TdmBase::DecimalRuleValue(int key) const {
    for (const QString& entry : DecimalRules)
        if (ruleKey(entry) == QString::number(key)) return ruleValue(entry);
    return {};
}

int TdmBase::DecimalRuleDecimals(int key) const {
    const auto it = DecimalRuleDigits.find(key);
    return it != DecimalRuleDigits.end() && it->second != 0 ? it->second : key;
}

int TdmBase::GetCurrencyDigits(const QString& code, TCurrencyDigitType kind) {
    const QString c = code.trimmed();
    if (c.isEmpty() || !Broker) return -1;
    auto it = currencyCache_.find(c);
    if (it == currencyCache_.end()) {
        ++currencyLookups_;
        Variant answer;
        try {
            answer = Broker->CallCounter(
                QStringLiteral("SimpleSql"),
                Variant::fromList(
                    {QStringLiteral("select top 1 MF001,MF003,MF004,MF005,MF006 from $$CMSMF CMSMF "
                                    "where MF001=") +
                         QuotedSql(c),
                     QStringLiteral("MF001,MF003,MF004,MF005,MF006"), Broker->DBName, QStringLiteral("N")}));
        } catch (const std::exception& e) {
            // Not cached: the next request asks again.
            qCWarning(lcData) << "currency" << c << "not read:" << e.what();
            return -1;
        }
        for (const VariantList& row : AnswerRows(answer)) {
            if (row.isEmpty()) continue;
            auto s = std::make_unique<TCurrencySetting>();
            s->CurrencyCode = row[0].toString().trimmed();
            s->PriceDigits = int(row.value(1).toIntDef(0));
            s->MoneyDigits = int(row.value(2).toIntDef(0));
            s->UnitCostDigits = int(row.value(3).toIntDef(0));
            s->CostsAmountDigits = int(row.value(4).toIntDef(0));
            const QString key = s->CurrencyCode;
            currencyCache_[key] = std::move(s);
        }
        it = currencyCache_.find(c);
        if (it == currencyCache_.end()) {
            // Unknown to the server (or answered under another spelling): all digits 0, not asked again.
            auto s = std::make_unique<TCurrencySetting>();
            s->CurrencyCode = c;
            it = currencyCache_.emplace(c, std::move(s)).first;
        }
    }
    return it->second->DigitsOf(kind);
}

void TdmBase::SetNumberFieldFormats(const QString& spec, int decimals, bool money) {
    const QString editFormat = decimals < 0 ? QStringLiteral("##0.#######")
                                            : QStringLiteral("##0.") + QString(decimals, QLatin1Char('#'));
    for (const QString& group : spec.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int colon = group.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        TClientDataSet* ds = dataSetNamed(group.left(colon));
        if (!ds) continue;
        TDataSetEventsOff off(ds);
        for (const QString& name : group.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            TField* f = ds->FindField(name.trimmed());
            if (!f || !f->IsNumeric()) continue;
            if (!f->OnGetText) {
                if (money)
                    f->OnGetText = [this](TField* s, QString& t, bool d) { MoneyFieldGetText(s, t, d); };
                else
                    f->OnGetText = [this](TField* s, QString& t, bool d) { QuantityFieldGetText(s, t, d); };
            }
            f->SetEditFormat(editFormat);
            if (!f->OnSetText)
                f->OnSetText = [this](TField* s, const QString& t) { NumberFieldSetText(s, t); };
        }
    }
}

QString TdmBase::numberFormat(int n, bool thousand, bool autoZero) const {
    return QStringLiteral("#%1##0.%2")
        .arg(thousand ? QStringLiteral(",") : QString(),
             QString(n, autoZero ? QLatin1Char('0') : QLatin1Char('#')));
}

void TdmBase::MoneyFieldGetText(TField* s, QString& text, bool) {
    if (s->IsNull()) {
        text.clear();
        return;
    }
    const int n = currencyDigitsOf(s->FieldName());
    if (n < 0) {
        text = s->AsString();
        return;
    }
    text = formatFloat(numberFormat(n, MoneyThousand, MoneyAutoZero), FourOutFiveIn(s->AsFloat(), n));
}

void TdmBase::QuantityFieldGetText(TField* s, QString& text, bool) {
    if (s->IsNull()) {
        text.clear();
        return;
    }
    const QString name = s->FieldName();
    const int n = FindToken(name, QuantityFields) > 0 ? quantityDigits() : decimalRuleDigitsOf(name);
    if (n < 0) {
        text = s->AsString();
        return;
    }
    text = formatFloat(numberFormat(n, QuantityThousand, QuantityAutoZero), s->AsFloat());
}

void TdmBase::NumberFieldSetText(TField* s, const QString& text) {
    if (!s->IsNumeric()) {
        s->SetAsString(text);
        return;
    }
    QString t = text;
    t.remove(QLatin1Char(','));
    t = t.trimmed();
    bool ok = true;
    double v = t.isEmpty() ? 0.0 : t.toDouble(&ok);
    if (!ok) v = 0.0;
    const int n = DigitsOfField(s->FieldName());
    if (n >= 0) v = FourOutFiveIn(v, n); // unknown decimals: stored as typed
    QString width;
    for (const QString& e : std::as_const(NumberFieldWidths))
        if (e.section(QLatin1Char('='), 0, 0).compare(s->FieldName(), Qt::CaseInsensitive) == 0) {
            width = e.section(QLatin1Char('='), 1);
            break;
        }
    if (!width.isEmpty()) {
        const int precision = width.section(QLatin1Char('.'), 0, 0).toInt();
        const int scale = width.section(QLatin1Char('.'), 1).toInt();
        if (precision > scale) {
            QString limit(precision - scale, QLatin1Char('9'));
            const int d = qMin(n, scale);
            if (d > 0) limit += QLatin1Char('.') + QString(d, QLatin1Char('9'));
            const double lim = limit.toDouble();
            if (CompareFloat(v, lim) > 0) {
                if (Broker)
                    Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("100280"),
                                    {s->DisplayLabel(), limit});
                v = 0;
            } else if (CompareFloat(v, -lim) < 0) {
                if (Broker)
                    Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("100288"),
                                    {s->DisplayLabel(), QLatin1Char('-') + limit});
                v = 0;
            }
        }
    }
    s->SetValue(Variant(v));
}

void TdmBase::CurrencyFieldChange(TField* s) {
    ApplyCurrencyDigits(s->DataSet(), s, s->AsString());
}

void TdmBase::ApplyAllCurrencyFields() {
    QSet<QString> seen;
    for (const QString& entry : std::as_const(CurrencyRules)) {
        const QString name = ruleName(entry);
        if (name.isEmpty() || seen.contains(name.toUpper())) continue;
        seen.insert(name.toUpper());
        if (TField* f = fieldComponent(name)) CurrencyFieldChange(f);
    }
}

void TdmBase::LoadNumberDisplayOptions() {
    if (!Broker) return;
    try {
        const QString xml =
            Broker
                ->CallCounter(QStringLiteral("GetUserDefine"),
                              server::UserDefineParams(Broker->CompanyID, Broker->UserID, Broker->ProgID,
                                                       QLatin1String(server::kNumberDisplaySection)))
                .toString();
        if (xml.trimmed().isEmpty()) return;
        pugi::xml_document doc;
        const QByteArray bytes = xml.toUtf8();
        if (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default,
                             pugi::encoding_utf8)) {
            qCWarning(lcData) << "number display options are no XML document; defaults kept";
            return;
        }
        const pugi::xml_node root = doc.document_element();
        auto read = [&](const char* name, bool& option) {
            const pugi::xml_node n = root.child(name);
            if (!n) return;
            option = QString::fromUtf8(n.text().get())
                         .trimmed()
                         .compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
        };
        bool qz = QuantityAutoZero, qt = QuantityThousand, mz = MoneyAutoZero, mt = MoneyThousand;
        read("QuantityFieldAutoZero", qz);
        read("QuantityFieldThousand", qt);
        read("MoneyFieldAutoZero", mz);
        read("MoneyFieldThousand", mt);
        QuantityAutoZero = qz;
        QuantityThousand = qt;
        MoneyAutoZero = mz;
        MoneyThousand = mt;
    } catch (const std::exception& e) {
        qCWarning(lcData) << "number display options not read:" << e.what();
    }
}

} // namespace kvx
