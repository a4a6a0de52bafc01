#include "platform/WindowMessage.h"

#include <QCoreApplication>

namespace kvx {

namespace {
constexpr int kMaxMessage = QEvent::MaxUser - QEvent::User;
}

MessageEvent::MessageEvent(int message, qintptr wParam, QObject* lParam)
    : QEvent(typeOf(message)), message_(message), wParam_(wParam), lParam_(lParam) {}

int MessageEvent::messageOf(const QEvent* e) {
    const int n = int(e->type()) - int(QEvent::User);
    if (n < 0 || n > kMaxMessage) return -1;
    return dynamic_cast<const MessageEvent*>(e) ? n : -1;
}

void postMessage(QObject* receiver, int message, qintptr wParam, QObject* lParam) {
    if (receiver) QCoreApplication::postEvent(receiver, new MessageEvent(message, wParam, lParam));
}

} // namespace kvx
