// pellan: the ERP client shell stand-in.
//   pellan [--module PATH] [--user U] [--company C] [--db D] [--open-mode N] [--rights R]
//          [--open-param TEXT] [--modal] [--screenshot FILE] [--first-paint]
//          [--dump-widgets FILE]
#include "MemoryPrefault.h"
#include "Pellan.h"
#include "ShellStyle.h"
#include "StartupPreloader.h"
#include "platform/StartupTrace.h"

#include <QApplication>
#include <QScopeGuard>
#include <cstdio>

int main(int argc, char** argv) {
    kvx::startupCheckpoint("main");
    const std::uintptr_t heapStart =
        pellan::MemoryPrefault::enabled() ? pellan::MemoryPrefault::reserveHeap() : 0;
    pellan::StartupPreloader preloader(heapStart);
    QApplication app(argc, argv);
    // The preloading thread uses the application's font database: it ends before the application does.
    const auto joinPreloader = qScopeGuard([&preloader] { preloader.finish(); });
    preloader.applicationReady();
    kvx::startupCheckpoint("application");
    QApplication::setApplicationName(QStringLiteral("pellan"));
    QApplication::setStyle(new pellan::ShellStyle);
    QTextStream out(stdout);
    QTextStream err(stderr);
    PellanOptions options;
    const QString error = parsePellanOptions(QApplication::arguments(), options);
    if (!error.isEmpty()) {
        err << error << Qt::endl;
        return QApplication::arguments().contains(QStringLiteral("--help")) ? 0 : 2;
    }
    Pellan pellan(options, out, err);
    pellan.setFontConfigurationWait([&preloader] { preloader.prepareFonts(); });
    return pellan.run();
}
