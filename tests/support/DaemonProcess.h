// The application-server daemon as a child process on a free loopback port. The including test target
// defines KVX_APPSERVER_BIN, the daemon's path.
#pragma once

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <signal.h>

namespace kvxtest {

class DaemonProcess {
public:
    // Creates the database when needed and gives its users passwords (`--init` prints them once; they are
    // kept per database file for later daemons on it). Socket connections of the test process sign in as
    // DS through KVX_USER and KVX_PASSWORD unless they set their own credentials.
    bool start(const QString& dbFile) {
        QProcess init;
        init.start(KVX_APPSERVER_BIN, {"--init", "--db", dbFile});
        if (!init.waitForFinished(60000) || init.exitCode() != 0) return false;
        auto& known = passwords()[dbFile];
        static const QRegularExpression line(QStringLiteral("^password (\\S+) (\\S+)$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(QString::fromUtf8(init.readAllStandardOutput())); it.hasNext();) {
            const auto m = it.next();
            known.insert(m.captured(1), m.captured(2));
        }
        db_ = dbFile;
        qputenv("KVX_USER", "DS");
        qputenv("KVX_PASSWORD", password("DS").toUtf8());
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
    QString password(const QString& user) const { return passwords().value(db_).value(user); }
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
    QString db_;
    static QHash<QString, QHash<QString, QString>>& passwords() {
        static QHash<QString, QHash<QString, QString>> byDatabase;
        return byDatabase;
    }
};

} // namespace kvxtest
