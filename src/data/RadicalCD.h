// TdmRadical: the lowest data-module layer. It owns the connection to the program's application-server
// object (MIDAS) and to the lookup server (scLookUpData), receives the program metadata at connection,
// keeps the server's date, stamps and prepares the audit fields, builds key conditions, keeps the saved
// query conditions (cdsSaveCondition) and publishes the field-kind handlers every maintenance program
// shares. The owning window is reached only through TDataModuleOwner.
#pragma once

#include "DataModuleOwner.h"
#include "KnlRadical.h"
#include "Log.h"
#include "platform/ClientDataSet.h"
#include "platform/Settings.h"
#include "platform/SocketConnection.h"
#include "platform/Variant.h"

#include <QObject>
#include <QPointer>
#include <optional>

class TBrokers;

namespace kvx {

// The field kinds whose handlers TdmRadical publishes.
enum class TFieldKindHandler {
    Time,
    Day,
    Month,
    Date,
    MonthDay,
    YearMonth,
    Year,
    Duration,
    Percent,
    DateTime
};

class TdmRadical : public QObject {
    Q_OBJECT
public:
    explicit TdmRadical(QObject* owner = nullptr);
    ~TdmRadical() override;

    // --- components ---
    QObject* SOB = nullptr;                     // simple object broker
    SocketConnection* MIDAS = nullptr;          // program server "TRIVON.Class1"
    TClientDataSet* cdsSaveCondition = nullptr; // provider "pvdConSave", index "Index1"
    SocketConnection* scLookUpData = nullptr;   // lookup server "Halvex.Class1"

    // --- state ---
    TBrokers* Broker = nullptr; // not owned; set by the form before connecting
    Variant AppServer;          // the program's server object once connected
    QString ServerDate;         // "YYYYMMDD"
    bool ConnectFlag = true;
    int DateStyle = 1;                  // 1..5 from SYS001
    QString DateSeparator;              // from SYS002
    TField* BarCodeKindField = nullptr; // "2": typed codes are first looked up in INVMH

    // The owning window; the parent when it implements the interface, else the defaults.
    TDataModuleOwner* OwnerForm() const;
    // The installation's settings handed down by the window; without them ConnectServer reads them afresh.
    void SetSettings(const Settings& settings) { settings_ = settings; }
    void SetOwnerForm(TDataModuleOwner* form) { ownerForm_ = form; }

    // --- virtual operations, in slot order ---
    virtual void NewRecordDefaults(TClientDataSet* dataSet);
    virtual void StampAudit(TClientDataSet* dataSet);
    virtual bool IsLocalServer() = 0;

    // --- dynamically dispatched operations ---
    virtual bool OpenMainAndColor();
    virtual bool ConnectServer();
    virtual void ConnectLookupServer();
    virtual bool ApplyMain(TClientDataSet* dataSet);
    virtual void OpenNestedDatasets();

    // --- published methods ---
    void DataModuleCreate();
    void DataModuleDestroy();

    // Field-kind handlers. Edit masks follow DateStyle and DateSeparator.
    QString EditMaskOf(TFieldKindHandler kind) const;
    // Installs the mask and the input, display and validation handlers of a kind on a field.
    void SetupFieldKind(TField* field, TFieldKindHandler kind);
    void TimeFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void TimeFieldSetText(TField* Sender, const QString& Text);
    void TimeFieldValidate(TField* Sender);
    void DayFieldSetText(TField* Sender, const QString& Text);
    void DayFieldValidate(TField* Sender);
    void MonthFieldSetText(TField* Sender, const QString& Text);
    void MonthFieldValidate(TField* Sender);
    void DateFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void DateFieldSetText(TField* Sender, const QString& Text);
    void DateFieldValidate(TField* Sender);
    void MonthDayFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void MonthDayFieldSetText(TField* Sender, const QString& Text);
    void MonthDayFieldValidate(TField* Sender);
    void YearMonthFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void YearMonthFieldSetText(TField* Sender, const QString& Text);
    void YearMonthFieldValidate(TField* Sender);
    void YearFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void YearFieldSetText(TField* Sender, const QString& Text);
    void SecondFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void SecondFieldSetText(TField* Sender, const QString& Text);
    void PercentFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void PercentFieldSetText(TField* Sender, const QString& Text);
    void DateTimeFieldGetText(TField* Sender, QString& Text, bool DisplayText);

    QString NumberFieldDisplayFormat(int decimals) const { return kvx::NumberFieldDisplayFormat(decimals); }
    QString NumberFieldEditFormat() const { return kvx::NumberFieldEditFormat(); }

    // Lookup input handlers: the typed text is converted by the window, looked up through the broker by
    // the mode of a system parameter, and the first column of the first row (or the text) is stored.
    void BarCodeFieldSetText(TField* Sender, const QString& Text, const Variant& Args = {},
                             const QString& Selector = QStringLiteral("63"),
                             const QString& Table = QStringLiteral("INVMB"));
    void CostFieldSetText(TField* Sender, const QString& Text, const Variant& Args = {},
                          const QString& Selector = QStringLiteral("66"),
                          const QString& Table = QStringLiteral("ACTMA"));
    void CustomerFieldSetText(TField* Sender, const QString& Text, const Variant& Args = {});
    void ProviderFieldSetText(TField* Sender, const QString& Text, const Variant& Args,
                              const QString& Selector);

    // Text conversion through the window.
    void DOGetText(TField* Sender, QString& Text, bool DisplayText);
    void DOSetText(TField* Sender, const QString& Text);

    // --- public operations ---
    static bool IsAuditField(const QString& name);
    void SetAuditFieldsState(TClientDataSet* dataSet, bool flag);
    void SetAuditFieldLabels(TClientDataSet* dataSet);
    void RefreshServerDate();
    void FillNulls(TClientDataSet* dataSet);
    // Condition "alias.column=value" terms joined by " and " for the current record of a dataset.
    void BuildKeyCondition(TClientDataSet* dataSet, const QString& fieldList, QString& condition,
                           const QString& defaultAlias = {}, const QString& columnList = {});
    void SetupTextConversion();
    static bool IsValidDuration(const QString& text) { return kvx::IsValidDuration(text); }

    // --- saved query conditions (a non-empty answer is the server's error text) ---
    QString LoadTable();
    QString InsertConTable(const QString& name, const QString& condition, int activePage, bool replace);
    QString DeleteConTable(const QString& name);
    QString ChangeConName(const QString& oldName, const QString& newName);
    // Shares the user's condition with his group, or takes the share back.
    QString ShareConTable(const QString& name, bool shared);
    // Marks the user's default condition of this program (clearing any other), or clears the mark.
    QString SetDefaultCon(const QString& name, bool isDefault);
    // Whether a condition of that name exists for this user and program (DOCUS 01).
    bool ConditionExists(const QString& name);
    // Moves cdsSaveCondition to the condition of that name of this user and program.
    bool LocateCondition(const QString& name);

    // The application server as an automation object (null when not connected).
    std::shared_ptr<Dispatch> Server() const { return AppServer.toDispatch(); }

protected:
    // The settings handed down by the window, else the installation's read afresh.
    Settings installationSettings() const;
    // Every client dataset component of this module, in creation order.
    QList<TClientDataSet*> clientDataSets() const;
    // Declares a dataset served by MIDAS: it follows the connection's provider side.
    void UseMidas(TClientDataSet* dataSet);
    void bindRemoteDataSets();
    // Shows a coded error through the broker and aborts the change silently.
    [[noreturn]] void failValidation(const QString& code);
    bool validating(TField* field) const;
    QString inputOf(const QString& text) const;
    void lookupInto(TField* field, const QString& converted, const Variant& args, const QString& selector,
                    const QString& table);
    Variant serverCall(const QString& method, VariantList args);

private:
    TDataModuleOwner* ownerForm_ = nullptr;
    QList<QPointer<TClientDataSet>> midasDataSets_;
    std::optional<Settings> settings_;
    TDataModuleOwner defaultOwner_;
};

} // namespace kvx
