// The application-server daemon as a child process on a free loopback port. The including test target
// defines KVX_APPSERVER_BIN, the daemon's path.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <signal.h>

namespace kvxtest {

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

} // namespace kvxtest
