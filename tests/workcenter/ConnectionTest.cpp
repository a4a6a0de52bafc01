// The work center reaching the application server over the socket (any address but 127.0.0.1), and what
// happens when that connection drops.
#include "WorkCenterEnv.h"

#include <QProcess>
#include <QRegularExpression>
#include <signal.h>

using namespace wctest;

namespace {
class Daemon {
public:
    bool start(const QString& dbFile) {
        proc_.setProgram(KVX_APPSERVER_BIN);
        proc_.setArguments({"--listen", "127.0.0.1:0", "--db", dbFile});
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
    void kill() {
        if (proc_.state() == QProcess::NotRunning) return;
        ::kill(pid_t(proc_.processId()), SIGKILL);
        proc_.waitForFinished(10000);
    }
    ~Daemon() { kill(); }

private:
    QProcess proc_;
    int port_ = 0;
};
} // namespace

TEST(WorkCenterConnection, ServicesRunOverTheSocketAndADroppedConnectionIsReported) {
    Env env;
    const QString dbFile = env.config.resolveFile();
    Daemon daemon;
    ASSERT_TRUE(daemon.start(dbFile));
    env.tree.writeText(
        "client/StaveloC.ini",
        QStringLiteral("[Server Information]\nComputerName=localhost;\nServerPort=%1\n").arg(daemon.port()));

    auto wc = env.workCenter();
    auto c = Env::service(wc, "Com_Counter");
    EXPECT_EQ(wc->call("Connect", {"DS", "DEMO", "DEMO"}).toInt(), 0);
    const QString list = "COPTC,订单单头,COPTC.XML,TC001+TC002";
    EXPECT_EQ(counter(c, "QLDI06", Variant::fromList({list, "2", "2"})).toString(), "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB WHERE TB001 = 'COPTC'"), 1); // written by the daemon
    EXPECT_TRUE(
        errorOf([&] { counter(c, "NoSuchFunction", Variant()); }).contains("unknown server function"));

    daemon.kill();
    const QString e = errorOf([&] { counter(c, "QLDI06", Variant::fromList({list, "1", "2"})); });
    EXPECT_TRUE(e.contains("the connection to the application server was lost")) << e.toStdString();
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB WHERE TB001 = 'COPTC'"), 1); // nothing removed
    // The next call tries again and says that the server cannot be reached.
    const QString again = errorOf([&] { counter(c, "GetSysInfo", "DEMO"); });
    EXPECT_TRUE(again.contains("Cannot connect")) << again.toStdString();

    // A new daemon on another port: the work center reads the configuration afresh only when created, so
    // a restarted server on the same address is picked up by the next call.
    Daemon second;
    ASSERT_TRUE(second.start(dbFile));
    env.tree.writeText(
        "client/StaveloC.ini",
        QStringLiteral("[Server Information]\nComputerName=localhost\nServerPort=%1\n").arg(second.port()));
    auto wc2 = env.workCenter();
    EXPECT_EQ(
        counter(Env::service(wc2, "Com_Counter"), "QLDI06", Variant::fromList({list, "1", "2"})).toString(),
        "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB"), 0);
}
