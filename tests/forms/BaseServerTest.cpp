// The base maintenance window against the real application server (the daemon, over a loopback
// socket): a test window over QLDMB connects, browses the seeded rows with the server's row count in the
// counter, edits and saves through its test save, deletes a scratch row after the confirmation, and a
// delete of a row another client removed meanwhile leaves the record shown and the database unchanged.
// The browse state is rendered to docs/images/base-window.png.
#include "DaemonProcess.h"
#include "ServerClasses.h"
#include "Storage.h"
#include "TempTree.h"
#include "TestBaseForm.h"

#include "controls/StatusBar.h"
#include "platform/DialogService.h"
#include "platform/Field.h"

#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class BaseOnServer : public ::testing::Test {
protected:
    kvxtest::TempTree tree;
    kvxtest::ScopedEnv sysCodePage{"KVX_CODEPAGE", "936"};
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxtest::DaemonProcess> daemon;
    std::unique_ptr<kvxsrv::Storage> db;
    std::unique_ptr<TfrmBaseTest> w;

    void SetUp() override {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        kvxtest::registerServerClasses(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
        db->exec(
            "INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, MB003, COMPANY, CREATOR, USR_GROUP, "
            "CREATE_DATE, MODIFIER, MODI_DATE, FLAG) VALUES ('ZZTMP', 'ZZTMPC', '1', '1', 'scratch', '', "
            "'DEMO', 'DS', 'ADMIN', '20261201', '', '', 1)");
        daemon = std::make_unique<kvxtest::DaemonProcess>();
        ASSERT_TRUE(daemon->start(config.resolveFile()));
        kvxtest::pointClientAtServer(tree, daemon->port(), "[CodePage]\nUICodePage=936\nDBCodePage=936\n");

        w = std::make_unique<TfrmBaseTest>();
        w->ModulePath = "/opt/kvx/C_PKG/QLDI05C.so";
        w->AfterConstruction();
        TBrokers* b = w->Broker;
        b->ProgID = "QLDI05";
        b->UserID = "DS";
        b->CompanyID = "DEMO";
        b->DBName = "DEMO";
        w->ConnectDataModule();
        ASSERT_TRUE(w->dm()->cdsMain->Active());
        // Every right of the own group, whatever the seeded user holds.
        w->RightsSet = ParseRights("QLDI05,N,N,NYYYYYYYYYYY");
        w->UpdateRecordInfo(w->dm()->cdsMain);
    }
    void TearDown() override { w.reset(); }

    TClientDataSet* cds() const { return w->dm()->cdsMain; }
    QString panel(int i) const { return w->Status->panel(i)->Text(); }
    int rows() const { return db->scalar("SELECT COUNT(*) FROM QLDMB").toInt(); }
    QVariant cell(const QString& column, const QString& key) const {
        return db->scalar(QStringLiteral("SELECT %1 FROM QLDMB WHERE MB001 = ?").arg(column), {key});
    }
    bool locate(const QString& key) {
        while (!cds()->Locate("MB001", key) && cds()->GetNextPacket() > 0) {
        }
        return cds()->FieldByName("MB001")->AsString() == key;
    }
};

TEST_F(BaseOnServer, BrowsesEditsAndSavesTheSeededRows) {
    EXPECT_EQ(panel(0), "浏览");
    EXPECT_EQ(panel(3), QStringLiteral("1/%1").arg(rows()));
    EXPECT_EQ(panel(4), QStringLiteral("localhost - %1").arg(daemon->port()));
    EXPECT_FALSE(cds()->FieldByName("CREATOR")->Visible()); // audit fields hidden at connection
    EXPECT_TRUE(w->miEdit->isEnabled());
    w->miNextClick();
    EXPECT_EQ(panel(3), QStringLiteral("2/%1").arg(rows()));

    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->gdHead->setFocus();
    // The daemon's port changes from run to run; the picture shows the default one.
    const QString server = panel(4);
    w->Status->panel(4)->setText(QStringLiteral("localhost - 211"));
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    QDir().mkpath(dir);
    EXPECT_TRUE(w->grab().save(dir + "/base-window.png"));
    w->Status->panel(4)->setText(server);

    const QString key = cds()->FieldByName("MB001")->AsString();
    const double flag = cell("FLAG", key).toDouble();
    QTest::keyClick(w.get(), Qt::Key_F7);
    ASSERT_EQ(w->EditState, TfrmBase::esEdit);
    EXPECT_EQ(panel(0), "更改");
    EXPECT_FALSE(w->miNext->isEnabled());
    cds()->FieldByName("MB005")->SetAsString("saved by the window");
    ASSERT_TRUE(w->DoSave());
    EXPECT_EQ(w->EditState, TfrmBase::esBrowse);
    EXPECT_EQ(cell("MB005", key).toString(), "saved by the window");
    EXPECT_EQ(cell("MODIFIER", key).toString(), "DS");
    EXPECT_EQ(cell("FLAG", key).toDouble(), double(qint64(flag + 1) % 1000));
    EXPECT_TRUE(w->miNext->isEnabled());
    EXPECT_TRUE(DialogService::instance().shown().isEmpty());
}

TEST_F(BaseOnServer, DeletesAScratchRowAfterTheConfirmation) {
    const int before = rows();
    ASSERT_TRUE(locate("ZZTMP"));
    DialogService::instance().queueAnswer(mrCancel);
    EXPECT_FALSE(w->DoDelete(true));
    EXPECT_EQ(rows(), before);
    DialogService::instance().queueAnswer(mrOk);
    EXPECT_TRUE(w->DoDelete(true));
    EXPECT_EQ(rows(), before - 1);
    EXPECT_FALSE(cell("MB001", "ZZTMP").isValid());
    EXPECT_EQ(panel(3).section('/', 1), QString::number(before - 1));
    EXPECT_EQ(DialogService::instance().shown().size(), 2); // the two questions, no error
}

TEST_F(BaseOnServer, AFailedDeleteLeavesTheRecordShownAndTheDatabaseUnchanged) {
    ASSERT_TRUE(locate("ZZTMP"));
    const int fetched = cds()->RecordCount();
    // Another client changes the row meanwhile: the window's delete no longer matches it.
    db->exec("UPDATE QLDMB SET MB005 = 'changed elsewhere', FLAG = 2 WHERE MB001 = 'ZZTMP'");
    const int before = rows();
    DialogService::instance().queueAnswer(mrOk);
    EXPECT_FALSE(w->DoDelete(true));
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(cell("MB005", "ZZTMP").toString(), "changed elsewhere");
    EXPECT_EQ(cds()->RecordCount(), fetched);
    EXPECT_EQ(cds()->FieldByName("MB001")->AsString(), "ZZTMP");
    EXPECT_EQ(cds()->ChangeCount(), 0);
    EXPECT_EQ(w->EditState, TfrmBase::esBrowse);
    EXPECT_TRUE(w->miDelete->isEnabled());
    ASSERT_EQ(DialogService::instance().shown().size(), 2);
    EXPECT_EQ(DialogService::instance().shown().last().type, MsgDlgType::Error);

    // A row removed by another client: the delete fails the same way and nothing else is touched.
    db->exec("DELETE FROM QLDMB WHERE MB001 = 'ZZTMP'");
    const int after = rows();
    DialogService::instance().queueAnswer(mrOk);
    w->DoDelete(true);
    EXPECT_EQ(rows(), after);
    EXPECT_EQ(cds()->ChangeCount(), 0);
}

} // namespace
