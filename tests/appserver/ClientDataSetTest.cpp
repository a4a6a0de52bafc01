// End to end: the platform's client datasets over the program server, in process and over loopback.
#include "platform/ClientDataSet.h"
#include "ServerEnv.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

using kvx::Variant;

namespace {
void openMain(kvx::TClientDataSet& ds, kvx::SocketConnection& conn, const QString& cond) {
    ds.SetRemoteServer(conn.providers());
    ds.SetProviderName("pvdMain");
    ds.SetPacketRecords(20);
    ds.DataRequest(kvx::DataRequest{cond, "MB001", {}}.toVariant());
    ds.Open();
}
} // namespace

TEST(EndToEnd, ClientDatasetsOnBothPathsEditOneRowAndNothingIsLost) {
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    kvx::SocketConnection local, remote;
    local.setAppServer(kvx::CreateOleObject("TRIVON.Class1"));
    ASSERT_EQ(local.appServer()
                  ->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
                  .toInt(),
              0);
    remote.setAddress("127.0.0.1");
    remote.setPort(daemon.port());
    remote.setServerName("TRIVON.Class1");
    remote.setCredentials("MGR", daemon.password("MGR"));
    remote.open();
    ASSERT_EQ(remote.appServer()
                  ->call("Connect", {Variant::fromList({"QLDI05", "MGR", "DEMO", "DEMO", true, false})})
                  .toInt(),
              0);

    kvx::TClientDataSet a, b;
    openMain(a, local, "MB004 = '2'");
    openMain(b, remote, "MB004 = '2'");
    const int total = int(local.appServer()->call("GetRecCount").toInt());
    ASSERT_GT(total, 20);
    EXPECT_EQ(a.RecordCount(), 20); // the first packet
    EXPECT_TRUE(a.HasMorePackets());
    a.FetchAll();
    b.FetchAll();
    EXPECT_EQ(a.RecordCount(), total);
    EXPECT_EQ(b.RecordCount(), total);
    EXPECT_EQ(b.FieldByName("MB001")->Size(), 20);

    ASSERT_TRUE(a.Locate("MB001", "COPTC"));
    ASSERT_TRUE(b.Locate("MB001", "COPTC"));
    a.Edit();
    a.FieldByName("MB005")->SetAsString("订单每小时汇出");
    a.Post();
    EXPECT_EQ(a.ApplyUpdates(0), 0);

    b.Edit();
    b.FieldByName("MB005")->SetAsString("stale edit");
    b.Post();
    int reconciled = 0;
    b.OnReconcileError = [&](kvx::TClientDataSet*, kvx::EReconcileError& e, kvx::TUpdateKind kind,
                             kvx::TReconcileAction& action) {
        ++reconciled;
        EXPECT_EQ(kind, kvx::TUpdateKind::ukModify);
        EXPECT_EQ(e.ErrorCode, 1);
        EXPECT_TRUE(e.Context.contains("COPTC"));
        EXPECT_EQ(e.Record.CurValue("MB005").toString(), "订单每小时汇出");
        action = kvx::TReconcileAction::raSkip;
    };
    EXPECT_EQ(b.ApplyUpdates(0), 1);
    EXPECT_EQ(reconciled, 1);
    EXPECT_EQ(b.ChangeCount(), 1); // the stale change stays with the user
    kvxsrv::Storage s(env.config);
    EXPECT_EQ(s.scalar("SELECT MB005 FROM QLDMB WHERE MB001 = 'COPTC'").toString(), "订单每小时汇出");
}
