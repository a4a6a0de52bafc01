// Conditions and orderings the dialog produced, run by the real application server against QLDMB through
// a plain client dataset, in process and over a loopback socket.
#include "QBETestSupport.h"
#include "ServerEnv.h"
#include "Storage.h"
#include "platform/Automation.h"
#include "platform/ClientDataSet.h"
#include "platform/SocketConnection.h"

#include "controls/SimpleControls.h"

#include <QPushButton>
#include <QSqlQuery>
#include <QTimer>

using kvx::Variant;

namespace {
const QString kSelect = "MB001,MB001C,MB002,MB004,MB005,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,"
                        "MODI_DATE,FLAG,MB003";

QStringList fetchKeys(kvx::SocketConnection& conn, const QString& cond, const QString& order) {
    kvx::TClientDataSet ds;
    ds.SetRemoteServer(conn.providers());
    ds.SetProviderName("pvdMain");
    ds.SetPacketRecords(-1);
    ds.DataRequest(kvx::DataRequest{cond, order, {}}.toVariant());
    ds.Open();
    QStringList keys;
    for (ds.First(); !ds.Eof(); ds.Next())
        keys << ds.FieldByName("MB001")->AsString();
    return keys;
}
} // namespace

class QBEServerTest : public QBEFixture {
protected:
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    kvx::SocketConnection local, remote;

    void SetUp() override {
        QBEFixture::SetUp();
        // The server's registry entries live in the fixture's installation tree.
        apptest::registerServerClasses(tree);
        env.config.serverPath = tree.serverPath();
        ASSERT_TRUE(daemon.start(env.dbFile()));
        local.setAppServer(kvx::CreateOleObject("TRIVON.Class1"));
        ASSERT_EQ(local.appServer()
                      ->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
                      .toInt(),
                  0);
        remote.setAddress("127.0.0.1");
        remote.setPort(daemon.port());
        remote.setServerName("TRIVON.Class1");
        remote.open();
        ASSERT_EQ(remote.appServer()
                      ->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
                      .toInt(),
                  0);
        Options o;
        o.extraFields = false;
        open("MB001", kSelect, o);
    }

    // Both paths return the rows the storage itself selects with the same condition.
    void expectRows(const QString& cond, const QString& order, const QString& where,
                    bool orderedDesc = false) {
        QStringList expected;
        kvxsrv::Storage s(env.config);
        QSqlQuery q(s.db());
        EXPECT_TRUE(q.exec("SELECT MB001 FROM QLDMB WHERE " + where + " ORDER BY MB001" +
                           (orderedDesc ? " DESC" : "")));
        while (q.next())
            expected << q.value(0).toString();
        ASSERT_FALSE(expected.isEmpty()) << where.toStdString();
        QStringList viaLocal = fetchKeys(local, cond, order), viaRemote = fetchKeys(remote, cond, order);
        if (order.isEmpty() || order == "MB001") {
            EXPECT_EQ(viaLocal, expected) << cond.toStdString();
        } else {
            QStringList a = viaLocal, b = expected;
            a.sort();
            b.sort();
            EXPECT_EQ(a, b) << cond.toStdString();
        }
        EXPECT_EQ(viaRemote, viaLocal);
    }

    bool execute(QString& cond, QString& order) {
        QTimer::singleShot(0, form, [this] { form->btnOK->click(); });
        return form->Execute(cond, order);
    }
};

TEST_F(QBEServerTest, GeneralPageQuotesApostrophesAndFindsChineseRemarks) {
    fillRow(1, "备注", "包含", "O'Neil 的", "AND");
    QString cond, order;
    ASSERT_TRUE(execute(cond, order));
    EXPECT_EQ(order, "MB001");
    expectRows(cond, order, "MB005 LIKE '%O''Neil 的%'");
    EXPECT_EQ(fetchKeys(local, cond, order), QStringList({"INVTX"}));

    fillRow(1, "备注", "包含", "汇出", "OR");
    grid()->setRowCount(3);
    fillRow(2, "传输方式", "等于", "3.汇入", "AND");
    ASSERT_TRUE(execute(cond, order));
    expectRows(cond, order, "MB005 LIKE '%汇出%' OR MB002 = '3'");

    fillRow(1, "传输方式", "存在于", "2:汇出, 3.汇入", "AND");
    grid()->setRowCount(2);
    ASSERT_TRUE(execute(cond, order));
    expectRows(cond, order, "MB002 IN ('2','3')");
}

TEST_F(QBEServerTest, AdvancedLinesAndSortOrder) {
    showPage(form->tbsAdvanced);
    chooseAdvancedField("MB002");
    form->cboValue->setItemIndex(form->cboValue->combo()->findText("2:汇出"));
    form->BbAssign->click();
    form->rgLogic->SetItemIndex(1);
    chooseAdvancedField("MB005");
    form->CbOperator->setCurrentIndex(6);
    form->cdsTemp->FieldByName("QBE")->SetAsString("O'Neil");
    form->BbAssign->click();
    const int first = form->AdvancedFieldNames().indexOf("MB001");
    form->ListBox1->setItemSelected(first, true);
    form->ListBox1DblClick();
    form->ListBox2->setItemChecked(0, true);
    QString cond, order;
    ASSERT_TRUE(execute(cond, order));
    EXPECT_EQ(cond, "(QLDMB.MB002 = '2')\n  OR (QLDMB.MB005 like 'O''Neil%')");
    EXPECT_EQ(order, "QLDMB.MB001 desc");
    expectRows(cond, "", "MB002 = '2' OR MB005 LIKE 'O''Neil%'");
    QStringList keys = fetchKeys(remote, cond, order), sorted = keys;
    std::sort(sorted.begin(), sorted.end(), std::greater<QString>());
    EXPECT_EQ(keys, sorted);
    EXPECT_TRUE(keys.contains("INVTX"));
}

TEST_F(QBEServerTest, AuditDateLineRunsOnTheServer) {
    showPage(form->tbsAdvanced);
    chooseAdvancedField("CREATE_DATE");
    form->CbOperator->setCurrentIndex(1);
    form->cdsTemp->FieldByName("QBE")->SetAsString("20240312");
    form->BbAssign->click();
    QString cond, order;
    ASSERT_TRUE(execute(cond, order));
    expectRows(cond, "", "CREATE_DATE >= '20240312'");
}
