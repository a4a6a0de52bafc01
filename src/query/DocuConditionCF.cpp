#include "DocuConditionCF.h"

#include "KVDialogCF.h"

#include "platform/Color.h"
#include "platform/DialogService.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvx {

namespace {
const char* const kPackage = "TfrmDocuCondition";
}

TfrmDocuCondition::TfrmDocuCondition(QWidget* owner) : TKVForm(owner) {
    setObjectName(QStringLiteral("frmDocuCondition"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setKeyPreview(true);
    if (owner) setCaption(owner->windowTitle());

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 10);
    auto* line = new QHBoxLayout;
    Label1 = new QLabel(QStringLiteral("方案名"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    edConName = new QLineEdit(this);
    edConName->setObjectName(QStringLiteral("edConName"));
    edConName->setMaxLength(20);
    QPalette pal = edConName->palette();
    pal.setColor(QPalette::Base, toQColor(TColor(11534335), pal));
    edConName->setPalette(pal);
    edConName->setMinimumWidth(200);
    Label1->setBuddy(edConName);
    line->addWidget(Label1);
    line->addWidget(edConName, 1);
    root->addLayout(line);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOk = new QPushButton(QStringLiteral("确定"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setToolTip(QStringLiteral("确定"));
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(QStringLiteral("取消"));
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    root->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &TfrmDocuCondition::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmDocuCondition::btnCancelClick);
    setTabOrder(edConName, btnOk);
    setTabOrder(btnOk, btnCancel);
}

bool TfrmDocuCondition::Execute(QString& name, bool& replace) {
    edConName->setFocus();
    if (ShowModalForm(this) != mrOk) return false;
    name = edConName->text().trimmed();
    replace = replace_;
    return true;
}

void TfrmDocuCondition::btnOkClick() {
    QString text;
    const QString name = edConName->text().trimmed();
    if (name.isEmpty()) {
        MessageDlg(GetMessage(QLatin1String(kPackage), QStringLiteral("sProjNameEmpty"), text, true,
                              QStringLiteral("方案名不可空白!")),
                   MsgDlgType::Error, MsgDlgButtons(mbOK));
        edConName->setFocus();
        return;
    }
    replace_ = false;
    if (Exists && Exists(name)) {
        const int answer =
            MessageDlg(GetMessage(QLatin1String(kPackage), QStringLiteral("sReplaceProj"), text, true,
                                  QStringLiteral("此方案名已存在！是否将原来的方案替换为此方案?")),
                       MsgDlgType::Confirmation, MsgDlgButtons(mbOK | mbCancel));
        if (answer != mrOk) {
            edConName->setFocus();
            return;
        }
        replace_ = true;
    }
    CloseModal(this, mrOk);
}

void TfrmDocuCondition::btnCancelClick() {
    CloseModal(this, mrCancel);
}

bool TfrmDocuCondition::FormKeyDown(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        btnCancelClick();
        return true;
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier)) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget())) {
            b->click();
            return true;
        }
        focusNextChild();
        return true;
    }
    return TKVForm::FormKeyDown(e);
}

} // namespace kvx
