// Numeric input and display of the base data module: decimals by rule, currency and quantity, the column
// limit, the per-user display options, the currency cache, and opening with the packet size.
#include "DataTestEnv.h"

using namespace kvx;
using namespace datatest;

namespace {

// A counter that knows a few currencies and counts the SQL it is sent.
class CurrencyCounter : public brokertest::Recorder {
public:
    QHash<QString, VariantList> currencies; // code -> MF001, MF003..MF006
    QString userDefine;
    bool fail = false;
    CurrencyCounter() : Recorder("Fake.Counter") {
        addRecorded("GETCOUNTER", [this](VariantList& a) -> Variant {
            if (fail) throw AutomationError("counter down");
            if (a[0].toString() == "GetUserDefine") return userDefine;
            const QString sql = a[1].at(0).toString();
            for (auto it = currencies.begin(); it != currencies.end(); ++it)
                if (sql.endsWith("MF001='" + it.key() + "'"))
                    return Variant::fromList({Variant::fromList(it.value())});
            return Variant();
        });
    }
};

struct NumberEnv : DataEnv {
    std::shared_ptr<CurrencyCounter> counter = std::make_shared<CurrencyCounter>();
    NumberEnv() {
        counter->currencies.insert("JPY", {"JPY", 2, 0, 2, 0});
        counter->currencies.insert("KWD", {"KWD", 3, 3, 3, 3});
        counter->currencies.insert("USD", {"USD", 4, 2, 4, 2});
        broker->Counter = Variant(std::shared_ptr<Dispatch>(counter));
        connectServices();
        broker->SetSysParam("sys068", "2");
        addRow(mainRow("A1", 1, "JPY"));
        dm->DecimalRules << "2=cdsMain:AMT";
        dm->QuantityFields = "QTY";
    }
    TField* f(const char* name) { return dm->cdsMain->FieldByName(name); }
    int sqlCalls() const { return counter->count("GETCOUNTER"); }
};

} // namespace

TEST(NumberInput, CommasAreDroppedAndTheValueRoundedToTheFieldsDecimals) {
    NumberEnv env;
    env.dm->cdsMain->Open();
    env.dm->SetNumberFieldFormats("cdsMain:AMT", 2, false);
    env.dm->cdsMain->Edit();
    env.f("AMT")->SetText("1,234.5");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 1234.5);
    env.f("AMT")->SetText("2.675");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 2.68);
    env.f("AMT")->SetText("");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 0.0);
    env.f("AMT")->SetText("12x");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 0.0);
    EXPECT_EQ(env.f("AMT")->EditFormat(), "##0.##");
}

TEST(NumberInput, ValuesBeyondTheColumnWidthAreReportedAndStoredAsZero) {
    NumberEnv env;
    env.dm->NumberFieldWidths << "AMT=6.2";
    env.dm->cdsMain->Open();
    env.dm->SetNumberFieldFormats("cdsMain:AMT", 2, false);
    env.dm->cdsMain->Edit();
    env.f("AMT")->SetText("9999.99");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 9999.99);
    EXPECT_EQ(DataEnv::messageCount(), 0);
    env.f("AMT")->SetText("10000");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 0.0);
    EXPECT_EQ(DataEnv::lastMessage().trimmed(), "\"AMT\" 不能大于 9999.99!");
    env.f("AMT")->SetText("-12345");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 0.0);
    EXPECT_EQ(DataEnv::lastMessage().trimmed(), "\"AMT\" 不能小于 -9999.99!");
}

TEST(NumberInput, UnknownDecimalsStoreTheValueUnrounded) {
    NumberEnv env;
    env.dm->cdsMain->Open();
    env.dm->SetNumberFieldFormats("cdsMain:N,MB001;cdsNone:AMT", -1, false);
    env.dm->cdsMain->FieldByName("AMT")->OnSetText = [&](TField* s, const QString& t) {
        env.dm->NumberFieldSetText(s, t);
    };
    env.dm->DecimalRules.clear();
    env.dm->cdsMain->Edit();
    env.f("AMT")->SetText("1.23456789");
    EXPECT_DOUBLE_EQ(env.f("AMT")->AsFloat(), 1.23456789);
    EXPECT_EQ(env.f("N")->EditFormat(), "##0.#######");
    EXPECT_FALSE(bool(env.f("MB001")->OnSetText)); // not a number field
}

TEST(NumberInput, ColumnWidthsComeFromTheServerOncePerColumn) {
    NumberEnv env;
    env.wc->validator->checkResult =
        Variant::fromList({Variant::fromList({"AMT", 16, 2}), Variant::fromList({"QTY", 12, 3}),
                           Variant::fromList({"AMT", 5, 0})});
    env.dm->LoadNumberFieldWidths("QLDMB");
    EXPECT_EQ(env.dm->NumberFieldWidths, QStringList({"AMT=16.2", "QTY=12.3"}));
    const brokertest::Call* call = env.wc->validator->last("QueryData");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[0].toString(), "NUMFD");
    EXPECT_EQ(call->args[1].toString(), "01");
    EXPECT_EQ(call->args[3].at(0).toString(), "QLDMB");
    env.dm->LoadNumberFieldWidths("");
    EXPECT_EQ(env.wc->validator->count("QueryData"), 1);
}

TEST(CurrencyDigits, KnownCurrenciesByKindUnknownOnesZeroAndEachAskedOnce) {
    NumberEnv env;
    EXPECT_EQ(env.dm->GetCurrencyDigits("KWD", cdtMoney), 3);
    EXPECT_EQ(env.dm->GetCurrencyDigits("JPY", cdtMoney), 0);
    EXPECT_EQ(env.dm->GetCurrencyDigits("JPY", cdtPrice), 2);
    EXPECT_EQ(env.dm->GetCurrencyDigits("USD", cdtUnitCost), 4);
    EXPECT_EQ(env.sqlCalls(), 3);
    for (int k = cdtPrice; k <= cdtCostsAmount; ++k)
        EXPECT_EQ(env.dm->GetCurrencyDigits("XXX", TCurrencyDigitType(k)), 0);
    EXPECT_EQ(env.sqlCalls(), 4);
    EXPECT_EQ(env.dm->GetCurrencyDigits("KWD", cdtCostsAmount), 3);
    EXPECT_EQ(env.sqlCalls(), 4);
    EXPECT_EQ(env.dm->GetCurrencyDigits("", cdtMoney), -1);
    const QString sql = env.counter->last("GETCOUNTER")->args[1].at(0).toString();
    EXPECT_EQ(sql, "select top 1 MF001,MF003,MF004,MF005,MF006 from $$CMSMF CMSMF where MF001='XXX'");
}

TEST(CurrencyDigits, QuotesInACodeAreDoubledAndAFailedCallIsNotCached) {
    NumberEnv env;
    env.dm->GetCurrencyDigits("A'B", cdtMoney);
    EXPECT_TRUE(env.counter->last("GETCOUNTER")->args[1].at(0).toString().endsWith("where MF001='A''B'"));
    env.counter->fail = true;
    EXPECT_EQ(env.dm->GetCurrencyDigits("USD", cdtMoney), -1);
    env.counter->fail = false;
    EXPECT_EQ(env.dm->GetCurrencyDigits("USD", cdtMoney), 2);
}

TEST(NumberDisplay, MoneyFollowsTheRecordsCurrencyAndTheUsersOptions) {
    NumberEnv env;
    env.dm->CurrencyRules << "cdsMainCUR||cdtMoney=cdsMain:AMT";
    env.dm->cdsMain->Open(); // applies the currency fields after opening
    env.dm->cdsMain->Edit();
    env.f("AMT")->SetAsFloat(1234.5678);
    EXPECT_EQ(env.f("AMT")->DisplayText(), "1,235"); // JPY: no money decimals
    env.dm->HookCurrencyField(env.f("CUR"));
    env.f("CUR")->SetAsString("KWD");
    EXPECT_EQ(env.f("AMT")->DisplayText(), "1,234.568");
    EXPECT_EQ(env.f("AMT")->EditFormat(), "##0.###");
    env.dm->MoneyThousand = false;
    env.dm->MoneyAutoZero = false;
    env.f("AMT")->SetAsFloat(1200.5);
    EXPECT_EQ(env.f("AMT")->DisplayText(), "1200.5");
    env.f("AMT")->Clear();
    EXPECT_EQ(env.f("AMT")->DisplayText(), "");
    EXPECT_EQ(env.dm->DigitsOfField("AMT"), 2); // the decimal rule comes before the currency
}

TEST(NumberDisplay, QuantitiesUseSys068AndTheBaseCurrencyRuleUsesSys003) {
    NumberEnv env;
    env.broker->SetSysParam("SYS003", "KWD");
    env.dm->CurrencyRules << "SYS003||cdtPrice=cdsMain:N";
    env.dm->cdsMain->Open();
    env.dm->SetNumberFieldFormats("cdsMain:QTY", 2, false);
    env.dm->cdsMain->Edit();
    env.f("QTY")->SetAsFloat(1234.5);
    EXPECT_EQ(env.f("QTY")->DisplayText(), "1,234.50");
    env.dm->QuantityThousand = false;
    env.dm->QuantityAutoZero = false;
    EXPECT_EQ(env.f("QTY")->DisplayText(), "1234.5");
    EXPECT_EQ(env.dm->DigitsOfField("QTY"), 2);
    EXPECT_EQ(env.dm->DigitsOfField("N"), 3);
    EXPECT_EQ(env.dm->DigitsOfField("MB005"), -1);
    EXPECT_EQ(env.dm->DigitsOfField(""), -1);
}

TEST(NumberDisplay, DecimalRulesTakeTheirAssociatedDigitsOrTheirKey) {
    NumberEnv env;
    env.dm->DecimalRules = QStringList{"4=cdsMain:AMT", "5=cdsMain:N,QTYX", "x=cdsMain:MB005"};
    env.dm->DecimalRuleDigits[5] = 1;
    EXPECT_EQ(env.dm->DigitsOfField("AMT"), 4);
    EXPECT_EQ(env.dm->DigitsOfField("N"), 1);
    EXPECT_EQ(env.dm->DigitsOfField("QTYX"), 1);
    EXPECT_EQ(env.dm->DigitsOfField("MB005"), -1);
    EXPECT_EQ(env.dm->DecimalRuleValue(5), "cdsMain:N,QTYX");
    EXPECT_EQ(env.dm->DecimalRuleDecimals(4), 4);
}

TEST(NumberDisplay, OptionsAreReadFromTheUsersSettingsAndKeptOnFailure) {
    NumberEnv env;
    env.counter->userDefine =
        "<Setting><MoneyFieldThousand>false</MoneyFieldThousand><QuantityFieldAutoZero>TRUE"
        "</QuantityFieldAutoZero><QuantityFieldThousand>no</QuantityFieldThousand></Setting>";
    env.dm->LoadNumberDisplayOptions();
    EXPECT_FALSE(env.dm->MoneyThousand);
    EXPECT_TRUE(env.dm->MoneyAutoZero); // missing element keeps the default
    EXPECT_TRUE(env.dm->QuantityAutoZero);
    EXPECT_FALSE(env.dm->QuantityThousand);
    const brokertest::Call* call = env.counter->last("GETCOUNTER");
    EXPECT_EQ(call->args[1].toList(), VariantList({"DEMO", "DS", "QLDI05", "NumberFieldsSetting"}));

    env.counter->userDefine = "<Setting><MoneyFieldThousand>True";
    env.dm->LoadNumberDisplayOptions();
    EXPECT_FALSE(env.dm->MoneyThousand);
    env.counter->fail = true;
    EXPECT_NO_THROW(env.dm->LoadNumberDisplayOptions());
    EXPECT_FALSE(env.dm->MoneyThousand);
}

TEST(OpenMain, PacketSizeComesFromMaxRecordCappedAtForty) {
    NumberEnv env;
    env.broker->LoginInfo = QStringList{"M11_TABLE=QLDMB", "M11_KEY=MB001", "MAX_RECORD=100"};
    EXPECT_TRUE(env.dm->OpenMainAndColor());
    EXPECT_EQ(env.dm->cdsMain->PacketRecords(), 40);
    EXPECT_EQ(env.provider.packetSizes.value(0), 40);
    EXPECT_EQ(env.dm->MainTable, "QLDMB");
    EXPECT_EQ(env.dm->KeyFields, "MB001");
    EXPECT_FALSE(env.dm->cdsMainColor->Active()); // no server: left closed, no error
    EXPECT_EQ(env.dm->cdsMain->FieldByName("MODI_DATE")->DisplayLabel(), "更改日期");
    env.dm->cdsMain->Close();
    env.broker->LoginInfo = QStringList{"M11_TABLE=QLDMB"};
    env.dm->OpenMainAndColor();
    EXPECT_EQ(env.dm->cdsMain->PacketRecords(), 0);
}

TEST(OpenMain, SelectListsAreDerivedOnlyWhenSys150IsSet) {
    NumberEnv env;
    env.broker->LoginInfo = QStringList{
        "M11_SELECT=select MB001, MB002 as Mode, mb005 FROM QLDMB",
        "D11_SELECT=Select TC001, (select max(x) from T) as M, TD002 From COPTC a Left Join COPTD b on "
        "a.K=b.K where a.X=1"};
    env.dm->OpenMainAndColor();
    EXPECT_EQ(env.dm->MainSelect, "");
    env.dm->cdsMain->Close();
    env.broker->SetSysParam("SYS150", "Y");
    env.dm->OpenMainAndColor();
    EXPECT_EQ(env.dm->MainSelect, "MB002 MODE, MB005");
    EXPECT_EQ(env.dm->DetailSelect, "(SELECT MAX(X) FROM T) M, TD002");
    EXPECT_EQ(env.dm->DetailJoin, " Left Join COPTD b on a.K=b.K");
    env.dm->SetDetailSelect("select A, B from T");
    EXPECT_EQ(env.dm->DetailJoin, "");
    env.dm->SetKeyFields("MB001");
    env.dm->SetKeyFields("mb001");
    EXPECT_EQ(env.dm->KeyFields, "MB001"); // same list without regard to case: kept
}
