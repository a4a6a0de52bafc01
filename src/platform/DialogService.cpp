#include "DialogService.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace kvx {

namespace {
struct ButtonInfo {
    MsgDlgBtn flag;
    int result;
    QMessageBox::StandardButton std;
};
const ButtonInfo kButtons[] = {
    {mbYes, mrYes, QMessageBox::Yes},
    {mbNo, mrNo, QMessageBox::No},
    {mbOK, mrOk, QMessageBox::Ok},
    {mbCancel, mrCancel, QMessageBox::Cancel},
    {mbAbort, mrAbort, QMessageBox::Abort},
    {mbRetry, mrRetry, QMessageBox::Retry},
    {mbIgnore, mrIgnore, QMessageBox::Ignore},
    {mbAll, mrAll, QMessageBox::YesToAll},
    {mbNoToAll, mrNoToAll, QMessageBox::NoToAll},
    {mbYesToAll, mrYesToAll, QMessageBox::YesToAll},
    {mbHelp, mrNone, QMessageBox::Help},
};

MsgDlgBtn effectiveDefault(const MessageRequest& req) {
    if (req.noDefaultButton) {
        QList<MsgDlgBtn> order = buttonsInOrder(req.buttons);
        return order.isEmpty() ? mbOK : order.first();
    }
    if (req.defaultButton && (req.buttons & req.defaultButton)) return req.defaultButton;
    if (req.buttons & mbOK) return mbOK;
    if (req.buttons & mbYes) return mbYes;
    QList<MsgDlgBtn> order = buttonsInOrder(req.buttons);
    return order.isEmpty() ? mbOK : order.first();
}
} // namespace

int modalResultOf(MsgDlgBtn b) {
    for (const ButtonInfo& i : kButtons)
        if (i.flag == b) return i.result;
    return mrNone;
}

QList<MsgDlgBtn> buttonsInOrder(MsgDlgButtons set) {
    QList<MsgDlgBtn> out;
    for (const ButtonInfo& i : kButtons)
        if (set & i.flag) out.append(i.flag);
    return out;
}

DialogService& DialogService::instance() {
    static DialogService service;
    return service;
}

void DialogService::setScripted(bool on) {
    scripted_ = on;
}
void DialogService::queueAnswer(int modalResult) {
    answers_.append(modalResult);
}
void DialogService::clear() {
    answers_.clear();
    shown_.clear();
}

int DialogService::showMessage(const MessageRequest& req) {
    shown_.append(req);
    if (!scripted_) return showInteractive(req);
    if (observer_) observer_(req);
    if (!answers_.isEmpty()) return answers_.takeFirst();
    return modalResultOf(effectiveDefault(req));
}

int DialogService::inform(const QString& text, const QString& caption) {
    MessageRequest r;
    r.type = MsgDlgType::Information;
    r.caption = caption;
    r.text = text;
    return showMessage(r);
}

int DialogService::showInteractive(const MessageRequest& req) {
    QMessageBox box(req.parent);
    switch (req.type) {
    case MsgDlgType::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgDlgType::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgDlgType::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgDlgType::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgDlgType::Custom:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    box.setWindowTitle(req.caption);
    box.setText(req.text);
    if (req.hasFont) box.setFont(req.font);
    QMap<QAbstractButton*, int> results;
    const MsgDlgBtn def = effectiveDefault(req);
    for (const ButtonInfo& i : kButtons) {
        if (!(req.buttons & i.flag)) continue;
        QPushButton* b = box.addButton(i.std);
        if (req.buttonCaptions.contains(i.flag)) b->setText(req.buttonCaptions.value(i.flag));
        results.insert(b, i.result);
        if (i.flag == def && !req.noDefaultButton) box.setDefaultButton(b);
        if (i.flag == mbCancel || (i.flag == mbNo && !(req.buttons & mbCancel))) box.setEscapeButton(b);
    }
    box.exec();
    return results.value(box.clickedButton(), mrCancel);
}

} // namespace kvx
