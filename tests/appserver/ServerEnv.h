// Shared set-up of the application-server tests: a temporary installation tree whose registry knows the
// server classes, and helpers to connect server objects and to run the daemon as a process.
#pragma once

#include "ProgramServer.h"
#include "TempTree.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <signal.h>

namespace apptest {

inline void registerServerClasses(kvxtest::TempTree& tree) {
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Factory", "CreateTrivonServer", "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\Halvex.Class1");
    tree.setRegistryValue("Factory", "CreateHalvexServer", "Classes\\Halvex.Class1");
}

struct ServerEnv {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    ServerEnv() {
        registerServerClasses(tree);
        config.serverPath = tree.serverPath();
    }
    QString dbFile() const { return config.resolveFile(); }

    std::shared_ptr<kvxsrv::ProgramServer> connect(const QString& user = "DS",
                                                   const QString& prog = "QLDI05") {
        auto s = std::make_shared<kvxsrv::ProgramServer>(config);
        const int rc = s->connect(prog, user, "DEMO", "DEMO");
        EXPECT_EQ(rc, 0) << s->lastError().toStdString();
        return s;
    }
};

// The daemon as a child process on a free loopback port.
class DaemonProcess {
public:
    bool start(const QString& dbFile) {
        proc_.setProgram(KVX_APPSERVER_BIN);
        proc_.setArguments({"--listen", "127.0.0.1:0", "--db", dbFile});
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start();
        if (!proc_.waitForStarted(5000)) return false;
        static const QRegularExpression re(QStringLiteral("listening on [0-9.]+:(\\d+)"));
        QByteArray out;
        while (proc_.waitForReadyRead(10000)) {
            out += proc_.readAllStandardOutput();
            const auto m = re.match(QString::fromUtf8(out));
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                return true;
            }
        }
        return false;
    }
    int port() const { return port_; }
    qint64 pid() const { return proc_.processId(); }
    // Sends a signal and waits for the process to end; returns its exit code (-1 when it crashed).
    int stop(int sig) {
        if (proc_.state() == QProcess::NotRunning) return proc_.exitCode();
        ::kill(pid_t(proc_.processId()), sig);
        proc_.waitForFinished(15000);
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    }
    QByteArray errors() { return proc_.readAllStandardError(); }
    ~DaemonProcess() { stop(SIGKILL); }

private:
    QProcess proc_;
    int port_ = 0;
};

} // namespace apptest
