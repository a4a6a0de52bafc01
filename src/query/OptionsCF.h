// TfrmOptions: the options dialog "选项" of a maintenance window. It shows the user's settings (read
// from the server and through the window's user-setting lookup), and on OK writes back only the
// settings the user changed: the general ones each by itself, the four number settings together as one
// XML text. The window reads the chosen values through the accessors afterwards.
#pragma once

#include "KVDialogCF.h"

#include <QHash>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kvx {

class TExtPageControl;
class TKVCheckBox;
class TTabSheet;

class TfrmOptions : public TfrmKVDialog {
    Q_OBJECT
public:
    static constexpr const char* kAllPrograms = "********************";

    TfrmOptions(QWidget* owner, TKVDialogOwner* dialogOwner);

    // Shows the dialog modally; true after OK.
    bool Execute() { return ShowModal() == 1; }

    bool KeepOnAdd() const;
    bool FocusPageOne() const;
    bool ColorManage() const;
    bool FastInput() const;
    bool MoneyAutoZero() const;
    bool MoneyThousand() const;
    bool NumberAutoZero() const;
    bool NumberThousand() const;

    // The number-settings XML for the four values (quantity auto-zero, quantity thousands, money
    // auto-zero, money thousands).
    static QString NumberSettingsXml(bool numberAutoZero, bool numberThousand, bool moneyAutoZero,
                                     bool moneyThousand);
    // "#,##0.000"-style pattern of an example; decimals < 0 gives none.
    static QString ExamplePattern(bool thousand, bool autoZero, int decimals);

    void btnOKClick();
    void btnCancelClick();
    void lstTypeClick();
    void RefreshExamples();

    TExtPageControl* pgMain = nullptr;
    TTabSheet* tbsGeneral = nullptr;
    TTabSheet* tbsDisplay = nullptr;
    TKVCheckBox* chkKeepOnAdd = nullptr;
    TKVCheckBox* chkFocusPageOne = nullptr;
    TKVCheckBox* chkColorManage = nullptr;
    TKVCheckBox* chkFastInput = nullptr;
    QLabel* lblColorManageNote = nullptr;
    QLabel* lblFastInputNote = nullptr;
    QLabel* lblType = nullptr;
    QListWidget* lstType = nullptr;
    QWidget* pnlNumber = nullptr;
    QWidget* pnlMoney = nullptr;
    TKVCheckBox* chkNumberThousand = nullptr;
    TKVCheckBox* chkNumberAutoZero = nullptr;
    TKVCheckBox* chkMoneyThousand = nullptr;
    TKVCheckBox* chkMoneyAutoZero = nullptr;
    QGroupBox* grpNumberExample = nullptr;
    QGroupBox* grpMoneyExample = nullptr;
    QLabel* lblNumberExample = nullptr;
    QLabel* lblMoneyExample = nullptr;
    QLabel* lblNote = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void FormCreate() override;
    void FormShow() override;

private:
    QHash<QString, bool> initial_; // component name = state when shown
    QList<TKVCheckBox*> boxes() const;
    void readNumberSettings();
    void readGeneralSettings();
    QString setUserDefine(const QString& scope, const QString& path, const QString& value);
    bool changed(const TKVCheckBox* box) const;
};

} // namespace kvx
