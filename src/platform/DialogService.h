// DialogService: every message box of the system goes through here.
//
// Interactive mode shows a QMessageBox. Scripted mode (tests, --screenshot runs) records each request and
// answers it from a queue; with the queue empty it answers the default button. The service is one of the
// process-wide registries listed in docs/architecture.md.
#pragma once

#include <QFont>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace kvx {

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

// Buttons as flags; results as modal-result numbers.
enum MsgDlgBtn : unsigned {
    mbYes = 0x1,
    mbNo = 0x2,
    mbOK = 0x4,
    mbCancel = 0x8,
    mbAbort = 0x10,
    mbRetry = 0x20,
    mbIgnore = 0x40,
    mbAll = 0x80,
    mbNoToAll = 0x100,
    mbYesToAll = 0x200,
    mbHelp = 0x400,
};
using MsgDlgButtons = unsigned;

enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

int modalResultOf(MsgDlgBtn b);
// Buttons in the platform's display order.
QList<MsgDlgBtn> buttonsInOrder(MsgDlgButtons set);

struct MessageRequest {
    MsgDlgType type = MsgDlgType::Information;
    MsgDlgButtons buttons = mbOK;
    MsgDlgBtn defaultButton = mbOK; // 0 selects the platform default: OK or Yes, else the first
    // No button is default (defaultButton is then ignored); Enter goes to the focused, first button.
    bool noDefaultButton = false;
    QString caption;
    QString text;
    QFont font;
    bool hasFont = false;
    int fontCharset = 0; // character set the font was chosen for (134 GB2312, 136 Big5); 0 unspecified
    QMap<MsgDlgBtn, QString> buttonCaptions; // captions replacing the standard ones
    QPointer<QWidget> parent;
};

class DialogService {
public:
    static DialogService& instance();

    // Shows the message and returns the modal result of the button pressed.
    int showMessage(const MessageRequest& req);
    // Shorthand: an information box with OK.
    int inform(const QString& text, const QString& caption = {});

    // Scripting for tests and unattended runs.
    void setScripted(bool on);
    void queueAnswer(int modalResult);
    void clear(); // forgets the queue and the record
    const QList<MessageRequest>& shown() const { return shown_; }
    QString lastText() const { return shown_.isEmpty() ? QString() : shown_.last().text; }
    // Called for each message before it is answered (scripted mode), e.g. to take a screenshot.
    void setObserver(std::function<void(const MessageRequest&)> f) { observer_ = std::move(f); }

private:
    DialogService() = default;
    bool scripted_ = false;
    QList<int> answers_;
    QList<MessageRequest> shown_;
    std::function<void(const MessageRequest&)> observer_;

    int showInteractive(const MessageRequest& req);
};

} // namespace kvx
