// The demo company's screen settings of QLDI05 as the application server hands them out, applied to a
// window with the program's components.
#include "ProgramServer.h"
#include "TempTree.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBEdit.h"
#include "entry/MT_Doc.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"

#include <gtest/gtest.h>

using namespace kvx;

TEST(DemoScreenSettings, TheServersDocumentRelabelsHidesReordersAndRequires) {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    config.serverPath = tree.serverPath();
    kvxsrv::ProgramServer server(config);
    ASSERT_EQ(server.connect("QLDI05", "DS", "DEMO", "DEMO"), 0) << server.lastError().toStdString();
    const QString xml = server.call("GetFormat", {"DEMO", "QLDI05"}).toString();
    auto doc = TMT_Doc::CreateFromXml(xml);
    ASSERT_FALSE(doc->IsEmpty());

    QWidget form;
    form.setObjectName("frmQldi05");
    auto* edMB001C = new TKvDBEdit(&form);
    edMB001C->setObjectName("edMB001C");
    auto* edMB005 = new TKvBtnDBEdit(&form);
    edMB005->setObjectName("edMB005");
    edMB005->setCaption(QString::fromUtf8("备注"));
    auto* gdHead = new TFDBGrid(&form);
    gdHead->setObjectName("gdHead");
    TClientDataSet ds;
    for (const char* f : {"MB001", "MB001C", "MB002", "MB004", "MB005"})
        ds.FieldDefs().Add(f, FieldType::String, 20);
    ds.CreateDataSet();
    TDataSource src;
    src.SetDataSet(&ds);
    gdHead->setDataSource(&src);

    doc->ApplyToForm(&form);
    doc->ApplyToGrid(gdHead);

    EXPECT_EQ(edMB005->Caption(), QString::fromUtf8("说明"));
    EXPECT_TRUE(edMB001C->isHidden());
    QStringList order;
    for (TField* f : ds.Fields())
        order << f->FieldName();
    EXPECT_EQ(order, QStringList({"MB001", "MB001C", "MB004", "MB002", "MB005"}));
    EXPECT_EQ(ds.FindField("MB005")->DisplayLabel(), QString::fromUtf8("说明"));
    EXPECT_EQ(doc->ListIDs("Components/*[Required='-1']"), "MB005");
}
