// Window messages as Qt custom events: message number n (1034 = the user range + 10, ...) travels as
// an event of type QEvent::User + n carrying the two message parameters (a number and an object).
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

namespace kvx {

constexpr int WM_USER = 1024;

class MessageEvent : public QEvent {
public:
    MessageEvent(int message, qintptr wParam, QObject* lParam = nullptr);
    static QEvent::Type typeOf(int message) { return QEvent::Type(QEvent::User + message); }
    // The message number of an event, or -1 for events that are not window messages.
    static int messageOf(const QEvent* e);

    int message() const { return message_; }
    qintptr wParam() const { return wParam_; }
    QObject* lParam() const { return lParam_; }

private:
    int message_;
    qintptr wParam_;
    QPointer<QObject> lParam_;
};

// Posts the message to the receiver (processed by the event loop).
void postMessage(QObject* receiver, int message, qintptr wParam, QObject* lParam = nullptr);

} // namespace kvx
