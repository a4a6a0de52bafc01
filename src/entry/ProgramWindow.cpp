#include "ProgramWindow.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QMetaObject>
#include <QShowEvent>
#include <QWidget>

TProgramWindow::~TProgramWindow() = default;

void TProgramWindow::Free() {
    if (destroying_) return;
    destroying_ = true;
    if (OnDestroy) OnDestroy(Widget());
    delete this;
}

void TProgramWindow::Release() {
    // Queued on the widget: dropped when the window is freed before the event loop gets to it.
    QMetaObject::invokeMethod(
        Widget(), [this] { Free(); }, Qt::QueuedConnection);
}

void TProgramWindow::DoShow(QShowEvent* event) {
    if (!event->spontaneous() && OnShow) OnShow(Widget());
}

void TProgramWindow::DoHide(QHideEvent* event) {
    if (!event->spontaneous() && OnHide) OnHide(Widget());
}

void TProgramWindow::DoClose(QCloseEvent* event) {
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
