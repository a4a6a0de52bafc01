// The work center reaching the application server over the socket (any address but 127.0.0.1), and what
// happens when that connection drops.
#include "WorkCenterEnv.h"

#include "DaemonProcess.h"

#include <signal.h>

using namespace wctest;

namespace {
using Daemon = kvxtest::DaemonProcess;
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

    daemon.stop(SIGKILL);
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
