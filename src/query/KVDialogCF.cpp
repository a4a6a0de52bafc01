#include "KVDialogCF.h"

#include "controls/KvDBComboBox.h"
#include "lang/CodeConverter.h"
#include "platform/DialogService.h"
#include "platform/WindowMessage.h"
#include "server/Brokers.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kvx {

int ShowModalForm(TKVForm* form) {
    form->setProperty("ModalResult", int(mrNone));
    form->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    struct HideWatch : QObject {
        QEventLoop* loop = nullptr;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Hide) loop->quit();
            return false;
        }
    } watch;
    watch.loop = &loop;
    form->installEventFilter(&watch);
    QMetaObject::Connection quit = QObject::connect(form, &QObject::destroyed, &loop, &QEventLoop::quit);
    form->show();
    if (form->isVisible()) loop.exec(QEventLoop::DialogExec);
    QObject::disconnect(quit);
    form->removeEventFilter(&watch);
    return form->property("ModalResult").toInt();
}

void CloseModal(TKVForm* form, int modalResult) {
    form->setProperty("ModalResult", modalResult);
    form->hide();
}

TfrmKVDialog::TfrmKVDialog(QWidget* owner, TKVDialogOwner* dialogOwner)
    : TKVForm(owner), dialogOwner_(dialogOwner) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setKeyPreview(true);
    if (dialogOwner_) {
        broker_ = dialogOwner_->DialogBroker();
        dateFormat_ = dialogOwner_->DialogDateFormat();
        dateSeparator_ = dialogOwner_->DialogDateSeparator();
    }
    if (owner) setCaption(owner->windowTitle());
}

void TfrmKVDialog::FormCreate() {
    TKVForm::FormCreate();
    TranslateOnce();
}

void TfrmKVDialog::FormShow() {
    TKVForm::FormShow();
    if (UILangMode() == 0 && DataConvMode() == 0) return;
    // Bound drop-downs show the display part of their chosen item.
    for (TKvDBComboBox* box : findChildren<TKvDBComboBox*>()) {
        const int i = box->ItemIndex();
        if (box->DataField().isEmpty() || i < 0) continue;
        const QString shown = MappedItems::displayPart(box->Items().value(i));
        if (box->combo()->isEditable())
            box->combo()->setEditText(shown);
        else
            box->combo()->setItemText(i, shown);
    }
}

void TfrmKVDialog::focusControl(QWidget* control) {
    if (control && control->isEnabled() && control->isVisible() && control->focusPolicy() != Qt::NoFocus)
        control->setFocus();
}

void TfrmKVDialog::DoF2Key(int, QWidget* control) {
    focusControl(control);
}

void TfrmKVDialog::DoF3Key(int, QWidget* control) {
    focusControl(control);
}

void TfrmKVDialog::DoF4Key(int, QWidget* control) {
    focusControl(control);
}

bool TfrmKVDialog::FormKeyDown(QKeyEvent* e) {
    QWidget* focused = focusWidget();
    switch (e->key()) {
    case Qt::Key_F2:
        DoF2Key(e->key(), focused);
        return true;
    case Qt::Key_F3:
        DoF3Key(e->key(), focused);
        return true;
    case Qt::Key_F4:
        DoF4Key(e->key(), focused);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (e->modifiers() & ~Qt::KeypadModifier) return false;
        // Memos and grids keep Enter; a focused button is pressed.
        for (QWidget* w = focused; w && w != this; w = w->parentWidget())
            if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
                (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QComboBox*>(w->parentWidget())))
                return false;
        if (auto* b = qobject_cast<QAbstractButton*>(focused); b && !b->isCheckable()) {
            b->click();
            return true;
        }
        focusNextChild();
        return true;
    }
    default:
        return TKVForm::FormKeyDown(e);
    }
}

bool TfrmKVDialog::event(QEvent* e) {
    const int m = MessageEvent::messageOf(e);
    if (m >= 1034 && m <= 1036) {
        auto* control = qobject_cast<QWidget*>(static_cast<MessageEvent*>(e)->lParam());
        const int key = Qt::Key_F2 + (m - 1034);
        if (m == 1034) DoF2Key(key, control);
        if (m == 1035) DoF3Key(key, control);
        if (m == 1036) DoF4Key(key, control);
        return true;
    }
    return TKVForm::event(e);
}

} // namespace kvx
