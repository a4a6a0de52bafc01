// TdmBase against the real application server, created in process (127.0.0.1) and reached over a
// loopback socket (any other address): connecting, opening QLDMB, applying an edit with the audit
// fields stamped, and a concurrent change by a second client turning into a reconcile error.
#include "DataTestEnv.h"
#include "ServerClasses.h"

#include "CounterServer.h"
#include "DaemonProcess.h"
#include "Storage.h"

#include <QDate>

using namespace kvx;
using namespace datatest;

namespace {

struct Client {
    FakeDataForm form;
    TBrokers* broker = new TBrokers(&form);
    TdmBase* dm = new TdmBase(&form);
    Client() {
        broker->ProgID = "QLDI05";
        broker->UserID = "DS";
        broker->CompanyID = "DEMO";
        broker->DBName = "DEMO";
        dm->Broker = broker;
    }
    void edit(const QString& key, const QString& remark) {
        ASSERT_TRUE(dm->cdsMain->Locate("MB001", key));
        dm->RefreshServerDate();
        form.editingMode = TDataModuleOwner::emModify;
        dm->cdsMain->Edit();
        dm->cdsMain->FieldByName("MB005")->SetAsString(remark);
    }
};

class DataModuleOnServer : public ::testing::TestWithParam<bool> {
protected:
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxtest::DaemonProcess> daemon;
    std::unique_ptr<kvxsrv::Storage> db;

    void SetUp() override {
        DialogService::instance().setScripted(true);
        kvxtest::registerServerClasses(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config); // creates and seeds the database
        if (GetParam()) {
            daemon = std::make_unique<kvxtest::DaemonProcess>();
            ASSERT_TRUE(daemon->start(config.resolveLocation().describe()));
        }
        kvxtest::pointClientAtServer(tree, daemon ? daemon->port() : 0);
    }
    QVariant cell(const QString& column, const QString& key) {
        return db->scalar(QStringLiteral("SELECT %1 FROM QLDMB WHERE MB001 = ?").arg(column), {key});
    }
};

} // namespace

TEST_P(DataModuleOnServer, OpensQldmbAndSavesAnEditWithTheAuditFieldsStamped) {
    Client c;
    ASSERT_TRUE(c.dm->ConnectServer());
    EXPECT_EQ(c.dm->IsLocalServer(), !GetParam());
    EXPECT_EQ(c.dm->MIDAS->inProcess(), !GetParam());
    EXPECT_EQ(c.broker->GetLoginInfo("M11_TABLE"), "QLDMB");
    EXPECT_EQ(c.dm->MainTable, "QLDMB");
    ASSERT_TRUE(c.dm->cdsMain->Active());
    EXPECT_GT(c.dm->cdsMain->RecordCount(), 0);
    EXPECT_EQ(c.dm->RecordCount, db->scalar("SELECT COUNT(*) FROM QLDMB").toInt());
    EXPECT_EQ(c.dm->cdsMain->PacketRecords(),
              qMin(40, db->scalar("SELECT MB014 FROM ADMMB WHERE MB001 = 'QLDI05'").toInt()));
    EXPECT_EQ(c.dm->cdsMain->FieldByName("MODIFIER")->DisplayLabel(), "更改者");

    const QString key = c.dm->cdsMain->FieldByName("MB001")->AsString();
    const double flag = cell("FLAG", key).toDouble();
    c.edit(key, "edited by test");
    ASSERT_TRUE(c.dm->ApplyMain(c.dm->cdsMain));
    EXPECT_EQ(cell("MB005", key).toString(), "edited by test");
    EXPECT_EQ(cell("MODIFIER", key).toString(), "DS");
    EXPECT_EQ(cell("MODI_DATE", key).toString(), QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_EQ(cell("FLAG", key).toDouble(), double(qint64(flag + 1) % 1000));
    EXPECT_EQ(c.dm->cdsMain->FieldByName("FLAG")->AsFloat(), cell("FLAG", key).toDouble());

    // Saved query conditions on the same server object.
    EXPECT_EQ(c.dm->LoadTable(), "");
    EXPECT_TRUE(c.dm->cdsSaveCondition->Active());
    EXPECT_EQ(c.dm->InsertConTable("测试条件", "MB002='2'", 1, false), "");
    EXPECT_EQ(c.dm->LoadTable(), "");
    EXPECT_TRUE(c.dm->LocateCondition("测试条件"));
    EXPECT_EQ(c.dm->ChangeConName("测试条件", "新名"), "");
    EXPECT_EQ(c.dm->DeleteConTable("新名"), "");
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM DOCUS WHERE CREATOR = 'DS' AND NCONDITION = '新名'").toInt(),
              0);
}

TEST_P(DataModuleOnServer, AConcurrentChangeIsAReconcileErrorAndNothingIsLost) {
    Client first, second;
    ASSERT_TRUE(first.dm->ConnectServer());
    ASSERT_TRUE(second.dm->ConnectServer());
    const QString key = first.dm->cdsMain->FieldByName("MB001")->AsString();
    const double flag = cell("FLAG", key).toDouble();
    first.edit(key, "first client");
    second.edit(key, "second client");
    ASSERT_TRUE(second.dm->ApplyMain(second.dm->cdsMain));

    int reconciles = 0;
    first.dm->cdsMain->OnReconcileError = [&](TClientDataSet*, EReconcileError&, TUpdateKind,
                                              TReconcileAction& a) {
        ++reconciles;
        a = TReconcileAction::raSkip;
    };
    EXPECT_FALSE(first.dm->ApplyMain(first.dm->cdsMain));
    EXPECT_EQ(reconciles, 1);
    EXPECT_EQ(cell("MB005", key).toString(), "second client");
    EXPECT_EQ(cell("FLAG", key).toDouble(), double(qint64(flag + 1) % 1000));
    // The first client's change stays pending, not dropped.
    EXPECT_EQ(first.dm->cdsMain->ChangeCount(), 1);
    EXPECT_EQ(first.dm->cdsMain->FieldByName("MB005")->AsString(), "first client");
}

TEST_P(DataModuleOnServer, ARefusedConnectionRaisesTheServersReason) {
    Client c;
    c.broker->CompanyID = "NOSUCH";
    try {
        c.dm->ConnectServer();
        ADD_FAILURE() << "connecting to an unknown company succeeded";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("NOSUCH")) << e.what();
    }
    EXPECT_FALSE(c.dm->cdsMain->Active());
}

TEST_P(DataModuleOnServer, HandedDownSettingsNameTheServerInsteadOfTheFiles) {
    Settings handed;
    handed.servers = {{GetParam() ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1"),
                       GetParam() ? daemon->port() : 0}};
    // The configuration file names a loopback port where nothing listens.
    kvxtest::pointClientAtServer(tree, 1);
    Client c;
    c.dm->SetSettings(handed);
    ASSERT_TRUE(c.dm->ConnectServer());
    EXPECT_EQ(c.dm->MIDAS->port(), GetParam() ? daemon->port() : 211);
    EXPECT_TRUE(c.dm->cdsMain->Active());
    Client fromFile;
    EXPECT_THROW(fromFile.dm->ConnectServer(), std::exception);
}

TEST_P(DataModuleOnServer, SeededCurrenciesAndNumberDisplaySettingsReachTheModule) {
    Client c;
    c.broker->UserID = "CLERK";
    // The broker's counter service is the server's counter object (the work center hands out the same).
    c.broker->Counter = Variant(std::shared_ptr<Dispatch>(std::make_shared<kvxsrv::CounterServer>(config)));
    EXPECT_EQ(c.dm->GetCurrencyDigits("KWD", cdtMoney), 3);
    EXPECT_EQ(c.dm->GetCurrencyDigits("JPY", cdtMoney), 0);
    EXPECT_EQ(c.dm->GetCurrencyDigits("JPY", cdtPrice), 2);
    EXPECT_EQ(c.dm->GetCurrencyDigits("NONE", cdtPrice), 0);
    EXPECT_EQ(c.dm->GetCurrencyDigits("O'NE", cdtPrice), 0); // quoted, not an SQL error
    c.dm->LoadNumberDisplayOptions();
    EXPECT_FALSE(c.dm->QuantityAutoZero);
    EXPECT_FALSE(c.dm->QuantityThousand);
    EXPECT_TRUE(c.dm->MoneyAutoZero);
    EXPECT_TRUE(c.dm->MoneyThousand);
}

INSTANTIATE_TEST_SUITE_P(InProcessAndLoopback, DataModuleOnServer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return i.param ? "Loopback" : "InProcess";
                         });
