// The module's broker (TBrokers) on the real work center and the seeded demo company: the calls the
// program windows make, end to end.
#include "WorkCenterEnv.h"

#include "platform/Automation.h"
#include "server/Brokers.h"
#include "server/StartReads.h"

#include <QElapsedTimer>
#include <thread>

using namespace wctest;

namespace {
struct BrokerTest : ::testing::Test {
    Env env;
    TBrokers broker;
    void SetUp() override {
        broker.WorkCenter = Variant(env.workCenter());
        broker.ProgID = "QLDI05";
        broker.UserID = "DS";
        broker.CompanyID = "DEMO";
        broker.DBName = "DEMO";
        env.tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\n");
    }
};
} // namespace

TEST_F(BrokerTest, ServicesProgramInformationAndSystemParameters) {
    ASSERT_TRUE(broker.ConnectServices());
    EXPECT_TRUE(TBrokers::IsPresent(broker.Validator));
    EXPECT_TRUE(TBrokers::IsPresent(broker.F2Window));
    EXPECT_TRUE(TBrokers::IsPresent(broker.Counter));
    EXPECT_EQ(broker.ProgramName, "文档传输设置作业");
    EXPECT_EQ(broker.PrintID, "QLDR05");
    EXPECT_FALSE(broker.Unrestricted);
    ASSERT_TRUE(broker.LoadSysParams());
    EXPECT_EQ(broker.GetSysParam("KVX002"), "演示公司");
    EXPECT_EQ(broker.GetSysParam("sys003"), "RMB");
    EXPECT_EQ(broker.GetVersionType(), 1);
    EXPECT_EQ(broker.GetProductID(), 3);
    EXPECT_EQ(broker.GetMessageText("E", "000038"), "此程序必须从主程序中运行!");
}

TEST_F(BrokerTest, CounterCallsOfTheTransmissionProgram) {
    ASSERT_TRUE(broker.ConnectServices());
    const Variant exports = broker.CallCounter(
        "SimpleSql",
        Variant::fromList({"Select * from $$QLDMB where MB002='2' ", "MB003,MB004", broker.DBName, "N"}));
    ASSERT_TRUE(exports.isArray());
    EXPECT_EQ(exports.toList().size(), env.count("SELECT COUNT(*) FROM QLDMB WHERE MB002 = '2'"));
    EXPECT_EQ(
        broker.CallCounter("QLDI06", Variant::fromList({"COPTC,订单单头,COPTC.XML,TC001+TC002", "2", "2"}))
            .toString(),
        "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB WHERE TB001 = 'COPTC' AND TB006 = 'Y'"), 1);
    EXPECT_EQ(broker.GetProgramTitle("COPI01"), "客户信息建立作业");
    EXPECT_EQ(broker.GetProgramTitle("NOPROG"), "NOPROG");
    Variant result;
    EXPECT_EQ(broker.RunProgram("NOPROG", Variant(), false, result, Variant()), -1);
    EXPECT_TRUE(broker.CheckValue("DOCUS", "01", result, Variant::fromList({"汇出类单据", "DS", "QLDI05"})));
    EXPECT_FALSE(broker.CheckValue("NOSUCH", "01", result, Variant())); // the validator's error gives false
    EXPECT_EQ(broker.GetCalcValue("(1+2)*4"), "12");
}

// The start's reads answered ahead by a counter object on another thread, through the shell's services
// as the program's controller hands them over: the broker gets the same program record and system
// parameters, and every read is taken.
TEST_F(BrokerTest, ReadAheadAnswersGiveTheBrokerTheSameProgramRecordAndParameters) {
    Variant answers;
    std::thread reader([&] {
        auto counter = kvx::CreateOleObject(QLatin1String(kvx::server::kCounterClass));
        answers =
            counter->call("ReadAhead", {kvx::server::ProgramStartReads("QLDI05", "DS", "DEMO", "DEMO")});
    });
    reader.join();
    ASSERT_TRUE(broker.ConnectServices()); // the program record without read-ahead
    ASSERT_TRUE(broker.LoadSysParams());
    const QString name = broker.ProgramName, printId = broker.PrintID;
    const QStringList params = broker.SysParams;

    TBrokers ahead;
    ahead.WorkCenter = Variant(env.workCenter());
    ahead.ProgID = "QLDI05";
    ahead.UserID = "DS";
    ahead.CompanyID = "DEMO";
    ahead.DBName = "DEMO";
    auto counter = Env::service(ahead.WorkCenter.toDispatch(), "Com_Counter");
    const int listed = int(counter->call("UseReadAhead", {answers}).toInt());
    EXPECT_EQ(listed, kvx::server::ProgramStartReads("QLDI05", "DS", "DEMO", "DEMO").toList().size());
    ASSERT_TRUE(ahead.ConnectServices());
    ASSERT_TRUE(ahead.LoadSysParams());
    EXPECT_EQ(counter->call("UseReadAhead").toInt(), 2); // the program record and the parameters
    EXPECT_EQ(ahead.ProgramName, name);
    EXPECT_EQ(ahead.PrintID, printId);
    EXPECT_EQ(ahead.SysParams, params);
    EXPECT_EQ(ahead.GetSysParam("KVX002"), "演示公司");
}

// Over the socket the work center's counter takes no answers and makes no connection for them.
TEST_F(BrokerTest, ARemoteCounterTakesNoReadAheadAnswers) {
    env.tree.writeText(
        "client/StaveloC.ini",
        "[Server Information]\nComputerName=192.0.2.1\nServerPort=9\n[CodePage]\nUICodePage=936\n");
    auto counter = Env::service(env.workCenter(), "Com_Counter");
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(counter->call("UseReadAhead", {Variant()}).toInt(), 0);
    EXPECT_EQ(counter->call("UseReadAhead").toInt(), 0);
    EXPECT_LT(t.elapsed(), 1000);
}
