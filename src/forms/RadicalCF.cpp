#include "RadicalCF.h"

#include "controls/Control.h"
#include "controls/FDBGrid.h"
#include "data/KnlRadical.h"
#include "data/RadicalCD.h"
#include "platform/Automation.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"
#include "platform/PropertySetter.h"
#include "platform/WindowMessage.h"
#include "server/BuildVariant.h"
#include "server/StaveloINI.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QToolTip>

namespace kvx {

namespace {

// Window messages of the lookup keys (user messages 10 to 13).
constexpr int kMsgF2 = WM_USER + 10;
constexpr int kMsgF3 = WM_USER + 11;
constexpr int kMsgF4 = WM_USER + 12;
constexpr int kMsgF11 = WM_USER + 13;

QChar charAt(const QString& text, int position) {
    return position >= 1 && position <= text.size() ? text.at(position - 1) : QChar();
}

bool isYes(const QString& element) {
    return element == QLatin1String("Y") || element == QLatin1String("y");
}

} // namespace

// --- free functions -------------------------------------------------------------------------------------

TRightsSet ParseRights(const QString& powerData) {
    using namespace rights;
    if (powerData.isEmpty()) return kEmpty;
    const QStringList e = powerData.split(QLatin1Char(','));
    auto element = [&e](int i) { return i < e.size() ? e.at(i) : QString(); };
    TRightsSet s = range(0, 14) | bit(CanQuery);
    if (isYes(element(1))) s |= bit(Element1);
    if (isYes(element(2))) s |= bit(RecordLevel);

    const QString own = element(3);
    auto ownIs = [&own](int position, char c) { return charAt(own, position) == QLatin1Char(c); };
    const std::pair<int, int> ownYes[] = {{2, CanEdit},     {3, CanDelete},   {4, Position4},  {5, Position5},
                                          {6, CanPrint},    {7, FieldListA},  {8, FieldListB}, {9, CanAdd},
                                          {10, Position10}, {11, Position11}, {12, Position12}};
    for (const auto& [position, b] : ownYes)
        if (ownIs(position, 'Y')) s |= bit(b);
    if (ownIs(7, 'R')) s |= bit(FieldListAReadOnly);
    if (ownIs(8, 'R')) s |= bit(FieldListBReadOnly);

    for (const auto& [index, first] :
         {std::pair{4, int(SameGroupFirst)}, std::pair{5, int(OtherGroupFirst)}}) {
        const QString group = element(index);
        for (int position = 1; position <= 7; ++position)
            if (charAt(group, position) == QLatin1Char('Y')) s |= bit(first + position - 1);
    }
    return s;
}

bool IsHostedModule(QString& modulePath, const QString& executablePath) {
    if (!modulePath.isEmpty())
        return QFileInfo(modulePath).suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) != 0;
    if (executablePath.toUpper().contains(QLatin1String("PELLAN"))) return true;
    modulePath = executablePath;
    return false;
}

QString HelpNumberOf(const QString& programCode) {
    if (programCode.size() < 4) return {};
    const QChar kind = programCode.at(3).toUpper();
    QString number;
    if (kind == QLatin1Char('I') || kind == QLatin1Char('Q'))
        number = QStringLiteral("1");
    else if (kind == QLatin1Char('A'))
        number = QStringLiteral("6");
    else if (kind == QLatin1Char('M'))
        number = QStringLiteral("8");
    else
        return {};
    number += kind == QLatin1Char('I') ? QLatin1Char('1') : QLatin1Char('4');
    return number + programCode.right(2);
}

QString HelpFieldPart(const QString& fieldName) {
    if (fieldName.size() < 3 || !fieldName.at(2).isDigit()) return {};
    return fieldName.mid(2, 3);
}

void ArrangeToolButtons(QWidget* toolBar) {
    if (!toolBar) return;
    int x = 0;
    for (QObject* child : toolBar->children()) {
        auto* button = qobject_cast<QAbstractButton*>(child);
        if (!button || button->isHidden()) continue;
        button->move(x, button->y());
        x += button->width();
    }
}

// --- window ---------------------------------------------------------------------------------------------

TfrmRadical::TfrmRadical(QWidget* parent) : TKVForm(parent) {
    setObjectName(QStringLiteral("frmRadical"));
    setKeyPreview(true);
    setShowHint(true);
    setFocusPolicy(Qt::StrongFocus);
    OnClose = [this](QObject*, TCloseAction& Action) { FormClose(Action); };
}

TfrmRadical::~TfrmRadical() = default;

QString TfrmRadical::ExecutablePath() {
    return QCoreApplication::applicationFilePath();
}

void TfrmRadical::FormCreate() {
    TKVForm::FormCreate();
    Broker = new TBrokers(this);
    Broker->setObjectName(QStringLiteral("Broker"));
    RightsSet = rights::kDefault;
    CommandMask = 511;
    InitCondition.clear();
    RunMode = 0;

    Hosted = IsHostedModule(ModulePath, ExecutablePath());
    if (!Hosted) StartStandAlone();

    // Input-method names of components created by the whole class chain are cleared. The inherited step
    // has just cleared those of every component then present; a hosted window has created only the
    // broker since, a stand-alone one whatever its start created.
    QObject* since = Hosted ? static_cast<QObject*>(Broker) : this;
    QList<QObject*> created = lang::OwnedComponents(since);
    if (since != this) created.prepend(since);
    for (QObject* c : created)
        if (PropertySetter::findProperty(c, QStringLiteral("ImeName")).isValid())
            PropertySetter::set(c, QStringLiteral("ImeName"), QString());
    LookupPhase_ = 0;
}

void TfrmRadical::StartStandAlone() {
    try {
        Broker->WorkCenter = Variant(CreateOleObject(QStringLiteral("PellanWorkCenter.Manager")));
        std::shared_ptr<Dispatch> wc = Broker->WorkCenter.toDispatch();
        wc->call(QStringLiteral("Connect"), {Variant::fromList({QString::fromLatin1(kDevelopmentUser),
                                                                QString::fromLatin1(kDevelopmentCompany),
                                                                QString::fromLatin1(kDevelopmentDatabase)})});
        Variant params = Variant::array(0, 4);
        params[0] = QString::fromLatin1(kDevelopmentUser);
        params[1] = QString::fromLatin1(kDevelopmentCompany);
        params[2] = QString::fromLatin1(kDevelopmentDatabase);
        params[3] = 0;
        params[4] = QString();
        if (!Start(params)) CloseOnPaint = true;
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "stand-alone start failed:" << e.what();
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.buttons = mbOK;
        req.caption = QStringLiteral("Error!!");
        req.text = QString::fromUtf8(e.what());
        DialogService::instance().showMessage(req);
        CloseOnPaint = true;
    }
}

// --- virtual operations ---

void TfrmRadical::DoF2Key(int&, QObject* Control) {
    auto* w = qobject_cast<QWidget*>(Control);
    if (!w || IsGridOrInGrid(w)) return;
    if (w->isEnabled() && w->isVisible() && w->focusPolicy() != Qt::NoFocus)
        w->setFocus(Qt::OtherFocusReason);
}

void TfrmRadical::DoF3Key(int& Key, QObject* Control) {
    TfrmRadical::DoF2Key(Key, Control);
}

void TfrmRadical::DoF4Key(int& Key, QObject* Control) {
    TfrmRadical::DoF2Key(Key, Control);
}

void TfrmRadical::DoF11Key(int& Key, QObject* Control) {
    TfrmRadical::DoF2Key(Key, Control);
}

void TfrmRadical::AfterShow() {}
void TfrmRadical::CustomHook() {}
void TfrmRadical::ApplyFieldRights() {}

void TfrmRadical::ConnectDataModule() {
    bool ok = false;
    const int kind = Broker->GetSysParam(QStringLiteral("SYS001")).trimmed().toInt(&ok);
    DateFormatKind = ok ? kind : 1;
    DateSeparator = Broker->GetSysParam(QStringLiteral("SYS002"));
    if (!DataModule) return;
    DataModule->Broker = Broker;
    DataModule->SetSettings(settings());
    if (!DataModule->ConnectServer()) return;
    Broker->UserGroup = Broker->GetLoginInfo(QStringLiteral("USER_GROUP"));
    LoadRights(Broker->GetLoginInfo(QStringLiteral("POWER_DATA")),
               Broker->GetLoginInfo(QStringLiteral("GROUP_LIST")),
               Broker->GetLoginInfo(QStringLiteral("EX_POWER")));
    DataModule->DateStyle = DateFormatKind;
    DataModule->DateSeparator = DateSeparator;
    SqlType = 0;
    if (std::shared_ptr<Dispatch> server = DataModule->Server()) {
        try {
            SqlType = int(server->call(QStringLiteral("Whatis"), {QStringLiteral("SQLTYPE")}).toIntDef(0));
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "the server does not answer Whatis SQLTYPE:" << e.what();
        }
    }
}

void TfrmRadical::InitSettings() {
    const TStaveloIniC ini;
    Environment.ProfileFolder = ini.ConfigPath;
    Environment.ConfigFile = ini.IniFileName;
    Environment.CreateGifBeforeSendEF = ini.CreateGifBeforeSendEF;
}

int TfrmRadical::RunLinkedProgram(const QString& ProgramCode, const QString& Condition) {
    Variant result;
    return Broker->RunProgram(ProgramCode, Variant(Condition), true, result,
                              Variant::fromList({0, 0, Variant()}));
}

QString TfrmRadical::GetOtherProgramTitle(const QString& ProgramCode) {
    return Broker->GetProgramTitle(ProgramCode);
}

void TfrmRadical::LoadRequiredFields() {}
void TfrmRadical::AfterConnect() {}

bool TfrmRadical::Start(const Variant& Params) {
    hide();
    // 2. The shell's context value.
    const bool hasContext = Params.isArray() && Params.highBound() >= 4;
    if (Hosted && !hasContext) {
        Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000038"));
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    } else {
        HostContext = Hosted ? Params.at(4) : Variant::array(0, 3);
    }
    auto param = [&Params](int i) {
        return Params.isArray() && i <= Params.highBound() ? Params.at(i) : Variant();
    };
    // 3. Environment record; the window's settings (read once when it was created) go to the broker.
    InitSettings();
    Broker->setSettings(settings());
    // 4. Session and program record.
    Broker->UserID = param(0).toString();
    Broker->CompanyID = param(1).toString();
    Broker->DBName = param(2).toString();
    Broker->ProgID = GetProgramCode();
    Broker->ConnectServices();
    Broker->LoadSysParams();
    // 5. The field set-up of every layer (audit labels, hidden audit fields, the program's fields) reaches
    // the grids and edits as one layout change per dataset, not one per field.
    {
        const TFieldUpdate batch(DataModule ? DataModule->findChildren<TClientDataSet*>()
                                            : QList<TClientDataSet*>());
        ConnectDataModule();
    }
    // 6. Fonts: the window's by the UI rule; hints and menus follow it.
    KvConverter()->SetObjectFont(this, UILangMode());
    QToolTip::setFont(font());
    QApplication::setFont(font(), "QMenu");
    setShowHint(false);
    setShowHint(true);
    // 7.
    if (DataModule) DataModule->SetupTextConversion();
    // 8.
    setCaption(Broker->GetProgramName() + QLatin1Char('[') + Broker->GetSysParam(QStringLiteral("KVX002")) +
               QLatin1Char(']'));
    // 9.
    TranslateOnce();
    // 10.
    ApplyFieldRights();
    // 11.
    HostWindow = quintptr(param(3).toIntDef(0));
    // 12.
    const QString printId = Broker->GetPrintID().trimmed();
    if (!printId.isEmpty()) PrintID = printId;
    // 13.
    Environment.SessionValue = param(2).toString();
    return true;
}

void TfrmRadical::UpdateCommands() {}

const QMetaObject* TfrmRadical::DataModuleClass() const {
    return &TdmRadical::staticMetaObject;
}

// --- dynamic operations ---

QString TfrmRadical::GetProgramCode() const {
    return ProgramCodeOf(ModulePath);
}

QString TfrmRadical::GetHelpKey(const QString& Base) {
    // The older build has no field help: always the program's base topic.
    if (!Features().fieldHelp) return Base + QStringLiteral("0000");
    QString key = Base;
    applyHelpFieldSuffix(key);
    return key;
}

void TfrmRadical::applyHelpFieldSuffix(QString& key) const {
    QWidget* control = FocusedControl();
    for (QWidget* w = control; w && w != this; w = w->parentWidget()) {
        if (auto* grid = qobject_cast<TFDBGrid*>(w)) {
            const QString part = HelpFieldPart(grid->SelectedField());
            key += part.isEmpty() ? QStringLiteral("0000") : QStringLiteral("2") + part;
            return;
        }
    }
    if (control) {
        auto* source = qobject_cast<TDataSource*>(control->property("DataSource").value<QObject*>());
        const QString field = control->property("DataField").toString();
        if (source && source->DataSet() && source->DataSet()->objectName() == QLatin1String("cdsMain")) {
            const QString part = HelpFieldPart(field);
            if (!part.isEmpty()) {
                key += QStringLiteral("1") + part;
                return;
            }
        }
    }
    key += QStringLiteral("0000");
}

bool TfrmRadical::ShowHelp() {
    const QString code = GetProgramCode();
    const QString number = HelpNumberOf(code);
    if (number.isEmpty()) return false;
    const QString key = GetHelpKey(number);
    std::shared_ptr<Dispatch> wc = Broker ? Broker->WorkCenter.toDispatch() : nullptr;
    if (!wc) return false;
    try {
        wc->call(QStringLiteral("CallHelp"), {code.left(3), key});
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "help" << key << "not shown:" << e.what();
        return false;
    }
    return true;
}

// --- lookup protocol ---

void TfrmRadical::GetBaseClassParam(QObject* Sender, TLookupParam* Param) {
    LookupPhase_ = 1;
    LookupParams = Variant();
    const auto reset = qScopeGuard([this] { LookupPhase_ = 0; });
    int key = Qt::Key_F2;
    DoF2Key(key, Sender);
    if (!Param) return;
    Param->SetFF2OpenParam(LookupParams);
    Param->SetDateFormat(DateFormatKind, DateSeparator);
    Param->SetFieldGroupsVisible(HasRightBit(rights::FieldListA) || HasRightBit(rights::FieldListAReadOnly),
                                 HasRightBit(rights::FieldListB) || HasRightBit(rights::FieldListBReadOnly));
    Param->SetFastInput(FastInput);
    QPointer<TfrmRadical> self(this);
    Param->SetConversions([self](const QString& t) { return self ? self->DisplayConvert(t) : t; },
                          [self](const QString& t) { return self ? self->InputConvert(t) : t; });
    Param->SetCaption(Caption());
    Param->SetUICodePage(UICodePage());
}

void TfrmRadical::SetReturn(QObject* Sender, TLookupParam* Param) {
    LookupPhase_ = 2;
    const auto reset = qScopeGuard([this] { LookupPhase_ = 0; });
    LookupResult_ = Param ? Param->ReturnValue() : Variant();
    int key = Qt::Key_F2;
    DoF2Key(key, Sender);
}

// --- rights ---

void TfrmRadical::LoadRights(const QString& powerData, const QString& groupList, const QString& extraRights) {
    GroupList = groupList;
    ExtraRights = extraRights;
    if (powerData.isEmpty()) Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000004"));
    RightsSet = ParseRights(powerData);
}

// --- focus and keys ---

QWidget* TfrmRadical::FocusedControl() const {
    QWidget* w = QApplication::focusWidget();
    if (!w || (w != this && !isAncestorOf(w))) return nullptr;
    // A control of the controls library wraps the inner widget that holds the focus.
    for (QWidget* c = w; c && c != this; c = c->parentWidget())
        if (qobject_cast<TControl*>(c)) return c;
    return w;
}

bool TfrmRadical::IsGridOrInGrid(const QObject* control) {
    for (const QObject* o = control; o; o = o->parent()) {
        if (qobject_cast<const QAbstractItemView*>(o) || qobject_cast<const TFDBGrid*>(o)) return true;
        if (auto* w = qobject_cast<const QWidget*>(o); w && w->isWindow()) break;
    }
    return false;
}

bool TfrmRadical::handleFunctionKey(QKeyEvent* event) {
    const int code = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (code == Qt::Key_V && mods == (Qt::ControlModifier | Qt::AltModifier)) {
        if (!ShowFileProperties(ModulePath)) qCInfo(lcForms) << "no module file to show:" << ModulePath;
        return true;
    }
    if (mods != Qt::NoModifier) return false;
    int key = code;
    QWidget* control = FocusedControl();
    switch (code) {
    case Qt::Key_F1:
        ShowHelp();
        return true;
    case Qt::Key_F2:
        LookupPhase_ = 0;
        DoF2Key(key, control);
        break;
    case Qt::Key_F3:
        DoF3Key(key, control);
        break;
    case Qt::Key_F4:
        DoF4Key(key, control);
        break;
    case Qt::Key_F11:
        DoF11Key(key, control);
        break;
    default:
        return false;
    }
    return key == 0;
}

bool TfrmRadical::FormKeyDown(QKeyEvent* event) {
    if (handleFunctionKey(event)) return true;
    return FormKeyPress(event);
}

bool TfrmRadical::FormKeyPress(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return false;
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    QWidget* focused = QApplication::focusWidget();
    if (focused && IsGridOrInGrid(focused)) return false;
    focusNextChild();
    return true;
}

void TfrmRadical::keyPressEvent(QKeyEvent* event) {
    if (!KeyPreviewed(event) && FormKeyDown(event)) {
        event->accept();
        return;
    }
    TKVForm::keyPressEvent(event);
}

bool TfrmRadical::event(QEvent* e) {
    const int message = MessageEvent::messageOf(e);
    if (message >= kMsgF2 && message <= kMsgF11) {
        QObject* control = static_cast<MessageEvent*>(e)->lParam();
        int key = 0;
        switch (message) {
        case kMsgF2:
            key = Qt::Key_F2;
            LookupPhase_ = 0;
            DoF2Key(key, control);
            break;
        case kMsgF3:
            key = Qt::Key_F3;
            DoF3Key(key, control);
            break;
        case kMsgF4:
            key = Qt::Key_F4;
            DoF4Key(key, control);
            break;
        default:
            key = Qt::Key_F11;
            DoF11Key(key, control);
            break;
        }
        return true;
    }
    return TKVForm::event(e);
}

// --- window events ---

void TfrmRadical::FormShow() {
    TKVForm::FormShow();
    if (isMinimized()) showNormal();
    // Screen settings: the base maintenance layer loads the company's screen settings document (TMT_Doc)
    // here when it is shown; this layer has no components of its own to apply it to.
    AfterShow();
    raise();
    activateWindow();
}

void TfrmRadical::FormClose(TCloseAction&) {
    if (!DataModule) return;
    if (DataModule->MIDAS && DataModule->MIDAS->connected()) DataModule->MIDAS->close();
    if (DataModule->scLookUpData && DataModule->scLookUpData->connected()) DataModule->scLookUpData->close();
}

void TfrmRadical::showEvent(QShowEvent* event) {
    TKVForm::showEvent(event);
    DoShow(event);
}

void TfrmRadical::hideEvent(QHideEvent* event) {
    TKVForm::hideEvent(event);
    DoHide(event);
}

void TfrmRadical::closeEvent(QCloseEvent* event) {
    DoClose(event);
}

void TfrmRadical::paintEvent(QPaintEvent* event) {
    TKVForm::paintEvent(event);
    if (CloseOnPaint) {
        CloseOnPaint = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TfrmRadical::resizeEvent(QResizeEvent* event) {
    TKVForm::resizeEvent(event);
    RepaintHostWindow();
}

void TfrmRadical::moveEvent(QMoveEvent* event) {
    TKVForm::moveEvent(event);
    RepaintHostWindow();
}

void TfrmRadical::RepaintHostWindow() {
    if (!HostWindow) return;
    if (QWidget* host = QWidget::find(WId(HostWindow)); host && host != this) host->update();
}

// --- interfaces ---

void TfrmRadical::SetBrokerWorkCenter(const Variant& WorkCenter) {
    if (Broker) Broker->WorkCenter = WorkCenter;
}

TLoginInfo TfrmRadical::GetLoginInfo() const {
    if (!Broker) return {};
    return {Broker->UserID, Broker->CompanyID, Broker->ProgID, Broker->GetProgramName()};
}

QString TfrmRadical::ConvertUIString(const QString& text) const {
    return KvConverter()->ConvertUIString(Variant(text)).toString();
}

QString TfrmRadical::DisplayConvert(const QString& text) const {
    return KvConverter()->ConvertDataString(Variant(text)).toString();
}

QString TfrmRadical::InputConvert(const QString& text) const {
    return KvConverter()->RecoverDataString(Variant(text)).toString();
}

QString TfrmRadical::PackageText(const QString& package, const QString& key, const QString& def) const {
    QString text;
    const_cast<TfrmRadical*>(this)->GetMessage(package, key, text, true, def);
    return text;
}

} // namespace kvx
