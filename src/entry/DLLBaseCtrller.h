// TDLLBaseController: the controller that a program library hands to the shell.
//
// This header is shared by the shell and every program library. The shell calls the virtual operations
// by their position in the virtual table, so their order below is fixed: slots 0 to 17, then the
// destructor (declared last so that it takes the entries after slot 17). Fields stay in declaration
// order as well. The class is defined entirely here (no key function), so that both sides have its
// virtual table and type information without linking each other. Operations report failures by raising
// exceptions derived from std::exception whose what() is the UTF-8 message text.
#pragma once

#include "platform/Variant.h"

#include <QtGlobal>
#include <cstdint>
#include <functional>

class QObject;

// What happens to a window after its close event; the close event handler may change it.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// Event of a window without further arguments (show, hide, destroy).
using TNotifyEvent = std::function<void(QObject* Sender)>;
// Close event of a window; the handler may change the action.
using TCloseEvent = std::function<void(QObject* Sender, TCloseAction& Action)>;

class TDLLBaseController;
// Life-event notification to the shell: (code, controller).
using TDLLNotifyEvent = std::function<void(int32_t Code, TDLLBaseController* Controller)>;

// Life-event codes passed to OnNotify.
enum : int32_t {
    DLLNOTIFY_CREATED = 0x100,   // window created and given the work-center object
    DLLNOTIFY_SHOWN = 0x110,     // window shown
    DLLNOTIFY_HIDDEN = 0x120,    // window hidden
    DLLNOTIFY_DESTROYED = 0x130, // window destroyed (result already copied)
    DLLNOTIFY_CLOSED = 0x140,    // window closed
};

class TDLLBaseController {
public:
    // Fields, in declaration order.
    kvx::Variant WorkCenter;  // the shell's work-center automation object
    int32_t ResultCode = 0;   // the window's close result, copied when the window is destroyed
    kvx::Variant ResultValue; // the window's return value, copied when the window is destroyed
    TDLLNotifyEvent OnNotify; // may be empty

    TDLLBaseController() = default;
    TDLLBaseController(const TDLLBaseController&) = delete;
    TDLLBaseController& operator=(const TDLLBaseController&) = delete;

    // Slot 0: the window's program version; Version is left unchanged without a window.
    virtual void GetVersion(QString& Version) = 0;
    // Slot 1: -1 when a window exists and is visible, else 0.
    virtual int32_t GetVisible() = 0;
    // Slot 2: shows (restoring a minimised window and bringing it to the top) or hides the window.
    virtual void SetVisible(int16_t Visible) = 0;
    // Slot 3: the window's handle, 0 without a window.
    virtual quintptr GetWindowHandle() = 0;
    // Slot 4: creates and starts the window with the login parameter array; 0 on success, else -1.
    virtual int32_t CreateProgram(kvx::Variant Params) = 0;
    // Slot 5: stores the open parameter in the window; 0 on success, else -1.
    virtual int32_t SetOpenParam(kvx::Variant Param) = 0;
    // Slot 6: restricts the window's rights and sets its open mode; 0 on success, -1 without a window.
    virtual int32_t SetOpenMode(int32_t Mode, int32_t Rights, kvx::Variant Param) = 0;
    // Slot 7: shows the window modally, then returns its return value and frees it.
    virtual void ShowProgramModal(kvx::Variant& Result) = 0;
    // Slot 8: frees the window; unless Silent, the close hook runs first.
    virtual void CloseProgram(bool Silent) = 0;
    // Slot 9: [user ID, company ID, program code, program name]; -1 without a window, else 0.
    virtual int32_t GetLoginInfo(kvx::Variant& Info) = 0;
    // Slot 10: true when there is no window.
    virtual bool IsClosed() = 0;
    // Slot 11: notifies DLLNOTIFY_CREATED.
    virtual void DoCreated() { Notify(DLLNOTIFY_CREATED); }
    // Slots 12 to 15: the hooks installed in place of the window's show, hide, destroy and close events.
    virtual void FormShowHook(QObject* /*Sender*/) { Notify(DLLNOTIFY_SHOWN); }
    virtual void FormHideHook(QObject* /*Sender*/) { Notify(DLLNOTIFY_HIDDEN); }
    virtual void FormDestroyHook(QObject* /*Sender*/) { Notify(DLLNOTIFY_DESTROYED); }
    virtual void FormCloseHook(QObject* /*Sender*/, TCloseAction& /*Action*/) { Notify(DLLNOTIFY_CLOSED); }
    // Slot 16: calls OnNotify with (Code, this) when it is assigned.
    virtual void Notify(int32_t Code) {
        if (OnNotify) OnNotify(Code, this);
    }
    // Slot 17: kept free for later use.
    virtual void Reserved() {}

    virtual ~TDLLBaseController() = default;
};

// The one export of a program library: returns a new controller owned by the caller.
using TGetControllerFn = TDLLBaseController* (*)();
inline constexpr const char* kGetControllerSymbol = "GetController";
