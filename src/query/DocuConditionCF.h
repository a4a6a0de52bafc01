// TfrmDocuCondition: the modal dialog that names a query scheme before it is saved. OK refuses a blank
// name and asks before replacing an existing scheme of the same name (Cancel then returns to the edit);
// the dialog closes only with a name to save and whether it replaces.
#pragma once

#include "lang/KVForm.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvx {

class TfrmDocuCondition : public TKVForm {
    Q_OBJECT
public:
    explicit TfrmDocuCondition(QWidget* owner);

    // Whether the user already has a scheme of the typed name.
    std::function<bool(const QString& name)> Exists;

    // Modal. On OK the name (trimmed) and whether it replaces an existing scheme.
    bool Execute(QString& name, bool& replace);

    void btnOkClick();
    void btnCancelClick();

    QLabel* Label1 = nullptr;
    QLineEdit* edConName = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    bool FormKeyDown(QKeyEvent* event) override;

private:
    bool replace_ = false;
};

} // namespace kvx
