// TDLLMTCtrller: the controller of a maintenance program window.
#pragma once

#include "entry/DLLBaseCtrller.h"
#include "entry/ProgramWindow.h"
#include "platform/Dispatch.h"

#include <QPointer>
#include <QWidget>
#include <thread>

class TDLLMTCtrller : public TDLLBaseController {
public:
    TDLLMTCtrller() = default;

    void GetVersion(QString& Version) override;
    int32_t GetVisible() override;
    void SetVisible(int16_t Visible) override;
    quintptr GetWindowHandle() override;
    int32_t CreateProgram(kvx::Variant Params) override;
    int32_t SetOpenParam(kvx::Variant Param) override;
    int32_t SetOpenMode(int32_t Mode, int32_t Rights, kvx::Variant Param) override;
    void ShowProgramModal(kvx::Variant& Result) override;
    void CloseProgram(bool Silent) override;
    int32_t GetLoginInfo(kvx::Variant& Info) override;
    bool IsClosed() override;
    void FormShowHook(QObject* Sender) override;
    void FormHideHook(QObject* Sender) override;
    void FormDestroyHook(QObject* Sender) override;
    void FormCloseHook(QObject* Sender, TCloseAction& Action) override;

    ~TDLLMTCtrller() override;

    // The program window, nil when there is none.
    TProgramWindow* form();

    // The open mode stored for a mode passed by the host (0 for modes without meaning).
    static quint8 StoredOpenMode(int32_t Mode);
    // The command mask after the host rights took away what they clear.
    static quint16 RestrictRights(quint16 Mask, int32_t Rights);

protected:
    TProgramWindow* Form = nullptr; // owned
    TNotifyEvent SavedOnShow;
    TNotifyEvent SavedOnHide;
    TNotifyEvent SavedOnDestroy;
    TCloseEvent SavedOnClose;

private:
    QPointer<QWidget> formWidget_; // notices a window deleted behind the controller's back
    bool hooksInstalled_ = false;
    // The reads of the start (server/StartReads.h), answered by a counter object of the server library
    // on a thread of their own while the window is built (docs/entry.md "Read-ahead"). The thread lives
    // from CreateProgram to the start of Start (or to a failure, CloseProgram or the controller's end);
    // the work center's counter then hands the answers out up to the first SetVisible.
    std::thread readAheadThread_;
    kvx::Variant readAheadAnswers_; // written by the thread, read after it is joined
    QString readAheadFailure_;      // likewise
    std::shared_ptr<kvx::Dispatch> readAheadCounter_;

    // Starts the thread when the counter runs in this process. Failures only lose the head start.
    void StartReadAhead(const kvx::Variant& Params);
    // Joins the thread and hands its answers to the work center's counter.
    void UseReadAhead();
    // Joins the thread; the work center's counter drops the answers not taken.
    void EndReadAhead();
    // CreateProgram's first part: a new window, its hooks and the version check.
    void createWindow(const kvx::Variant& Params);
    void CheckWorkCenterVersion();
    // The older build: DependencyVersion 7000 to 7099, else one message.
    void CheckOlderWorkCenterVersion();
    void InstallHooks();
};
