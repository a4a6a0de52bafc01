// Start-up cost of a program window: pellan from process start to the first paint of the sample radical
// window (controller, Start, broker, data module connected to the application server in process, caption,
// rights), against a minimal Qt widgets program that shows one window. Both run offscreen, interleaved,
// on one temporary installation; the medians and their ratio are printed (target: under 2).
//
//   build/bin/forms_startup_bench [runs]
#include "Storage.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

// Milliseconds from starting the program to its "painted" line; -1 when it never painted.
double timeToFirstPaint(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    QByteArray out;
    double ms = -1;
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
        if (ms < 0 && out.contains("painted\n")) {
            ms = double(t.nsecsElapsed()) / 1e6;
            break;
        }
        if (t.elapsed() > 20000) break;
    }
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    if (ms < 0)
        std::fprintf(stderr, "%s never painted: %s\n", qPrintable(program),
                     (out + p.readAllStandardError()).constData());
    return ms;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString bin = QCoreApplication::applicationDirPath();

    QTemporaryDir dir;
    QDir(dir.path()).mkpath("client");
    QDir(dir.path()).mkpath("server");
    const QString registry = dir.path() + "/registry.ini";
    {
        kvx::IniFile reg(registry);
        reg.writeString("Software\\KVX\\Stavelo", "ClientPath", dir.path() + "/client/");
        reg.writeString("Software\\KVX\\Stavelo", "ServerPath", dir.path() + "/server/");
        reg.writeString("Software\\KVX\\Stavelo", "ProfileType", "0");
    }
    {
        QFile classes(QStringLiteral(KVX_BUILD_DIR) + "/classes.ini");
        QFile reg(registry);
        if (!classes.open(QIODevice::ReadOnly) || !reg.open(QIODevice::Append)) {
            std::fprintf(stderr, "cannot prepare the registry\n");
            return 1;
        }
        reg.write("\n" + classes.readAll());
    }
    {
        QFile ini(dir.path() + "/client/StaveloC.ini");
        if (!ini.open(QIODevice::WriteOnly)) return 1;
        ini.write("[Server Information]\nComputerName=127.0.0.1\n");
    }
    qputenv("KVX_REGISTRY", QFile::encodeName(registry));
    {
        kvxsrv::StorageConfig config;
        config.serverPath = dir.path() + "/server/";
        kvxsrv::Storage db(config); // creates and seeds the database before any timing
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KVX_REGISTRY", registry);
    env.insert("KVX_REPORT_FIRST_PAINT", "1");
    env.insert("HOME", dir.path());
    const QStringList pellanArgs{"--module", QStringLiteral(KVX_SAMPLE_MODULE), "--user", "CLERK"};

    // One warm-up run of each (page cache, font cache), not counted.
    timeToFirstPaint(bin + "/pellan", pellanArgs, env);
    timeToFirstPaint(bin + "/forms_minimal_window", {}, env);
    QList<double> shell, minimal;
    for (int i = 0; i < runs; ++i) {
        shell << timeToFirstPaint(bin + "/pellan", pellanArgs, env);
        minimal << timeToFirstPaint(bin + "/forms_minimal_window", {}, env);
    }
    if (shell.contains(-1) || minimal.contains(-1)) return 1;
    const double a = median(shell), b = median(minimal);
    std::printf("first paint, median of %d: pellan with the connected radical window %.1f ms, "
                "minimal Qt window %.1f ms, ratio %.2f (target < 2)\n",
                runs, a, b, a / b);
    return 0;
}
