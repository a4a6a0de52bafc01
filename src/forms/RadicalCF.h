// TfrmRadical: the lowest layer of every maintenance window. It turns a bare window into a connected
// session: it owns the broker, takes the session parameters from the controller (Start), reads the
// rights and system parameters, connects the data module and sets the caption; it provides the keys of
// all windows (F1 help, F2/F3/F4/F11 lookups, Enter as next field, Ctrl+Alt+V properties), the protocol
// through which lookup windows get their opening parameters and return a value, and a start outside the
// shell with a work center created by program identifier.
//
// The window is the controller's TProgramWindow, the broker's TBrokerOwner and the data module's
// TDataModuleOwner, so each lower layer reaches it through its own small interface. The rights parse,
// the hosted test, the program code and the help number are free functions, testable without a window.
#pragma once

#include "Log.h"
#include "data/DataModuleOwner.h"
#include "entry/ProgramWindow.h"
#include "lang/KVForm.h"
#include "platform/Variant.h"
#include "server/Brokers.h"
#include "server/StartReads.h"

#include <QPointer>
#include <functional>

class QKeyEvent;

namespace kvx {

class TdmRadical;

// The 64-bit rights set parsed from the session value POWER_DATA; bit n is (1 << n).
using TRightsSet = quint64;

namespace rights {
// Named bits of the rights set (pages 0-14 usable in Edit/Add are bits 0-14, pages 1-14 refused 16-29).
enum Bit : int {
    Element1 = 30,
    RecordLevel = 31,
    FieldListA = 32,
    FieldListB = 33,
    FieldListAReadOnly = 34,
    FieldListBReadOnly = 35,
    CanAdd = 36,
    CanQuery = 37,
    CanEdit = 38,
    CanDelete = 39,
    Position4 = 40,
    Position5 = 41,
    CanPrint = 42,
    Position10 = 43,
    Position11 = 44,
    Position12 = 45,
    SameGroupFirst = 46,  // same-group characters 1-7: bits 46-52
    OtherGroupFirst = 53, // other-group characters 1-7: bits 53-59
};
constexpr TRightsSet bit(int n) {
    return TRightsSet(1) << n;
}
constexpr TRightsSet range(int from, int to) {
    TRightsSet s = 0;
    for (int n = from; n <= to; ++n)
        s |= bit(n);
    return s;
}
// Before any parse: every command allowed, record-level rights on, pages 7-14 refused.
constexpr TRightsSet kDefault = range(0, 14) | range(22, 59);
// What an empty POWER_DATA leaves: pages 1-14 refused, nothing usable, no command rights.
constexpr TRightsSet kEmpty = range(15, 29);
} // namespace rights

// Parses POWER_DATA (elements separated by ","). An empty text gives rights::kEmpty.
TRightsSet ParseRights(const QString& powerData);

// Whether the window runs inside the shell. A known module path decides by its extension (".exe" in any
// case: stand-alone); otherwise an executable whose upper-cased file name contains "PELLAN" hosts it,
// and for any other executable `modulePath` becomes the executable's file name.
bool IsHostedModule(QString& modulePath, const QString& executablePath);

// "…/QLDI05C.so" -> "QLDI05": the file name cut after its last digit before the first ".", upper case.
using server::ProgramCodeOf;

// The help number of a program code ("QLDI05" -> "1105"); empty when the code has no help.
QString HelpNumberOf(const QString& programCode);

// Characters 3-5 of a field name whose third character is a digit ("MB001" -> "001"), else empty.
QString HelpFieldPart(const QString& fieldName);

// Places the visible buttons of a toolbar (the QAbstractButton children of `toolBar`) left to right
// without gaps, in their creation order; hidden buttons keep their place out of the row.
void ArrangeToolButtons(QWidget* toolBar);

// What a lookup control hands to GetBaseClassParam before it opens its window and to SetReturn after a
// choice. The lookup controls implement it; the window fills it and reads the returned value.
class TLookupParam {
public:
    using TextConversion = std::function<QString(const QString&)>;
    virtual ~TLookupParam() = default;

    virtual void SetFF2OpenParam(const Variant& params) = 0;
    virtual void SetDateFormat(int kind, const QString& separator) = 0;
    virtual void SetFieldGroupsVisible(bool groupA, bool groupB) = 0;
    virtual void SetFastInput(bool on) = 0;
    // Data to UI and UI to data conversions of the window.
    virtual void SetConversions(TextConversion dataToUI, TextConversion uiToData) = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetUICodePage(const QString& codePage) = 0;
    // The value chosen in the lookup window.
    virtual Variant ReturnValue() const = 0;
};

// Session values from the client configuration, kept for descendants.
struct TEnvironmentRecord {
    QString SessionValue;          // third session parameter
    QString ProfileFolder;         // ConfigPath of the client configuration
    QString ConfigFile;            // full path of StaveloC.ini
    QString CreateGifBeforeSendEF; // [UserDefine] CreateGifBeforeSendEF
};

class TfrmRadical : public TKVForm, public TProgramWindow, public TBrokerOwner, public TDataModuleOwner {
    Q_OBJECT
public:
    // Development values of a start outside the shell.
    static constexpr const char* kDevelopmentUser = "DS";
    static constexpr const char* kDevelopmentCompany = "DEMO";
    static constexpr const char* kDevelopmentDatabase = "DEMO";

    explicit TfrmRadical(QWidget* parent = nullptr);
    ~TfrmRadical() override;

    // --- state ---
    TBrokers* Broker = nullptr; // created in FormCreate, owned by the window
    // The program's data module; set by the descendant before FormCreate (owned by the window).
    QPointer<TdmRadical> DataModule;
    TRightsSet RightsSet = rights::kDefault;
    kvx::Variant HostContext; // fifth session parameter (a fresh four-element array outside the shell)
    quintptr HostWindow = 0;  // repainted after this window moves or is resized
    QString GroupList;        // GROUP_LIST
    QString ExtraRights;      // EX_POWER
    int DateFormatKind = 1;   // SYS001
    QString DateSeparator;    // SYS002
    int SqlType = 0;          // the data module's WhatIs("SQLTYPE")
    QString PrintID;          // the broker's PrintID when not blank
    TEnvironmentRecord Environment;
    int LookupPhase_ = 0;      // 0 key pressed, 1 building the opening parameters, 2 receiving the result
    Variant LookupParams;      // handed to a lookup window
    Variant LookupResult_;     // value returned by it
    bool FastInput = false;    // user default FastInputEnabled
    bool CloseOnPaint = false; // a failed stand-alone start closes the window at its first paint
    bool Hosted = true;        // decided in FormCreate

    bool HasRightBit(int n) const { return RightsSet & rights::bit(n); }

    // --- virtual operations, in slot order ---
    virtual void DoF2Key(int& Key, QObject* Control);
    virtual void DoF3Key(int& Key, QObject* Control);
    virtual void DoF4Key(int& Key, QObject* Control);
    virtual void DoF11Key(int& Key, QObject* Control);
    virtual void AfterShow();
    virtual void CustomHook();
    virtual void ApplyFieldRights();
    virtual void ConnectDataModule();
    virtual void InitSettings();
    virtual int RunLinkedProgram(const QString& ProgramCode, const QString& Condition);
    virtual QString GetOtherProgramTitle(const QString& ProgramCode);
    virtual void LoadRequiredFields();
    virtual void AfterConnect();
    bool Start(const kvx::Variant& Params) override;
    void UpdateCommands() override;
    virtual const QMetaObject* DataModuleClass() const;

    // --- dynamic operations ---
    virtual QString GetProgramCode() const;
    virtual QString GetHelpKey(const QString& Base);
    void AfterMessage() override {}

    // --- published lookup methods ---
    void GetBaseClassParam(QObject* Sender, TLookupParam* Param);
    void SetReturn(QObject* Sender, TLookupParam* Param);

    // Parses POWER_DATA into RightsSet (with GROUP_LIST and EX_POWER); an empty text shows "E" "000004".
    void LoadRights(const QString& powerData, const QString& groupList, const QString& extraRights);
    // F1: the help of the focused field through the work center's CallHelp; false when there is none.
    bool ShowHelp();
    // The control that holds the focus inside this window (the data-aware control around a focused
    // inner widget); null when none.
    QWidget* FocusedControl() const;
    static bool IsGridOrInGrid(const QObject* control);
    void RepaintHostWindow();

    // --- TProgramWindow ---
    QWidget* Widget() override { return this; }
    void SetBrokerWorkCenter(const kvx::Variant& WorkCenter) override;
    TLoginInfo GetLoginInfo() const override;

    // --- TBrokerOwner ---
    QString SysCodePage() const override { return TKVForm::SysCodePage(); }
    QString UICodePage() const override { return TKVForm::UICodePage(); }
    int UILangMode() const override { return TKVForm::UILangMode(); }
    QString ConvertUIString(const QString& text) const override;
    int LookupPhase() const override { return LookupPhase_; }
    void SetLookupParams(const kvx::Variant& params) override { LookupParams = params; }
    kvx::Variant LookupResult() const override { return LookupResult_; }
    bool HasRight(int bit) const override { return HasRightBit(bit); }

    // --- TDataModuleOwner ---
    QString CodePage() const override { return UICodePage(); }
    QString DisplayConvert(const QString& text) const override;
    QString InputConvert(const QString& text) const override;
    QString PackageText(const QString& package, const QString& key, const QString& def) const override;

    // Where the hosted test looks for the executable (the running program's file by default).
    static QString ExecutablePath();

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* event) override;
    // Enter as next field; true when the key was consumed.
    virtual bool FormKeyPress(QKeyEvent* event);
    // The window's own close handler (its OnClose event): closes the data module's connections; the
    // action stays caHide at this layer.
    virtual void FormClose(TCloseAction& Action);
    // Outside the shell: a work center by program identifier, its Connect, and Start with development
    // values; failures show "Error!!" and close the window at its first paint.
    virtual void StartStandAlone();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool handleFunctionKey(QKeyEvent* event);
    void applyHelpFieldSuffix(QString& key) const;
};

} // namespace kvx
