// TdmSingle: carried-over values, new-record defaults and their order, auto-numbering, sorting by grid
// titles, the selection column, combo display texts, the reconcile report and the colour marks.
#include "SingleTestEnv.h"

#include "server/LibStrs.h"

#include <QDir>
#include <QFile>

using namespace kvx;
using namespace datatest;

namespace {

Row row(const QString& key, const QString& mode, const QString& remark, double amt, int n) {
    return {key,
            mode,
            remark,
            amt,
            2.0,
            QStringLiteral("USD"),
            n,
            QStringLiteral("DEMO"),
            QStringLiteral("DS"),
            QStringLiteral("ADMIN"),
            QStringLiteral("20260101"),
            QString(),
            QString(),
            1.0};
}

QStringList column(TClientDataSet* ds, const char* name) {
    QStringList out;
    const TBookmark where = ds->Bookmark();
    for (ds->First(); !ds->Eof(); ds->Next())
        out << ds->FieldByName(QString::fromLatin1(name))->AsString();
    ds->GotoBookmark(where);
    return out;
}

} // namespace

// --- carried-over values -------------------------------------------------------------------------------

TEST(SingleCarryOver, EmptyTextIsStoredAsOneSpaceAndRestoredEmptyNullStaysNull) {
    SingleEnv env;
    env.addRow(row("A1", "2", "", 5, 1));
    env.dm->cdsMain->Open();
    env.field("MB002")->DataSet()->Edit();
    env.field("MB002")->Clear();
    env.dm->CarryOverValues = QStringList{"MB005=", "MB002=", "N=", "NOSUCH="};
    env.dm->SaveCarryOver();
    EXPECT_EQ(env.dm->CarryOverValues, (QStringList{"MB005= ", "MB002=", "N=1 ", "NOSUCH="}));

    env.field("MB005")->SetAsString("other");
    env.field("MB002")->SetAsString("3");
    env.field("N")->SetAsInteger(9);
    env.dm->RestoreCarryOver();
    EXPECT_FALSE(env.field("MB005")->IsNull());
    EXPECT_EQ(env.field("MB005")->AsString(), "");
    EXPECT_TRUE(env.field("MB002")->IsNull());
    EXPECT_EQ(env.field("N")->AsInteger(), 1);

    env.dm->ClearCarryOver();
    EXPECT_EQ(env.dm->CarryOverValues, (QStringList{"MB005= ", "MB002= ", "N= ", "NOSUCH= "}));
}

TEST(SingleCarryOver, ASavedAddedRecordIsCarriedIntoTheNextNewRecord) {
    SingleEnv env;
    env.dm->cdsMain->Open();
    env.dm->CarryOverValues = QStringList{"MB002=", "MB005="};
    env.form.editingMode = TDataModuleOwner::emAdd;
    TClientDataSet* ds = env.dm->cdsMain;
    ds->Append();
    env.field("MB001")->SetAsString("NEW1");
    env.field("MB002")->SetAsString("2");
    env.field("MB005")->SetAsString("kept remark");
    ASSERT_TRUE(env.dm->ApplyMain(ds));
    EXPECT_EQ(env.dm->CarryOverValues, (QStringList{"MB002=2 ", "MB005=kept remark "}));

    ds->Append();
    EXPECT_EQ(env.field("MB002")->AsString(), "2");
    EXPECT_EQ(env.field("MB005")->AsString(), "kept remark");
    EXPECT_EQ(env.field("MB001")->AsString(), ""); // not listed, only the null fill
    ds->Cancel();
}

TEST(SingleCarryOver, AFailedSaveOrAChangeOfAnExistingRecordCarriesNothing) {
    SingleEnv env;
    env.addRow(row("A1", "1", "first", 5, 1));
    env.dm->cdsMain->Open();
    env.dm->CarryOverValues = QStringList{"MB005="};
    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->cdsMain->Edit();
    env.field("MB005")->SetAsString("changed");
    ASSERT_TRUE(env.dm->ApplyMain(env.dm->cdsMain));
    EXPECT_EQ(env.dm->CarryOverValues, QStringList{"MB005="});

    env.form.editingMode = TDataModuleOwner::emAdd;
    env.dm->cdsMain->Append();
    env.field("MB001")->SetAsString("A1"); // key violation at the provider
    env.field("MB005")->SetAsString("dup");
    EXPECT_FALSE(env.dm->ApplyMain(env.dm->cdsMain));
    EXPECT_EQ(env.dm->CarryOverValues, QStringList{"MB005="});
}

// --- new-record defaults -------------------------------------------------------------------------------

TEST(SingleNewRecord, CarryOverThenHostDefaultsThenUserDefaultsThenUserDefinedFields) {
    SingleEnv env;
    env.connectServices();
    env.dm->cdsMain->Open();
    env.form.calls.clear();
    env.dm->CarryOverValues = QStringList{"MB002=1 ", "MB005=carried "};
    Variant host = Variant::array2(0, 1, 0, 1);
    host.item(0, 0) = QStringLiteral("MB005");
    host.item(1, 0) = QStringLiteral("from host");
    host.item(0, 1) = QStringLiteral("NOSUCH");
    host.item(1, 1) = QStringLiteral("x");
    env.dm->HostDefaults = host;
    QString seenByUserDefaults;
    env.form.onUserDefaults = [&] { seenByUserDefaults = env.field("MB005")->AsString(); };
    env.form.udfs = {TUdfDefault{"CUR", "RULE1", {"MB002", "MB005", "GONE"}}};
    env.wc->counter->counterAnswer = Variant::fromList({Variant::fromList({QStringLiteral("EUR")})});

    env.dm->cdsMain->Append();
    EXPECT_EQ(env.field("MB002")->AsString(), "1");
    EXPECT_EQ(env.field("MB005")->AsString(), "from host");
    EXPECT_EQ(seenByUserDefaults, "from host");
    EXPECT_EQ(env.form.calls, (QStringList{"userDefaults", "udf:Z01,N"}));
    EXPECT_EQ(env.field("CUR")->AsString(), "EUR");
    const brokertest::Call* call = env.wc->counter->last("GETCOUNTER");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[0].toString(), "QueryUDFData");
    const VariantList p = call->args[1].toList();
    ASSERT_EQ(p.size(), 5);
    EXPECT_EQ(p[0].toString(), "RULE1");
    EXPECT_EQ(p[1].toString(), "");
    EXPECT_EQ(p[2].toString(), "DEMO");
    EXPECT_EQ(p[3].toString(), "N");
    EXPECT_EQ(p[4].toList(), (VariantList{"1", "from host", ""}));
}

TEST(SingleNewRecord, FailingUserDefinedValuesAreReportedOncePerRecord) {
    SingleEnv env;
    env.wc->catalogue.insert("E/000032", QStringLiteral("错误: %s"));
    env.connectServices();
    env.dm->cdsMain->Open();
    env.field("N")->SetDisplayLabel("数量");
    env.form.udfs = {TUdfDefault{"N", "R1", {}}, TUdfDefault{"AMT", "R2", {}}};
    env.wc->counter->counterAnswer = Variant::fromList({Variant::fromList({QStringLiteral("not a number")})});

    env.dm->cdsMain->Append();
    ASSERT_EQ(SingleEnv::messageCount(), 1);
    EXPECT_TRUE(SingleEnv::lastMessage().contains("自定义栏位(数量)赋值错误"))
        << SingleEnv::lastMessage().toStdString();
    env.dm->cdsMain->Cancel();
    env.dm->cdsMain->Append();
    EXPECT_EQ(SingleEnv::messageCount(), 2);
    env.dm->cdsMain->Cancel();
}

TEST(SingleNewRecord, TheUserDefinedFieldCollectionIsAskedFieldByField) {
    SingleEnv env;
    env.connectServices();
    env.dm->cdsMain->Open();
    TUDFFields rules;
    rules.AddRows(Variant::fromList({Variant::fromList({"MB005", "R7", "MB002;QLDMB.N"})}),
                  [&](const QString& name) { return env.dm->cdsMain->FindField(name); });
    const QList<TUdfDefault> list = TdmSingle::UdfDefaultsOf(rules);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].TargetField, "MB005");
    EXPECT_EQ(list[0].DefinitionName, "R7");
    env.wc->counter->counterAnswer = Variant::fromList({Variant::fromList({QStringLiteral("computed")})});
    env.dm->cdsMain->Append();
    env.field("MB002")->SetAsString("2");
    env.dm->QueryUdfDefaults(env.dm->cdsMain, rules);
    EXPECT_EQ(env.field("MB005")->AsString(), "computed");
    const VariantList p = env.wc->counter->last("GETCOUNTER")->args[1].toList();
    EXPECT_EQ(p[0].toString(), "R7");
    EXPECT_EQ(p[4].toList().value(0).toString(), "2");
    env.dm->cdsMain->Cancel();
}

TEST(SingleNewRecord, AnswersThatAreNoRowsLeaveTheFieldAlone) {
    SingleEnv env;
    env.connectServices();
    env.dm->cdsMain->Open();
    env.form.udfs = {TUdfDefault{"MB005", "R1", {}}, TUdfDefault{"NOSUCH", "R2", {}}};
    env.wc->counter->counterAnswer = QStringLiteral("plain");
    env.dm->cdsMain->Append();
    EXPECT_EQ(env.field("MB005")->AsString(), "");
    EXPECT_EQ(SingleEnv::messageCount(), 0);
    env.dm->cdsMain->Cancel();
}

// --- auto-numbering ------------------------------------------------------------------------------------

TEST(SingleAutoNumber, TheLastKeyFieldIsNumberedAndNotRequiredUntilTheNextNewRecord) {
    SingleEnv env;
    env.dm->cdsMain->Open();
    env.field("MB005")->SetRequired(true);
    env.dm->SetKeyFields("MB001,MB005");
    EXPECT_EQ(env.dm->KeyCount(), 2);
    env.dm->SetAutoNumberMode(true);
    EXPECT_TRUE(env.dm->AutoNumberMode());
    EXPECT_EQ(env.dm->GetAutoNumberField(), "MB005");
    EXPECT_FALSE(env.field("MB005")->Required());

    env.field("MB005")->SetRequired(true);
    env.dm->cdsMain->Append();
    EXPECT_FALSE(env.dm->AutoNumberMode());
    EXPECT_EQ(env.dm->GetAutoNumberField(), "");
    EXPECT_TRUE(env.field("MB005")->Required()); // switching off leaves the flag alone
    env.dm->cdsMain->Cancel();
}

TEST(SingleAutoNumber, KeyFieldsSetLaterNameTheNumberedField) {
    SingleEnv env;
    env.dm->cdsMain->Open();
    env.dm->SetAutoNumberMode(true);
    EXPECT_EQ(env.dm->GetAutoNumberField(), "");
    env.field("MB002")->SetRequired(true);
    env.dm->SetKeyFields("MB001, MB002");
    EXPECT_EQ(env.dm->GetAutoNumberField(), "MB002");
    EXPECT_FALSE(env.field("MB002")->Required());
}

// --- sorting -------------------------------------------------------------------------------------------

TEST(SingleSort, ThreeClicksOnATitleSortAscendingDescendingAscending) {
    SingleEnv env;
    env.addRow(row("B", "2", "b", 2, 2));
    env.addRow(row("C", "3", "c", 3, 3));
    env.addRow(row("A", "1", "a", 1, 1));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    env.dm->SortByField("MB001");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(ds->IndexFieldNames(), "MB001");
    env.dm->SortByField("MB001");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"C", "B", "A"}));
    EXPECT_EQ(ds->IndexName(), "MB001");
    EXPECT_TRUE(ds->IndexDefs().Find("MB001")->Options.testFlag(ixDescending));
    env.dm->SortByField("MB001");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(ds->IndexName(), "");
    env.dm->SortByField("MB001");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"C", "B", "A"}));
    // Another title sorts ascending on its own field.
    env.dm->SortByField("N");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(env.dm->SortField, env.field("N"));
    // No field: back to the default order.
    env.dm->DefaultIndexFields = "MB005";
    env.dm->SortByField("");
    EXPECT_EQ(env.dm->SortField, nullptr);
    EXPECT_EQ(ds->IndexFieldNames(), "MB005");
}

TEST(SingleSort, CalculatedFieldsAndOtherStatesAreNeverSorted) {
    SingleEnv env;
    auto* calc = new TStringField(env.dm);
    calc->SetFieldName("CALC");
    calc->SetFieldKind(TField::fkCalculated);
    calc->SetDataSet(env.dm->cdsMain);
    env.addRow(row("B", "2", "b", 2, 2));
    env.addRow(row("A", "1", "a", 1, 1));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    env.dm->SortByField("CALC");
    EXPECT_EQ(env.dm->SortField, nullptr);
    EXPECT_EQ(ds->IndexFieldNames(), "");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"B", "A"}));

    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->SortByField("MB001");
    EXPECT_EQ(env.dm->SortField, nullptr);
    env.form.editingMode = TDataModuleOwner::emBrowse;
    env.form.sortAllowed = false;
    env.dm->SortByField("MB001");
    EXPECT_EQ(env.dm->SortField, nullptr);
    env.form.sortAllowed = true;
    env.dm->SortByField("MB001");
    EXPECT_EQ(column(ds, "MB001"), (QStringList{"A", "B"}));
}

// --- selection column ----------------------------------------------------------------------------------

TEST(SingleSelection, TheSelectionColumnComesFirstAndShowsTheGridSelection) {
    SingleEnv env;
    env.addRow(row("A", "1", "a", 1, 1));
    env.addRow(row("B", "2", "b", 2, 2));
    env.dm->cdsMain->Open();
    TClientDataSet* ds = env.dm->cdsMain;
    ASSERT_NE(env.dm->SelectionField, nullptr);
    EXPECT_EQ(ds->Fields().first(), env.dm->SelectionField);
    EXPECT_EQ(env.dm->SelectionField->FieldName(), "MultiSelected");
    EXPECT_EQ(env.dm->SelectionField->DisplayLabel(), "选定");
    EXPECT_TRUE(env.dm->SelectionField->ReadOnly());
    EXPECT_FALSE(env.dm->SelectionField->Visible());
    EXPECT_EQ(env.form.calls, (QStringList{"control:MultiSelected;CheckBox;Y;N", "layout"}));

    ds->Last();
    env.form.selected = {ds->Bookmark()};
    EXPECT_EQ(env.dm->SelectionField->DisplayText(), "Y");
    ds->First();
    EXPECT_EQ(env.dm->SelectionField->DisplayText(), "N");
    env.dm->SetSelectionVisible(true);
    EXPECT_TRUE(env.dm->SelectionField->Visible());

    // Reopening does not add a second column.
    ds->Close();
    ds->Open();
    int count = 0;
    for (TField* f : ds->Fields())
        count += f->FieldName() == "MultiSelected";
    EXPECT_EQ(count, 1);
}

TEST(SingleSelection, TheLabelIsEnglishOutsideTheChineseCodePages) {
    SingleEnv env;
    env.form.codePage = "437";
    env.dm->cdsMain->Open();
    EXPECT_EQ(env.dm->SelectionField->DisplayLabel(), "Selected");
}

// --- combo display texts and decimals ------------------------------------------------------------------

TEST(SingleComboText, TheItemStoringTheValueWinsOverOneThatMerelyContainsIt) {
    SingleEnv env;
    env.addRow(row("A", "1", "a", 1, 1));
    env.addRow(row("B", "2", "b", 1, 1));
    env.addRow(row("C", "", "c", 1, 1));
    env.dm->cdsMain->Open();
    env.form.controlTypes = {"MB002;CustomEdit;cboMB002", "MB005;CheckBox;Y;N"};
    env.form.combos["cboMB002"] = {"10:十\t10", "1:不处理\t1", "2:汇出\t2"};
    QString out;
    env.dm->ComboDisplayText(env.dm->cdsMain, &env.form, out, "1", "MB002");
    EXPECT_EQ(out, "1:不处理");
    env.dm->cdsMain->Next();
    env.dm->ComboDisplayText(env.dm->cdsMain, &env.form, out, "2", "MB002");
    EXPECT_EQ(out, "2:汇出");
    // No item stores the value: the first item containing the displayed text.
    env.dm->cdsMain->Next();
    env.dm->ComboDisplayText(env.dm->cdsMain, &env.form, out, "十", "MB002");
    EXPECT_EQ(out, "10:十");
    // A field without a drop-down keeps its text.
    env.dm->ComboDisplayText(env.dm->cdsMain, &env.form, out, "c", "MB005");
    EXPECT_EQ(out, "c");
}

TEST(SingleDigits, TheFirstRuleNamingTheFieldGivesItsDecimalsElseTheDefault) {
    SingleEnv env;
    env.dm->DecimalRules = QStringList{"1=cdsMain:QTY", "3=cdsMain:AMT,cdsMain:QTY"};
    env.dm->DecimalRuleDigits[3] = 4;
    EXPECT_EQ(env.dm->DigitsByRuleKey("QTY", 7), 1);
    EXPECT_EQ(env.dm->DigitsByRuleKey("AMT", 7), 4);
    // Listed names only: "N" occurs inside "cdsMain", "QT" inside "QTY".
    EXPECT_EQ(env.dm->DigitsByRuleKey("N", 7), 7);
    EXPECT_EQ(env.dm->DigitsByRuleKey("QT", 7), 7);
}

// --- reconcile errors ----------------------------------------------------------------------------------

TEST(SingleReconcile, TheErrorBoxListsFetchedTriedAndCurrentValuesAndTwoLinesAreLogged) {
    SingleEnv env;
    env.addRow(row("A", "1", "fetched", 1, 1));
    env.dm->cdsMain->Open();
    // Someone else changes the record meanwhile.
    env.provider.table("pvdMain").rows[0][2] = QStringLiteral("theirs");
    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->cdsMain->Edit();
    env.field("MB005")->SetAsString("mine");
    EXPECT_FALSE(env.dm->ApplyMain(env.dm->cdsMain));
    ASSERT_EQ(SingleEnv::messageCount(), 1);
    const MessageRequest& box = DialogService::instance().shown().last();
    EXPECT_EQ(box.type, MsgDlgType::Error);
    EXPECT_TRUE(box.text.contains("MB005: fetched -> mine (now theirs)")) << box.text.toStdString();
    EXPECT_FALSE(box.text.contains("MB001:")) << box.text.toStdString(); // unchanged fields are not listed

    const QStringList logs = QDir(AlertLogFolder()).entryList({"Alert_QLDI05_*"});
    ASSERT_EQ(logs.size(), 1);
    QFile f(AlertLogFolder() + logs[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("Single保存失败Context :pvdMain row 0")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("Single保存失败PreviousError :7")) << lines[1].toStdString();
}

TEST(SingleReconcile, ReportWithoutCurrentRowSaysSo) {
    TReconcileRecord r;
    r.fields = {FieldDesc("MB001", FieldType::String, 20), FieldDesc("MB005", FieldType::String, 20)};
    r.oldValues = {QStringLiteral("A"), Variant::null()};
    r.newValues = {Variant(), QStringLiteral("x")};
    EXPECT_EQ(TdmSingle::ReconcileReport("failed", r), "failed\r\n\r\nMB005: (null) -> x (now -)");
    r.newValues = {Variant(), Variant()};
    EXPECT_EQ(TdmSingle::ReconcileReport("failed", r), "failed");
}

// --- colour marks --------------------------------------------------------------------------------------

TEST(SingleColorMark, TheColourRecordOfTheCurrentKeyIsAppliedOnScroll) {
    SingleEnv env;
    env.addRow(row("A", "1", "a", 1, 1));
    env.addRow(row("B", "2", "b", 1, 1));
    env.dm->SetKeyFields("MB001");
    TClientDataSet* color = env.dm->cdsMainColor;
    color->FieldDefs().Add("MB001", FieldType::String, 20);
    color->FieldDefs().Add("gdMain", FieldType::String, 100);
    color->CreateDataSet();
    color->Append();
    color->FieldByName("MB001")->SetAsString("B");
    color->Post();
    env.dm->cdsMain->Open();
    env.form.calls.clear();
    env.dm->cdsMain->Next(); // colour management off: nothing
    EXPECT_TRUE(env.form.calls.isEmpty());

    env.form.colorManagement = true;
    env.dm->cdsMain->First();
    EXPECT_EQ(env.form.calls, QStringList{"reset"});
    env.form.calls.clear();
    env.dm->cdsMain->Next();
    EXPECT_EQ(env.form.calls, (QStringList{"reset", "apply:B"}));

    // A save reloads the colour data (for the new record in add mode) and marks again.
    env.form.calls.clear();
    env.form.editingMode = TDataModuleOwner::emModify;
    env.dm->cdsMain->Edit();
    env.field("MB005")->SetAsString("x");
    ASSERT_TRUE(env.dm->ApplyMain(env.dm->cdsMain));
    EXPECT_TRUE(env.form.calls.contains("reload:last")) << env.form.calls.join(',').toStdString();
    EXPECT_EQ(env.form.calls.last(), "apply:B");
}

// --- body permission before editing --------------------------------------------------------------------

namespace {

// The program server's answer to GetBaseLimitedRecs: [count of permitted rows, permitted keys].
class LimitServer : public DispatchObject {
public:
    Variant answer;
    int calls = 0;
    LimitServer() : DispatchObject("Fake.Server") {
        addMethod("GetBaseLimitedRecs", [this](VariantList&) {
            ++calls;
            return answer;
        });
        addMethod("GetRecCount", [](VariantList&) { return Variant(1); });
    }
};

struct BodyEnv : SingleEnv {
    std::shared_ptr<LimitServer> server = std::make_shared<LimitServer>();
    TClientDataSet* body = nullptr;
    BodyEnv() {
        FieldDesc key("MB001", FieldType::String, 10);
        key.inKey = true;
        FieldDesc lines("BODY", FieldType::DataSet);
        lines.children = {FieldDesc("TB003", FieldType::String, 4), FieldDesc("FLAG", FieldType::Float)};
        provider.table("pvdMain").fields = {key, FieldDesc("FLAG", FieldType::Float), lines};
        provider.table("pvdMain").rows
            << Row{"M1", 1.0,
                   Variant::fromList({Variant::fromList({"0001", 1.0}), Variant::fromList({"0002", 1.0})})};
        dm->AppServer = Variant(std::shared_ptr<Dispatch>(server));
        dm->cdsMain->Open();
        body = new TClientDataSet(dm);
        body->setObjectName("cdsBody2");
        body->SetDataSetField(qobject_cast<TDataSetField*>(dm->cdsMain->FieldByName("BODY")));
        body->Open();
        broker->LoginInfo = QStringList{"H11_KEY=TB003", "H11_TABLE=BODY"};
        wc->catalogue.insert("E/200570", QStringLiteral("无权修改"));
        wc->catalogue.insert("E/200571", QStringLiteral("无权修改:%s"));
        connectServices();
    }
};

} // namespace

TEST(SingleCanModify, WithoutH11KeyNothingIsChecked) {
    BodyEnv env;
    env.broker->LoginInfo.clear();
    EXPECT_TRUE(env.dm->CanModify());
    EXPECT_EQ(env.server->calls, 0);
}

TEST(SingleCanModify, NoPermittedBodyRowIsRefusedWithTheAllMessage) {
    BodyEnv env;
    env.server->answer = Variant::fromList({0});
    EXPECT_FALSE(env.dm->CanModify());
    EXPECT_EQ(env.server->calls, 1);
    EXPECT_EQ(SingleEnv::lastMessage().trimmed(), "无权修改");
}

TEST(SingleCanModify, SomeRefusedRowsAreListedOneALine) {
    BodyEnv env;
    env.server->answer = Variant::fromList({1, Variant::fromList({"0001"})});
    EXPECT_FALSE(env.dm->CanModify());
    EXPECT_EQ(SingleEnv::lastMessage().trimmed(), "无权修改:\r\n\r\n0002");
    env.server->answer = Variant::fromList({2});
    EXPECT_TRUE(env.dm->CanModify());
}
