// pellan: the ERP client shell stand-in.
//   pellan [--module PATH] [--user U] [--company C] [--db D] [--open-mode N] [--rights R]
//          [--open-param TEXT] [--modal] [--screenshot FILE] [--first-paint]
#include "Pellan.h"
#include "ShellStyle.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
    return Pellan(options, out, err).run();
}
