// The base maintenance window on an in-memory provider and a fake work center: its layout, the command
// states by rights, host mask, extra rights and rows, record-level rights, the record counter, the
// required-field list and check, the edit states driven by real key presses and menu clicks with the
// scripted dialog service answering, the delete that the server refuses, field rights and user defaults.
#include "FakeWorkCenter.h"
#include "MemoryProvider.h"
#include "TempTree.h"
#include "TestBaseForm.h"

#include "controls/StatusBar.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Field.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Every right of the own group, record-level rights off.
const char* kFullRights = "QLDI05,N,N,NYYYYYYYYYYY,YYYYYYY,YYYYYYY";

class CountingServer : public DispatchObject {
public:
    int count = 57;
    CountingServer() : DispatchObject("Fake.Server") {
        addMethod("GetRecCount", [this](VariantList&) { return Variant(count); });
    }
};

struct Env {
    kvxtest::TempTree tree;
    kvxtest::ScopedEnv sysCodePage{"KVX_CODEPAGE", "936"};
    test::MemoryProvider provider;
    std::shared_ptr<brokertest::FakeWorkCenter> wc = std::make_shared<brokertest::FakeWorkCenter>();
    std::shared_ptr<CountingServer> server = std::make_shared<CountingServer>();
    std::unique_ptr<TfrmBaseTest> w;

    explicit Env(int rows = 3, int packet = -1, const QString& uiCodePage = "936") {
        tree.writeText("client/StaveloC.ini",
                       QStringLiteral("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(uiCodePage));
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        wc->catalogue.insert("C/000001", "确定删除此笔资料吗?");
        wc->catalogue.insert("C/000002", "资料已更改, 确定放弃吗?");
        wc->catalogue.insert("C/000004", "确定放弃新增的资料吗?");
        wc->catalogue.insert("D/000001", "是否保存新增的资料?");
        wc->catalogue.insert("D/000002", "是否保存更改的资料?");
        wc->catalogue.insert("E/000003", "%s 不可为空白!");
        wc->catalogue.insert("E/000007", "删除失败!");
        FieldDesc key("MB001", FieldType::String, 20);
        key.inKey = true;
        auto& t = provider.table("pvdMain");
        t.fields = {key,
                    FieldDesc("MB002", FieldType::String, 1),
                    FieldDesc("MB005", FieldType::String, 40),
                    FieldDesc("CREATOR", FieldType::String, 10),
                    FieldDesc("USR_GROUP", FieldType::String, 10),
                    FieldDesc("FLAG", FieldType::Float)};
        for (int i = 1; i <= rows; ++i)
            t.rows << Row{QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0')),
                          "1",
                          QStringLiteral("remark %1").arg(i),
                          "DS",
                          "ADMIN",
                          1.0};
        server->count = rows;

        w = std::make_unique<TfrmBaseTest>();
        w->ModulePath = "/opt/kvx/C_PKG/QLDI05C.so";
        w->AfterConstruction();
        w->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(wc)));
        TBrokers* b = w->Broker;
        b->ProgID = "QLDI05";
        b->UserID = "DS";
        b->CompanyID = "DEMO";
        b->DBName = "DEMO";
        TdmBase* dm = w->dm();
        dm->Broker = b;
        dm->KeyFields = "MB001";
        dm->ServerDate = "20261209";
        dm->AppServer = Variant(std::shared_ptr<Dispatch>(server));
        dm->cdsMain->SetRemoteServer(&provider);
        dm->cdsMain->SetPacketRecords(packet);
        setRights(kFullRights);
    }
    ~Env() { w.reset(); }

    void setRights(const char* powerData) {
        w->RightsSet = ParseRights(QString::fromLatin1(powerData));
        w->LoadRights();
    }
    void open() {
        ASSERT_TRUE(w->OpenMainData(w->dm()->cdsMain, {}, {}));
        w->dm()->cdsMain->FieldByName("MB005")->SetDisplayLabel("备注");
        w->UpdateRecordInfo(w->dm()->cdsMain);
    }
    void showActive() {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    TClientDataSet* cds() const { return w->dm()->cdsMain; }
    static QStringList texts() {
        QStringList out;
        for (const MessageRequest& r : DialogService::instance().shown())
            out << r.text.trimmed();
        return out;
    }
    QString panel(int i) const { return w->Status->panel(i)->Text(); }
    bool storedKey(const QString& key) {
        for (const Row& r : provider.table("pvdMain").rows)
            if (r.value(0).toString() == key) return true;
        return false;
    }
};

// --- layout ---

TEST(BaseLayout, StatusBarToolbarMenusAndTheirTag) {
    Env env;
    TfrmBase& w = *env.w;
    ASSERT_EQ(w.Status->Panels()->Count(), 5);
    const QList<std::pair<QString, int>> panels = {
        {"浏览", 40}, {"", 400}, {"单据笔数", 50}, {"0/0", 50}, {"", 60}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.Status->panel(i)->Text(), panels[i].first) << i;
        EXPECT_EQ(w.Status->panel(i)->Width(), panels[i].second) << i;
    }
    // Toolbar buttons in command order, each with its image and its disabled look.
    QStringList names, hints;
    for (QObject* c : w.ToolBar1->children())
        if (auto* b = qobject_cast<TToolButton*>(c)) {
            names << b->objectName();
            hints << b->toolTip();
            EXPECT_EQ(b->Tag(), TfrmBase::kFrameworkTag);
            if (b->IsSeparator()) {
                EXPECT_EQ(b->width(), 8);
                continue;
            }
            EXPECT_EQ(b->size(), QSize(25, 25));
            const QImage normal = b->icon().pixmap(18, 18, QIcon::Normal).toImage();
            const QImage disabled = b->icon().pixmap(18, 18, QIcon::Disabled).toImage();
            EXPECT_FALSE(normal.isNull()) << b->objectName().toStdString();
            EXPECT_NE(normal, disabled) << b->objectName().toStdString();
        }
    EXPECT_EQ(names,
              QStringList({"btnAdd", "btnQuery", "btnEdit", "btnDelete", "btnPrint", "ToolButton1",
                           "btnFirst", "btnPrior", "btnNext", "btnLast", "btnReFresh", "ToolButton6"}));
    EXPECT_EQ(hints.mid(0, 5), QStringList({"新增", "查询", "更改", "删除", "打印"}));
    EXPECT_EQ(w.btnLast->toolTip(), "最后一个");
    EXPECT_EQ(w.btnReFresh->toolTip(), "重取");
    // Buttons close up left to right.
    EXPECT_EQ(w.btnQuery->x() - w.btnAdd->x(), 25);
    EXPECT_EQ(w.btnFirst->x() - w.btnPrint->x(), 25 + 8);

    // Menus: captions, shortcuts and separators in order.
    QStringList top;
    for (QAction* a : w.MainMenu->actions())
        top << a->text();
    EXPECT_EQ(top, QStringList({"资料(&D)", "功能(&F)", "退出(&X)"}));
    auto items = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator()
                        ? "-" + a->objectName()
                        : a->text() + (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString()));
        return out;
    };
    EXPECT_EQ(items(w.MenuItem1),
              QStringList({"新增(&A) F5", "查询(&Q) F6", "更改(&E) F7", "删除(&D) F8", "查看文档(&V) F10",
                           "-shit", "第一个(&F) Ctrl+H", "上一个(&P)", "下一个(&N)", "最后一个(&L) Ctrl+E"}));
    EXPECT_EQ(items(w.MenuItem11), QStringList({"工具栏(&S) Ctrl+S", "管理字段(&M) Ctrl+M", "-N9",
                                                "保存视图(&G)", "-mnSp", "快速定位(&F) Ctrl+F"}));
    EXPECT_EQ(items(w.MenuItem16), QStringList({"退出(&X)"}));
    EXPECT_TRUE(w.miToolBar->isChecked());
    EXPECT_FALSE(w.miViewItem->isVisible());
    for (QObject* o : std::initializer_list<QObject*>{w.MainMenu, w.MenuItem1, w.MenuItem11, w.miAdd, w.shit,
                                                      w.ImageList1, w.Status, w.ToolBar1})
        EXPECT_EQ(o->property("Tag").toInt(), TfrmBase::kFrameworkTag) << o->objectName().toStdString();
    EXPECT_EQ(w.ImageList1->Count(), 10);
}

// --- command states ---

TEST(BaseCommands, EmptyDatasetDisablesRowCommandsAndHidesViewDocument) {
    Env env(0);
    env.w->DocumentField = "cdsMain:MB001";
    env.open();
    TfrmBase& w = *env.w;
    for (QAction* a : {w.miEdit, w.miDelete, w.miFirst, w.miPrior, w.miNext, w.miLast})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QAbstractButton* b : {(QAbstractButton*)w.btnEdit, (QAbstractButton*)w.btnDelete,
                               (QAbstractButton*)w.btnPrint, (QAbstractButton*)w.btnLast})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(w.miViewItem->isVisible());
    EXPECT_TRUE(w.miAdd->isEnabled());
    EXPECT_TRUE(w.btnAdd->isEnabled());
    EXPECT_TRUE(w.miQuery->isEnabled());
    EXPECT_EQ(env.panel(3), "0"); // no current record: the total alone

    // With rows the same rights enable them all, and the view-document item appears.
    env.provider.table("pvdMain").rows << Row{"K001", "1", "x", "DS", "ADMIN", 1.0};
    env.server->count = 1;
    env.open();
    for (QAction* a : {w.miEdit, w.miDelete, w.miFirst, w.miPrior, w.miNext, w.miLast, w.miViewItem})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(w.btnPrint->isEnabled());
    EXPECT_TRUE(w.miViewItem->isVisible());
    EXPECT_EQ(env.panel(3), "1/1");
}

TEST(BaseCommands, HostMaskKeepsAddOffUntilExtraRightsNameTheButton) {
    Env env;
    env.open();
    TfrmBase& w = *env.w;
    w.CommandMask = 511 & ~1;
    w.UpdateCommands();
    EXPECT_FALSE(w.miAdd->isEnabled());
    EXPECT_FALSE(w.btnAdd->isEnabled());
    EXPECT_TRUE(w.miEdit->isEnabled());

    // Items without "=" or a name are skipped; any value but "Y" disables.
    w.ExtraRights = "btnAdd=Y;junk;=N;BTNEDIT=y;miDelete=N";
    w.UpdateCommands();
    EXPECT_TRUE(w.btnAdd->isEnabled());
    EXPECT_FALSE(w.miAdd->isEnabled()); // only the named component
    EXPECT_FALSE(w.btnEdit->isEnabled());
    EXPECT_FALSE(w.miDelete->isEnabled());
    EXPECT_TRUE(w.btnDelete->isEnabled());
}

TEST(BaseCommands, RightsAndMaskBitsPerCommand) {
    Env env;
    env.open();
    TfrmBase& w = *env.w;
    // Own characters: 2 edit, 3 delete, 6 print, 9 add; query always.
    env.setRights("QLDI05,N,N,NYNNNNNNNNNN");
    EXPECT_TRUE(w.miEdit->isEnabled());
    EXPECT_FALSE(w.miDelete->isEnabled());
    EXPECT_FALSE(w.btnPrint->isEnabled());
    EXPECT_FALSE(w.miAdd->isEnabled());
    EXPECT_TRUE(w.miQuery->isEnabled());
    env.setRights(kFullRights);
    for (auto [bit, action] : {std::pair{2, w.miEdit}, std::pair{4, w.miQuery}, std::pair{8, w.miDelete}}) {
        w.CommandMask = quint16(511 & ~bit);
        w.UpdateCommands();
        EXPECT_FALSE(action->isEnabled()) << bit;
    }
    w.CommandMask = 511 & ~16;
    w.UpdateCommands();
    EXPECT_FALSE(w.btnPrint->isEnabled());
}

TEST(BaseRights, RecordLevelRightsFollowTheCreatorsGroup) {
    Env env;
    auto& rows = env.provider.table("pvdMain").rows;
    rows[0] = Row{"K001", "1", "", "BOB", "WH", 1.0};
    rows[1] = Row{"K002", "1", "", "", "", 1.0};
    env.open();
    TfrmBase& w = *env.w;
    // Record-level on; own: nothing; same group: edit and delete; other group: delete only.
    env.setRights("QLDI05,N,Y,NNNNNNNNNNNN,NYYNNNN,NNYNNNN");
    w.GroupList = "'SALES','WH2'";
    w.UpdateRecordInfo(env.cds());
    EXPECT_FALSE(w.CanEdit);
    EXPECT_TRUE(w.CanDelete);
    EXPECT_FALSE(w.miEdit->isEnabled());
    EXPECT_TRUE(w.miDelete->isEnabled());

    w.GroupList = "\"SALES\",\"WH\"";
    w.UpdateRecordInfo(env.cds());
    EXPECT_TRUE(w.CanEdit);
    EXPECT_TRUE(w.CanDelete);

    // A record without a creator takes the own group's rights.
    env.cds()->Next(); // a scroll reaches UpdateRecordInfo through the data module
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "K002");
    EXPECT_FALSE(w.CanEdit);
    EXPECT_FALSE(w.CanDelete);
    EXPECT_FALSE(w.miDelete->isEnabled());
}

TEST(BaseCounter, ShowsThePositionAgainstTheServersRowCount) {
    Env env(57, 20);
    env.open();
    EXPECT_EQ(env.cds()->RecordCount(), 20);
    EXPECT_EQ(env.panel(3), "1/57");
    env.w->miNextClick();
    EXPECT_EQ(env.panel(3), "2/57");
    env.w->miLastClick(); // to the last fetched row
    EXPECT_EQ(env.panel(3), "20/57");
    env.w->miLastClick(); // at the end: the next packet
    EXPECT_GT(env.cds()->RecordCount(), 20);
    env.w->miFirstClick();
    EXPECT_EQ(env.panel(3), "1/57");
    env.w->miPriorClick(); // already at the beginning
    EXPECT_EQ(env.panel(3), "1/57");
}

// --- required fields ---

TEST(BaseRequired, ListsAreNormalisedAndMerged) {
    Env env;
    TfrmBase& w = *env.w;
    w.SetRequiredFields("cdsMain:MB002, MB004;cdsDetail:MD003;CDSMAIN: MB004,MB001 ,,MB002");
    EXPECT_EQ(w.RequiredFields(), "cdsDetail:MD003;cdsMain:MB002,MB004,MB001");
    w.SetRequiredFields(";:MB001;cdsX:;cdsY: , ;cdsMain:MB001");
    EXPECT_EQ(w.RequiredFields(), "cdsMain:MB001");
    w.AddRequiredFields("cdsMain:MB005;cdsDetail:MD001");
    EXPECT_EQ(w.RequiredFields(), "cdsMain:MB001,MB005;cdsDetail:MD001");
    w.AddRequiredFields("");
    EXPECT_EQ(w.RequiredFields(), "cdsMain:MB001,MB005;cdsDetail:MD001");
}

TEST(BaseRequired, BlankFieldOnTheSecondSheetIsShownAndFocused) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    w.SetRequiredFields("cdsMain:MB001,MB005");
    w.pgMain->setActivePage(w.tbsMain);
    QTest::keyClick(&w, Qt::Key_F7);
    ASSERT_EQ(w.EditState, TfrmBase::esEdit);
    EXPECT_EQ(env.panel(0), "更改");
    env.cds()->FieldByName("MB005")->SetAsString("   ");
    EXPECT_FALSE(w.DoSave());
    EXPECT_EQ(Env::texts(), QStringList{"备注 不可为空白!"});
    EXPECT_EQ(w.pgMain->ActivePage(), w.tbsOther);
    EXPECT_TRUE(w.edMB005->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == w.edMB005);
    EXPECT_EQ(w.EditState, TfrmBase::esEdit);
    EXPECT_EQ(env.cds()->State(), TDataSetState::dsEdit);
    // In Browse nothing is checked.
    w.EditState = TfrmBase::esBrowse;
    EXPECT_TRUE(w.CheckRequired(env.cds()));
}

// --- edit states by keys and menus ---

TEST(BaseStates, AddByKeyThenCloseAnsweredNoDiscardsWithoutAFurtherQuestion) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_EQ(w.EditState, TfrmBase::esAdd);
    EXPECT_EQ(env.cds()->State(), TDataSetState::dsInsert);
    EXPECT_EQ(env.panel(0), "新增");
    EXPECT_EQ(w.LastWhere, "1=2");
    EXPECT_FALSE(w.miAdd->isEnabled());
    EXPECT_FALSE(w.miExit->isEnabled());
    env.cds()->FieldByName("MB001")->SetAsString("NEW");
    DialogService::instance().queueAnswer(mrNo);
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Env::texts(), QStringList{"是否保存新增的资料?"});
    EXPECT_TRUE(DialogService::instance().shown().first().noDefaultButton);
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_FALSE(env.storedKey("NEW"));
    EXPECT_EQ(w.Saves, 0);
}

TEST(BaseStates, CloseInEditAnsweredCancelStaysAndYesSaves) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    w.miEdit->trigger();
    ASSERT_EQ(w.EditState, TfrmBase::esEdit);
    env.cds()->FieldByName("MB005")->SetAsString("changed");
    DialogService::instance().queueAnswer(mrCancel);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.EditState, TfrmBase::esEdit);
    DialogService::instance().queueAnswer(mrYes);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.Saves, 1);
    EXPECT_EQ(env.provider.table("pvdMain").rows[0].value(2).toString(), "changed");
    EXPECT_EQ(Env::texts(), QStringList({"是否保存更改的资料?", "是否保存更改的资料?"}));
}

TEST(BaseStates, EscapeInEditAsksOnlyAfterAChangeAndInBrowseCloses) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    QTest::keyClick(&w, Qt::Key_F7);
    ASSERT_EQ(w.EditState, TfrmBase::esEdit);
    QTest::keyClick(&w, Qt::Key_Escape); // nothing changed: no question
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_TRUE(Env::texts().isEmpty());
    EXPECT_TRUE(w.isVisible());

    QTest::keyClick(&w, Qt::Key_F7);
    env.cds()->FieldByName("MB005")->SetAsString("changed");
    DialogService::instance().queueAnswer(mrCancel);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(Env::texts(), QStringList{"资料已更改, 确定放弃吗?"});
    EXPECT_EQ(w.EditState, TfrmBase::esEdit);
    EXPECT_EQ(env.panel(0), "更改");
    DialogService::instance().queueAnswer(mrOk);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_EQ(env.cds()->FieldByName("MB005")->AsString(), "remark 1");
    EXPECT_TRUE(w.miEdit->isEnabled());

    QTest::keyClick(&w, Qt::Key_Escape); // Browse: the window closes
    EXPECT_FALSE(w.isVisible());
}

TEST(BaseStates, CancelInAddAsksItsOwnQuestionAndOneShotClears) {
    Env env;
    env.open();
    TfrmBaseTest& w = *env.w;
    ASSERT_TRUE(w.DoAdd(true));
    env.cds()->FieldByName("MB001")->SetAsString("NEW");
    w.OneShot = true;
    w.ReturnValue = Variant(5);
    DialogService::instance().queueAnswer(mrOk);
    EXPECT_TRUE(w.DoCancel(true));
    EXPECT_EQ(Env::texts(), QStringList{"确定放弃新增的资料吗?"});
    EXPECT_TRUE(w.ReturnValue.isUnassigned());
    EXPECT_FALSE(env.cds()->Active());
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
}

TEST(BaseStates, RefusedCancelAfterAFailedSaveCancelsAllTheSame) {
    Env env;
    env.open();
    TfrmBaseTest& w = *env.w;
    ASSERT_TRUE(w.DoEdit());
    env.cds()->FieldByName("MB005")->SetAsString("changed");
    w.SaveFailed = true;
    DialogService::instance().queueAnswer(mrCancel);
    EXPECT_FALSE(w.DoCancel(true));
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_EQ(env.cds()->FieldByName("MB005")->AsString(), "remark 1");
    EXPECT_FALSE(w.SaveFailed); // reset with the command states
}

// --- delete ---

TEST(BaseDelete, AsksWithCancelAsDefaultAndDeletesOnlyOnOk) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    DialogService::instance().queueAnswer(mrCancel);
    QTest::keyClick(&w, Qt::Key_F8);
    EXPECT_TRUE(env.storedKey("K001"));
    ASSERT_EQ(DialogService::instance().shown().size(), 1);
    EXPECT_EQ(DialogService::instance().shown().first().defaultButton, mbCancel);
    EXPECT_EQ(env.cds()->RecordCount(), 3);

    DialogService::instance().queueAnswer(mrOk);
    w.btnDelete->click();
    EXPECT_FALSE(env.storedKey("K001"));
    EXPECT_EQ(env.cds()->RecordCount(), 2);
    EXPECT_EQ(env.panel(3), "1/2");
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
}

TEST(BaseDelete, ARowRemovedMeanwhileComesBackAndIsReported) {
    Env env;
    env.open();
    TfrmBaseTest& w = *env.w;
    env.cds()->Next();
    ASSERT_EQ(env.cds()->FieldByName("MB001")->AsString(), "K002");
    env.provider.table("pvdMain").rows.removeAt(1); // another client deleted it
    const auto before = env.provider.table("pvdMain").rows;
    DialogService::instance().queueAnswer(mrOk);
    EXPECT_FALSE(w.DoDelete(true));
    EXPECT_EQ(Env::texts(), QStringList({"确定删除此笔资料吗?", "删除失败!"}));
    EXPECT_EQ(env.cds()->RecordCount(), 3); // nothing deleted on the screen only
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "K002");
    EXPECT_EQ(env.cds()->ChangeCount(), 0);
    EXPECT_EQ(env.provider.table("pvdMain").rows, before);
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_TRUE(w.miDelete->isEnabled());
    EXPECT_EQ(env.panel(3), "2/3");
    // The failure is in the alert log.
    QDir log(env.tree.clientPath() + "Log");
    bool logged = false;
    for (const QString& f : log.entryList({"Alert_BaseCF-484*"}, QDir::Files))
        logged = logged || !f.isEmpty();
    EXPECT_TRUE(logged) << log.path().toStdString();
}

// --- keys, toolbar, management fields ---

TEST(BaseKeys, LookupKeysOnReadOnlyControlsEndSilently) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    w.edMB002->setFocus();
    QTest::keyClick(w.edMB002, Qt::Key_F2);
    EXPECT_EQ(w.KeyJournal, QStringList{"F2 edMB002"});
    w.edMB001->setReadOnly(true);
    w.edMB001->setFocus();
    QTest::keyClick(w.edMB001, Qt::Key_F2);
    QTest::keyClick(w.edMB001, Qt::Key_F3);
    EXPECT_EQ(w.KeyJournal, QStringList{"F2 edMB002"}); // the program's step never ran
    EXPECT_TRUE(Env::texts().isEmpty());
    EXPECT_TRUE(w.isVisible());
}

TEST(BaseKeys, ToolbarToggleAndManagementFieldsByShortcut) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(w.ToolBar1->isVisible());
    EXPECT_FALSE(w.miToolBar->isChecked());
    w.miToolBar->trigger();
    EXPECT_TRUE(w.ToolBar1->isVisible());
    QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(w.miManager->isChecked());
    EXPECT_TRUE(env.cds()->FieldByName("CREATOR")->Visible());
    EXPECT_TRUE(env.cds()->FieldByName("CREATOR")->ReadOnly());
    QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(env.cds()->FieldByName("CREATOR")->Visible());
}

TEST(BaseKeys, NavigationShortcutsAndTheFindItemFollowTheGrid) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "K003");
    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "K001");
    w.edMB001->setFocus();
    w.MenuItem11Click();
    EXPECT_FALSE(w.mnSearch->isEnabled());
    w.gdHead->setFocus();
    w.MenuItem11Click();
    EXPECT_TRUE(w.mnSearch->isEnabled());
}

TEST(BaseKeys, AFailingCommandIsShownAndTheCommandsStayConsistent) {
    Env env;
    env.open();
    env.showActive();
    TfrmBaseTest& w = *env.w;
    w.FailQuery = true;
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(Env::texts(), QStringList{"the query server is gone"});
    EXPECT_EQ(w.EditState, TfrmBase::esBrowse);
    EXPECT_TRUE(w.miQuery->isEnabled());
    EXPECT_TRUE(w.miEdit->isEnabled());
    w.btnQuery->click(); // the toolbar runs the same guarded command
    EXPECT_EQ(Env::texts().size(), 2);
}

TEST(BaseKeys, HelpKeyInBrowseIsTheProgramTopic) {
    Env env;
    env.open();
    EXPECT_EQ(env.w->GetHelpKey("1105"), "11050000");
}

// --- connection, field rights, user defaults, view document ---

TEST(BaseStatus, StatusModeTexts) {
    Env env;
    env.w->EditState = TfrmBase::esEdit;
    env.w->SetState(TfrmBase::esBrowse);
    EXPECT_EQ(env.panel(0), "浏览");
    env.w->SetStatusMode(TfrmBase::smInsert);
    EXPECT_EQ(env.panel(0), "新增");
    Env english(3, -1, "437");
    english.w->SetState(TfrmBase::esEdit);
    EXPECT_EQ(english.panel(0), "Edit");
    english.w->SetStatusMode(TfrmBase::smInsert);
    EXPECT_EQ(english.panel(0), "Insert");
    english.w->SetState(TfrmBase::esBrowse);
    EXPECT_EQ(english.panel(0), "Browse");
}

TEST(BaseFieldRights, ListsBecomeReadOnlyOrDisabled) {
    Env env;
    env.open();
    TfrmBaseTest& w = *env.w;
    w.FieldListA = "cdsMain:MB005";
    w.FieldListB = "cdsMain:MB002;cdsNone:MB001";
    // Position 7 "R", position 8 neither "Y" nor "R".
    w.RightsSet = ParseRights("QLDI05,N,N,NYYYYYRNYYYY");
    w.ApplyFieldRights();
    EXPECT_TRUE(w.edMB005->ReadOnly());
    EXPECT_FALSE(w.edMB005->TabStop());
    EXPECT_TRUE(env.cds()->FieldByName("MB005")->ReadOnly());
    EXPECT_EQ(w.edMB002->DataField(), "");
    EXPECT_FALSE(w.edMB002->isEnabled());
    EXPECT_FALSE(env.cds()->FieldByName("MB002")->Visible());
    EXPECT_EQ(w.edMB001->DataField(), "MB001"); // a list naming an unknown dataset is skipped
}

TEST(BaseUserDefine, TrueOnlyForTheTextTrueDefaultsOtherwise) {
    Env env;
    TfrmBase& w = *env.w;
    w.Broker->Counter = Variant(std::shared_ptr<Dispatch>(env.wc->counter));
    env.wc->counter->counterAnswer = "<InputSettings><IsFocusPageOne>False</IsFocusPageOne></InputSettings>";
    EXPECT_FALSE(w.GetUserDefine("InputSettings001", "IsFocusPageOne", true));
    EXPECT_TRUE(w.GetUserDefine("InputSettings002", "IsKeepOnAdd", true)); // no such element
    env.wc->counter->counterAnswer = "<X><IsKeepOnAdd>True</IsKeepOnAdd></X>";
    EXPECT_TRUE(w.GetUserDefine("InputSettings002", "IsKeepOnAdd", false));
    env.wc->counter->counterAnswer = "<X><IsKeepOnAdd>true</IsKeepOnAdd></X>";
    EXPECT_FALSE(w.GetUserDefine("InputSettings002", "IsKeepOnAdd", true));
    env.wc->counter->counterAnswer = "not xml <";
    EXPECT_TRUE(w.GetUserDefine("InputSettings002", "IsKeepOnAdd", true));
}

TEST(BaseViewDocument, AMissingDocumentServerIsSaidPlainly) {
    Env env;
    env.open();
    TfrmBase& w = *env.w;
    w.Broker->Validator = Variant(std::shared_ptr<Dispatch>(env.wc->validator));
    env.wc->validator->checkResult = Variant::fromList({"DOC-1", "v2"});
    EXPECT_FALSE(w.DoViewDocument()); // no document field
    w.DocumentField = "cdsMain:MB001";
    EXPECT_FALSE(w.DoViewDocument());
    ASSERT_EQ(Env::texts().size(), 1);
    EXPECT_TRUE(Env::texts().first().contains("VoskC.VOSKClass1")) << Env::texts().first().toStdString();
    EXPECT_EQ(DialogService::instance().shown().first().type, MsgDlgType::Error);
    // No document for the value: nothing is created, nothing shown.
    DialogService::instance().clear();
    env.wc->validator->checkResult = Variant::fromList({""});
    EXPECT_FALSE(w.DoViewDocument());
    EXPECT_TRUE(Env::texts().isEmpty());
}

} // namespace
