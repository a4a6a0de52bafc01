// The radical window: the rights parse, the hosted test, program codes and help numbers as functions;
// the window's start on a fake work center and data module; keys pressed on a shown window (help keys,
// lookup keys inside and outside a grid, Enter as next field); the lookup protocol's phases; the
// stand-alone start that fails.
#include "FakeWorkCenter.h"
#include "MemoryProvider.h"
#include "SampleRadicalForm.h"
#include "TempTree.h"

#include "platform/DialogService.h"
#include "platform/WindowMessage.h"

#include <QApplication>
#include <QFileInfo>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kvx;
namespace r = kvx::rights;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// --- pure rules ---

TEST(RightsParse, OwnElementGrantsEditDeletePrintAndAddQueryAlways) {
    const TRightsSet s = ParseRights("QLDI05,N,N,NYYNNYNNYNNN,NNNNNNN,NNNNNNN");
    for (int b : {r::CanEdit, r::CanDelete, r::CanPrint, r::CanAdd, r::CanQuery})
        EXPECT_TRUE(s & r::bit(b)) << b;
    for (int b :
         {r::Position4, r::Position5, r::FieldListA, r::FieldListB, r::FieldListAReadOnly,
          r::FieldListBReadOnly, r::Position10, r::Position11, r::Position12, r::Element1, r::RecordLevel})
        EXPECT_FALSE(s & r::bit(b)) << b;
    EXPECT_EQ(s & r::range(0, 29), r::range(0, 14)); // every page usable, none refused
    EXPECT_EQ(s & r::range(46, 63), 0u);

    // Query is granted whatever the own element holds, even when it is missing.
    EXPECT_TRUE(ParseRights("QLDI05") & r::bit(r::CanQuery));
    EXPECT_EQ(ParseRights("QLDI05"), r::range(0, 14) | r::bit(r::CanQuery));
}

TEST(RightsParse, CharacterSevenReadOnlyUpperCaseOnly) {
    const TRightsSet readOnly = ParseRights("P,N,N,NNNNNNRRNNNN");
    EXPECT_TRUE(readOnly & r::bit(r::FieldListAReadOnly));
    EXPECT_TRUE(readOnly & r::bit(r::FieldListBReadOnly));
    EXPECT_FALSE(readOnly & r::bit(r::FieldListA));

    const TRightsSet lower = ParseRights("P,N,N,NNNNNNyrNNNN");
    for (int b : {r::FieldListA, r::FieldListAReadOnly, r::FieldListB, r::FieldListBReadOnly})
        EXPECT_FALSE(lower & r::bit(b)) << b; // neither "Y" nor "R": the list is disabled

    EXPECT_TRUE(ParseRights("P,N,N,NNNNNNYNNNNN") & r::bit(r::FieldListA));
}

TEST(RightsParse, ElementsOneAndTwoTakeEitherCase) {
    EXPECT_TRUE(ParseRights("P,N,y,N") & r::bit(r::RecordLevel));
    EXPECT_TRUE(ParseRights("P,N,Y,N") & r::bit(r::RecordLevel));
    EXPECT_FALSE(ParseRights("P,N,yes,N") & r::bit(r::RecordLevel));
    EXPECT_TRUE(ParseRights("P,y") & r::bit(r::Element1));
}

TEST(RightsParse, GroupElementsMapCharactersOneToSeven) {
    const TRightsSet s = ParseRights("P,N,N,N,YNNNNNY,NYNNNNNY");
    EXPECT_EQ(s & r::range(46, 63), r::bit(46) | r::bit(52) | r::bit(54)); // the 8th character is not read
}

TEST(RightsParse, EmptyPowerDataRefusesEveryPageButTheFirst) {
    EXPECT_EQ(ParseRights(QString()), r::range(15, 29));
    // The window's value before any parse: all commands, record-level rights, pages 7-14 refused.
    EXPECT_EQ(r::kDefault & r::range(15, 21), 0u);
    EXPECT_EQ(r::kDefault & r::range(22, 59), r::range(22, 59));
}

TEST(HostedTest, ModulePathExtensionDecidesElseTheExecutable) {
    QString path = "/opt/kvx/C_PKG/QLDI05C.EXE";
    EXPECT_FALSE(IsHostedModule(path, "/usr/bin/pellan"));
    path = "/opt/kvx/QLDI05C.Exe";
    EXPECT_FALSE(IsHostedModule(path, "/usr/bin/pellan"));
    path = "C:/KVX/QLDI05C.dll";
    EXPECT_TRUE(IsHostedModule(path, "/usr/bin/other"));
    path = "/opt/kvx/QLDI05C.so";
    EXPECT_TRUE(IsHostedModule(path, "/usr/bin/other"));

    path.clear();
    EXPECT_TRUE(IsHostedModule(path, "/opt/kvx/bin/Pellan"));
    EXPECT_TRUE(path.isEmpty());
    EXPECT_FALSE(IsHostedModule(path, "/opt/kvx/bin/QLDI05"));
    EXPECT_EQ(path, "/opt/kvx/bin/QLDI05"); // the program code then comes from the executable
}

TEST(ProgramCode, FileNameCutAfterItsLastDigitBeforeTheFirstDot) {
    EXPECT_EQ(ProgramCodeOf("/opt/kvx/C_PKG/QLDI05C.so"), "QLDI05");
    EXPECT_EQ(ProgramCodeOf("QLDI05C.so"), "QLDI05");
    EXPECT_EQ(ProgramCodeOf("/a.b/qldi05c.dll.bak"), "QLDI05");
    EXPECT_EQ(ProgramCodeOf("/opt/COP2I01X.so"), "COP2I01");
    EXPECT_EQ(ProgramCodeOf(""), "");
    EXPECT_EQ(ProgramCodeOf("/opt/NODIGITS.so"), "NODIGITS");
}

TEST(HelpNumber, KindOfTheFourthCharacter) {
    EXPECT_EQ(HelpNumberOf("QLDI05"), "1105");
    EXPECT_EQ(HelpNumberOf("COPQ01"), "1401");
    EXPECT_EQ(HelpNumberOf("INVa02"), "6402");
    EXPECT_EQ(HelpNumberOf("ACTM10"), "8410");
    EXPECT_EQ(HelpNumberOf("ACTX10"), "");
    EXPECT_EQ(HelpNumberOf("QLD"), "");
    EXPECT_EQ(HelpFieldPart("MB001"), "001");
    EXPECT_EQ(HelpFieldPart("MB0"), "0");
    EXPECT_EQ(HelpFieldPart("COMPANY"), "");
}

TEST(ToolBar, VisibleButtonsCloseUpInCreationOrder) {
    QWidget bar;
    QList<QToolButton*> buttons;
    for (int i = 0; i < 3; ++i) {
        buttons << new QToolButton(&bar);
        buttons.last()->resize(40 + 10 * i, 20);
        buttons.last()->move(500, 0);
    }
    buttons[1]->hide();
    ArrangeToolButtons(&bar);
    EXPECT_EQ(buttons[0]->x(), 0);
    EXPECT_EQ(buttons[2]->x(), 40);
    buttons[1]->show();
    ArrangeToolButtons(&bar);
    EXPECT_EQ(buttons[1]->x(), 40);
    EXPECT_EQ(buttons[2]->x(), 90);
}

// --- the window on fakes ---

class HelpWorkCenter : public brokertest::FakeWorkCenter {
public:
    HelpWorkCenter() {
        addRecorded("CallHelp", [](VariantList&) { return Variant(0); });
    }
};

// A server object that answers Whatis.
class FakeServer : public DispatchObject {
public:
    FakeServer() : DispatchObject("Fake.Server") {
        addMethod("Whatis", [](VariantList& a) { return Variant(a[0].toString() == "SQLTYPE" ? 1 : 0); });
        addMethod("GetRecCount", [](VariantList&) { return Variant(2); });
    }
};

class FakeDataModule : public TdmBase {
public:
    using TdmBase::TdmBase;
    QStringList loginInfo;
    bool connectResult = true;
    int connects = 0;
    bool ConnectServer() override {
        ++connects;
        Broker->LoginInfo = loginInfo;
        AppServer = Variant(std::shared_ptr<Dispatch>(std::make_shared<FakeServer>()));
        return connectResult;
    }
};

class TestForm : public TfrmRadicalSample {
public:
    QStringList loginInfo = {"USER_GROUP=SALES", "POWER_DATA=QLDI05,Y,y,NYYNNYRNYNNN,NYNNNNN,NNNNNNN",
                             "GROUP_LIST='SALES','SALES2'", "EX_POWER=BtnClear=N"};
    int closes = 0;

protected:
    TdmBase* CreateDataModule() override {
        auto* m = new FakeDataModule(this);
        m->loginInfo = loginInfo;
        return m;
    }
};

struct Env {
    kvxtest::TempTree tree;
    std::shared_ptr<HelpWorkCenter> wc = std::make_shared<HelpWorkCenter>();
    test::MemoryProvider provider;

    Env() {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        wc->catalogue.insert("E/000004", "没有权限资料!");
        wc->catalogue.insert("E/000038", "请从主程序执行!");
        wc->validator->checkResult = Variant::fromList({"文档传输设置作业", "  R05 "});
        wc->counter->sysInfo = Variant::fromList(
            {Variant::fromList({"SYS001", "SYS002", "KVX002"}), Variant::fromList({"2", "/", "演示公司"})});
        wc->counter->programs.insert("QLDI06", {"传输信息更新", "", "", ""});
        provider.table("pvdMain").fields = {FieldDesc("MB001", FieldType::String, 20),
                                            FieldDesc("MB002", FieldType::String, 1),
                                            FieldDesc("REMARK", FieldType::String, 20)};
        provider.table("pvdMain").rows << Row{"COPTC", "2", "x"} << Row{"INVMB", "1", "y"};
    }

    // A window created with a known module path (hosted), given the fake work center.
    std::unique_ptr<TestForm> window(const QString& module = "/opt/kvx/C_PKG/QLDI05C.so") {
        auto w = std::make_unique<TestForm>();
        w->ModulePath = module;
        w->AfterConstruction();
        w->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(wc)));
        return w;
    }
    static Variant params(int high = 4) {
        Variant p = Variant::array(0, high);
        const VariantList v{"CLERK", "DEMO", "DEMODB", 0, "ctx"};
        for (int i = 0; i <= high; ++i)
            p[i] = v[i];
        return p;
    }
    void openData(TestForm& w) {
        w.dm()->cdsMain->SetRemoteServer(&provider);
        w.dm()->cdsMain->SetPacketRecords(-1);
        w.dm()->cdsMain->Open();
    }
    static void showActive(QWidget& w) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    static QStringList texts() {
        QStringList out;
        for (const MessageRequest& r : DialogService::instance().shown())
            out << r.text.trimmed(); // catalogue texts come padded
        return out;
    }
};

TEST(RadicalStart, ConnectsReadsRightsAndSetsTheCaption) {
    Env env;
    auto w = env.window();
    EXPECT_TRUE(w->Hosted);
    EXPECT_EQ(w->RightsSet, r::kDefault);
    ASSERT_TRUE(w->Start(Env::params()));
    EXPECT_EQ(w->Caption(), "文档传输设置作业[演示公司]");
    EXPECT_EQ(w->Broker->ProgID, "QLDI05");
    EXPECT_EQ(w->Broker->UserID, "CLERK");
    EXPECT_EQ(w->Broker->DBName, "DEMODB");
    EXPECT_EQ(w->Broker->UserGroup, "SALES");
    EXPECT_EQ(w->RightsSet, ParseRights("QLDI05,Y,y,NYYNNYRNYNNN,NYNNNNN,NNNNNNN"));
    EXPECT_EQ(w->GroupList, "'SALES','SALES2'");
    EXPECT_EQ(w->ExtraRights, "BtnClear=N");
    EXPECT_EQ(w->DateFormatKind, 2);
    EXPECT_EQ(w->dm()->DateStyle, 2);
    EXPECT_EQ(w->dm()->DateSeparator, "/");
    EXPECT_EQ(w->SqlType, 1);
    EXPECT_EQ(w->PrintID, "R05");
    EXPECT_EQ(w->Environment.SessionValue, "DEMODB");
    EXPECT_EQ(w->HostContext.toString(), "ctx");
    EXPECT_EQ(w->dm()->Broker, w->Broker);
    const TLoginInfo li = w->GetLoginInfo();
    EXPECT_EQ(li.ProgID, "QLDI05");
    EXPECT_EQ(li.ProgramName, "文档传输设置作业");
    EXPECT_TRUE(Env::texts().isEmpty()) << Env::texts().join('|').toStdString();
}

TEST(RadicalStart, EmptyPowerDataShowsTheMessageAndRefusesEverything) {
    Env env;
    auto w = std::make_unique<TestForm>();
    w->loginInfo = {"USER_GROUP=SALES", "POWER_DATA="};
    w->ModulePath = "/opt/kvx/QLDI05C.so";
    w->AfterConstruction();
    w->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(env.wc)));
    ASSERT_TRUE(w->Start(Env::params()));
    EXPECT_EQ(w->RightsSet, r::range(15, 29));
    EXPECT_EQ(Env::texts(), QStringList{"没有权限资料!"});
    EXPECT_EQ(DialogService::instance().shown().first().type, MsgDlgType::Error);
}

TEST(RadicalStart, FailedConnectionKeepsTheDefaultRights) {
    Env env;
    auto w = env.window();
    static_cast<FakeDataModule*>(w->dm())->connectResult = false;
    ASSERT_TRUE(w->Start(Env::params()));
    EXPECT_EQ(w->RightsSet, r::kDefault);
    EXPECT_EQ(w->Broker->UserGroup, "");
    EXPECT_EQ(w->Caption(), "文档传输设置作业[演示公司]");
}

TEST(RadicalStart, HostedWithoutTheContextValueClosesTheWindow) {
    Env env;
    auto w = env.window();
    bool closed = false;
    w->OnClose = [&closed](QObject*, TCloseAction&) { closed = true; };
    w->show();
    ASSERT_TRUE(w->Start(Env::params(3)));
    EXPECT_FALSE(w->isVisible()); // Start hides the window
    EXPECT_EQ(Env::texts(), QStringList{"请从主程序执行!"});
    EXPECT_FALSE(closed);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(closed);
    // Outside the shell the missing value is no error: a fresh four-element array is kept.
    auto standalone = env.window("/opt/kvx/QLDI05C.exe");
    DialogService::instance().clear();
    standalone->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(env.wc)));
    ASSERT_TRUE(standalone->Start(Env::params(3)));
    EXPECT_FALSE(Env::texts().contains("请从主程序执行!"));
    EXPECT_EQ(standalone->HostContext.highBound(), 3);
}

TEST(RadicalStandAlone, WithoutAWorkCenterShowsErrorAndClosesAtFirstPaint) {
    Env env; // the tree's registry knows no work-center class
    auto w = env.window("/opt/kvx/QLDI05C.EXE");
    EXPECT_FALSE(w->Hosted);
    ASSERT_EQ(DialogService::instance().shown().size(), 1u);
    const MessageRequest& box = DialogService::instance().shown().first();
    EXPECT_EQ(box.caption, "Error!!");
    EXPECT_EQ(box.type, MsgDlgType::Error);
    EXPECT_TRUE(box.text.contains("PellanWorkCenter.Manager")) << box.text.toStdString();
    EXPECT_TRUE(w->CloseOnPaint);

    bool closed = false;
    w->OnClose = [&closed](QObject*, TCloseAction&) { closed = true; };
    w->show();
    EXPECT_FALSE(closed);
    w->grab(); // paints
    EXPECT_FALSE(w->CloseOnPaint);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(w->isVisible());
}

TEST(RadicalLinks, RunLinkedProgramAndOtherTitlesGoThroughTheBroker) {
    Env env;
    auto w = env.window();
    ASSERT_TRUE(w->Start(Env::params()));
    env.wc->execRc = 0;
    EXPECT_EQ(w->RunLinkedProgram("QLDI06", "TB001='A'"), 0);
    const brokertest::Call* call = env.wc->last("ExecWork");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[0].at(2).toString(), "QLDI06");
    EXPECT_EQ(call->args[1].toString(), "TB001='A'");
    EXPECT_EQ(call->args[2].at(0).toInt(), 0);
    EXPECT_EQ(call->args[2].at(1).toInt(), 0);
    EXPECT_TRUE(call->args[2].at(2).isUnassigned());
    EXPECT_EQ(w->GetOtherProgramTitle("QLDI06"), "传输信息更新");
}

// --- keys on a shown window ---

class RadicalKeys : public ::testing::Test {
protected:
    Env env;
    std::unique_ptr<TestForm> w;
    void SetUp() override {
        w = env.window();
        ASSERT_TRUE(w->Start(Env::params()));
        env.openData(*w);
        Env::showActive(*w);
    }
    QString lastHelpKey() const {
        const brokertest::Call* c = env.wc->last("CallHelp");
        return c ? c->args[0].toString() + "/" + c->args[1].toString() : QString();
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
};

TEST_F(RadicalKeys, HelpKeyFollowsTheFocusedFieldOrGrid) {
    w->edMB001->focusTarget()->setFocus();
    QTest::keyClick(focused(), Qt::Key_F1);
    EXPECT_EQ(lastHelpKey(), "QLD/11051001");

    w->edMB005->setDataField("REMARK"); // no digit as third character
    w->edMB005->focusTarget()->setFocus();
    QTest::keyClick(focused(), Qt::Key_F1);
    EXPECT_EQ(lastHelpKey(), "QLD/11050000");

    w->gdHead->view()->setFocus();
    w->gdHead->setCurrentColumn(1); // MB002
    QTest::keyClick(focused(), Qt::Key_F1);
    EXPECT_EQ(lastHelpKey(), "QLD/11052002");

    w->gdHead->setCurrentColumn(2); // REMARK
    QTest::keyClick(focused(), Qt::Key_F1);
    EXPECT_EQ(lastHelpKey(), "QLD/11050000");
    EXPECT_EQ(env.wc->count("CallHelp"), 4);
}

TEST_F(RadicalKeys, NoHelpForAProgramCodeWithoutAHelpKind) {
    w->ModulePath = "/opt/kvx/QLDX05C.so";
    w->edMB001->focusTarget()->setFocus();
    QTest::keyClick(focused(), Qt::Key_F1);
    EXPECT_EQ(env.wc->count("CallHelp"), 0);
}

TEST_F(RadicalKeys, F2InsideTheGridCallsTheLookupButKeepsTheFocus) {
    w->gdHead->view()->setFocus();
    QTest::keyClick(focused(), Qt::Key_F2);
    EXPECT_EQ(w->KeyJournal, QStringList{"F2 gdHead 0"});
    EXPECT_TRUE(w->gdHead->isAncestorOf(focused())); // the grid's own F2 may open its cell editor

    w->edMB001->focusTarget()->setFocus();
    QTest::keyClick(focused(), Qt::Key_F3);
    EXPECT_EQ(w->KeyJournal.last(), "F3 edMB001 0");
}

TEST_F(RadicalKeys, LookupMessagesMoveTheFocusToTheirControlUnlessItIsAGrid) {
    w->edMB001->focusTarget()->setFocus();
    QCoreApplication::sendEvent(w.get(), new MessageEvent(WM_USER + 10, 0, w->edMB002));
    EXPECT_EQ(w->KeyJournal.last(), "F2 edMB002 0");
    EXPECT_TRUE(w->edMB002->isAncestorOf(focused()) || focused() == w->edMB002);

    QCoreApplication::sendEvent(w.get(), new MessageEvent(WM_USER + 11, 0, w->gdHead));
    EXPECT_EQ(w->KeyJournal.last(), "F3 gdHead 0");
    EXPECT_TRUE(w->edMB002->isAncestorOf(focused()) || focused() == w->edMB002);
}

TEST_F(RadicalKeys, EnterMovesToTheNextFieldButNotInsideTheGrid) {
    w->edMB001->focusTarget()->setFocus();
    QTest::keyClick(focused(), Qt::Key_Return);
    EXPECT_TRUE(w->edMB002->isAncestorOf(focused())) << focused()->metaObject()->className();
    QTest::keyClick(focused(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(w->edMB005->isAncestorOf(focused()));

    w->gdHead->view()->setFocus();
    QWidget* grid = focused();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(w->gdHead->isAncestorOf(focused()));
}

// --- the lookup protocol ---

class FakeLookupParam : public TLookupParam {
public:
    Variant openParam, returned;
    int dateKind = 0;
    QString separator, caption, codePage;
    bool groupA = false, groupB = false, fastInput = true;
    TextConversion toUI, toData;
    void SetFF2OpenParam(const Variant& p) override { openParam = p; }
    void SetDateFormat(int k, const QString& s) override {
        dateKind = k;
        separator = s;
    }
    void SetFieldGroupsVisible(bool a, bool b) override {
        groupA = a;
        groupB = b;
    }
    void SetFastInput(bool on) override { fastInput = on; }
    void SetConversions(TextConversion a, TextConversion b) override {
        toUI = std::move(a);
        toData = std::move(b);
    }
    void SetCaption(const QString& c) override { caption = c; }
    void SetUICodePage(const QString& c) override { codePage = c; }
    Variant ReturnValue() const override { return returned; }
};

TEST(RadicalLookup, PhasesFillTheParametersThenTakeTheResult) {
    Env env;
    auto w = env.window();
    ASSERT_TRUE(w->Start(Env::params()));
    FakeLookupParam param;
    w->GetBaseClassParam(w->edMB001, &param);
    EXPECT_EQ(w->KeyJournal, QStringList{"F2 edMB001 1"});
    EXPECT_EQ(w->LookupPhase(), 0);
    EXPECT_EQ(param.openParam.toList(), (VariantList{"QLDMB", "MB001"}));
    EXPECT_EQ(param.dateKind, 2);
    EXPECT_EQ(param.separator, "/");
    EXPECT_TRUE(param.groupA);  // own character 7 "R"
    EXPECT_FALSE(param.groupB); // own character 8 "N"
    EXPECT_FALSE(param.fastInput);
    EXPECT_EQ(param.caption, "文档传输设置作业[演示公司]");
    EXPECT_EQ(param.codePage, "936");
    ASSERT_TRUE(param.toUI && param.toData);
    EXPECT_EQ(param.toUI("abc"), "abc");

    param.returned = "COPTC";
    w->SetReturn(w->edMB001, &param);
    EXPECT_EQ(w->KeyJournal.last(), "F2 edMB001 2");
    EXPECT_EQ(w->TakenResult.toString(), "COPTC");
    EXPECT_EQ(w->LookupPhase(), 0);

    // A program that fails while filling still leaves the phase at 0.
    struct Throwing : TestForm {
        void DoF2Key(int&, QObject*) override { throw std::runtime_error("lookup refused"); }
    };
    auto t = std::make_unique<Throwing>();
    t->ModulePath = "/opt/QLDI05C.so";
    t->AfterConstruction();
    EXPECT_THROW(t->GetBaseClassParam(nullptr, &param), std::runtime_error);
    EXPECT_EQ(t->LookupPhase(), 0);
}

} // namespace

namespace {

TEST_F(RadicalKeys, CtrlAltVShowsThePropertiesOfTheModuleFile) {
    w->ModulePath = TfrmRadical::ExecutablePath(); // a file that exists
    w->edMB001->focusTarget()->setFocus();
    DialogService::instance().clear();
    QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(DialogService::instance().shown().size(), 1u);
    const QString name = QFileInfo(w->ModulePath).fileName();
    EXPECT_EQ(DialogService::instance().shown().first().caption, name + " 属性");
    EXPECT_TRUE(DialogService::instance().shown().first().text.contains(name));

    w->ModulePath = "/nonexistent/QLDI05C.so"; // nothing to show, nothing shown
    QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(DialogService::instance().shown().size(), 1u);
}

} // namespace
