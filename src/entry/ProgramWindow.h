// TProgramWindow: what the controller requires of a program window.
//
// Header only, so that the form layer derives from it without linking the entry library.
//
// A program window is a QWidget that also derives from this class (the radical form does:
// `class TfrmRadical : public TKVForm, public TProgramWindow`). It is constructed without an owner by
// the factory registered in frmRadicalClass and is owned by the controller afterwards.
//
// Life cycle, as the component framework has it:
// - the widget calls DoShow() from its showEvent, DoHide() from its hideEvent and DoClose() from its
//   closeEvent; DoClose() runs OnClose (default action caHide) and carries out the resulting action;
// - the window is destroyed only through Free() (at once) or Release() (deferred): both run OnDestroy
//   while the whole object is still alive, then delete it. Deleting the widget directly skips OnDestroy.
#pragma once

#include "entry/DLLBaseCtrller.h"
#include "platform/Variant.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QMetaObject>
#include <QShowEvent>
#include <QString>
#include <QWidget>

// The four values of the login information: user, company, program code, program name.
struct TLoginInfo {
    QString UserID;
    QString CompanyID;
    QString ProgID;
    QString ProgramName;
};

class TProgramWindow {
public:
    TProgramWindow() = default;
    TProgramWindow(const TProgramWindow&) = delete;
    TProgramWindow& operator=(const TProgramWindow&) = delete;

    // Public state read and written by the controller.
    QString ModulePath;         // full file name of the program library
    QString ProgramVersion;     // program version string, e.g. "881213-1.00.00"
    quint16 CommandMask = 511;  // host-given permitted commands (16-bit right set)
    quint8 RunMode = 0;         // host-given open mode
    QString InitCondition;      // open-parameter text: condition of the first load of the main data
    kvx::Variant HostParam;     // open-parameter variant
    kvx::Variant RunModeValues; // mode parameter of open modes 7, 8 and 9
    int32_t ModalResult = 0;    // close result
    kvx::Variant ReturnValue;   // return value

    // The standard events; the controller installs its hooks in their place and calls the saved ones.
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnDestroy;
    TCloseEvent OnClose;

    // The widget that is this window.
    virtual QWidget* Widget() = 0;
    // Applies the login parameter array (user, company, database, shell window, context value).
    virtual bool Start(const kvx::Variant& Params) = 0;
    // Applies CommandMask to the window's commands.
    virtual void UpdateCommands() = 0;
    // The broker's side: takes the shell's work-center object, and answers the login information.
    virtual void SetBrokerWorkCenter(const kvx::Variant& WorkCenter) = 0;
    virtual TLoginInfo GetLoginInfo() const = 0;

    // Destruction: OnDestroy, then delete. Release() does the same from the event loop; it is dropped
    // when the window is freed before the event loop gets to it.
    void Free() {
        if (destroying_) return;
        destroying_ = true;
        if (OnDestroy) OnDestroy(Widget());
        delete this;
    }
    void Release() {
        QMetaObject::invokeMethod(
            Widget(), [this] { Free(); }, Qt::QueuedConnection);
    }
    bool Destroying() const { return destroying_; }

    // Event plumbing for the implementing widget. Spontaneous show and hide events (the window system
    // minimising or restoring the window) are not the window's show and hide.
    void DoShow(QShowEvent* event) {
        if (!event->spontaneous() && OnShow) OnShow(Widget());
    }
    void DoHide(QHideEvent* event) {
        if (!event->spontaneous() && OnHide) OnHide(Widget());
    }
    void DoClose(QCloseEvent* event) {
        TCloseAction action = caHide;
        if (OnClose) OnClose(Widget(), action);
        switch (action) {
        case caNone:
            event->ignore();
            break;
        case caHide:
            event->accept();
            break;
        case caMinimize:
            event->ignore();
            Widget()->showMinimized();
            break;
        case caFree:
            event->accept();
            Release();
            break;
        }
    }

    virtual ~TProgramWindow() = default;

private:
    bool destroying_ = false;
};

// Class registry entry: constructs a program window without owner.
using TfrmRadicalClass = TProgramWindow* (*)();
