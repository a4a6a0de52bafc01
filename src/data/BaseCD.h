// TdmBase: the second data-module layer. It owns the main dataset cdsMain and the colour dataset
// cdsMainColor, opens them from the program metadata, runs the dataset events (audit stamp, before-post
// check, packet fetching on scroll), and governs numeric display and input: decimals per column, per
// currency and per user option, and range checks against the column width. Decimal, currency and
// quantity rules are filled by descendants before the data is opened; TdmBase only reads them.
#pragma once

#include "RadicalCD.h"
#include "platform/DataSource.h"

#include <QStringList>
#include <map>
#include <memory>

namespace kvx {

enum TCurrencyDigitType { cdtPrice = 0, cdtMoney = 1, cdtUnitCost = 2, cdtCostsAmount = 3 };
QString CurrencyDigitTypeName(TCurrencyDigitType kind);

class TCurrencySetting {
public:
    QString CurrencyCode;      // MF001
    int PriceDigits = 0;       // MF003
    int MoneyDigits = 0;       // MF004
    int UnitCostDigits = 0;    // MF005
    int CostsAmountDigits = 0; // MF006
    int DigitsOf(TCurrencyDigitType kind) const;
};

class TdmBase : public TdmRadical {
    Q_OBJECT
public:
    explicit TdmBase(QObject* owner = nullptr);
    ~TdmBase() override;

    // --- components ---
    TwwClientDataSet* cdsMain = nullptr;
    TDataSource* dsMain = nullptr;
    TwwClientDataSet* cdsMainColor = nullptr;
    TDataSource* dsMainColor = nullptr;

    // --- state ---
    bool FetchOnScroll = true;
    QString MainTable;
    QString KeyFields;
    QString MainSelect, DetailSelect, DetailJoin;
    QStringList NumberFieldWidths; // FIELD=precision.scale
    // n=dataset:field,...;... keyed by n (0..10); the decimals are DecimalRuleDigits[n] when non-zero.
    QStringList DecimalRules;
    std::map<int, int> DecimalRuleDigits;
    // CurrencyField||kind=dataset:field,...;...
    QStringList CurrencyRules;
    QString QuantityFields;
    int RecordCount = 0;
    bool MoneyAutoZero = true, MoneyThousand = true, QuantityAutoZero = true, QuantityThousand = true;

    // --- virtual operations, in slot order (after those of TdmRadical) ---
    bool IsLocalServer() override;
    virtual void SetKeyFields(const QString& keys);
    virtual void SetMainSelect(const QString& statement);
    virtual void SetDetailSelect(const QString& statement);
    virtual void SetupFields();
    virtual void LoadNumberFieldWidths(const QString& table);
    virtual void ApplyCurrencyDigits(TClientDataSet* dataSet, TField* currencyField, const QString& code);
    virtual void HookCurrencyField(TField* field);
    virtual bool CheckBodyPermission(TClientDataSet* body, const QString& prefix, QString& rejected);
    virtual bool CanModify();

    // --- dynamically dispatched operations ---
    bool OpenMainAndColor() override;
    virtual void ShowManagementFields(bool show);

    // --- published handlers ---
    void DataModuleCreate();
    void DataModuleDestroy();
    void cdsMainBeforeOpen(TDataSet* dataSet);
    void cdsMainAfterOpen(TDataSet* dataSet);
    void cdsMainAfterEdit(TDataSet* dataSet);
    void cdsMainBeforePost(TDataSet* dataSet);
    void cdsMainBeforeScroll(TDataSet* dataSet);
    void cdsMainAfterScroll(TDataSet* dataSet);
    void cdsMainNewRecord(TDataSet* dataSet);
    void NumberFieldSetText(TField* Sender, const QString& Text);
    void MoneyFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void QuantityFieldGetText(TField* Sender, QString& Text, bool DisplayText);
    void CurrencyFieldChange(TField* Sender);

    // --- other public operations ---
    void LoadNumberDisplayOptions();
    // -1 when nothing is known (no code or no broker).
    int GetCurrencyDigits(const QString& code, TCurrencyDigitType kind);
    void SetNumberFieldFormats(const QString& specification, int decimals, bool money);
    int DigitsOfField(const QString& fieldName);
    void ApplyAllCurrencyFields();
    QString DecimalRuleValue(int key) const;
    int DecimalRuleDecimals(int key) const;
    // Number of currencies asked of the server so far (each code once while the module lives).
    int CurrencyLookups() const { return currencyLookups_; }

protected:
    // Dataset components of this module by name (no case); nullptr when none.
    TClientDataSet* dataSetNamed(const QString& name) const;
    TField* fieldComponent(const QString& name) const;
    int quantityDigits();
    int decimalRuleDigitsOf(const QString& fieldName) const;
    int currencyDigitsOf(const QString& fieldName);
    QString numberFormat(int n, bool thousand, bool autoZero) const;

private:
    std::map<QString, std::unique_ptr<TCurrencySetting>> currencyCache_;
    QString quantityDigits_;
    bool quantityDigitsRead_ = false;
    int currencyLookups_ = 0;
};

} // namespace kvx
