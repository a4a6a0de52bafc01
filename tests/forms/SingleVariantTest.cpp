// The differences between the current and the older build, on a program derived from the single-table
// window over a scratch table of the real application server (created in process). The same source is
// built twice: forms_single_variant_test links the module libraries as they are (current build) and
// forms_single_older_test adds entry/OlderBuild.cpp, so every check below is seen to hold in the one build
// and to fail in the other. Browsing, querying, editing and saving work alike in both.
#include "SampleSingleForm.h"
#include "ScratchServer.h"
#include "TempTree.h"

#include "Storage.h"
#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/StatusBar.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "platform/SocketConnection.h"
#include "query/OptionsCF.h"
#include "server/BuildVariant.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

bool older() {
    return Features().variant == BuildVariant::Older;
}

// The scratch work center recording help requests.
class VariantWorkCenter : public kvxtest::ScratchWorkCenter {
public:
    QList<VariantList> helpCalls;
    VariantWorkCenter() {
        addMethod("CallHelp", [this](VariantList& a) {
            helpCalls << a;
            return Variant(0);
        });
    }
};

struct VariantEnv : kvxtest::ScratchSingleEnv<VariantWorkCenter> {
    VariantEnv() {
        createScratchProgram();
        wc = std::make_shared<VariantWorkCenter>();
    }

    // The program SFMI01 over the table SFMTB with everything the current build uses beyond editing:
    // a colour definition, an automatic user-defined field rule, the user's colour-management option
    // switched on, and attachments of two records.
    void createScratchProgram() {
        db->exec("CREATE TABLE SFMTB (MB001 VARCHAR(20) NOT NULL PRIMARY KEY, MB002 VARCHAR(1) NOT NULL "
                 "DEFAULT '1', MB005 VARCHAR(60) NOT NULL DEFAULT '', N INTEGER NOT NULL DEFAULT 0, "
                 "RATE FLOAT NOT NULL DEFAULT 0, COMPANY VARCHAR(10) NOT NULL DEFAULT '', "
                 "CREATOR VARCHAR(10) NOT NULL DEFAULT '', USR_GROUP VARCHAR(10) NOT NULL DEFAULT '', "
                 "CREATE_DATE VARCHAR(8) NOT NULL DEFAULT '', MODIFIER VARCHAR(10), MODI_DATE VARCHAR(8), "
                 "FLAG FLOAT NOT NULL DEFAULT 0)");
        for (const QVariantList& r :
             {QVariantList{"T1", "1", "first", 1, 0.1}, QVariantList{"T2", "2", "second", 2, 0.2},
              QVariantList{"T3", "3", "third", 3, 0.3}})
            db->exec("INSERT INTO SFMTB (MB001, MB002, MB005, N, RATE, COMPANY, CREATOR, USR_GROUP, "
                     "CREATE_DATE, FLAG) VALUES (?, ?, ?, ?, ?, 'DEMO', 'DS', 'ADMIN', '20261201', 1)",
                     r);
        kvxtest::registerScratchProgram(*db);
        db->exec("INSERT INTO ADMNH (NH001, NH002, NH003) VALUES ('SFMI01', 'colours', "
                 "'<colormanager><head><component name=\"gdHead\" enable=\"Y\">"
                 "<condition value=\"MB002=''2''\" colorx=\"255\" bkcolor=\"''\" msg=\"汇出\"/>"
                 "</component></head></colormanager>')");
        db->exec("INSERT INTO ADMTK (TK001, TK002, TK003) VALUES ('Z01901', 'rule', 'Y')");
        db->exec("INSERT INTO ADMTL (TL001, TL002, TL003, TL005, TL006, TL010, TL011, TL012, TL013) "
                 "VALUES ('Z01901', 1, 'SFMI01', 'Z01', 'N', 'Y', 1, 'SFMTB.MB005;', 'R901')");
        db->exec("INSERT INTO USRDEF (UD001, UD002, UD003, UD004, UD005) VALUES ('DEMO', 'DS', 'SFMI01', "
                 "'InputSettings003', '<InputSettings003><IsColorManage>True</IsColorManage>"
                 "</InputSettings003>')");
        for (const char* key : {"T1", "T2"})
            db->exec(
                "INSERT INTO ATTACH (Parent, KeyValues, CompanyID, DocID, FileName, Creator, CreateDate) "
                "VALUES ('SFMI01', ?, 'DEMO', 'D1', 'a.txt', 'DS', '20261201')",
                {QString::fromLatin1(key)});
    }

    void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target && w->isAncestorOf(target) ? target : static_cast<QWidget*>(w.get()), key,
                        mods);
    }
};

QStringList menuTexts(const QMenuBar* bar) {
    QStringList out;
    for (const QMenu* m : bar->findChildren<QMenu*>())
        for (const QAction* a : m->actions())
            out << a->text();
    return out;
}

} // namespace

TEST(BuildVariants, BrowseQueryEditAndSaveWorkAlike) {
    VariantEnv env;
    env.start();
    ASSERT_TRUE(env.cds()->Active());
    EXPECT_EQ(env.cds()->RecordCount(), 3);
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "SFMTB.MB002 = '2'", "MB001"));
    ASSERT_EQ(env.cds()->RecordCount(), 1);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "T2");
    env.press(Qt::Key_F7);
    ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
    env.cds()->FieldByName("MB005")->SetAsString("edited");
    env.press(Qt::Key_F12);
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse) << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(env.cell("MB005", "T2").toString(), "edited");
    EXPECT_EQ(env.cell("MODIFIER", "T2").toString(), "DS");
}

TEST(BuildVariants, ColourManagementExistsOnlyInTheCurrentBuild) {
    VariantEnv env;
    env.start();
    const bool present = !older();
    EXPECT_EQ(env.w->dm()->cdsMainColor != nullptr, present);
    EXPECT_EQ(env.w->dm()->findChild<QObject*>("cdsMainColor") != nullptr, present);
    EXPECT_EQ(env.w->dm()->findChild<QObject*>("dsMainColor") != nullptr, present);
    EXPECT_EQ(env.w->findChild<QObject*>("btnColorQuery") != nullptr, present);
    EXPECT_EQ(env.w->findChild<QMenu*>("pmColorCondition") != nullptr, present);
    // The user switched colour management on: only the current build reads the colour rules.
    EXPECT_EQ(env.w->ColorManage, present);
    EXPECT_EQ(env.w->ColorComponents() != nullptr, present);
    EXPECT_EQ(env.w->ColorConditions.size(), present ? 1 : 0);
    EXPECT_EQ(env.w->ColorQueryForm() != nullptr, present);
    EXPECT_EQ(env.w->btnColorQuery && env.w->btnColorQuery->isVisible(), present);
    // A save refreshes the colour marks where they exist and nothing breaks where they do not.
    ASSERT_TRUE(env.cds()->Locate("MB001", "T3"));
    ASSERT_TRUE(env.w->DoEdit());
    env.cds()->FieldByName("MB005")->SetAsString("saved");
    ASSERT_TRUE(env.w->DoSave());
    EXPECT_EQ(env.cell("MB005", "T3").toString(), "saved");
}

TEST(BuildVariants, OnlyTheCurrentBuildConnectsTheLookupServer) {
    VariantEnv env;
    env.start();
    ASSERT_NE(env.w->dm()->scLookUpData, nullptr);
    EXPECT_EQ(env.w->dm()->scLookUpData->connected(), !older());
    // Asked again, the older build still does not connect.
    env.w->dm()->ConnectLookupServer();
    EXPECT_EQ(env.w->dm()->scLookUpData->connected(), !older());
}

TEST(BuildVariants, OnlyTheCurrentBuildLoadsAutomaticUdfRules) {
    VariantEnv env;
    env.start();
    ASSERT_EQ(env.w->UdfRules.size(), older() ? 0 : 1);
    if (older()) return;
    EXPECT_EQ(env.w->UdfRules[0].ruleId, "R901");
    EXPECT_EQ(env.w->UdfRules[0].sourceFields.value(0).data(), env.cds()->FieldByName("MB005"));
}

TEST(BuildVariants, OnlyTheCurrentBuildRemovesTheAttachmentsOfADeletedRecord) {
    VariantEnv env;
    env.start();
    ASSERT_TRUE(env.cds()->Locate("MB001", "T2"));
    DialogService::instance().queueAnswer(mrOk);
    ASSERT_TRUE(env.w->DoDelete(true)) << DialogService::instance().lastText().toStdString();
    EXPECT_FALSE(env.cell("MB001", "T2").isValid());
    EXPECT_EQ(env.attachments("T2"), older() ? 1 : 0);
    EXPECT_EQ(env.attachments("T1"), 1);
}

TEST(BuildVariants, RunModeElevenImportsOnlyInTheCurrentBuild) {
    VariantEnv env;
    env.start();
    env.w->RunMode = 11;
    env.w->HostCondition =
        "<dataimport headfields=\"MB001|MB002|MB005\" bodyfields=\"\">"
        "<r><head><row MB001=\"X1\" MB002=\"1\" MB005=\"imported\"/></head></r></dataimport>";
    env.w->AfterShow();
    EXPECT_EQ(env.cell("MB005", "X1").toString(), older() ? QString() : QString("imported"));
    EXPECT_EQ(env.w->CloseAfterShow, !older());
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);
}

TEST(BuildVariants, TheTextExportWritesAFileOnlyInTheCurrentBuild) {
    VariantEnv env;
    env.start();
    DialogService::instance().clear();
    DialogService::instance().queueAnswer(mrNo);
    env.w->miTable2Excel2->trigger();
    const QDir folder(env.w->dm()->ExportFolder());
    // The current build writes the workbook file itself (.xls); the older one fills the spreadsheet
    // application's sheet with the displayed texts and has the application save it (.xlsx).
    const QStringList xls = folder.entryList({"SFMI01_*.xls"}, QDir::Files);
    const QStringList xlsx = folder.entryList({"SFMI01_*.xlsx"}, QDir::Files);
    EXPECT_EQ(xls.size(), older() ? 0 : 1) << DialogService::instance().lastText().toStdString();
    EXPECT_EQ(xlsx.size(), older() ? 1 : 0);
    EXPECT_TRUE(DialogService::instance().lastText().startsWith("转出文档: \r"))
        << DialogService::instance().lastText().toStdString();
}

TEST(BuildVariants, OnlyTheCurrentBuildHasTheFindCommand) {
    VariantEnv env;
    env.start();
    EXPECT_EQ(env.w->mnSearch != nullptr, !older());
    EXPECT_EQ(env.w->findChild<QObject*>("kvSearchDialog1") != nullptr, !older());
    EXPECT_EQ(menuTexts(env.w->MainMenu).filter("快速定位").size(), older() ? 0 : 1);
    // Ctrl+F in the browse grid: the current build opens the find dialog (closed again at once).
    env.w->gdHead->view()->setFocus();
    QString opened;
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    closer.start(0);
    env.press(Qt::Key_F, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.isEmpty(), older()) << opened.toStdString();
}

TEST(BuildVariants, F1OpensTheFieldTopicOnlyInTheCurrentBuild) {
    VariantEnv env;
    env.start();
    ASSERT_TRUE(env.cds()->Locate("MB001", "T2"));
    env.press(Qt::Key_F7);
    ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
    env.w->edMB005->setFocus();
    env.press(Qt::Key_F1);
    ASSERT_EQ(env.wc->helpCalls.size(), 1);
    EXPECT_EQ(env.wc->helpCalls[0].value(0).toString(), "SFM");
    EXPECT_EQ(env.wc->helpCalls[0].value(1).toString(), older() ? "11010000" : "11011005");
}

TEST(BuildVariants, AWindowDeletedWhileItsEditHasTheFocusTakesItsModuleAlong) {
    VariantEnv env;
    env.start();
    ASSERT_TRUE(env.cds()->Locate("MB001", "T2"));
    env.press(Qt::Key_F7);
    ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
    env.w->edMB005->setFocus();
    ASSERT_TRUE(env.w->edMB005->isAncestorOf(QApplication::focusWidget()));
    // The focus leaves the edit while the window's layers are destroyed: the edit reads its field once
    // more, through a module that no longer reaches the window.
    QPointer<QObject> module = env.w->dm();
    env.w.reset();
    EXPECT_TRUE(module.isNull());
}

TEST(BuildVariants, TheOptionsOfferColourManagementOnlyInTheCurrentBuild) {
    VariantEnv env;
    env.start();
    std::unique_ptr<TfrmOptions> dialog(TKVForm::Create<TfrmOptions>(env.w.get(), env.w.get()));
    dialog->pgMain->setActivePage(dialog->tbsGeneral);
    EXPECT_TRUE(dialog->chkKeepOnAdd->isVisibleTo(dialog.get()));
    EXPECT_EQ(dialog->chkColorManage->isVisibleTo(dialog.get()), !older());
    EXPECT_TRUE(dialog->chkFastInput->isVisibleTo(dialog.get()));
}
