// A program derived from the single-table window over a scratch table of the real application server
// (created in process): start and connection, the saved-scheme menu, adding with carry-over values,
// editing and saving, deleting with the attachment clean-up, both exports, the colour filter and a
// drill-down link with an apostrophe in the record's value.
#include "SampleSingleForm.h"
#include "TempTree.h"

#include "CounterServer.h"
#include "Storage.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "query/KvQBE.h"

#include <QDir>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The shell's work center reduced to what the window uses: the application server's counter object
// serves as counter and validator, message texts are their kind and code.
class ServerWorkCenter : public DispatchObject {
public:
    std::shared_ptr<Dispatch> counter = CreateOleObject("KvxCounter.Class1");
    ServerWorkCenter() : DispatchObject("Test.WorkCenter") {
        addMethod("Com_Validator", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_Counter", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_F2Window", [](VariantList&) { return Variant(); });
        addMethod("GetMessage",
                  [](VariantList& a) { return Variant(a[0].toString() + "/" + a[1].toString() + " %s"); });
        addMethod("VersionType", [](VariantList&) { return Variant(2); });
        addMethod("ProductID", [](VariantList&) { return Variant(5); });
    }
};

struct ServerEnv {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxsrv::Storage> db;
    std::shared_ptr<ServerWorkCenter> wc;
    std::unique_ptr<TfrmSingleSample> w;

    ServerEnv() {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        for (const char* id : {"TRIVON.Class1", "Halvex.Class1", "KvxCounter.Class1"})
            tree.setRegistryValue("Library", KVX_APPSERVER_LIB, QStringLiteral("Classes\\") + id);
        tree.setRegistryValue("Factory", "CreateTrivonServer", "Classes\\TRIVON.Class1");
        tree.setRegistryValue("Factory", "CreateHalvexServer", "Classes\\Halvex.Class1");
        tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
        tree.setRegistryValue("Library", KVX_SPREADSHEET_LIB, "Classes\\Excel.Application");
        tree.setRegistryValue("Factory", "CreateSpreadsheetApplication", "Classes\\Excel.Application");
        tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n");
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
        createScratchProgram();
        wc = std::make_shared<ServerWorkCenter>();
    }
    ~ServerEnv() { w.reset(); }

    // The program SFMI01 over the table SFMTB: the program master row, the users' rights, a saved scheme,
    // a colour rule, a drill-down link and an attachment of the first record.
    void createScratchProgram() {
        db->exec("CREATE TABLE SFMTB (MB001 VARCHAR(20) NOT NULL PRIMARY KEY, MB002 VARCHAR(1) NOT NULL "
                 "DEFAULT '1', "
                 "MB005 VARCHAR(60) NOT NULL DEFAULT '', N INTEGER NOT NULL DEFAULT 0, RATE FLOAT NOT NULL "
                 "DEFAULT 0, "
                 "COMPANY VARCHAR(10) NOT NULL DEFAULT '', CREATOR VARCHAR(10) NOT NULL DEFAULT '', "
                 "USR_GROUP VARCHAR(10) NOT NULL DEFAULT '', CREATE_DATE VARCHAR(8) NOT NULL DEFAULT '', "
                 "MODIFIER VARCHAR(10), MODI_DATE VARCHAR(8), "
                 "FLAG FLOAT NOT NULL DEFAULT 0)");
        for (const QVariantList& r :
             {QVariantList{"O'K", "1", "first", 1, 0.1}, QVariantList{"T2", "2", "second", 2, 0.2},
              QVariantList{"T3", "3", "third", 3, 0.3}})
            db->exec("INSERT INTO SFMTB (MB001, MB002, MB005, N, RATE, COMPANY, CREATOR, USR_GROUP, "
                     "CREATE_DATE, FLAG) "
                     "VALUES (?, ?, ?, ?, ?, 'DEMO', 'DS', 'ADMIN', '20261201', 1)",
                     r);
        db->exec(
            "INSERT INTO ADMMB SELECT 'SFMI01', '单表测试作业', 'SFMR01', MB004, 'SFMTB', 'MB001', "
            "'SELECT MB001,MB002,MB005,N,RATE,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,MODI_DATE,FLAG "
            "FROM SFMTB', MB008, MB009, MB010, '單表測試作業', 'Single table test', '单表测试作业', MB014, "
            "MB015, MB016, 'SFMI01C.so', COMPANY, CREATOR, USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG "
            "FROM ADMMB WHERE MB001 = 'QLDI05'");
        db->exec(
            "INSERT INTO KVXMF SELECT MF001, 'SFMI01', MF003, MF004, MF005, MF006, MF007, MF008, MF009, "
            "COMPANY, "
            "CREATOR, USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG FROM KVXMF WHERE MF002 = 'QLDI05'");
        // An advanced-page scheme: row limit, BEL, the condition, then empty order and flags.
        db->exec("INSERT INTO DOCUS (NCONDITION, CREATOR, PROGRAMME, VCONDITION, ActivePage, CREATE_DATE) "
                 "VALUES ('只看汇出', 'DS', 'SFMI01', ?, 1, '20261201')",
                 {QStringLiteral("500") + QChar(7) + QStringLiteral("(SFMTB.MB002 = '2')") + QChar(3) +
                  QChar(3) + QStringLiteral("0") + QChar(3)});
        db->exec(
            "INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006, MR007, MR008, MR009, MR010, MR011) "
            "VALUES ('SFMI01', '01', '', 'MB001', 'MB001', 'INVI02', 'MB001', 'MB001', '', '', 1)");
        db->exec("INSERT INTO ATTACH (Parent, KeyValues, CompanyID, DocID, FileName, Creator, CreateDate) "
                 "VALUES ('SFMI01', 'O''K', 'DEMO', 'D1', 'a.txt', 'DS', '20261201')");
        db->exec("INSERT INTO ATTACH (Parent, KeyValues, CompanyID, DocID, FileName, Creator, CreateDate) "
                 "VALUES ('SFMI01', 'T2', 'DEMO', 'D2', 'b.txt', 'DS', '20261201')");
    }

    void start() {
        w = std::make_unique<TfrmSingleSample>();
        w->ModulePath = "/opt/kvx/C_PKG/SFMI01C.so";
        w->AfterConstruction();
        w->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(wc)));
        Variant p = Variant::array(0, 4);
        const VariantList v{"DS", "DEMO", "DEMO", 0, "ctx"};
        for (int i = 0; i <= 4; ++i)
            p[i] = v[i];
        ASSERT_TRUE(w->Start(p)) << DialogService::instance().lastText().toStdString();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TClientDataSet* cds() const { return w->dm()->cdsMain; }
    QVariant cell(const QString& column, const QString& key) {
        return db->scalar(QStringLiteral("SELECT %1 FROM SFMTB WHERE MB001 = ?").arg(column), {key});
    }
    int attachments(const QString& key) {
        return db->scalar("SELECT COUNT(*) FROM ATTACH WHERE Parent = 'SFMI01' AND KeyValues = ?", {key})
            .toInt();
    }
};

} // namespace

TEST(SingleOnServer, StartsOnTheScratchTableWithItsSavedSchemeAndLinks) {
    ServerEnv env;
    env.start();
    EXPECT_EQ(env.w->Broker->ProgID, "SFMI01");
    EXPECT_EQ(env.w->dm()->MainTable, "SFMTB");
    ASSERT_TRUE(env.cds()->Active());
    EXPECT_EQ(env.cds()->RecordCount(), 3);
    // The saved scheme of this user and program is a menu item of the query button.
    ASSERT_EQ(env.w->mnCondition->actions().size(), 1);
    EXPECT_EQ(env.w->mnCondition->actions()[0]->text(), "只看汇出");
    EXPECT_EQ(env.w->mnCondition->actions()[0]->objectName(), "mnu0");
    EXPECT_EQ(env.w->btnQuery->menu(), env.w->mnCondition);
    // The query dialog is built at its first use, not at start-up.
    EXPECT_EQ(env.w->findChild<kvx::TQBEForm*>(), nullptr);
    // Choosing it runs the scheme's query.
    env.w->mnCondition->actions()[0]->trigger();
    ASSERT_EQ(env.cds()->RecordCount(), 1) << DialogService::instance().lastText().toStdString();
    EXPECT_NE(env.w->findChild<kvx::TQBEForm*>(), nullptr);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "T2");
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsBrowse);
    env.w->OpenMainData(env.cds(), QString(), "MB001");
    EXPECT_TRUE(env.w->LinkFields.contains("MB001"));
    // The link of the record whose key holds an apostrophe.
    ASSERT_TRUE(env.cds()->Locate("MB001", "O'K"));
    for (int c = 0; c < env.w->gdHead->columnCount(); ++c)
        if (env.w->gdHead->column(c)->FieldName() == "MB001") env.w->gdHead->setCurrentColumn(c);
    env.w->FollowLink(env.w->gdHead, env.cds());
    EXPECT_EQ(env.w->LinkJournal, QStringList({"INVI02|MB001='O''K'"}));
}

TEST(SingleOnServer, AddsWithCarryOverEditsSavesAndDeletesWithTheAttachments) {
    ServerEnv env;
    env.start();
    env.w->KeepOnAdd = true;
    env.w->dm()->CarryOverValues = {"MB005="};
    ASSERT_TRUE(env.w->DoAdd(true));
    env.cds()->FieldByName("MB001")->SetAsString("N1");
    env.cds()->FieldByName("MB002")->SetAsString("2");
    env.cds()->FieldByName("MB005")->SetAsString("carried");
    ASSERT_TRUE(env.w->DoSave()) << [] {
        QStringList all;
        for (const MessageRequest& r : DialogService::instance().shown())
            all << r.text;
        return all.join(" | ").toStdString();
    }();
    EXPECT_EQ(env.cell("MB005", "N1").toString(), "carried");
    EXPECT_EQ(env.cell("CREATOR", "N1").toString(), "DS");
    // Keep-on-add: the next record is open with the carried value.
    ASSERT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_EQ(env.cds()->FieldByName("MB005")->AsString(), "carried");
    env.cds()->FieldByName("MB001")->SetAsString("N2");
    env.cds()->FieldByName("MB002")->SetAsString("1");
    env.w->KeepOnAdd = false;
    ASSERT_TRUE(env.w->DoSave());
    EXPECT_EQ(env.cell("MB005", "N2").toString(), "carried");
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);

    // Edit and save.
    env.w->OpenMainData(env.cds(), QString(), "MB001");
    ASSERT_TRUE(env.cds()->Locate("MB001", "T2"));
    ASSERT_TRUE(env.w->DoEdit());
    env.cds()->FieldByName("MB005")->SetAsString("edited");
    ASSERT_TRUE(env.w->DoSave());
    EXPECT_EQ(env.cell("MB005", "T2").toString(), "edited");
    EXPECT_EQ(env.cell("MODIFIER", "T2").toString(), "DS");

    // Delete: the record and then its attachments; another record's attachments stay.
    ASSERT_EQ(env.attachments("T2"), 1);
    DialogService::instance().queueAnswer(mrOk);
    ASSERT_TRUE(env.w->DoDelete(true)) << DialogService::instance().lastText().toStdString();
    EXPECT_FALSE(env.cell("MB001", "T2").isValid());
    EXPECT_EQ(env.attachments("T2"), 0);
    EXPECT_EQ(env.attachments("O'K"), 1);

    // The record with an apostrophe in its key loses exactly its own attachments.
    ASSERT_TRUE(env.cds()->Locate("MB001", "O'K"));
    DialogService::instance().queueAnswer(mrOk);
    ASSERT_TRUE(env.w->DoDelete(true));
    EXPECT_EQ(env.attachments("O'K"), 0);
}

TEST(SingleOnServer, ExportsBothWaysAndFiltersByColourConditions) {
    ServerEnv env;
    env.start();
    ASSERT_TRUE(env.w->miTable2Excel->isEnabled());
    // Both exports ask whether to open the file: No.
    DialogService::instance().queueAnswer(mrNo);
    env.w->miTable2Excel->trigger();
    DialogService::instance().queueAnswer(mrNo);
    env.w->miTable2Excel2->trigger();
    const QString folder = env.w->dm()->ExportFolder();
    const QStringList files = QDir(folder).entryList({"SFMI01_*"}, QDir::Files);
    EXPECT_EQ(files.size(), 2) << folder.toStdString() << " "
                               << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(QDir(folder).entryList({"*.xlsx"}, QDir::Files).size(), 1);
    EXPECT_EQ(QDir(folder).entryList({"*.xls"}, QDir::Files).size(), 1);

    // Two colour conditions on top of the current query, against the server's SQL.
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "N>=2", "MB001"));
    env.w->ColorConditions = {{"汇出", "MB002='2'", "255", "", true}, {"汇入", "MB002='3'", "", "", true}};
    env.w->ApplyColorFilter();
    EXPECT_EQ(env.cds()->RecordCount(), 2);
    EXPECT_EQ(env.w->LastWhere, "N>=2");
    env.w->ColorMenuClick(1);
    ASSERT_EQ(env.cds()->RecordCount(), 1);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "T3");
    // A condition the server refuses: the error is shown and the unfiltered data come back.
    DialogService::instance().clear();
    env.w->ColorConditions = {{"坏", "NOSUCHCOLUMN=1", "", "", true}};
    env.w->ApplyColorFilter();
    EXPECT_TRUE(DialogService::instance().lastText().contains("颜色筛选出错！！"))
        << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(env.cds()->RecordCount(), 2);
}
