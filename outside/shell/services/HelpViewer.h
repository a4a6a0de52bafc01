// HelpViewer: CallHelp. Help topics are HTML files of the installation tree:
// ClientPath/Help/<system>/<key>.htm or .html, else the system's index.htm(l). The topic is shown in
// one help window, reused by later calls.
#pragma once

#include <QPointer>
#include <QString>

#include <QTextBrowser>

namespace pellan {

class HelpViewer {
public:
    ~HelpViewer();
    // The topic file for (system, key), or empty when there is none.
    static QString topicFile(const QString& system, const QString& key);
    // Shows the topic; 0 when shown, -1 when there is no topic file.
    int show(const QString& system, const QString& key);
    QTextBrowser* window() const { return window_; }

private:
    QPointer<QTextBrowser> window_;
};

} // namespace pellan
