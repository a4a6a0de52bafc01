// TdmQldi05: the persistent fields of QLDMB in their order, sizes, labels and widths, and the module
// opened on the real application server (created in process), where the packet's columns bind to them.
#include "DataTestEnv.h"
#include "ServerClasses.h"

#include "Storage.h"
#include "program/Qldi05CD.h"

#include "platform/Field.h"
#include "platform/SocketConnection.h"

using namespace kvx;
using namespace datatest;

namespace {

struct Expected {
    const char* name;
    FieldType type;
    int size;
    const char* label;
    int width;
};

const Expected kFields[] = {
    {"MB001", FieldType::String, 20, "文档编号", 20}, {"MB001C", FieldType::String, 24, "文件名", 24},
    {"MB002", FieldType::String, 1, "传输方式", 20},  {"MB004", FieldType::String, 1, "类别", 10},
    {"MB005", FieldType::String, 255, "备注", 20},    {"COMPANY", FieldType::String, 10, "", 10},
    {"CREATOR", FieldType::String, 10, "", 10},       {"USR_GROUP", FieldType::String, 10, "", 10},
    {"CREATE_DATE", FieldType::String, 8, "", 8},     {"MODIFIER", FieldType::String, 10, "", 10},
    {"MODI_DATE", FieldType::String, 8, "", 8},       {"FLAG", FieldType::Float, 0, "", 10},
    {"MB003", FieldType::String, 255, "内容", 20},
};

void expectDesignedFields(const TdmQldi05& dm) {
    // The single-table module puts its selection column first when it opens the data.
    QList<TField*> fields = dm.cdsMain->Fields();
    if (!fields.isEmpty() && fields.first()->FieldName() == "MultiSelected") fields.removeFirst();
    ASSERT_EQ(fields.size(), int(std::size(kFields)));
    for (int i = 0; i < fields.size(); ++i) {
        const Expected& e = kFields[i];
        const TField* f = fields[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(f->FieldName(), QString::fromLatin1(e.name));
        EXPECT_EQ(f->objectName(), QStringLiteral("cdsMain") + QString::fromLatin1(e.name));
        EXPECT_EQ(f->DataType(), e.type);
        if (e.size) {
            EXPECT_EQ(f->Size(), e.size);
        }
        if (*e.label) {
            EXPECT_EQ(f->DisplayLabel(), QString::fromUtf8(e.label));
        }
        EXPECT_EQ(f->DisplayWidth(), e.width);
        EXPECT_EQ(f->Visible(), i != fields.size() - 1); // only MB003 is hidden
    }
}

} // namespace

TEST(TdmQldi05, DesignsTheFieldsOfQldmbAndItsGridEditors) {
    FakeDataForm form;
    auto* dm = new TdmQldi05(&form);
    EXPECT_EQ(dm->objectName(), "dmQldi05");
    EXPECT_EQ(dm->MIDAS->serverName(), "Trivon.Class1");
    EXPECT_EQ(dm->cdsMain->ProviderName(), "pvdMain");
    expectDesignedFields(*dm);
    EXPECT_EQ(dm->MainControlType, QStringList({"MB002;CustomEdit;cboMB002G", "MB004;CustomEdit;cboMB004G"}));
}

TEST(TdmQldi05, OpensQldmbOnTheServerIntoItsOwnFields) {
    DialogService::instance().setScripted(true);
    kvxtest::TempTree tree;
    kvxtest::registerServerClasses(tree);
    kvxsrv::StorageConfig config;
    config.serverPath = tree.serverPath();
    kvxsrv::Storage db(config);
    kvxtest::pointClientAtServer(tree, 0);

    FakeDataForm form;
    auto* broker = new TBrokers(&form);
    broker->ProgID = "QLDI05";
    broker->UserID = "DS";
    broker->CompanyID = "DEMO";
    broker->DBName = "DEMO";
    auto* dm = new TdmQldi05(&form);
    dm->Broker = broker;
    ASSERT_TRUE(dm->ConnectServer());
    ASSERT_TRUE(dm->cdsMain->Active());
    // The packet's columns bound to the designed fields: none added but the selection column, none moved.
    expectDesignedFields(*dm);
    EXPECT_EQ(dm->cdsMain->Fields().first()->FieldName(), "MultiSelected");
    const QString key = dm->cdsMainMB001->AsString();
    ASSERT_FALSE(key.isEmpty());
    EXPECT_EQ(dm->cdsMainMB003->AsString(),
              db.scalar("SELECT MB003 FROM QLDMB WHERE MB001 = ?", {key}).toString());
    EXPECT_EQ(dm->cdsMainFLAG->AsFloat(),
              db.scalar("SELECT FLAG FROM QLDMB WHERE MB001 = ?", {key}).toDouble());
}
