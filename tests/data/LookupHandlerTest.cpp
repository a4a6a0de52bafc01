// The lookup input handlers: the typed text converted by the window, the mode system parameter choosing
// between storing the text and looking it up with the selector or the one after it, and the bar-code
// kind field's first look in INVMH.
#include "DataTestEnv.h"

#include <QDate>

using namespace kvx;
using namespace datatest;

namespace {

struct LookupEnv : DataEnv {
    TClientDataSet ds;
    LookupEnv() {
        connectServices();
        ds.FieldDefs().Add("CODE", FieldType::String, 20);
        ds.FieldDefs().Add("KIND", FieldType::String, 1);
        ds.CreateDataSet();
        ds.Append();
        wc->f2->lookupAnswer = Variant::fromList({Variant::fromList({QStringLiteral("FOUND"), "x"})});
    }
    TField* code() { return ds.FieldByName("CODE"); }
    // Table, selector and the condition values of the last lookup.
    QStringList lastLookup() {
        const brokertest::Call* c = wc->f2->last("F2GetData");
        if (!c) return {};
        const VariantList p = c->args[0].toList();
        return {p[0].toString(), p[1].toString(), p[2].toList().value(0).toString()};
    }
    int lookups() { return wc->f2->count("F2GetData"); }
};

} // namespace

TEST(LookupHandlers, CustomerModesStoreOrLookUpWithTheirSelectors) {
    LookupEnv env;
    env.broker->SetSysParam("SYS054", "1");
    env.dm->CustomerFieldSetText(env.code(), "c01");
    EXPECT_EQ(env.code()->AsString(), "C01"); // the window's input conversion
    EXPECT_EQ(env.lookups(), 0);
    env.broker->SetSysParam("SYS054", "2");
    env.dm->CustomerFieldSetText(env.code(), "c02");
    EXPECT_EQ(env.code()->AsString(), "FOUND");
    EXPECT_EQ(env.lastLookup(), QStringList({"COPMA", "62", "C02"}));
    env.broker->SetSysParam("SYS054", "3");
    env.dm->CustomerFieldSetText(env.code(), "c03");
    EXPECT_EQ(env.lastLookup(), QStringList({"COPMA", "61", "C03"}));
    env.dm->CustomerFieldSetText(env.code(), "");
    EXPECT_EQ(env.code()->AsString(), "");
    EXPECT_EQ(env.lookups(), 2);
}

TEST(LookupHandlers, NoRowStoresTheTypedTextAndGivenArgumentsAreSent) {
    LookupEnv env;
    env.broker->SetSysParam("SYS056", "2");
    env.wc->f2->lookupAnswer = Variant();
    env.dm->CostFieldSetText(env.code(), "a1");
    EXPECT_EQ(env.code()->AsString(), "A1");
    EXPECT_EQ(env.lastLookup(), QStringList({"ACTMA", "67", "A1"}));
    env.broker->SetSysParam("SYS055", "3");
    env.dm->ProviderFieldSetText(env.code(), "p1", Variant::fromList({"ARG"}), "07");
    EXPECT_EQ(env.lastLookup(), QStringList({"PURMA", "07", "ARG"}));
    env.broker->SetSysParam("SYS055", "2");
    env.dm->ProviderFieldSetText(env.code(), "p1", {}, "07");
    EXPECT_EQ(env.lastLookup(), QStringList({"PURMA", "08", "P1"}));
}

TEST(LookupHandlers, BarCodesLookInInvmhFirstAndUnknownModesLeaveTheField) {
    LookupEnv env;
    env.code()->SetAsString("OLD");
    env.broker->SetSysParam("SYS053", "9");
    env.dm->BarCodeFieldSetText(env.code(), "b1");
    EXPECT_EQ(env.code()->AsString(), "OLD");
    EXPECT_EQ(env.lookups(), 0);
    env.broker->SetSysParam("SYS053", "2");
    env.dm->BarCodeFieldSetText(env.code(), "b1");
    EXPECT_EQ(env.lastLookup(), QStringList({"INVMB", "64", "B1"}));
    env.broker->SetSysParam("SYS053", "3");
    env.dm->BarCodeFieldSetText(env.code(), "b1", {}, "70", "INVMX");
    EXPECT_EQ(env.lastLookup(), QStringList({"INVMX", "70", "B1"}));

    env.ds.FieldByName("KIND")->SetAsString("2");
    env.dm->BarCodeKindField = env.ds.FieldByName("KIND");
    env.broker->SetSysParam("SYS053", "1");
    env.dm->BarCodeFieldSetText(env.code(), "b2");
    EXPECT_EQ(env.lastLookup(), QStringList({"INVMH", "01", "B2"}));
    EXPECT_EQ(env.code()->AsString(), "FOUND");
    env.wc->f2->lookupAnswer = Variant();
    env.dm->BarCodeFieldSetText(env.code(), "b3"); // no hit in INVMH: the mode decides
    EXPECT_EQ(env.code()->AsString(), "B3");
}

TEST(ServerDate, FallsBackToTheLocalDateWithoutAServer) {
    DataEnv env;
    env.dm->ServerDate.clear();
    env.dm->RefreshServerDate();
    EXPECT_EQ(env.dm->ServerDate, QDate::currentDate().toString("yyyyMMdd"));
    auto broken = std::make_shared<brokertest::Recorder>("Broken.Server");
    env.dm->AppServer = Variant(std::shared_ptr<Dispatch>(broken));
    env.dm->ServerDate.clear();
    env.dm->RefreshServerDate(); // Whatis is missing: the local date again
    EXPECT_EQ(env.dm->ServerDate, QDate::currentDate().toString("yyyyMMdd"));
}

TEST(SavedConditions, NameCheckAsksDocus01ForThisUserAndProgram) {
    DataEnv env;
    env.connectServices();
    env.wc->validator->answer = true;
    EXPECT_TRUE(env.dm->ConditionExists("月报"));
    const brokertest::Call* c = env.wc->validator->last("CheckValue");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args[0].toString(), "DOCUS");
    EXPECT_EQ(c->args[1].toString(), "01");
    EXPECT_EQ(c->args[3].toList(), VariantList({"月报", "DS", "QLDI05"}));
    env.wc->validator->answer = false;
    EXPECT_FALSE(env.dm->ConditionExists("月报"));
    // Without a connection the server calls raise instead of pretending to succeed.
    EXPECT_THROW(env.dm->LoadTable(), AutomationError);
}
