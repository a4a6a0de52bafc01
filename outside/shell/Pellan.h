// Pellan: the ERP client shell's program host. Loads a program library, drives its controller and
// reports the window's life events.
#pragma once

#include "entry/DLLBaseCtrller.h"

#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>

struct PellanOptions {
    QString modulePath; // empty: ClientPath + "C_PKG/QLDI05C.so"
    QString user = QStringLiteral("DS");
    QString company = QStringLiteral("DEMO");
    QString database = QStringLiteral("DEMO");
    std::optional<int> openMode;
    std::optional<int> rights;
    std::optional<QString> openParam;
    bool modal = false;
    QString screenshot;      // render the shown window to this PNG and close it
    bool firstPaint = false; // print "painted" at the window's first paint and close it (start-up timing)
    QString dumpWidgets;     // write the window's widget tree as JSON to this file at its first paint
    QString passwordFile;    // password for a server reached over the socket (first line)
    std::optional<int> dependencyVersion; // the work center's DependencyVersion answer (default its own)
};

// Parses the command line; returns an error text (empty on success).
QString parsePellanOptions(const QStringList& args, PellanOptions& options);

class Pellan {
public:
    Pellan(PellanOptions options, QTextStream& out, QTextStream& err);

    // Runs the program to its end; the process exit code.
    int run();
    // Waits for the start-up thread's font configuration and enters the font substitutions (main.cpp):
    // called before the shell changes the environment, which fontconfig reads, and before the program
    // builds its window.
    void setFontConfigurationWait(std::function<void()> wait) { fontConfigurationWait_ = std::move(wait); }

    // The module the shell loads when none is given, from the registry's ClientPath.
    static QString defaultModulePath();
    // Name of a life-event code for the report.
    static QString notificationName(int32_t code);

private:
    PellanOptions options_;
    QTextStream& out_;
    QTextStream& err_;
    std::function<void()> fontConfigurationWait_;

    int fail(const QString& text);
    // Over the socket the user signs in: the password comes from KVX_PASSWORD, KVX_PASSWORD_FILE,
    // --password-file or, on a terminal, a prompt. Empty on success, else why not.
    QString prepareCredentials();
    int drive(TDLLBaseController& controller);
    bool takeScreenshot(TDLLBaseController& controller);
};
