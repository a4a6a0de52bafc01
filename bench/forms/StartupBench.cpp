// Start-up cost of a program window: pellan from process start to the first paint of the sample radical
// window (controller, Start, broker, data module connected to the application server in process, caption,
// rights), and to the first paint of the transmission settings program showing its first packet of rows,
// against a minimal Qt widgets program that shows one window. All run offscreen, interleaved, on one
// temporary installation; the medians and their ratios are printed (target: under 2). The program runs
// once more on a second installation whose QLDMB holds 100,000 more rows: its first paint must not grow.
//
// What pellan does inside the measured time, nothing skipped: loading its libraries, the work center
// (PellanWorkCenter.Manager) and the program library; CreateProgram (the window and its data module built,
// Start: program record, system parameters and rights through the work center's counter server, the data
// module connected to the program's server object and its lookup server, the first packet of cdsMain
// fetched, caption set); SetVisible (language packages, screen settings, saved conditions); the first
// paint. The installation is the one the set-up makes (client configuration with the Simplified-Chinese
// interface, the language packages and the mapping file); the servers run in process on SQLite
// (ComputerName 127.0.0.1).
// The peer is a plain QApplication showing one 560x360 QWidget that paints no text.
//
// The floor: pellan writes QLDI05's widget tree once (`--dump-widgets`), and forms_floor_window rebuilds
// it in plain Qt widgets (same classes, geometry, fonts, texts, visibility, grid cells) and shows it; once
// with every widget pellan made, once with the shown widgets only. What it spends is what any Qt widgets
// program showing that window spends; pellan over the floor is what is ours. The sample radical window gets
// its floor the same way (every widget).
//
// Wall-clock times: on a machine shared with other work they grow with its load, the longer process more.
// So the CPU time of each whole process (user + system, start to exit: the first paint and closing) is
// reported beside them; it does not depend on what else the machine runs.
//
//   build/bin/forms_startup_bench [runs]
#include "Storage.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

double childrenCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Milliseconds from starting the program to its "painted" line; -1 when it never painted. `cpuMs`, when
// given, receives the CPU time of the whole process.
double timeToFirstPaint(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                        double* cpuMs = nullptr) {
    const double cpuBefore = childrenCpuMs();
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
    if (cpuMs) *cpuMs = childrenCpuMs() - cpuBefore;
    if (ms < 0)
        std::fprintf(stderr, "%s never painted: %s\n", qPrintable(program),
                     (out + p.readAllStandardError()).constData());
    return ms;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

// Copies the files under `from` into `to`, folders included; false on a failure.
bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target)) return false;
    }
    return true;
}

// A temporary installation: registry with the built classes, client configuration on 127.0.0.1 and the
// seeded database, with `extraRows` generated settings added to QLDMB. Empty on failure.
QString prepareInstallation(QTemporaryDir& dir, int extraRows) {
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
        if (!classes.open(QIODevice::ReadOnly) || !reg.open(QIODevice::Append)) return {};
        reg.write("\n" + classes.readAll());
    }
    // The client and server configuration the set-up writes (scripts/install-tree.sh), and the client
    // files the build generates (the GB/Big5 mapping file, the language packages).
    {
        QFile ini(dir.path() + "/client/StaveloC.ini");
        if (!ini.open(QIODevice::WriteOnly)) return {};
        ini.write("[Client Components]\nLangType=CHS\n\n[ProductVersion]\nVersion=8.0\n\n[CodePage]\n"
                  "UICodePage=936\nDBCodePage=936\n\n[Server Information]\nComputerName=127.0.0.1\n"
                  "ServerPort=211\nSupportCallBack=0\n\n[WorkDLLPath]\nPath1=C_PKG\n\n[UserDefine]\n"
                  "CreateGifBeforeSendEF=Y\n");
    }
    {
        QFile ini(dir.path() + "/server/StaveloS.ini");
        if (!ini.open(QIODevice::WriteOnly)) return {};
        ini.write("[ProductVersion]\nVersion=8.0\n\n[CodePage]\nUICodePage=936\nDBCodePage=936\n\n"
                  "[Database]\nDriver=SQLITE\nFile=kvx.db\n");
    }
    if (!copyTree(QStringLiteral(KVX_BUILD_DIR) + "/client", dir.path() + "/client")) return {};
    qputenv("KVX_REGISTRY", QFile::encodeName(registry));
    kvxsrv::StorageConfig config;
    config.serverPath = dir.path() + "/server/";
    kvxsrv::Storage db(config); // creates and seeds the database before any timing
    if (extraRows > 0) {
        const QString generate =
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ") +
            QString::number(extraRows) + QStringLiteral(") ");
        db.exec(
            generate +
            QStringLiteral("INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, COMPANY, CREATOR, "
                           "USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG, MB003) "
                           "SELECT printf('K%06d', i), printf('KV_%06d.XML', i), CAST(i % 3 + 1 AS TEXT), "
                           "CAST(i % 2 + 1 AS TEXT), '批量测试记录 ' || i, 'DEMO', 'DS', 'ADMIN', "
                           "'20240311', '', '', i % 1000, '' FROM n"));
    }
    return registry;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString bin = QCoreApplication::applicationDirPath();

    QTemporaryDir dir, bigDir;
    const QString registry = prepareInstallation(dir, 0);
    const QString bigRegistry = prepareInstallation(bigDir, 100000);
    if (registry.isEmpty() || bigRegistry.isEmpty()) {
        std::fprintf(stderr, "cannot prepare the installations\n");
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KVX_REGISTRY", registry);
    env.insert("KVX_REPORT_FIRST_PAINT", "1");
    env.insert("HOME", dir.path());
    QProcessEnvironment bigEnv = env;
    bigEnv.insert("KVX_REGISTRY", bigRegistry);
    bigEnv.insert("HOME", bigDir.path());
    const QStringList pellanArgs{"--module", QStringLiteral(KVX_SAMPLE_MODULE), "--user", "CLERK"};
    const QStringList programArgs{"--module", QStringLiteral(KVX_PROGRAM_MODULE), "--user", "CLERK",
                                  "--first-paint"};

    // The widget trees of QLDI05 and of the sample window for the floor program.
    const auto dumpTree = [&](const QStringList& args, const QString& file) {
        timeToFirstPaint(bin + "/pellan", args + QStringList{"--dump-widgets", file}, env);
        QFile f(file);
        const QJsonObject doc =
            f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
        if (!doc.contains("window"))
            std::fprintf(stderr, "pellan wrote no widget tree to %s\n", qPrintable(file));
        return doc;
    };
    const QString tree = dir.path() + "/widgets.json", shellTree = dir.path() + "/radical-widgets.json";
    const QJsonObject treeDoc = dumpTree(programArgs, tree), shellTreeDoc = dumpTree(pellanArgs, shellTree);
    if (!treeDoc.contains("window") || !shellTreeDoc.contains("window")) return 1;
    const QStringList floorArgs{tree}, shownFloorArgs{tree, "--visible-only"}, shellFloorArgs{shellTree};

    // One warm-up run of each (page cache, font cache), not counted.
    timeToFirstPaint(bin + "/pellan", pellanArgs, env);
    timeToFirstPaint(bin + "/pellan", programArgs, env);
    timeToFirstPaint(bin + "/pellan", programArgs, bigEnv);
    timeToFirstPaint(bin + "/forms_minimal_window", {}, env);
    timeToFirstPaint(bin + "/forms_floor_window", floorArgs, env);
    timeToFirstPaint(bin + "/forms_floor_window", shownFloorArgs, env);
    timeToFirstPaint(bin + "/forms_floor_window", shellFloorArgs, env);
    QList<double> shell, program, bigProgram, minimal, floor, shownFloor, shellFloor;
    QList<double> shellCpu, programCpu, minimalCpu, floorCpu, shownFloorCpu, shellFloorCpu;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        shell << timeToFirstPaint(bin + "/pellan", pellanArgs, env, &cpu);
        shellCpu << cpu;
        program << timeToFirstPaint(bin + "/pellan", programArgs, env, &cpu);
        programCpu << cpu;
        bigProgram << timeToFirstPaint(bin + "/pellan", programArgs, bigEnv);
        minimal << timeToFirstPaint(bin + "/forms_minimal_window", {}, env, &cpu);
        minimalCpu << cpu;
        floor << timeToFirstPaint(bin + "/forms_floor_window", floorArgs, env, &cpu);
        floorCpu << cpu;
        shownFloor << timeToFirstPaint(bin + "/forms_floor_window", shownFloorArgs, env, &cpu);
        shownFloorCpu << cpu;
        shellFloor << timeToFirstPaint(bin + "/forms_floor_window", shellFloorArgs, env, &cpu);
        shellFloorCpu << cpu;
    }
    if (shell.contains(-1) || program.contains(-1) || bigProgram.contains(-1) || minimal.contains(-1) ||
        floor.contains(-1) || shownFloor.contains(-1) || shellFloor.contains(-1))
        return 1;
    const double a = median(shell), p = median(program), big = median(bigProgram), b = median(minimal);
    std::printf("first paint, median of %d: pellan with the connected radical window %.1f ms, "
                "minimal Qt window %.1f ms, ratio %.2f (target < 2)\n",
                runs, a, b, a / b);
    std::printf(
        "first paint, median of %d: pellan with QLDI05 and its first packet %.1f ms, ratio %.2f to the "
        "minimal window (target < 2); with 100,000 more QLDMB rows %.1f ms, ratio %.2f (target ~1)\n",
        runs, p, p / b, big, big / p);
    const double sc = median(shellCpu), pc = median(programCpu), mc = median(minimalCpu);
    std::printf("CPU time of the whole process, median of %d: radical window %.1f ms, QLDI05 %.1f ms, "
                "minimal Qt window %.1f ms; ratios %.2f and %.2f\n",
                runs, sc, pc, mc, sc / mc, pc / mc);
    const double f = median(floor), sf = median(shownFloor);
    std::printf("first paint, median of %d: plain Qt program building QLDI05's widget tree (%d widgets, %d "
                "shown) %.1f ms, ratio %.2f to the minimal window; shown widgets only %.1f ms (ratio %.2f); "
                "pellan over the floor: %.2f\n",
                runs, treeDoc.value("widgets").toInt(), treeDoc.value("shown").toInt(), f, f / b, sf, sf / b,
                p / f);
    const double fc = median(floorCpu), sfc = median(shownFloorCpu);
    std::printf("CPU time of the whole process, median of %d: floor %.1f ms (ratio %.2f to the minimal "
                "window), shown widgets only %.1f ms (%.2f); QLDI05 over the floor %.2f\n",
                runs, fc, fc / mc, sfc, sfc / mc, pc / fc);
    const double rf = median(shellFloor), rfc = median(shellFloorCpu);
    std::printf("first paint, median of %d: plain Qt program building the radical window's widget tree (%d "
                "widgets, %d shown) %.1f ms, ratio %.2f to the minimal window; pellan over the floor: %.2f; "
                "CPU %.1f ms (ratio %.2f), pellan over the floor %.2f\n",
                runs, shellTreeDoc.value("widgets").toInt(), shellTreeDoc.value("shown").toInt(), rf, rf / b,
                a / rf, rfc, rfc / mc, sc / rfc);
    return 0;
}
