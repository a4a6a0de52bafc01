#include "DLLMTCtrller.h"

#include "entry/DLLFunc.h"
#include "entry/Log.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Dispatch.h"
#include "platform/StartupTrace.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"
#include "server/StartReads.h"
#include "server/StaveloINI.h"

#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScopeGuard>
#include <cmath>
#include <stdexcept>

namespace {

const QString kProgramTooOld = QStringLiteral("This program's version is too old, please update.");
const QString kWorkCenterTooOld = QStringLiteral("PellanWorkCenter version too old,please update.");
const QString kWorkCenterCheckFailed = QStringLiteral("PellanWorkCenter version too old,please update!");

[[noreturn]] void raiseError(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

// A plain message box with OK, captioned with the application title.
void showMessage(const QString& text) {
    kvx::MessageRequest req;
    req.type = kvx::MsgDlgType::Custom;
    req.buttons = kvx::mbOK;
    req.caption = QGuiApplication::applicationDisplayName();
    req.text = text;
    kvx::DialogService::instance().showMessage(req);
}

// Ends a modal loop when the watched window is hidden (minimising does not count).
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(QEventLoop* loop) : loop_(loop) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && !w->isVisible()) loop_->quit();
        }
        return false;
    }

private:
    QEventLoop* loop_;
};

// Host right bit -> window command bit it clears when the host bit is clear.
struct RightMap {
    int32_t host;
    quint16 window;
};
constexpr RightMap kRights[] = {
    {0x01, 0x01}, {0x02, 0x08}, {0x04, 0x04}, {0x08, 0x02},
    {0x10, 0x10}, {0x20, 0x20}, {0x40, 0x40}, {0x80, 0x80},
};

TDLLBaseController* NewMTCtrller() {
    return new TDLLMTCtrller;
}

// Unit initialisation: this library's controller class.
const bool kRegistered = (DLLControllerClass = &NewMTCtrller, true);

} // namespace

TDLLMTCtrller::~TDLLMTCtrller() {
    EndReadAhead();
    if (form()) CloseProgram(false);
}

TProgramWindow* TDLLMTCtrller::form() {
    if (Form && !formWidget_) Form = nullptr; // deleted without Free(): nothing left to report
    return Form;
}

quint8 TDLLMTCtrller::StoredOpenMode(int32_t Mode) {
    switch (Mode) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
        return quint8(Mode);
    case 10:
        return 9;
    case 12:
        return 10;
    case 13:
        return 11;
    default:
        return 0;
    }
}

quint16 TDLLMTCtrller::RestrictRights(quint16 Mask, int32_t Rights) {
    for (const RightMap& r : kRights)
        if (!(Rights & r.host)) Mask &= quint16(~r.window);
    return Mask;
}

void TDLLMTCtrller::GetVersion(QString& Version) {
    if (TProgramWindow* f = form()) Version = f->ProgramVersion;
}

int32_t TDLLMTCtrller::GetVisible() {
    TProgramWindow* f = form();
    return f && f->Widget()->isVisible() ? -1 : 0;
}

void TDLLMTCtrller::SetVisible(int16_t Visible) {
    // The start's reads are over once the window shows (or is kept hidden).
    const auto endReads = qScopeGuard([this] { EndReadAhead(); });
    TProgramWindow* f = form();
    if (!f) return;
    QPointer<QWidget> w = f->Widget();
    if (!Visible) {
        w->setVisible(false);
        return;
    }
    w->setVisible(true);
    if (w && w->isMinimized()) w->showNormal();
    if (w) w->raise();
}

quintptr TDLLMTCtrller::GetWindowHandle() {
    TProgramWindow* f = form();
    return f ? quintptr(f->Widget()->winId()) : 0;
}

int32_t TDLLMTCtrller::CreateProgram(kvx::Variant Params) {
    int32_t result = -1;
    try {
        createWindow(Params);
    } catch (...) {
        EndReadAhead();
        throw;
    }
    TProgramWindow* f = form();
    UseReadAhead();
    try {
        if (f && f->Start(Params)) result = 0;
    } catch (...) {
        EndReadAhead();
        throw;
    }
    if (result != 0) EndReadAhead();
    kvx::startupCheckpoint("Start");
    return result;
}

void TDLLMTCtrller::createWindow(const kvx::Variant& Params) {
    if (!form()) {
        StartReadAhead(Params);
        if (!frmRadicalClass)
            raiseError(QStringLiteral("KVX DLL Internal Error :\rNot Assign \"frmRadicalClass\" varible"));
        // The window reads the installation's settings once, through the configuration readers.
        kvx::InstallSettingsReader();
        TProgramWindow* created = frmRadicalClass();
        if (!created)
            raiseError(QStringLiteral("KVX DLL Internal Error :\rThe window class created no window"));
        Form = created;
        formWidget_ = created->Widget();
        // Handlers saved from an earlier window belong to a freed object.
        hooksInstalled_ = false;
        SavedOnShow = nullptr;
        SavedOnHide = nullptr;
        SavedOnDestroy = nullptr;
        SavedOnClose = nullptr;
        created->ModulePath = GetModuleFileName();
        // A failed check leaves the window with the controller; it is freed with it.
        CheckWorkCenterVersion();
        created->SetBrokerWorkCenter(WorkCenter);
        DoCreated();
        InstallHooks();
        kvx::startupCheckpoint("window built");
    }
}

void TDLLMTCtrller::StartReadAhead(const kvx::Variant& Params) {
    EndReadAhead();
    // KVX_STARTUP_READAHEAD=0 turns it off, for comparison.
    if (qEnvironmentVariable("KVX_STARTUP_READAHEAD") == QLatin1String("0")) return;
    // The work center's counter runs in this process only for the address 127.0.0.1, as the data
    // module's servers do; over the socket nothing is read ahead.
    const kvx::Settings settings = kvx::ReadInstallationSettings();
    if (settings.servers.isEmpty() || !IsLocalAddress(settings.servers.first().address.trimmed())) return;
    const auto param = [&Params](int i) {
        return Params.isArray() && i <= Params.highBound() ? Params.at(i).toString() : QString();
    };
    const kvx::Variant reads = kvx::server::ProgramStartReads(kvx::server::ProgramCodeOf(GetModuleFileName()),
                                                              param(0), param(1), param(2));
    readAheadThread_ = std::thread([this, reads] {
        try {
            // Created, used and freed on this thread: its database connection is this thread's.
            std::shared_ptr<kvx::Dispatch> counter =
                kvx::CreateOleObject(QLatin1String(kvx::server::kCounterClass));
            const kvx::Variant answers = counter->call(QStringLiteral("ReadAhead"), {reads});
            counter.reset();
            readAheadAnswers_ = answers;
        } catch (const std::exception& e) {
            readAheadFailure_ = QString::fromUtf8(e.what());
        }
    });
}

void TDLLMTCtrller::UseReadAhead() {
    if (!readAheadThread_.joinable()) return;
    readAheadThread_.join();
    const kvx::Variant answers = std::exchange(readAheadAnswers_, kvx::Variant());
    if (!readAheadFailure_.isEmpty())
        qCDebug(kvx::lcEntry) << "nothing read ahead:" << std::exchange(readAheadFailure_, QString());
    if (!answers.isDispatch()) return;
    try {
        std::shared_ptr<kvx::Dispatch> wc = WorkCenter.toDispatch();
        if (!wc) return;
        std::shared_ptr<kvx::Dispatch> counter = wc->call(QStringLiteral("Com_Counter")).toDispatch();
        if (counter && counter->call(QStringLiteral("UseReadAhead"), {answers}).toIntDef(0) > 0)
            readAheadCounter_ = counter;
    } catch (const std::exception& e) {
        qCDebug(kvx::lcEntry) << "answers read ahead not used:" << e.what();
    }
}

void TDLLMTCtrller::EndReadAhead() {
    if (readAheadThread_.joinable()) readAheadThread_.join();
    readAheadAnswers_ = kvx::Variant();
    readAheadFailure_.clear();
    std::shared_ptr<kvx::Dispatch> counter = std::exchange(readAheadCounter_, nullptr);
    if (!counter) return;
    try {
        const kvx::Variant taken = counter->call(QStringLiteral("UseReadAhead"));
        qCDebug(kvx::lcEntry) << "answers read ahead and taken:" << taken.toString();
    } catch (const std::exception& e) {
        qCDebug(kvx::lcEntry) << "ending the read-ahead of the start:" << e.what();
    }
}

void TDLLMTCtrller::CheckWorkCenterVersion() {
    if (kvx::Features().variant == kvx::BuildVariant::Older) {
        CheckOlderWorkCenterVersion();
        return;
    }
    try {
        std::shared_ptr<kvx::Dispatch> wc = WorkCenter.toDispatch();
        if (!wc) throw kvx::AutomationError("The work-center object is not assigned");
        if (wc->call(QStringLiteral("DependencyVersion")).toDouble() > kDLLInterfaceVersion) {
            showMessage(kProgramTooOld);
            raiseError(kProgramTooOld);
        }
        if (wc->call(QStringLiteral("DependencyVersion")).toDouble() < kDLLInterfaceVersion) {
            showMessage(kWorkCenterTooOld);
            raiseError(kWorkCenterTooOld);
        }
    } catch (const std::exception& e) {
        showMessage(kWorkCenterCheckFailed);
        raiseError(kWorkCenterCheckFailed + QString::fromUtf8(e.what()));
    } catch (...) {
        showMessage(kWorkCenterCheckFailed);
        raiseError(kWorkCenterCheckFailed);
    }
}

void TDLLMTCtrller::CheckOlderWorkCenterVersion() {
    // One message for every refusal: a version outside 70xx, no work center, or no DependencyVersion.
    QString reason;
    try {
        std::shared_ptr<kvx::Dispatch> wc = WorkCenter.toDispatch();
        if (!wc) throw kvx::AutomationError("The work-center object is not assigned");
        const double version = wc->call(QStringLiteral("DependencyVersion")).toDouble();
        if (std::trunc(version / 100) == kOlderInterfaceSeries) return;
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    showMessage(kWorkCenterCheckFailed);
    raiseError(kWorkCenterCheckFailed + reason);
}

void TDLLMTCtrller::InstallHooks() {
    TProgramWindow* f = form();
    if (!f || hooksInstalled_) return;
    hooksInstalled_ = true;
    SavedOnShow = f->OnShow;
    f->OnShow = [this](QObject* sender) { FormShowHook(sender); };
    SavedOnHide = f->OnHide;
    f->OnHide = [this](QObject* sender) { FormHideHook(sender); };
    SavedOnDestroy = f->OnDestroy;
    f->OnDestroy = [this](QObject* sender) { FormDestroyHook(sender); };
    SavedOnClose = f->OnClose;
    f->OnClose = [this](QObject* sender, TCloseAction& action) { FormCloseHook(sender, action); };
}

int32_t TDLLMTCtrller::SetOpenParam(kvx::Variant Param) {
    TProgramWindow* f = form();
    if (!f || !Param.isArray()) return -1;
    try {
        const kvx::Variant item = Param.at(1);
        if (item.isNull() || !item.isArray()) {
            f->InitCondition = item.toString();
        } else {
            f->InitCondition = item.at(0).toString();
            f->HostParam = item.at(1);
        }
    } catch (const std::exception&) {
        return -1;
    }
    return 0;
}

int32_t TDLLMTCtrller::SetOpenMode(int32_t Mode, int32_t Rights, kvx::Variant Param) {
    TProgramWindow* f = form();
    if (!f) return -1;
    f->CommandMask = RestrictRights(f->CommandMask, Rights);
    f->UpdateCommands();
    if (!(f = form())) return -1;
    f->RunMode = StoredOpenMode(Mode);
    if (Mode == 7 || Mode == 8 || Mode == 10) f->RunModeValues = Param;
    return 0;
}

void TDLLMTCtrller::ShowProgramModal(kvx::Variant& Result) {
    TProgramWindow* f = form();
    if (!f) return;
    QPointer<QWidget> w = f->Widget();
    const Qt::WindowModality previous = w->windowModality();
    QEventLoop loop;
    ModalWatcher watcher(&loop);
    w->installEventFilter(&watcher);
    QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!w->isVisible()) w->setWindowModality(Qt::ApplicationModal);
    SetVisible(-1);
    if (w && w->isVisible()) loop.exec(QEventLoop::DialogExec);
    if (w) {
        w->removeEventFilter(&watcher);
        if (!w->isVisible()) w->setWindowModality(previous);
    }
    // A window freed inside the loop has left its return value in ResultValue.
    f = form();
    Result = f ? f->ReturnValue : ResultValue;
    CloseProgram(false);
}

void TDLLMTCtrller::CloseProgram(bool Silent) {
    EndReadAhead();
    TProgramWindow* f = form();
    if (!f || f->Destroying()) return;
    if (!Silent) {
        TCloseAction action = caFree;
        FormCloseHook(f->Widget(), action);
        f = form(); // a notified shell may have closed it meanwhile
        if (!f || f->Destroying()) return;
    }
    f->Free();
    // Without installed hooks nothing has forgotten the window yet.
    if (Form == f) {
        Form = nullptr;
        formWidget_.clear();
    }
}

int32_t TDLLMTCtrller::GetLoginInfo(kvx::Variant& Info) {
    TProgramWindow* f = form();
    if (!f) return -1;
    const TLoginInfo li = f->GetLoginInfo();
    Info = kvx::Variant::fromList({li.UserID, li.CompanyID, li.ProgID, li.ProgramName});
    return 0;
}

bool TDLLMTCtrller::IsClosed() {
    return !form();
}

void TDLLMTCtrller::FormShowHook(QObject* Sender) {
    if (SavedOnShow) SavedOnShow(Sender);
    TDLLBaseController::FormShowHook(Sender);
}

void TDLLMTCtrller::FormHideHook(QObject* Sender) {
    if (SavedOnHide) SavedOnHide(Sender);
    TDLLBaseController::FormHideHook(Sender);
}

void TDLLMTCtrller::FormDestroyHook(QObject* Sender) {
    if (Form) {
        ResultCode = Form->ModalResult;
        ResultValue = Form->ReturnValue;
        if (SavedOnDestroy) SavedOnDestroy(Sender);
        TDLLBaseController::FormDestroyHook(Sender);
    }
    Form = nullptr;
    formWidget_.clear();
}

void TDLLMTCtrller::FormCloseHook(QObject* Sender, TCloseAction& Action) {
    if (SavedOnClose) SavedOnClose(Sender, Action);
    TDLLBaseController::FormCloseHook(Sender, Action);
}
