// Audit stamping and FLAG arithmetic through cdsMain's events and ApplyMain, the null fill, the
// set-field-text rule and key conditions.
#include "DataTestEnv.h"

#include "data/KnlRadical.h"
#include "server/LibStrs.h"

#include <QDir>
#include <QFile>

using namespace kvx;
using namespace datatest;

namespace {

double storedFlag(DataEnv& env, int row) {
    return env.storedRow(row).value(13).toDouble();
}

void editAndSave(DataEnv& env, const QString& remark) {
    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->cdsMain->Edit();
    env.dm->cdsMain->FieldByName("MB005")->SetAsString(remark);
    ASSERT_TRUE(env.dm->ApplyMain(env.dm->cdsMain));
    env.form.editingMode = TDataModuleOwner::emBrowse;
}

} // namespace

TEST(AuditFlag, ChangeFlagCountsDownNegativeAndWrapsAtAThousand) {
    EXPECT_EQ(NextChangeFlag(0), -1);
    EXPECT_EQ(NextChangeFlag(5), -6);
    EXPECT_EQ(NextChangeFlag(998), -999);
    EXPECT_EQ(NextChangeFlag(999), 0);
}

TEST(AuditStamp, ANewRecordIsStampedAndSavedWithFlagOneThenTwoAfterAChange) {
    DataEnv env;
    env.dm->cdsMain->Open();
    env.form.editingMode = TDataModuleOwner::emAdd;
    TClientDataSet* ds = env.dm->cdsMain;
    ds->Append();
    EXPECT_EQ(ds->FieldByName("FLAG")->AsFloat(), -1);
    EXPECT_EQ(ds->FieldByName("COMPANY")->AsString(), "DEMO");
    EXPECT_EQ(ds->FieldByName("CREATOR")->AsString(), "DS");
    EXPECT_EQ(ds->FieldByName("USR_GROUP")->AsString(), "ADMIN");
    EXPECT_EQ(ds->FieldByName("CREATE_DATE")->AsString(), "20261208");
    // The null fill: untouched strings are empty, numbers 0.
    EXPECT_FALSE(ds->FieldByName("MB005")->IsNull());
    EXPECT_EQ(ds->FieldByName("AMT")->AsFloat(), 0.0);
    ds->FieldByName("MB001")->SetAsString("NEW1");
    ASSERT_TRUE(env.dm->ApplyMain(ds));
    ASSERT_EQ(env.provider.table("pvdMain").rows.size(), 1);
    EXPECT_EQ(storedFlag(env, 0), 1.0);
    EXPECT_EQ(ds->FieldByName("FLAG")->AsFloat(), 1.0);

    editAndSave(env, "changed");
    EXPECT_EQ(storedFlag(env, 0), 2.0);
    EXPECT_EQ(env.storedRow(0).value(11).toString(), "DS");       // MODIFIER
    EXPECT_EQ(env.storedRow(0).value(12).toString(), "20261208"); // MODI_DATE
}

TEST(AuditStamp, FlagNineHundredNinetyNineWrapsToZero) {
    DataEnv env;
    env.addRow(mainRow("A1", 999));
    env.dm->cdsMain->Open();
    editAndSave(env, "x");
    EXPECT_EQ(storedFlag(env, 0), 0.0);
    editAndSave(env, "y");
    EXPECT_EQ(storedFlag(env, 0), 1.0);
}

TEST(AuditStamp, PostingTwiceBeforeApplyingStampsOnceAndApplyingMakesItPositiveOnce) {
    DataEnv env;
    env.addRow(mainRow("A1", 5));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    env.form.editingMode = TDataModuleOwner::emModify;
    ds->Edit();
    ds->FieldByName("MB005")->SetAsString("first");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("FLAG")->AsFloat(), -6);
    ds->Edit(); // already stamped in this modification: left alone
    ds->FieldByName("MB005")->SetAsString("second");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("FLAG")->AsFloat(), -6);
    ASSERT_TRUE(env.dm->ApplyMain(ds));
    EXPECT_EQ(storedFlag(env, 0), 6.0);
    EXPECT_EQ(env.storedRow(0).value(2).toString(), "second");
}

TEST(AuditStamp, EditingOutsideModifyModeAndRefusedPostsLeaveTheRecordAlone) {
    DataEnv env;
    env.addRow(mainRow("A1", 3));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    ds->Edit(); // the window is browsing: no stamp
    EXPECT_EQ(ds->FieldByName("FLAG")->AsFloat(), 3);
    EXPECT_EQ(ds->FieldByName("MODIFIER")->AsString(), "");
    ds->FieldByName("MB005")->SetAsString("z");
    env.form.acceptPost = false;
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(DataEnv::messageCount(), 0); // silent
    env.form.acceptPost = true;
    ds->Post();
    EXPECT_EQ(ds->FieldByName("MB005")->AsString(), "z");
}

TEST(AuditStamp, AFailedApplyIsLoggedUnderItsSourceAndRaisedWithTheChangesKept) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.dm->cdsMain->Open();
    env.dm->cdsMain->SetRemoteServer(nullptr);
    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->cdsMain->Edit();
    env.dm->cdsMain->FieldByName("MB005")->SetAsString("kept");
    EXPECT_THROW(env.dm->ApplyMain(env.dm->cdsMain), std::exception);
    EXPECT_EQ(env.dm->cdsMain->ChangeCount(), 1);
    const QStringList logs = QDir(AlertLogFolder()).entryList({"Alert_Class knlRadical-311_*"});
    ASSERT_EQ(logs.size(), 1);
}

TEST(AuditStamp, RecordChangeNotificationsReachTheWindowAndTheirFailuresAreContained) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.addRow(mainRow("A2", 1));
    env.dm->cdsMain->Open();
    const int before = env.form.recordChanges;
    env.form.throwOnRecordChange = true;
    EXPECT_NO_THROW(env.dm->cdsMain->Next());
    EXPECT_EQ(env.form.recordChanges, before + 1);
    EXPECT_EQ(env.dm->cdsMain->FieldByName("MB001")->AsString(), "A2");
}

TEST(AuditFields, LabelsManagementStateAndTheAuditNames) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.dm->cdsMain->Open();
    env.dm->SetAuditFieldLabels(env.dm->cdsMain);
    EXPECT_EQ(env.dm->cdsMain->FieldByName("CREATOR")->DisplayLabel(), "录入者");
    EXPECT_EQ(env.dm->cdsMain->FieldByName("FLAG")->DisplayLabel(), "标识");
    env.dm->DateStyle = 2;
    env.dm->DateSeparator = "-";
    EXPECT_EQ(env.dm->cdsMain->FieldByName("CREATE_DATE")->DisplayText(), "01-01-2026");
    env.dm->ShowManagementFields(false);
    EXPECT_FALSE(env.dm->cdsMain->FieldByName("MODIFIER")->Visible());
    EXPECT_FALSE(env.dm->cdsMain->FieldByName("MODIFIER")->ReadOnly());
    env.dm->ShowManagementFields(true);
    EXPECT_TRUE(env.dm->cdsMain->FieldByName("MODIFIER")->Visible());
    EXPECT_TRUE(env.dm->cdsMain->FieldByName("MODIFIER")->ReadOnly());
    EXPECT_TRUE(TdmRadical::IsAuditField("usr_group"));
    EXPECT_FALSE(TdmRadical::IsAuditField("MB001"));
}

TEST(SetFieldValueRule, WritesReadOnlyFieldsAndNeverSplitsADoubleByteCharacter) {
    TClientDataSet ds;
    ds.SetCodePage(936);
    ds.FieldDefs().Add("S", FieldType::String, 5);
    ds.FieldDefs().Add("F", FieldType::Float);
    ds.CreateDataSet();
    ds.Append();
    TField* s = ds.FieldByName("S");
    s->SetReadOnly(true);
    SetFieldValue(s, QStringLiteral("AB中文"), true); // 6 bytes; byte 5 starts 文
    EXPECT_EQ(s->AsString(), QStringLiteral("AB中"));
    EXPECT_TRUE(s->ReadOnly());
    SetFieldValue(s, QStringLiteral("ABC中文"), true); // byte 5 ends 中
    EXPECT_EQ(s->AsString(), QStringLiteral("ABC中"));
    SetFieldValue(ds.FieldByName("F"), "-7", true);
    EXPECT_EQ(ds.FieldByName("F")->AsFloat(), -7.0);
}

TEST(KeyCondition, QualifiesColumnsByAliasAndQuotesTexts) {
    DataEnv env;
    env.addRow(mainRow("A1", 1, "USD", 3));
    env.dm->cdsMain->Open();
    QString c;
    env.dm->BuildKeyCondition(env.dm->cdsMain, "MB001,N", c, "A");
    EXPECT_EQ(c, "A.MB001='A1' and A.N=3");
    env.dm->BuildKeyCondition(env.dm->cdsMain, "X.MB001,NOPE,N", c, "", "B.COL1,COL2");
    EXPECT_EQ(c, "B.COL1='A1' and COL2=3");
    env.dm->cdsMain->Edit();
    env.dm->cdsMain->FieldByName("MB001")->SetAsString("O'K");
    env.dm->BuildKeyCondition(env.dm->cdsMain, "MB001", c);
    EXPECT_EQ(c, "MB001='O''K'");
}

TEST(TextConversion, LabelsAndStringFieldsGoThroughTheWindowsConversions) {
    DataEnv env;
    env.addRow(mainRow("A1", 1));
    env.dm->cdsMain->Open();
    env.dm->cdsMain->FieldByName("N")->OnGetText = nullptr;
    env.dm->SetupTextConversion();
    TClientDataSet* ds = env.dm->cdsMain;
    EXPECT_EQ(ds->FieldByName("MB005")->DisplayLabel(), "<MB005>");
    EXPECT_EQ(ds->FieldByName("MB005")->DisplayText(), "<remark>");
    EXPECT_FALSE(bool(ds->FieldByName("N")->OnGetText)); // numbers are left alone
    ds->Edit();
    ds->FieldByName("MB005")->SetText("typed");
    EXPECT_EQ(ds->FieldByName("MB005")->AsString(), "TYPED");
}
