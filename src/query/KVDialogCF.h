// TfrmKVDialog: the base of the small modal dialogs a maintenance window opens (options and the like).
// It copies the owner's broker, date format and separator and caption, translates its texts, gives F2,
// F3 and F4 (and the messages 1034-1036) to overridable operations, and makes Enter move to the next
// control. The owner window is reached only through TKVDialogOwner.
#pragma once

#include "lang/KVForm.h"
#include "server/Brokers.h"

#include <QPointer>

namespace kvx {

// What a dialog needs of the maintenance window that owns it.
class TKVDialogOwner {
public:
    virtual ~TKVDialogOwner() = default;
    virtual TBrokers* DialogBroker() const = 0;
    // Date style 1-5 and separator of the system parameters.
    virtual int DialogDateFormat() const { return 1; }
    virtual QString DialogDateSeparator() const { return QStringLiteral("/"); }
    // The window's user-setting lookup: the stored value of a section's key, else def.
    virtual bool UserSetting(const QString& section, const QString& key, bool def) const {
        Q_UNUSED(section);
        Q_UNUSED(key);
        return def;
    }
    // Money decimal places of the company currency (system setting "sys003"); -1 when it has none.
    virtual int MoneyDigits() const { return 2; }
};

// Shows a form modally and returns its ModalResult property once it is hidden (mrNone when it was
// closed otherwise). CloseModal sets the result and hides the form.
int ShowModalForm(TKVForm* form);
void CloseModal(TKVForm* form, int modalResult);

class TfrmKVDialog : public TKVForm {
    Q_OBJECT
public:
    // `owner` is the window (the Qt parent); `dialogOwner` the same window seen as a maintenance window,
    // null when the owner is none.
    TfrmKVDialog(QWidget* owner, TKVDialogOwner* dialogOwner);

    TBrokers* Broker() const { return broker_; }
    TKVDialogOwner* DialogOwner() const { return dialogOwner_; }
    int DateFormat() const { return dateFormat_; }
    QString DateSeparator() const { return dateSeparator_; }
    int ShowModal() { return ShowModalForm(this); }

    // Lookup keys, given the key and the focused control. By default each only focuses the control.
    virtual void DoF2Key(int key, QWidget* control);
    virtual void DoF3Key(int key, QWidget* control);
    virtual void DoF4Key(int key, QWidget* control);

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    TKVDialogOwner* dialogOwner_;
    QPointer<TBrokers> broker_;
    int dateFormat_ = 1;
    QString dateSeparator_ = QStringLiteral("/");
    void focusControl(QWidget* control);
};

} // namespace kvx
