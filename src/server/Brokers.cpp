#include "Brokers.h"

#include "LibStrs.h"
#include "NameValues.h"
#include "StartReads.h"
#include "TextFormat.h"
#include "lang/CodeConverter.h"
#include "lang/Language_Convert.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/DialogService.h"

#include <QApplication>
#include <QWidget>

using kvx::Variant;
using kvx::VariantList;

namespace {

const QLatin1String kButtonNames[] = {
    QLatin1String("Yes"),     QLatin1String("No"),       QLatin1String("OK"),     QLatin1String("Cancel"),
    QLatin1String("Abort"),   QLatin1String("Retry"),    QLatin1String("Ignore"), QLatin1String("All"),
    QLatin1String("NoToAll"), QLatin1String("YesToAll"), QLatin1String("Help"),
};
const kvx::MsgDlgBtn kButtonFlags[] = {
    kvx::mbYes,    kvx::mbNo,  kvx::mbOK,      kvx::mbCancel,   kvx::mbAbort, kvx::mbRetry,
    kvx::mbIgnore, kvx::mbAll, kvx::mbNoToAll, kvx::mbYesToAll, kvx::mbHelp,
};
constexpr int kButtonCount = int(sizeof(kButtonFlags) / sizeof(kButtonFlags[0]));

QString buttonName(kvx::MsgDlgBtn flag) {
    for (int i = 0; i < kButtonCount; ++i)
        if (kButtonFlags[i] == flag) return kButtonNames[i];
    return {};
}

// Dialog type and buttons of a message kind.
void kindLayout(const QString& kind, kvx::MsgDlgType& type, kvx::MsgDlgButtons& buttons) {
    using namespace kvx;
    if (kind == QLatin1String("T")) {
        type = MsgDlgType::Error;
        buttons = mbYes | mbNo | mbCancel | mbYesToAll;
    } else if (kind == QLatin1String("C") || kind == QLatin1String("W")) {
        type = MsgDlgType::Warning;
        buttons = mbOK | mbCancel;
    } else if (kind == QLatin1String("D")) {
        type = MsgDlgType::Warning;
        buttons = mbYes | mbNo | mbCancel;
    } else if (kind == QLatin1String("E")) {
        type = MsgDlgType::Error;
        buttons = mbOK;
    } else if (kind == QLatin1String("I")) {
        type = MsgDlgType::Information;
        buttons = mbOK;
    } else if (kind == QLatin1String("Q")) {
        type = MsgDlgType::Confirmation;
        buttons = mbOK | mbCancel;
    } else {
        type = MsgDlgType::Custom;
        buttons = mbOK;
    }
}

// Element i counted from the array's low bound; Unassigned outside it.
Variant element(const Variant& array, int i) {
    if (!array.isArray() || array.dimCount() != 1) return {};
    const int at = array.lowBound() + i;
    return at > array.highBound() ? Variant() : array.at(at);
}

// Text of a value; arrays and objects have none.
QString textOf(const Variant& v) {
    return v.isArray() || v.isDispatch() ? QString() : v.toString();
}

int elementCount(const Variant& array) {
    if (!array.isArray()) return 0;
    return array.highBound() - array.lowBound() + 1;
}

// Cell (row, column) of a query result: an array of row arrays or a two-dimensional array.
Variant resultCell(const Variant& rows, int row, int column) {
    if (!rows.isArray()) return {};
    if (rows.dimCount() == 2) {
        const int r = rows.lowBound(1) + row, c = rows.lowBound(2) + column;
        if (r > rows.highBound(1) || c > rows.highBound(2)) return {};
        return rows.at(r, c);
    }
    return element(element(rows, row), column);
}

// The pair (name, value) number j of a system-information result: names in row 0, values in row 1.
bool sysInfoPair(const Variant& info, int j, QString& name, QString& value) {
    if (info.dimCount() == 2) {
        const int col = info.lowBound(2) + j;
        if (col > info.highBound(2) || info.highBound(1) < info.lowBound(1) + 1) return false;
        name = textOf(info.at(info.lowBound(1), col));
        value = textOf(info.at(info.lowBound(1) + 1, col));
        return true;
    }
    const Variant names = element(info, 0), values = element(info, 1);
    if (j >= elementCount(names)) return false;
    name = textOf(element(names, j));
    value = textOf(element(values, j));
    return true;
}

int sysInfoCount(const Variant& info) {
    if (info.dimCount() == 2) return info.highBound(2) - info.lowBound(2) + 1;
    return elementCount(element(info, 0));
}

// Invokes a method of a service with arguments by reference.
Variant invoke(const Variant& service, const QString& method, VariantList& args) {
    std::shared_ptr<kvx::Dispatch> d = service.toDispatch();
    if (!d)
        throw kvx::AutomationError(
            QStringLiteral("Service for %1 is not assigned").arg(method).toStdString());
    return d->invoke(method, args);
}

Variant invoke0(const Variant& service, const QString& method) {
    VariantList none;
    return invoke(service, method, none);
}

const char* const kRunErrors[] = {
    "[%s]作业程序文档不存在!",           "[%s]作业程序文档装入失败!",   "[%s]作业程序启动时无法录入公用元件!",
    "[%s]作业程序启动时取作业权限错误!", "[%s]作业程序无运行作业权限!", "[%s]作业程序起始化错误!",
    "[%s]作业程序发生不可预知的错误!",
};

} // namespace

// --- owner defaults -----------------------------------------------------------------------------------

QString TBrokerOwner::SysCodePage() const {
    return QString::number(kvx::codepage::systemCodePage());
}

// --- construction -------------------------------------------------------------------------------------

namespace {
// The owner of a broker whose window is no TBrokerOwner but which received settings.
class SettingsOwner : public TBrokerOwner {
public:
    explicit SettingsOwner(const kvx::CodePages& cp) : cp_(cp) {}
    QString SysCodePage() const override { return kvx::codePageText(cp_.sys); }
    QString UICodePage() const override { return kvx::codePageText(cp_.ui); }
    int UILangMode() const override { return int(cp_.uiLangMode); }

private:
    kvx::CodePages cp_;
};
} // namespace

TBrokers::TBrokers(QObject* owner) : QObject(owner), defaultOwner_(std::make_unique<TBrokerOwner>()) {}

void TBrokers::setSettings(const kvx::Settings& settings) {
    settings_ = settings;
    defaultOwner_ = std::make_unique<SettingsOwner>(settings.client);
}

QString TBrokers::gbToBig5(const QString& text) const {
    auto& tables = kvx::lang::LanguageConvert::instance();
    return settings_ ? tables.GBToBIG5(text, settings_->clientPath) : tables.GBToBIG5(text);
}

QString TBrokers::big5ToGb(const QString& text) const {
    auto& tables = kvx::lang::LanguageConvert::instance();
    return settings_ ? tables.BIG5ToGB(text, settings_->clientPath) : tables.BIG5ToGB(text);
}

TBrokers::~TBrokers() = default;

TBrokerOwner& TBrokers::owner() const {
    if (auto* o = dynamic_cast<TBrokerOwner*>(parent())) return *o;
    return *defaultOwner_;
}

QWidget* TBrokers::ownerWindow() const {
    return qobject_cast<QWidget*>(parent());
}

qint64 TBrokers::OwnerHandle() const {
    QWidget* w = ownerWindow();
    return w ? qint64(w->winId()) : 0;
}

void TBrokers::Beep() {
    QApplication::beep();
}

bool TBrokers::IsPresent(const Variant& service) {
    return service.isDispatch() && service.toDispatch() != nullptr;
}

// --- parameters ---------------------------------------------------------------------------------------

void TBrokers::SetSysParam(const QString& name, const QString& value) {
    if (name.isEmpty()) return;
    server::SetValueOfName(SysParams, name, value);
}

QString TBrokers::GetSysParam(const QString& name) const {
    if (name.isEmpty()) return {};
    return server::ValueOfName(SysParams, name);
}

QString TBrokers::GetLoginInfo(const QString& name) const {
    return server::ValueOfName(LoginInfo, name);
}

int TBrokers::GetMaxRecord() const {
    bool ok = false;
    const int n = GetLoginInfo(QStringLiteral("MAX_RECORD")).trimmed().toInt(&ok);
    if (!ok) return 0;
    return qMin(n, 40);
}

// --- services -----------------------------------------------------------------------------------------

bool TBrokers::ConnectServices() {
    if (!IsPresent(WorkCenter)) return false;
    try {
        if ((ServiceMask & svValidator) && !IsPresent(Validator))
            Validator = invoke0(WorkCenter, QStringLiteral("Com_Validator"));
        if ((ServiceMask & svF2Window) && !IsPresent(F2Window))
            F2Window = invoke0(WorkCenter, QStringLiteral("Com_F2Window"));
        if ((ServiceMask & svCounter) && !IsPresent(Counter))
            Counter = invoke0(WorkCenter, QStringLiteral("Com_Counter"));
        LoadProgramInfo();
        return true;
    } catch (const std::exception&) {
        for (int i = 0; i < 3; ++i)
            Beep();
        return false;
    }
}

bool TBrokers::LoadSysParams() {
    if (!IsPresent(Counter)) return false;
    VariantList args{CompanyID};
    const Variant info = invoke(Counter, QStringLiteral("GetSysInfo"), args);
    if (info.isEmptyOrNull()) return false;
    const int n = sysInfoCount(info);
    QString name, value;
    for (int j = 0; j < n; ++j)
        if (sysInfoPair(info, j, name, value)) SetSysParam(name, value);
    return true;
}

void TBrokers::LoadProgramInfo() {
    ProgramName.clear();
    Variant info;
    if (!CheckValue(QLatin1String(kvx::server::kProgramRecordTable),
                    QLatin1String(kvx::server::kProgramRecordKey), info,
                    kvx::server::ProgramRecordParams(ProgID, DBName)))
        return;
    const int n = elementCount(info);
    if (info.dimCount() != 1 || n == 0) return;
    ProgramName = textOf(element(info, 0));
    PrintID = textOf(element(info, 1));
    Unrestricted = textOf(element(info, 7)) == QLatin1String("Y");
    if (n > 9 && owner().UICodePage() == QLatin1String("437")) ProgramName = textOf(element(info, 9));
}

int TBrokers::GetVersionType() {
    if (!IsPresent(WorkCenter)) return -1;
    return int(invoke0(WorkCenter, QStringLiteral("VersionType")).toInt());
}

int TBrokers::GetProductID() {
    if (!IsPresent(WorkCenter)) return -1;
    return int(invoke0(WorkCenter, QStringLiteral("ProductID")).toInt());
}

int TBrokers::productCode() {
    try {
        return GetProductID();
    } catch (const std::exception&) {
        return 3;
    }
}

QString TBrokers::GetMessageText(const QString& kind, const QString& code) {
    if (!IsPresent(WorkCenter)) return {};
    VariantList args{kind, code};
    return invoke(WorkCenter, QStringLiteral("GetMessage"), args).toString();
}

QString TBrokers::convertByLangMode(const QString& text) const {
    switch (owner().UILangMode()) {
    case 1:
        return big5ToGb(text);
    case 2:
        return gbToBig5(text);
    default:
        return text;
    }
}

int TBrokers::ShowMsg(const QString& kind, const QString& code, const VariantList& args, int reserved,
                      bool abortOnCancel, int defaultButton) {
    (void)reserved;
    TBrokerOwner& o = owner();
    const int langMode = o.UILangMode();
    const QString uiCodePage = o.UICodePage();

    QString tmpl =
        convertByLangMode(GetMessageText(kind == QLatin1String("T") ? QStringLiteral("E") : kind, code));
    if (uiCodePage == QLatin1String("950") || o.SysCodePage() == QLatin1String("950"))
        tmpl += QStringLiteral("    ");
    QString text = server::FormatVariants(tmpl + QLatin1Char(' '), args);
    if (kind == QLatin1String("T"))
        text += QStringLiteral("\r\n") + convertByLangMode(QStringLiteral("是否继续?"));

    kvx::MessageRequest req;
    kindLayout(kind, req.type, req.buttons);
    if (langMode != 0 || kvx::codepage::systemCodePage() != 936) text += QStringLiteral("      ");
    req.text = text;
    QWidget* window = ownerWindow();
    req.parent = window;
    if (window) req.caption = window->windowTitle();
    if (uiCodePage != QLatin1String("437")) {
        for (kvx::MsgDlgBtn b : kvx::buttonsInOrder(req.buttons)) {
            QString caption = GetCHTButtonCaption(buttonName(b));
            if (langMode == 2) caption = gbToBig5(caption);
            req.buttonCaptions.insert(b, caption);
        }
    }
    const kvx::MsgDlgBtn wanted =
        defaultButton >= 0 && defaultButton < kButtonCount ? kButtonFlags[defaultButton] : kvx::MsgDlgBtn(0);
    if (wanted && (req.buttons & wanted))
        req.defaultButton = wanted;
    else
        req.noDefaultButton = true;
    if (const auto rule = TCodeConverter::fontRule(langMode)) {
        req.font = window ? window->font() : QApplication::font();
        TCodeConverter::SetUIFont(langMode, req.font);
        req.fontCharset = rule->charset;
        req.hasFont = true;
    }

    const int result = kvx::DialogService::instance().showMessage(req);
    if (kind == QLatin1String("W") && result != kvx::mrOk && abortOnCancel) kvx::Abort();
    o.AfterMessage();
    return result;
}

Variant TBrokers::CallCounter(const QString& name, const Variant& params) {
    if (!IsPresent(Counter)) return {};
    VariantList args{name, params, kvx::server::CounterContext(CompanyID, DBName)};
    return invoke(Counter, QStringLiteral("GETCOUNTER"), args);
}

void TBrokers::prepareValidator() {
    std::shared_ptr<kvx::Dispatch> v = Validator.toDispatch();
    if (!v) return;
    try {
        v->setProperty(QStringLiteral("ProductID"), productCode());
    } catch (const std::exception&) {
    }
    try {
        v->setProperty(QStringLiteral("BaseLimited"), GetLoginInfo(QStringLiteral("BaseLimited")));
    } catch (const std::exception&) {
    }
}

bool TBrokers::validatorCall(const QString& method, const QString& table, const QString& key, Variant& result,
                             const Variant& params) {
    result = Variant();
    if (!IsPresent(Validator)) return false;
    prepareValidator();
    try {
        VariantList args = kvx::server::ValidatorArgs(table, key, DBName, params);
        const Variant ok = invoke(Validator, method, args);
        result = args[4];
        return ok.toBool();
    } catch (const std::exception&) {
        return false;
    }
}

bool TBrokers::CheckValue(const QString& table, const QString& key, Variant& result, const Variant& params) {
    return validatorCall(QStringLiteral("CheckValue"), table, key, result, params);
}

bool TBrokers::QueryData(const QString& table, const QString& key, Variant& result, const Variant& params) {
    return validatorCall(QStringLiteral("QueryData"), table, key, result, params);
}

void TBrokers::QueryMaxSeq(const FieldTextReader& dataset, const QString& a, QString& value, const QString& b,
                           const QString& fieldList) {
    value = QStringLiteral("unKnow");
    if (!IsPresent(Validator)) return;
    try {
        // The list ends with a comma: n parts name n - 1 fields.
        const QStringList parts = fieldList.isEmpty() ? QStringList() : fieldList.split(QLatin1Char(','));
        Variant values = Variant::array(0, int(parts.size()) - 2);
        for (int i = 0; i + 1 < parts.size(); ++i)
            values[i] = dataset ? dataset(parts[i]) : QString();
        prepareValidator();
        VariantList args{a, fieldList, values, b, ProgID, DBName, Variant()};
        if (invoke(Validator, QStringLiteral("QueryMaxSeq"), args).toBool()) value = args[6].toString();
    } catch (const std::exception&) {
        value = QStringLiteral("unKnow");
    }
}

void TBrokers::QueryMaxSeq(const kvx::TClientDataSet* dataset, const QString& a, QString& value,
                           const QString& b, const QString& fieldList) {
    FieldTextReader reader;
    if (dataset) reader = [dataset](const QString& field) { return dataset->FieldByName(field)->AsString(); };
    QueryMaxSeq(reader, a, value, b, fieldList);
}

void TBrokers::LookupData(const Variant& param1, const Variant& param2, Variant& result, const QString& text1,
                          const QString& text2, const QString& text3, qint64 handle, const QString& text4,
                          bool flag1, bool flag2, const QString& text5, const Variant& param3) {
    (void)text4;
    TBrokerOwner& o = owner();
    const QString baseLimited = GetLoginInfo(QStringLiteral("BaseLimited"));
    switch (o.LookupPhase()) {
    case 1: {
        const bool withTexts = !text3.isEmpty();
        o.SetLookupParams(Variant::fromList({param1, param2, param3, 1, text5, DBName, productCode(),
                                             withTexts ? text3 : QString(), withTexts ? text2 : QString(),
                                             withTexts ? text1 : QString(), baseLimited, QString(), QString(),
                                             QStringLiteral("9")}));
        return;
    }
    case 2:
        result = o.LookupResult();
        return;
    default:
        break;
    }
    result = Variant();
    if (!IsPresent(F2Window)) return;
    VariantList args{Variant::fromList({param1, param2, param3, flag2, text5, CompanyID, DBName,
                                        handle != 0 ? handle : OwnerHandle(), 1, flag1, productCode(), text3,
                                        text2, text1, baseLimited, o.HasRight(33) || o.HasRight(35),
                                        o.HasRight(32) || o.HasRight(34), WorkCenter, UserID})};
    result = invoke(F2Window, QStringLiteral("F2GetData"), args);
}

QString TBrokers::GetPhrase(const QString& text) {
    if (!IsPresent(F2Window)) return {};
    VariantList args{UserID, CompanyID, OwnerHandle(), text};
    const Variant rc = invoke(F2Window, QStringLiteral("GetPhrase2"), args);
    if (rc.toIntDef(0) < 0) return {};
    return args[3].toString();
}

void TBrokers::ShowCharacters(int value, bool flag, Variant& result, qint64 handle, const QString& company,
                              const QString& user) {
    result = Variant();
    if (!IsPresent(F2Window)) return;
    VariantList args{user.isEmpty() ? UserID : user, company.isEmpty() ? CompanyID : company, value, flag,
                     QString::number(handle != 0 ? handle : OwnerHandle())};
    result = invoke(F2Window, QStringLiteral("ShowCharaters"), args);
}

QString TBrokers::GetCalcValue(const QString& expression) {
    if (!IsPresent(F2Window)) return {};
    try {
        VariantList args{expression, OwnerHandle()};
        return invoke(F2Window, QStringLiteral("GetCalcValue"), args).toString();
    } catch (const std::exception&) {
        ShowMsg(QStringLiteral("E"), QStringLiteral("000032"),
                {owner().ConvertUIString(QStringLiteral("请更新HalvexC.dll"))});
        return {};
    }
}

int TBrokers::RunProgram(const QString& code, const Variant& param, bool showError, Variant& result,
                         const Variant& options) {
    if (!IsPresent(WorkCenter)) return -1;
    Variant opts = options.isEmptyOrNull() ? Variant::fromList({0, 4, Variant()}) : options;
    result = Variant();
    VariantList args{Variant::fromList({UserID, CompanyID, code, OwnerHandle()}), param, opts, 2, Variant()};
    const int rc = int(invoke(WorkCenter, QStringLiteral("ExecWork"), args).toInt());
    result = args[4];
    if (!showError || rc >= 0) return rc;

    QString message;
    if (rc >= -7) {
        const QString tmpl = convertByLangMode(QString::fromUtf8(kRunErrors[-rc - 1]));
        message = server::FormatVariants(tmpl, {convertByLangMode(GetProgramTitle(code))});
    }
    ShowMsg(QStringLiteral("E"), QStringLiteral("000032"), {message});
    return rc;
}

QString TBrokers::GetProgramTitle(const QString& code) {
    QString quoted = code;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    const QString sql = QStringLiteral("SELECT MB002,MB011,MB012,MB013 FROM ADMMB WHERE MB001='") + quoted +
                        QLatin1Char('\'');
    const Variant rows = CallCounter(
        QStringLiteral("SimpleSQL"),
        Variant::fromList({sql, QStringLiteral("MB002,MB011,MB012,MB013"), DBName, QStringLiteral("N")}));
    QString title = code;
    if (rows.isArray() && elementCount(rows) > 0) {
        const int column = owner().UICodePage() == QLatin1String("437") ? 1 : 0;
        title = textOf(resultCell(rows, 0, column));
    }
    return title;
}
