// KvColorQBE: the colour query form TColorQBEForm ("颜色筛选"). It shows one check box per colour rule of
// the browse grid, drawn in the rule's colours, and a switch for colour management as a whole. Run()
// works on a private copy of the grid's conditions and writes the selection flags (TColorCondition::Tag,
// 1 checked, 0 unchecked) back only on OK. A changed switch is stored for all programs through the
// window's broker. The form reaches its window only through TColorQBEOwner.
#pragma once

#include "data/libColormanage.h"
#include "lang/KVForm.h"

#include <QList>

class QPushButton;
class QScrollArea;
class QFrame;
class TBrokers;

namespace kvx {

class TKVCheckBox;

class TColorQBEOwner {
public:
    virtual ~TColorQBEOwner() = default;
    // The window's broker: company, user and the counter that stores the switch; null stores nothing.
    virtual TBrokers* ColorQBEBroker() const { return nullptr; }
    // The window's user setting "InputSettings003"/"IsColorManage" (default false).
    virtual bool ColorQBEIsColorManage() const { return false; }
};

class TColorQBEForm : public TKVForm {
    Q_OBJECT
public:
    // The form's conditions are copied from `gridConditions` (may be null) and the rule boxes built;
    // the switch takes the owner's user setting.
    TColorQBEForm(QWidget* owner, TColorQBEOwner* colorOwner, const TColorConditions* gridConditions);

    // --- components ---
    QFrame* pnlHead = nullptr;
    TKVCheckBox* chkColorManage = nullptr;
    QFrame* pnlMain = nullptr;
    QScrollArea* boxMain = nullptr;
    QFrame* pnlFoot = nullptr;
    QPushButton* BBOK = nullptr;
    QPushButton* BBCancel = nullptr;

    // Sets the switch to `colorManage`, copies the grid's conditions, shows the form modally; on OK the
    // copy (with the selection flags) is assigned back to `gridConditions`. True when OK was pressed.
    bool Run(bool colorManage, TColorConditions* gridConditions);
    // The state of the colour-management switch.
    bool ColorManage() const;

    // The rule boxes, in condition order ("chkColor0", ...).
    QList<TKVCheckBox*> RuleBoxes() const { return ruleBoxes_; }
    const TColorConditions* Conditions() const { return conditions_; }

    // --- published handlers ---
    void chkColorManageClick();
    // OK: takes the boxes into the flags and stores a changed switch; Cancel changes nothing.
    void FormCloseQuery(bool& canClose);

protected:
    void FormShow() override;
    // Enter presses OK (or the focused button), Esc presses Cancel.
    bool FormKeyDown(QKeyEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TColorQBEOwner* colorOwner_;
    TColorConditions* conditions_;
    QWidget* boxContents_ = nullptr;
    QList<TKVCheckBox*> ruleBoxes_;
    bool startColorManage_ = false;
    bool okPressed_ = false;

    void buildRuleBoxes();
    void storeColorManage(bool on);
};

} // namespace kvx
