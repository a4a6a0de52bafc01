#include "DLLBaseCtrller.h"

TDLLBaseController::~TDLLBaseController() = default;

void TDLLBaseController::DoCreated() {
    Notify(DLLNOTIFY_CREATED);
}

void TDLLBaseController::FormShowHook(QObject*) {
    Notify(DLLNOTIFY_SHOWN);
}

void TDLLBaseController::FormHideHook(QObject*) {
    Notify(DLLNOTIFY_HIDDEN);
}

void TDLLBaseController::FormDestroyHook(QObject*) {
    Notify(DLLNOTIFY_DESTROYED);
}

void TDLLBaseController::FormCloseHook(QObject*, TCloseAction&) {
    Notify(DLLNOTIFY_CLOSED);
}

void TDLLBaseController::Notify(int32_t Code) {
    if (OnNotify) OnNotify(Code, this);
}

void TDLLBaseController::Reserved() {}
