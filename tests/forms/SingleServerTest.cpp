// A program derived from the single-table window over a scratch table of the real application server
// (created in process) whose audit columns are NOT NULL: start and connection, the saved-scheme menu,
// adding with carry-over values, editing and saving, deleting with the attachment clean-up, both exports
// read back from the written files, the colour filter through the program's rules and the colour query
// form, and a drill-down link with an apostrophe in the record's value.
#include "SampleSingleForm.h"
#include "ScratchServer.h"
#include "TempTree.h"
#include "XlsReader.h"
#include "XlsxReader.h"

#include "CounterServer.h"
#include "Storage.h"
#include "UserDefines.h"
#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "query/KvColorQBE.h"
#include "query/KvQBE.h"
#include "server/StartReads.h"

#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <thread>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct ServerEnv : kvxtest::ScratchSingleEnv<kvxtest::ScratchWorkCenter> {
    ServerEnv() {
        createScratchProgram();
        wc = std::make_shared<kvxtest::ScratchWorkCenter>();
    }

    // The program SFMI01 over the table SFMTB: the program master row, the users' rights, a saved scheme,
    // a colour rule, a drill-down link and an attachment of the first record.
    void createScratchProgram() {
        db->exec("CREATE TABLE SFMTB (MB001 VARCHAR(20) NOT NULL PRIMARY KEY, MB002 VARCHAR(1) NOT NULL "
                 "DEFAULT '1', "
                 "MB005 VARCHAR(60) NOT NULL DEFAULT '', N INTEGER NOT NULL DEFAULT 0, RATE FLOAT NOT NULL "
                 "DEFAULT 0, "
                 "COMPANY VARCHAR(10) NOT NULL DEFAULT '', CREATOR VARCHAR(10) NOT NULL DEFAULT '', "
                 "USR_GROUP VARCHAR(10) NOT NULL DEFAULT '', CREATE_DATE VARCHAR(8) NOT NULL DEFAULT '', "
                 "MODIFIER VARCHAR(10) NOT NULL DEFAULT '', MODI_DATE VARCHAR(8) NOT NULL DEFAULT '', "
                 "FLAG FLOAT NOT NULL DEFAULT 0)");
        for (const QVariantList& r :
             {QVariantList{"O'K", "1", "first", 1, 0.1}, QVariantList{"T2", "2", "second", 2, 0.2},
              QVariantList{"T3", "3", "third", 3, 0.3}})
            db->exec("INSERT INTO SFMTB (MB001, MB002, MB005, N, RATE, COMPANY, CREATOR, USR_GROUP, "
                     "CREATE_DATE, FLAG) "
                     "VALUES (?, ?, ?, ?, ?, 'DEMO', 'DS', 'ADMIN', '20261201', 1)",
                     r);
        kvxtest::registerScratchProgram(*db);
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
        // Colour rules of the grid; the third names a column the table does not have.
        db->exec("INSERT INTO ADMNH (NH001, NH002, NH003) VALUES ('SFMI01', '方式颜色', ?)",
                 {QStringLiteral(
                     "<colormanager><head><component name=\"gdHead\" enable=\"Y\">"
                     "<condition value=\"MB002 = '2'\" colorx=\"8388608\" bkcolor=\"16771276\" "
                     "msg=\"汇出\"/>"
                     "<condition value=\"MB002 = '3'\" colorx=\"25600\" bkcolor=\"14087638\" "
                     "msg=\"汇入\"/>"
                     "<condition value=\"NOSUCHCOLUMN = 1\" colorx=\"255\" bkcolor=\"\" msg=\"坏规则\"/>"
                     "</component></head></colormanager>")});
    }

    // Colour management on for this user and program, stored through the server's counter.
    void colourManagementOn() {
        ASSERT_EQ(
            kvxsrv::UserDefines(*db).set("DEMO", "DS", "SFMI01", "InputSettings003/IsColorManage", "True"),
            QString());
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

// The counter reads of a start, read ahead by another counter object on a thread of its own (as the
// controller does while it builds the window), are exactly the calls the start makes: every answer is
// taken, and the window starts as without them.
TEST(SingleOnServer, AStartTakesEveryAnswerReadAheadForIt) {
    ServerEnv env;
    Variant answers;
    std::thread reader([&] {
        auto counter = CreateOleObject(QLatin1String(server::kCounterClass));
        answers = counter->call("ReadAhead", {server::ProgramStartReads("SFMI01", "DS", "DEMO", "DEMO")});
    });
    reader.join();
    const int listed = int(env.wc->counter->call("UseReadAhead", {answers}).toInt());
    EXPECT_EQ(listed, server::ProgramStartReads("SFMI01", "DS", "DEMO", "DEMO").toList().size());
    env.start();
    EXPECT_EQ(env.wc->counter->call("UseReadAhead").toInt(), listed);
    EXPECT_EQ(env.w->Broker->GetProgramName(), "Single table test"); // the program record's 437 title
    EXPECT_EQ(env.w->Broker->GetSysParam("KVX002"), env.db
                                                        ->scalar("SELECT SP003 FROM ADMSP WHERE SP001 = "
                                                                 "'DEMO' AND SP002 = 'KVX002'")
                                                        .toString());
    EXPECT_EQ(env.cds()->RecordCount(), 3);
    EXPECT_TRUE(env.w->LinkFields.contains("MB001"));
    ASSERT_EQ(env.w->mnCondition->actions().size(), 1);
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
    // The audit columns are NOT NULL: a new record carries its creation stamp and empty modification
    // fields, never NULL.
    EXPECT_EQ(env.cell("COMPANY", "N2").toString(), "DEMO");
    EXPECT_EQ(env.cell("USR_GROUP", "N2").toString(), env.w->Broker->UserGroup);
    EXPECT_EQ(env.cell("FLAG", "N2").toInt(), 1);
    EXPECT_EQ(env.cell("MODIFIER IS NULL", "N2").toInt(), 0);
    EXPECT_EQ(env.cell("MODIFIER", "N2").toString(), "");
    EXPECT_EQ(env.cell("MODI_DATE", "N2").toString(), "");
    // A fresh add forgets the carried value; the empty remark is stored as an empty text.
    ASSERT_TRUE(env.w->DoAdd(true));
    EXPECT_EQ(env.cds()->FieldByName("MB005")->AsString(), "");
    env.cds()->FieldByName("MB001")->SetAsString("N3");
    env.cds()->FieldByName("MB002")->SetAsString("1");
    ASSERT_TRUE(env.w->DoSave()) << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(env.cell("MB005 IS NULL", "N3").toInt(), 0);
    EXPECT_EQ(env.cell("MB005", "N3").toString(), "");

    // Edit and save.
    env.w->OpenMainData(env.cds(), QString(), "MB001");
    ASSERT_TRUE(env.cds()->Locate("MB001", "T2"));
    ASSERT_TRUE(env.w->DoEdit());
    env.cds()->FieldByName("MB005")->SetAsString("edited");
    ASSERT_TRUE(env.w->DoSave());
    EXPECT_EQ(env.cell("MB005", "T2").toString(), "edited");
    EXPECT_EQ(env.cell("MODIFIER", "T2").toString(), "DS");
    EXPECT_EQ(env.cell("MODI_DATE", "T2").toString().size(), 8);
    EXPECT_EQ(env.cell("FLAG", "T2").toInt(), 2);

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

namespace {
// The keys of an exported sheet's column headed `label`, below the header row (rows and columns from 0).
QStringList xlsColumn(const kvxtest::XlsSheet& sheet, const QString& label) {
    QStringList out;
    if (sheet.cells.empty()) return out;
    for (size_t c = 0; c < sheet.cells[0].size(); ++c)
        if (sheet.cells[0][c].text == label)
            for (size_t r = 1; r < sheet.cells.size(); ++r)
                out << (sheet.cells[r][c].kind == kvxtest::XlsCell::Number
                            ? QString::number(sheet.cells[r][c].number)
                            : sheet.cells[r][c].text);
    return out;
}
QStringList xlsxColumn(const kvxtest::XlsxReader& book, const QString& label) {
    QStringList out;
    for (int c = 1; c <= 64; ++c)
        if (book.cell(0, 1, c).value == label)
            for (int r = 2; r <= book.rowCount(0); ++r)
                out << book.cell(0, r, c).value;
    return out;
}
} // namespace

TEST(SingleOnServer, ExportsBothWaysAndFiltersByColourConditions) {
    ServerEnv env;
    env.colourManagementOn();
    env.start();
    ASSERT_TRUE(env.w->ColorManage);
    ASSERT_TRUE(env.w->miTable2Excel->isEnabled());
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), QString(), "MB001"));
    // Both exports ask whether to open the file: No.
    DialogService::instance().queueAnswer(mrNo);
    env.w->miTable2Excel->trigger();
    DialogService::instance().queueAnswer(mrNo);
    env.w->miTable2Excel2->trigger();
    const QString folder = env.w->dm()->ExportFolder();
    const QStringList xlsx = QDir(folder).entryList({"SFMI01_*.xlsx"}, QDir::Files);
    const QStringList xls = QDir(folder).entryList({"SFMI01_*.xls"}, QDir::Files);
    ASSERT_EQ(xlsx.size(), 1) << folder.toStdString() << " "
                              << DialogService::instance().lastText().toStdString();
    ASSERT_EQ(xls.size(), 1);
    // Both files hold the three records under the fields' labels, in the data's order.
    const QString keyLabel = env.cds()->FieldByName("MB001")->DisplayLabel();
    const QString nLabel = env.cds()->FieldByName("N")->DisplayLabel();
    const kvxtest::XlsxReader book(folder + "/" + xlsx[0]);
    ASSERT_TRUE(book.ok()) << book.error().toStdString();
    EXPECT_EQ(book.sheetNames(), QStringList({"SFMI01"}));
    EXPECT_EQ(xlsxColumn(book, keyLabel), QStringList({"O'K", "T2", "T3"}));
    EXPECT_EQ(xlsxColumn(book, nLabel), QStringList({"1", "2", "3"}));
    const std::vector<kvxtest::XlsSheet> sheets = kvxtest::readXlsWorkbook(folder + "/" + xls[0]);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(xlsColumn(sheets[0], keyLabel), QStringList({"O'K", "T2", "T3"}));
    EXPECT_EQ(xlsColumn(sheets[0], nLabel), QStringList({"1", "2", "3"}));

    // The colour rules of the program give the colour-filter button and its menu.
    ASSERT_TRUE(env.w->btnColorQuery->isVisible());
    TColorQBEForm* form = env.w->ColorQueryForm();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(env.w->pmColorCondition->actions().size(), 3);
    // Two rules chosen in the colour query form, on top of the current query.
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "N>=2", "MB001"));
    QTimer::singleShot(0, form, [form] {
        ASSERT_EQ(form->RuleBoxes().size(), 3);
        QTest::mouseClick(form->RuleBoxes()[0]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(form->RuleBoxes()[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(form, Qt::Key_Return);
    });
    QTest::mouseClick(env.w->btnColorQuery, Qt::LeftButton, {},
                      QPoint(6, env.w->btnColorQuery->height() / 2));
    EXPECT_EQ(env.cds()->RecordCount(), 2) << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(env.w->LastWhere, "N>=2");
    // The menu's second rule alone.
    env.w->pmColorCondition->actions()[1]->trigger();
    ASSERT_EQ(env.cds()->RecordCount(), 1);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "T3");
    // A rule the server refuses: the error is shown and the unfiltered data come back.
    DialogService::instance().clear();
    env.w->pmColorCondition->actions()[2]->trigger();
    EXPECT_TRUE(DialogService::instance().lastText().contains("颜色筛选出错！！"))
        << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(env.cds()->RecordCount(), 2);
    EXPECT_EQ(env.w->LastWhere, "N>=2");
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);
}
