// Module-level operations of the base data module: opening with a condition, packets at the end,
// cascading delete, the required-field check, the word search, grid-view files and the body permission.
#include "DataTestEnv.h"

#include "data/KnlBase.h"
#include "data/KnlRadical.h"
#include "platform/IniFile.h"
#include "server/LibStrs.h"

#include <QDir>
#include <QFile>

using namespace kvx;
using namespace datatest;

namespace {

void fillRows(DataEnv& env, int n) {
    for (int i = 1; i <= n; ++i)
        env.addRow(mainRow(QStringLiteral("A%1").arg(i, 4, 10, QLatin1Char('0')), 1, "USD", i));
}

} // namespace

TEST(OpenWithConditionOp, AllMeansNoConditionAndAConditionFilters) {
    DataEnv env;
    fillRows(env, 3);
    TClientDataSet* ds = env.dm->cdsMain;
    ASSERT_TRUE(OpenWithCondition(ds, "MB001='A0002'", "MB001"));
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(env.provider.requests.last().condition, "MB001='A0002'");
    EXPECT_EQ(env.provider.requests.last().order, "MB001");
    ASSERT_TRUE(OpenWithCondition(ds, "all", ""));
    EXPECT_EQ(env.provider.requests.last().condition, "");
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST(OpenWithConditionOp, AFailureIsLoggedAndReportedNotMistakenForAnEmptyResult) {
    DataEnv env;
    fillRows(env, 3);
    env.dm->cdsMain->SetRemoteServer(nullptr);
    QString error;
    EXPECT_FALSE(OpenWithCondition(env.dm->cdsMain, "MB001='A0002'", "", &error));
    EXPECT_FALSE(env.dm->cdsMain->Active());
    EXPECT_FALSE(error.isEmpty());
    const QStringList logs = QDir(AlertLogFolder()).entryList({"Alert_knlBase-103_*"});
    ASSERT_EQ(logs.size(), 1);
    QFile f(AlertLogFolder() + logs[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("["));
}

TEST(Packets, ScrollingPastTheFetchedRecordsFetchesTheNextPacket) {
    DataEnv env;
    fillRows(env, 45);
    TClientDataSet* ds = env.dm->cdsMain;
    ds->SetPacketRecords(20);
    int dataChanges = 0;
    env.dm->dsMain->OnDataChange = [&](TDataSource*, TField*) { ++dataChanges; };
    ds->Open();
    EXPECT_EQ(ds->RecordCount(), 20);
    // A move at the end of the fetched records runs only BeforeScroll, which fetches the next packet
    // and lets the move go on to its first record.
    int seen = 1;
    while (true) {
        ds->Next();
        if (ds->Eof()) ds->Next();
        if (ds->Eof()) break;
        ++seen;
    }
    EXPECT_EQ(seen, 45);
    EXPECT_EQ(ds->RecordCount(), 45);
    EXPECT_TRUE(bool(env.dm->dsMain->OnDataChange)); // put back after each fetch
    EXPECT_GE(dataChanges, 1);

    // With fetching on scroll off, moves stop at the fetched records.
    env.dm->FetchOnScroll = false;
    ds->Close();
    ds->Open();
    ds->Last();
    ds->Next();
    EXPECT_EQ(ds->RecordCount(), 20);
    ASSERT_TRUE(ds->Eof());
    NextPacketOrLast(ds); // at the end: the next packet
    EXPECT_EQ(ds->RecordCount(), 40);
    ds->First();
    NextPacketOrLast(ds); // elsewhere: the last record
    EXPECT_EQ(ds->RecordCount(), 40);
    EXPECT_EQ(ds->RecNo(), 40);
}

TEST(CascadeDelete, DeletesTheCurrentRecordWithItsHandlersTakenOffMeanwhile) {
    DataEnv env;
    fillRows(env, 3);
    TClientDataSet* ds = env.dm->cdsMain;
    ds->Open();
    ds->Next();
    int deletes = 0;
    ds->BeforeDelete = [&](TDataSet*) { ++deletes; };
    EXPECT_TRUE(DeleteRecordCascade(ds, true, true));
    EXPECT_EQ(deletes, 0);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_FALSE(ds->Locate("MB001", "A0002"));
    EXPECT_TRUE(bool(ds->BeforeDelete));
    EXPECT_TRUE(DeleteRecordCascade(ds, true, false));
    EXPECT_EQ(deletes, 1);
}

TEST(CascadeDelete, ANestedDetailLosesEveryRecord) {
    TClientDataSet master;
    master.FieldDefs().Add("K", FieldType::String, 4);
    FieldDesc& d = master.FieldDefs().Add("D", FieldType::DataSet);
    d.children = {FieldDesc("X", FieldType::String, 4)};
    master.CreateDataSet();
    TClientDataSet detail;
    detail.SetDataSetField(static_cast<TDataSetField*>(master.FieldByName("D")));
    detail.Open();
    master.Append();
    master.FieldByName("K")->SetAsString("M1");
    for (const char* x : {"a", "b", "c"}) {
        detail.Append();
        detail.FieldByName("X")->SetAsString(x);
        detail.Post();
    }
    master.Post();
    ASSERT_EQ(detail.RecordCount(), 3);
    EXPECT_TRUE(DeleteRecordCascade(&detail, true, true));
    EXPECT_EQ(detail.RecordCount(), 0);
    EXPECT_EQ(master.RecordCount(), 1);
    EXPECT_TRUE(DeleteRecordCascade(&master, true, true));
    EXPECT_EQ(master.RecordCount(), 0);
}

TEST(RequiredFields, FirstEmptyEditableFieldOfTheNamedDataset) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    ds->Edit();
    ds->FieldByName("MB002")->SetAsString(" ");
    ds->FieldByName("MB005")->SetAsString("");
    ds->FieldByName("CUR")->SetAsString("");
    TField* f = nullptr;
    EXPECT_TRUE(FindEmptyRequiredField(ds, "cdsBody:MB001;CDSMAIN:NOPE,MB001,MB002,MB005", f));
    EXPECT_EQ(f->FieldName(), "MB002");
    ds->FieldByName("MB002")->SetReadOnly(true);
    ds->FieldByName("MB005")->SetVisible(false);
    EXPECT_TRUE(FindEmptyRequiredField(ds, "cdsMain:MB002,MB005,CUR", f));
    EXPECT_EQ(f->FieldName(), "CUR");
    EXPECT_FALSE(FindEmptyRequiredField(ds, "cdsMain:MB001", f));
    EXPECT_EQ(f, nullptr);
    EXPECT_FALSE(FindEmptyRequiredField(ds, "cdsBody:CUR", f));
}

TEST(FileProperties, ShowsNameFolderAndSizeOfAnExistingFile) {
    DataEnv env;
    const QString file = env.tree.writeText("client/报表.txt", "12345");
    ASSERT_TRUE(ShowFileProperties(file));
    const QString text = DataEnv::lastMessage();
    EXPECT_TRUE(text.contains("名称: 报表.txt")) << text.toStdString();
    EXPECT_TRUE(text.contains("(5 字节)")) << text.toStdString();
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(env.tree.clientPath().chopped(1))))
        << text.toStdString();
    EXPECT_FALSE(ShowFileProperties(file + ".missing"));
    EXPECT_EQ(DataEnv::messageCount(), 1);
}

TEST(WordSearch, FindTokenNeedsSeparatorsOnBothSides) {
    EXPECT_EQ(FindToken("MB01", "cdsMain:MB010,MB01"), 15);
    EXPECT_EQ(FindToken("MB01", "MB01;x"), 1);
    EXPECT_EQ(FindToken("MB01", "XMB01 MB010"), 0);
    EXPECT_EQ(FindToken("A", "B:A\r\nC"), 3);
    EXPECT_EQ(FindToken("", "A"), 0);
}

TEST(GridView, ReadsTheBaseFileUntilTheUserSavesHisOwn) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    ds->FieldByName("AMT")->SetDisplayFormat("#,##0.00");
    const QString base = env.tree.clientPath() + "c_Data/";
    EXPECT_EQ(GridViewBaseFolder(), base);
    env.tree.writeText("client/c_Data/QLDI05C.ugs",
                       "[cdsMain]\nAMT=0;15;\nMB005=1;33\nNOPE=2;5\nMB002=x;y\nN=\n");
    LoadGridView("DS", "QLDI05C", ds);
    EXPECT_EQ(ds->FieldByName("AMT")->Index(), 0);
    EXPECT_EQ(ds->FieldByName("AMT")->DisplayWidth(), 15);
    EXPECT_EQ(ds->FieldByName("AMT")->DisplayFormat(), "#,##0.00"); // empty format keeps the field's
    EXPECT_EQ(ds->FieldByName("MB005")->Index(), 1);
    EXPECT_EQ(ds->FieldByName("MB005")->DisplayWidth(), 33);

    ds->FieldByName("MB005")->SetDisplayWidth(40);
    SaveGridView("DS", "QLDI05C", ds);
    const QString mine = base + "DS/QLDI05C.ugs";
    ASSERT_TRUE(QFile::exists(mine));
    const IniFile saved(mine);
    EXPECT_EQ(saved.readString("cdsMain", "MB005"), "1;40");
    EXPECT_EQ(saved.readString("cdsMain", "AMT"), "0;15;#,##0.00");
    EXPECT_EQ(IniFile(base + "QLDI05C.ugs").readString("cdsMain", "MB005"), "1;33"); // base file untouched

    ds->FieldByName("MB005")->SetDisplayWidth(10);
    LoadGridView("DS", "QLDI05C", ds); // now from the user's folder
    EXPECT_EQ(ds->FieldByName("MB005")->DisplayWidth(), 40);
}

TEST(GridView, ConfiguredFolderAndBodySections) {
    DataEnv env;
    env.tree.writeText("client/StaveloC.ini", "[Client Components]\nGridViewDataPath=views\\\n");
    EXPECT_EQ(GridViewBaseFolder(), env.tree.clientPath() + "views/");
    TClientDataSet body;
    body.setObjectName("cdsBody1");
    body.FieldDefs().Add("X", FieldType::Float);
    body.CreateDataSet();
    SaveGridView("", "QLDI05C", &body, 2);
    EXPECT_EQ(IniFile(env.tree.clientPath() + "views/QLDI05C.ugs").readString("cdsBody1_2", "X"), "0;10;");
    TClientDataSet unnamed;
    unnamed.FieldDefs().Add("X", FieldType::Float);
    unnamed.CreateDataSet();
    SaveGridView("", "OTHER", &unnamed);
    EXPECT_FALSE(QFile::exists(env.tree.clientPath() + "views/OTHER.ugs"));
}

namespace {

class PermissionServer : public brokertest::Recorder {
public:
    Variant answer;
    bool fail = false;
    PermissionServer() : Recorder("Fake.Server") {
        addRecorded("GetRecCount", [](VariantList&) -> Variant { return 8; });
        addRecorded("GetBaseLimitedRecs", [this](VariantList&) -> Variant {
            if (fail) throw AutomationError("limits unavailable");
            return answer;
        });
    }
};

} // namespace

TEST(BodyPermission, RejectedKeysAreListedUpToFourAndTheCursorGoesToTheFirst) {
    DataEnv env;
    auto server = std::make_shared<PermissionServer>();
    env.dm->AppServer = Variant(std::shared_ptr<Dispatch>(server));
    env.broker->LoginInfo = QStringList{"B_KEY=T.MB001,CUR", "B_TABLE=QLDMB"};
    fillRows(env, 8);
    env.dm->SetKeyFields("MB001");
    env.dm->cdsMain->Open();
    env.dm->cdsMain->Last();
    // Keys are the texts padded to the field size, joined with "-".
    auto key = [](int i) {
        return PadR(QStringLiteral("A%1").arg(i, 4, 10, QLatin1Char('0')), {20}) + "-USD ";
    };
    server->answer = Variant::fromList({2, Variant::fromList({key(2), key(5)})});
    QString rejected;
    EXPECT_FALSE(env.dm->CheckBodyPermission(env.dm->cdsMain, "B", rejected));
    EXPECT_EQ(rejected, QStringList({key(1), key(3), key(4), key(6)}).join(";") + ";...");
    EXPECT_EQ(env.dm->cdsMain->RecNo(), 1);
    const brokertest::Call* call = server->last("GetBaseLimitedRecs");
    EXPECT_EQ(call->args[0].toString(), "B_");
    EXPECT_EQ(call->args[1].toString(), "T.MB001='A0008'");
    EXPECT_EQ(call->args[2].toInt(), 8);

    server->answer = Variant::fromList({0, Variant::fromList({})});
    EXPECT_FALSE(env.dm->CheckBodyPermission(env.dm->cdsMain, "B_", rejected));
    EXPECT_EQ(rejected, "ALL");
    server->answer = Variant::fromList({8, Variant::fromList({})});
    EXPECT_TRUE(env.dm->CheckBodyPermission(env.dm->cdsMain, "B", rejected));
    EXPECT_EQ(rejected, "");
    server->answer = Variant::fromList({-1, Variant()});
    EXPECT_TRUE(env.dm->CheckBodyPermission(env.dm->cdsMain, "B", rejected));

    server->fail = true;
    EXPECT_TRUE(env.dm->CheckBodyPermission(env.dm->cdsMain, "B", rejected));
    EXPECT_EQ(QDir(AlertLogFolder()).entryList({"Alert_QLDI05_*"}).size(), 1);
}
