// The work-center object as the controller and the broker use it: version, message catalogue,
// stand-alone connect, help, program start, and the window services driven offscreen.
#include "WorkCenterEnv.h"

#include "platform/DialogService.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

using namespace wctest;

namespace {
struct WorkCenterTest : ::testing::Test {
    Env env;
    std::shared_ptr<kvx::Dispatch> wc = env.workCenter();
    void SetUp() override { kvx::DialogService::instance().clear(); }
    void TearDown() override { kvx::DialogService::instance().clear(); }

    int exec(const QString& user, const QString& program, const Variant& param, Variant& result,
             const Variant& options = Variant::fromList({0, 4, Variant()})) {
        VariantList args{Variant::fromList({user, "DEMO", program, 0}), param, options, 2, Variant()};
        const int rc = int(wc->invoke("ExecWork", args).toInt());
        result = args[4];
        return rc;
    }
};
} // namespace

TEST_F(WorkCenterTest, VersionEditionProductAndMessages) {
    EXPECT_EQ(wc->call("DependencyVersion").toInt(), 8000);
    EXPECT_EQ(wc->call("VersionType").toInt(), 1);
    EXPECT_EQ(wc->call("ProductID").toInt(), 3);
    // Texts in the language of the client's interface code page.
    env.tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\n");
    EXPECT_EQ(wc->call("GetMessage", {"E", "000038"}).toString(), "此程序必须从主程序中运行!");
    EXPECT_EQ(wc->call("GetMessage", {"W", "100079"}).toString(), "%s");
    EXPECT_EQ(wc->call("GetMessage", {"E", "999999"}).toString(), "");
    env.tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=437\n");
    EXPECT_EQ(wc->call("GetMessage", {"E", "000038"}).toString(),
              "This program must be started from the main program.");
    EXPECT_TRUE(errorOf([&] { wc->call("GetMessage", {"E"}); }).contains("kind and a code"));
    EXPECT_TRUE(errorOf([&] { wc->call("NoSuchMethod"); }).contains("NoSuchMethod"));
}

TEST_F(WorkCenterTest, ConnectChecksTheCompanyDatabase) {
    EXPECT_EQ(wc->call("Connect").toInt(), 0);
    EXPECT_EQ(wc->call("Connect", {"DS", "DEMO", "DEMO"}).toInt(), 0);
    EXPECT_TRUE(errorOf([&] { wc->call("Connect", {"DS", "DEMO", "OTHER"}); }).contains("wrong database"));
    EXPECT_TRUE(errorOf([&] { wc->call("Connect", {"DS", "NOCO", "DEMO"}); }).contains("unknown company"));
}

TEST_F(WorkCenterTest, CallHelpShowsTheTopicOfTheKeyOrTheSystemIndex) {
    env.tree.writeText("client/Help/QLD/114050000.htm",
                       "<html><body><h1>文档传输设置作业</h1></body></html>");
    env.tree.writeText("client/Help/QLD/index.html", "<html><body>QLD 目录</body></html>");
    EXPECT_EQ(wc->call("CallHelp", {"QLD", "114050000"}).toInt(), 0);
    auto* help = qobject_cast<QTextBrowser*>(QApplication::topLevelWidgets().value(0));
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmHelp") help = qobject_cast<QTextBrowser*>(w);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->toPlainText().contains("文档传输设置作业"));
    EXPECT_EQ(wc->call("CallHelp", {"QLD", "114051001"}).toInt(), 0); // no topic: the index
    EXPECT_TRUE(help->toPlainText().contains("QLD 目录"));
    EXPECT_EQ(wc->call("CallHelp", {"INV", "110020000"}).toInt(), -1);
    EXPECT_EQ(wc->call("CallHelp", {"QLD", "../../etc"}).toInt(), -1);
}

TEST_F(WorkCenterTest, ExecWorkReportsMissingProgramsRightsAndLibraries) {
    Variant result;
    EXPECT_EQ(exec("DS", "NOPROG", Variant(), result), -1);
    EXPECT_EQ(exec("CLERK", "INVI02", Variant(), result), -5); // the right says "may not run"
    EXPECT_EQ(exec("CLERK", "PURI01", Variant(), result), -5); // no right at all
    EXPECT_EQ(exec("OLDUSER", "QLDI05", Variant(), result), -5);
    EXPECT_EQ(exec("DS", "COPI01", Variant(), result), -1); // in the master, but no library file
    EXPECT_TRUE(wc->getProperty("LastExecError").toString().contains("COPI01C.so"));
    env.tree.writeText("client/C_PKG/COPI01C.so", "not a library");
    EXPECT_EQ(exec("DS", "COPI01", Variant(), result), -2);
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{"QLDI05"};
                    wc->invoke("ExecWork", a);
                }).isEmpty());
    VariantList bad{"QLDI05"};
    EXPECT_EQ(wc->invoke("ExecWork", bad).toInt(), -7);
}

TEST_F(WorkCenterTest, ExecWorkStartsTheProgramInThisProcessWithItsParameter) {
    const QString lib = QStringLiteral(KVX_TEST_PROGRAM);
    if (lib.isEmpty()) GTEST_SKIP() << "no test program library in this build";
    // A program of the master whose library sits in a configured work-library folder.
    QDir().mkpath(env.tree.clientPath() + "Work");
    ASSERT_TRUE(QFile::copy(lib, env.tree.clientPath() + "Work/QLDI99C.so"));
    env.tree.writeText("client/StaveloC.ini", "[WorkDLLPath]\nMain=Work\n");
    env.db->exec("INSERT INTO ADMMB (MB001, MB002, MB017) VALUES ('QLDI99', '测试程序', 'QLDI99C.so')");
    Variant result;
    kvx::DialogService::instance().clear();
    ASSERT_EQ(exec("DS", "qldi99", "MB001='COPTC'", result), 0)
        << wc->getProperty("LastExecError").toString().toStdString();
    QWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() != "frmHelp") shown = w;
    ASSERT_TRUE(shown);
    // The window reported what it was given when it was shown.
    const auto& messages = kvx::DialogService::instance().shown();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().text.contains("InitCondition=MB001='COPTC'"))
        << messages.last().text.toStdString();
    shown->close();
    QCoreApplication::sendPostedEvents();
}

// --- window services, driven as a user would ----------------------------------------------------------

TEST_F(WorkCenterTest, F2GetDataOpensTheLookupAndReturnsTheChosenRow) {
    auto f2 = Env::service(wc, "Com_F2Window");
    VariantList request{"COPMA", "01", Variant::fromList({"C00"}),
                        false,   "",   "DEMO",
                        "DEMO",  0,    1,
                        false,   3,    "",
                        "",      "",   "N",
                        true,    true, Variant(),
                        "DS"};
    onNextModal([](QWidget* w) {
        auto* search = w->findChild<QLineEdit*>("edSearch");
        ASSERT_TRUE(search);
        EXPECT_EQ(search->text(), "C00");
        QTest::keyClicks(search, "2");
        QTest::keyClick(search, Qt::Key_Return);
    });
    const Variant rows = f2->call("F2GetData", {Variant::fromList(request)});
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows.at(0).at(0).toString(), "C002");
    EXPECT_EQ(rows.at(0).at(1).toString(), "鸿达贸易");

    onNextModal([](QWidget* w) { QTest::keyClick(w->findChild<QLineEdit*>("edSearch"), Qt::Key_Escape); });
    EXPECT_TRUE(f2->call("F2GetData", {Variant::fromList(request)}).isUnassigned());

    EXPECT_TRUE(errorOf([&] { f2->call("F2GetData", {"COPMA"}); }).contains("parameter array"));
    EXPECT_TRUE(errorOf([&] {
                    f2->call("F2GetData", {Variant::fromList({"NOPE", "01"})});
                }).contains("no lookup defined"));
}

TEST_F(WorkCenterTest, GetPhrase2StoresAndReturnsThePhrasesOfTheUser) {
    auto f2 = Env::service(wc, "Com_F2Window");
    onNextModal([](QWidget* w) {
        auto* text = w->findChild<QLineEdit*>("edPhrase");
        EXPECT_EQ(w->findChild<QListWidget*>("lstPhrase")->count(), 4);
        text->setText("月结后汇出");
        QTest::mouseClick(w->findChild<QPushButton*>("btnAdd"), Qt::LeftButton);
        QTest::keyClick(text, Qt::Key_Return);
    });
    VariantList args{"DS", "DEMO", 0, "旧备注"};
    EXPECT_EQ(f2->invoke("GetPhrase2", args).toInt(), 0);
    EXPECT_EQ(args[3].toString(), "月结后汇出");
    EXPECT_EQ(
        env.count("SELECT COUNT(*) FROM KVXPH WHERE PH002 = 'DS' AND PH003 = ?", {QString("月结后汇出")}), 1);
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM KVXPH WHERE PH002 = 'CLERK'"), 0);

    onNextModal([](QWidget* w) { QTest::keyClick(w->findChild<QLineEdit*>("edPhrase"), Qt::Key_Escape); });
    VariantList cancelled{"DS", "DEMO", 0, "旧备注"};
    EXPECT_EQ(f2->invoke("GetPhrase2", cancelled).toInt(), -1);
    EXPECT_EQ(cancelled[3].toString(), "旧备注");
}

TEST_F(WorkCenterTest, ShowCharatersPicksADocument) {
    auto f2 = Env::service(wc, "Com_F2Window");
    onNextModal([](QWidget* w) {
        auto* search = w->findChild<QLineEdit*>("edSearch");
        search->insert("控制主板"); // typed through an input method
        QTest::keyClick(search, Qt::Key_Return);
    });
    const Variant doc = f2->call("ShowCharaters", {"DS", "DEMO", 2, false, "0"});
    ASSERT_TRUE(doc.isArray());
    EXPECT_EQ(doc.at(0).toString(), "DOC0003");
    EXPECT_EQ(doc.at(1).toString(), "2");
}

TEST_F(WorkCenterTest, GetCalcValueEvaluatesAndShowsAClearErrorForBadInput) {
    auto f2 = Env::service(wc, "Com_F2Window");
    EXPECT_EQ(f2->call("GetCalcValue", {"(120+30)*8%", 0}).toString(), "12");
    EXPECT_EQ(f2->call("GetCalcValue", {"", 0}).toString(), "");
    EXPECT_TRUE(kvx::DialogService::instance().shown().isEmpty());
    EXPECT_EQ(f2->call("GetCalcValue", {"12/(3-3)", 0}).toString(), "");
    ASSERT_EQ(kvx::DialogService::instance().shown().size(), 1);
    EXPECT_TRUE(kvx::DialogService::instance().shown()[0].text.contains("division by zero"));
    EXPECT_TRUE(f2->getProperty("LastError").toString().contains("division by zero"));
}
