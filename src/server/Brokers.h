// Brokers: a program window's broker to the shell's work-center automation object.
//
// Every maintenance window owns one TBrokers. Through it the window and its data module reach the shell's
// services (message catalogue and coded message boxes, system parameters, program master, the counter's
// named server functions, validator, lookup and phrase windows, starting other programs). All services are
// late-bound automation objects (kvx::Dispatch) obtained from the work center; the broker itself never
// opens a connection. It also keeps the login context that every service call passes on.
//
// The owner is the window: the parent of the message dialogs, the source of the caption and the window
// handle, and - when it implements TBrokerOwner - of the language settings, the lookup protocol, the
// rights and the after-message hook.
#pragma once

#include "platform/Dispatch.h"
#include "platform/Settings.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QWidget;
namespace kvx {
class TClientDataSet;
}

// What a broker asks of the window that owns it. The maintenance window implements it; an owner that
// does not gets the defaults below (no conversion, GB user interface, no lookup phase, no rights), or
// the client code pages of the settings handed to the broker.
class TBrokerOwner {
public:
    virtual ~TBrokerOwner() = default;

    // Code pages as decimal texts ("936", "950", "437").
    virtual QString SysCodePage() const;
    virtual QString UICodePage() const { return QStringLiteral("936"); }
    // UI conversion kind of the window's code converter (0..4).
    virtual int UILangMode() const { return 0; }
    // The window code converter's conversion of a design-time (GB) text into its screen form.
    virtual QString ConvertUIString(const QString& text) const { return text; }

    // Lookup protocol: 0 key pressed, 1 capturing the opening parameters, 2 returning a captured choice.
    virtual int LookupPhase() const { return 0; }
    virtual void SetLookupParams(const kvx::Variant& params) { (void)params; }
    virtual kvx::Variant LookupResult() const { return {}; }
    // Whether bit n of the window's 64-bit rights set is present.
    virtual bool HasRight(int bit) const {
        (void)bit;
        return false;
    }

    // Called after every coded message box; empty in the framework.
    virtual void AfterMessage() {}
};

// Reads one field of a dataset's current record as text (QueryMaxSeq).
using FieldTextReader = std::function<QString(const QString& fieldName)>;

class TBrokers : public QObject {
    Q_OBJECT
public:
    // Indexes of the button-name list ("Yes", "No", "OK", ...) used for ShowMsg's default button.
    enum DefaultButtonIndex {
        dbYes = 0,
        dbNo,
        dbOK,
        dbCancel,
        dbAbort,
        dbRetry,
        dbIgnore,
        dbAll,
        dbNoToAll,
        dbYesToAll,
        dbHelp
    };
    // ServiceMask bits.
    enum ServiceBit : quint8 { svValidator = 2, svF2Window = 4, svCounter = 8 };

    explicit TBrokers(QObject* owner = nullptr);
    ~TBrokers() override;

    // The settings of the window's start: the client code pages stand in for an owner that is no
    // TBrokerOwner, and the GB/Big5 tables are looked for in their client path.
    void setSettings(const kvx::Settings& settings);

    // --- fields ---
    QString ProgID;    // program code, upper case
    QString UserID;    // login user
    QString UserGroup; // LoginInfo "USER_GROUP"
    QString CompanyID; // company
    QString DBName;    // company database
    QString ProgramName;
    QString PrintID;
    QStringList SysParams; // name=value lines
    quint8 ServiceMask = svValidator | svF2Window | svCounter;
    kvx::Variant WorkCenter;
    kvx::Variant F2Window;
    kvx::Variant Validator;
    kvx::Variant Counter;
    QStringList LoginInfo; // name=value lines from the application server
    bool Unrestricted = false;

    // A service counts as present when its variant holds an automation object.
    static bool IsPresent(const kvx::Variant& service);

    void SetSysParam(const QString& name, const QString& value);
    QString GetSysParam(const QString& name) const;
    // Value of a LoginInfo line ("" when absent).
    QString GetLoginInfo(const QString& name) const;

    bool ConnectServices();
    bool LoadSysParams();
    void LoadProgramInfo();
    QString GetProgramName() const { return ProgramName; }
    QString GetPrintID() const { return PrintID; }
    int GetMaxRecord() const;
    // -1 when the work center is absent; errors of the call reach the caller.
    int GetVersionType();
    int GetProductID();
    QString GetMessageText(const QString& kind, const QString& code);

    // Shows a coded message from the catalogue; returns the modal result (1 OK, 2 Cancel, 6 Yes, 7 No, ...).
    // Kind "W" with abortOnCancel raises kvx::EAbort (platform/Field.h) when the answer is not OK. `reserved`
    // is ignored.
    int ShowMsg(const QString& kind, const QString& code, const kvx::VariantList& args = {},
                int reserved = 936, bool abortOnCancel = false, int defaultButton = dbOK);

    kvx::Variant CallCounter(const QString& name, const kvx::Variant& params);
    bool CheckValue(const QString& table, const QString& key, kvx::Variant& result,
                    const kvx::Variant& params);
    bool QueryData(const QString& table, const QString& key, kvx::Variant& result,
                   const kvx::Variant& params);
    void QueryMaxSeq(const FieldTextReader& dataset, const QString& a, QString& value, const QString& b,
                     const QString& fieldList);
    // The same with the current record of a dataset (a field missing from it gives "unKnow").
    void QueryMaxSeq(const kvx::TClientDataSet* dataset, const QString& a, QString& value, const QString& b,
                     const QString& fieldList);
    void LookupData(const kvx::Variant& param1, const kvx::Variant& param2, kvx::Variant& result,
                    const QString& text1, const QString& text2, const QString& text3, qint64 handle,
                    const QString& text4, bool flag1, bool flag2, const QString& text5,
                    const kvx::Variant& param3);
    QString GetPhrase(const QString& text);
    void ShowCharacters(int value, bool flag, kvx::Variant& result, qint64 handle = 0,
                        const QString& company = {}, const QString& user = {});
    QString GetCalcValue(const QString& expression);
    int RunProgram(const QString& code, const kvx::Variant& param, bool showError, kvx::Variant& result,
                   const kvx::Variant& options = {});
    QString GetProgramTitle(const QString& code);

    // The owner window's handle as services receive it (0 without a window).
    qint64 OwnerHandle() const;

protected:
    // The system's default sound; ConnectServices signals a failure with three of them.
    virtual void Beep();

private:
    TBrokerOwner& owner() const;
    QWidget* ownerWindow() const;
    // Table-driven GB/Big5 conversion of a catalogue text by the window's UI conversion kind.
    QString convertByLangMode(const QString& text) const;
    // GetProductID with the callers' fallback 3 when the call fails.
    int productCode();
    // Sets ProductID and BaseLimited on the validator, ignoring errors.
    void prepareValidator();
    bool validatorCall(const QString& method, const QString& table, const QString& key, kvx::Variant& result,
                       const kvx::Variant& params);

    std::unique_ptr<TBrokerOwner> defaultOwner_;
    std::optional<kvx::Settings> settings_;

    QString gbToBig5(const QString& text) const;
    QString big5ToGb(const QString& text) const;
};
