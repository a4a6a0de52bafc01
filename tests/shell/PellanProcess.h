// Runs the built pellan as a process on a temporary installation tree: the build folder, the build's
// program identifiers added to the tree's registry, and one run's exit code and output.
#pragma once

#include "TempTree.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

namespace kvxtest {

inline QString buildDir() {
    return qEnvironmentVariable("KVX_BUILD_DIR");
}

// Adds build/classes.ini (the work center and the servers) to the tree's registry file.
inline void registerBuiltClasses(TempTree& tree) {
    QFile classes(buildDir() + "/classes.ini");
    ASSERT_TRUE(classes.open(QIODevice::ReadOnly));
    QFile reg(tree.registryPath());
    ASSERT_TRUE(reg.open(QIODevice::Append));
    reg.write("\n" + classes.readAll());
}

struct PellanRun {
    int exitCode = -1; // -1 when pellan crashed or did not finish
    QStringList out;   // the non-empty lines of stdout
    QString err;
    QStringList notifications() const { return out.filter(QRegularExpression("^notify ")); }
};

inline PellanRun runPellan(const QStringList& args,
                           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                           const QString& workingDir = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
    p.start(buildDir() + "/bin/pellan", args);
    PellanRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "pellan did not finish: " << args.join(' ').toStdString();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace kvxtest
