// The counter's named server functions, called as the broker calls them: Com_Counter, then
// GETCOUNTER(name, params, [company, database]) by late binding.
#include "WorkCenterEnv.h"

using namespace wctest;

namespace {
struct CounterTest : ::testing::Test {
    Env env;
    std::shared_ptr<kvx::Dispatch> wc = env.workCenter();
    std::shared_ptr<kvx::Dispatch> c = Env::service(wc, "Com_Counter");

    Variant sql(const QString& statement, const QString& fields) {
        return counter(c, "SimpleSql", Variant::fromList({statement, fields, "DEMO", "N"}));
    }
};
} // namespace

TEST_F(CounterTest, SimpleSqlReturnsRowsOfTheNamedFieldsWithThePrefixDropped) {
    const Variant rows = sql("Select * from $$QLDMB where MB002='2' ", "MB003,MB004");
    ASSERT_TRUE(rows.isArray());
    const int exports = env.count("SELECT COUNT(*) FROM QLDMB WHERE MB002 = '2'");
    ASSERT_GT(exports, 0);
    EXPECT_EQ(rows.toList().size(), exports);
    const VariantList first = rows.at(0).toList();
    ASSERT_EQ(first.size(), 2); // exactly the two named fields, in that order
    EXPECT_TRUE(first[0].toString().contains('_'));
    EXPECT_EQ(first[1].toString(),
              env.scalar("SELECT MB004 FROM QLDMB WHERE MB003 = ?", {first[0].toString()}).toString());
}

TEST_F(CounterTest, SimpleSqlSplitsTheSettingsIntoTheTwoClassesOfTheInitialisation) {
    // The two reads of the settings initialisation: export-class records, then all others.
    const Variant exports = sql("Select * from $$QLDMB where MB002='2' ", "MB003,MB004");
    const Variant others = sql("Select * from $$QLDMB where MB002<>'2' ", "MB003,MB004");
    ASSERT_TRUE(exports.isArray());
    ASSERT_TRUE(others.isArray());
    EXPECT_EQ(others.toList().size(), env.count("SELECT COUNT(*) FROM QLDMB WHERE MB002 <> '2'"));
    EXPECT_EQ(exports.toList().size() + others.toList().size(), env.count("SELECT COUNT(*) FROM QLDMB"));
    for (const Variant& row : others.toList())
        ASSERT_EQ(row.toList().size(), 2);
}

TEST_F(CounterTest, SimpleSqlTranslatesSelectTopAndKeepsQuotedDollars) {
    const Variant one =
        counter(c, "SimpleSQL",
                Variant::fromList({"select top 1 MF001,MF003,MF004,MF005,MF006 from $$CMSMF CMSMF "
                                   "where MF001='USD'",
                                   "MF001,MF003,MF004,MF005,MF006", "DEMO", "N"}));
    ASSERT_TRUE(one.isArray());
    ASSERT_EQ(one.toList().size(), 1);
    EXPECT_EQ(one.at(0).at(0).toString(), "USD");
    EXPECT_EQ(one.at(0).at(2).toInt(), 2); // numbers stay numbers
    EXPECT_EQ(sql("select top 3 MB001 from QLDMB order by MB001", "MB001").toList().size(), 3);
    // "$$" inside a quoted text is data, not the prefix.
    EXPECT_TRUE(sql("select MB001 from $$QLDMB where MB005 = '$$'", "MB001").isUnassigned());
}

TEST_F(CounterTest, SimpleSqlGivesNothingForNoRowsAndAnswersTheProgramTitle) {
    EXPECT_TRUE(
        sql("SELECT MB002,MB011,MB012,MB013 FROM ADMMB WHERE MB001='NOPROG'", "MB002,MB011,MB012,MB013")
            .isUnassigned());
    const Variant t =
        sql("SELECT MB002,MB011,MB012,MB013 FROM ADMMB WHERE MB001='QLDI05'", "MB002,MB011,MB012,MB013");
    EXPECT_EQ(t.at(0).at(0).toString(), "文档传输设置作业");
}

TEST_F(CounterTest, SimpleSqlRefusesAnythingButOneSelect) {
    const int before = env.count("SELECT COUNT(*) FROM QLDMB");
    for (const char* bad : {"DELETE FROM QLDMB", "select 1; delete from QLDMB", "select * from QLDMB -- x",
                            "update QLDMB set MB002='1'",
                            "select * from QLDMB where MB001 in (select 1) or 1=1 "
                            "union select * from QLDMB; drop table QLDMB"}) {
        const QString e = errorOf([&] { sql(QString::fromUtf8(bad), ""); });
        EXPECT_TRUE(e.startsWith("SimpleSQL")) << bad << " → " << e.toStdString();
    }
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDMB"), before);
    EXPECT_TRUE(errorOf([&] { sql("select MB001 from QLDMB", "MB001,NOFIELD"); }).contains("NOFIELD"));
    EXPECT_TRUE(errorOf([&] { counter(c, "SimpleSql", "select 1"); }).contains("array"));
}

TEST_F(CounterTest, TransactionSqlRunsTheAttachmentCleanUpOnly) {
    ASSERT_EQ(env.count("SELECT COUNT(*) FROM ATTACH WHERE KeyValues = 'COPTC'"), 1);
    const QString good = " DELETE FROM ATTACH  WHERE Parent = 'QLDI05'        AND CompanyID = 'DEMO'        "
                         "AND KeyValues = 'COPTC' ";
    // With a statement outside the list the whole call is refused and nothing is deleted.
    const QString e = errorOf([&] {
        counter(c, "TransactionSQL", Variant::fromList({Variant::fromList({good, "DELETE FROM QLDMB"})}));
    });
    EXPECT_TRUE(e.contains("statement 2")) << e.toStdString();
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM ATTACH WHERE KeyValues = 'COPTC'"), 1);
    EXPECT_EQ(counter(c, "TransactionSQL", Variant::fromList({good, "DEMO", "N"})).toString(), "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM ATTACH"), 0);
    // Quotes inside the key stay data.
    EXPECT_EQ(
        counter(
            c, "TransactionSQL",
            "DELETE FROM ATTACH WHERE Parent = 'X' AND CompanyID = 'DEMO' AND KeyValues = 'a'' OR ''1''=''1'")
            .toString(),
        "");
}

TEST_F(CounterTest, SysInfoIsATwoRowArrayOfNamesAndValues) {
    for (const Variant& info : {c->call("GetSysInfo", {"DEMO"}), counter(c, "GetSysInfo", "DEMO")}) {
        ASSERT_EQ(info.dimCount(), 2);
        QMap<QString, QString> params;
        for (int j = info.lowBound(2); j <= info.highBound(2); ++j)
            params[info.at(0, j).toString()] = info.at(1, j).toString();
        EXPECT_EQ(params.value("SYS001"), "1");
        EXPECT_EQ(params.value("KVX002"), "演示公司");
    }
    EXPECT_TRUE(errorOf([&] { c->call("GetSysInfo", {"NOCO"}); }).contains("NOCO"));
}

TEST_F(CounterTest, UserDefinesFallBackToTheAllProgramsValue) {
    const QString all = "********************";
    auto set = [&](const QString& prog, const QString& path, const QString& value) {
        return counter(c, "SetUserDefine", Variant::fromList({"DEMO", "DS", prog, path, value})).toString();
    };
    auto get = [&](const QString& prog, const QString& path) {
        return counter(c, "GetUserDefine", Variant::fromList({"DEMO", "DS", prog, path})).toString();
    };
    EXPECT_EQ(set(all, "InputSettings003/IsColorManage", "True"), "");
    EXPECT_EQ(get("QLDI05", "InputSettings003/IsColorManage"), "True");
    EXPECT_EQ(get("QLDI05", "InputSettings003"),
              "<InputSettings003><IsColorManage>True</IsColorManage></InputSettings003>");
    // A program's own value wins over the all-programs one.
    EXPECT_EQ(set("QLDI05", "InputSettings003/IsColorManage", "False"), "");
    EXPECT_EQ(get("QLDI05", "InputSettings003/IsColorManage"), "False");
    EXPECT_EQ(get("COPI01", "InputSettings003/IsColorManage"), "True");
    // "." stores a whole section under its root element's name.
    const QString xml =
        "<NumberFieldsSetting><MoneyFieldAutoZero>False</MoneyFieldAutoZero></NumberFieldsSetting>";
    EXPECT_EQ(set(all, ".", xml), "");
    EXPECT_EQ(get("INVI02", "NumberFieldsSetting"), xml);
    EXPECT_EQ(get("INVI02", "NumberFieldsSetting/MoneyFieldAutoZero"), "False");
    EXPECT_EQ(get("INVI02", "NoSuchSection"), "");
    // Failures come back as text and write nothing.
    const int rows = env.count("SELECT COUNT(*) FROM USRDEF");
    EXPECT_FALSE(set(all, ".", "<not xml").isEmpty());
    EXPECT_FALSE(set(all, "../x", "1").isEmpty());
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM USRDEF"), rows);
}

TEST_F(CounterTest, QueryUdfDataFillsTemplatesAndRunsQueryRules) {
    const Variant joined =
        counter(c, "QueryUDFData",
                Variant::fromList({"R001", "", "DEMO", "N", Variant::fromList({"不锈钢螺丝", "M4*12"})}));
    EXPECT_EQ(joined.at(0).at(0).toString(), "不锈钢螺丝 M4*12");
    const Variant name = counter(
        c, "QueryUDFData", Variant::fromList({"R002", "", "DEMO", "N", Variant::fromList({"2030015"})}));
    EXPECT_EQ(name.at(0).at(0).toString(), "电源适配器");
    EXPECT_TRUE(
        counter(c, "QueryUDFData", Variant::fromList({"R002", "", "DEMO", "N", Variant::fromList({"none"})}))
            .isUnassigned());
    EXPECT_TRUE(errorOf([&] {
                    counter(c, "QueryUDFData", Variant::fromList({"R999", "", "DEMO", "N", Variant()}));
                }).contains("R999"));
}

TEST_F(CounterTest, UnknownFunctionsMalformedArgumentsAndAWrongDatabaseAreRefused) {
    EXPECT_TRUE(errorOf([&] {
                    counter(c, "DropEverything", Variant());
                }).contains("unknown server function \"DropEverything\""));
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{42, Variant(), Variant()};
                    c->invoke("GETCOUNTER", a);
                }).contains("name of a server function"));
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{"SimpleSql", Variant::fromList({"select 1", "", "DEMO", "N"})};
                    c->invoke("GETCOUNTER", a);
                }).contains("[company, database]"));
    EXPECT_TRUE(
        errorOf([&] { counter(c, "GetSysInfo", "DEMO", "DEMO", "OTHERDB"); }).contains("wrong database"));
    EXPECT_TRUE(
        errorOf([&] { counter(c, "GetUserDefine", Variant::fromList({"DEMO"})); }).contains("at least 4"));
}

// QLDI06 — the routine-transmission information of transmission items.
TEST_F(CounterTest, Qldi06ExportCreatesOrResetsTheEntriesOfTheListedItems) {
    const QString list = "CMSMF,币别信息,CMSMF.XML,MF001;CMSMG,汇率,CMSMG.XML,MG001+MG002";
    EXPECT_EQ(counter(c, "QLDI06", Variant::fromList({list, "2", "1"})).toString(), "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB WHERE TB006 = 'Y' AND TB007 = '' AND TB005 = '1'"), 2);
    EXPECT_EQ(env.scalar("SELECT TB004 FROM QLDTB WHERE TB001 = 'CMSMG'").toString(), "MG001+MG002");
    // After a routine transmission has sent them, a new export resets them to be sent in full again.
    env.db->exec("UPDATE QLDTB SET TB006 = 'N', TB007 = '20240401120000'");
    EXPECT_EQ(
        counter(c, "QLDI06", Variant::fromList({"CMSMF,币别信息,CMSMF.XML,MF001", "2", "1"})).toString(), "");
    EXPECT_EQ(env.scalar("SELECT TB006 || '/' || TB007 FROM QLDTB WHERE TB001 = 'CMSMF'").toString(), "Y/");
    EXPECT_EQ(env.scalar("SELECT TB006 FROM QLDTB WHERE TB001 = 'CMSMG'").toString(), "N"); // not listed
}

TEST_F(CounterTest, Qldi06OtherModesRemoveTheEntries) {
    counter(
        c, "QLDI06",
        Variant::fromList({"COPTC,订单单头,COPTC.XML,TC001+TC002;COPTD,订单单身,COPTD.XML,TD001", "2", "2"}));
    ASSERT_EQ(env.count("SELECT COUNT(*) FROM QLDTB"), 2);
    EXPECT_EQ(counter(c, "QLDI06", Variant::fromList({"COPTC,订单单头,COPTC.XML,TC001+TC002", "3", "2"}))
                  .toString(),
              "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB"), 1);
    // Items that have no entry are nothing to remove, not an error; fields 9 and 10 may be empty.
    EXPECT_EQ(counter(c, "QLDI06", Variant::fromList({"COPTD,订单单身,,", "1", "2"})).toString(), "");
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB"), 0);
}

TEST_F(CounterTest, Qldi06ReportsEachFailureAndWritesNothing) {
    const QString r =
        counter(c, "QLDI06",
                Variant::fromList({"CMSMF,币别信息,CMSMF.XML,MF001;NOPE,x,y,z;a,b;,x,y,z", "2", "1"}))
            .toString();
    const QStringList lines = r.split('\n');
    ASSERT_EQ(lines.size(), 3) << r.toStdString();
    EXPECT_TRUE(lines[0].contains("NOPE") && lines[0].contains("unknown item"));
    EXPECT_TRUE(lines[1].contains("第 3 项") && lines[1].contains("malformed"));
    EXPECT_TRUE(lines[2].contains("第 4 项") && lines[2].contains("bad table name"));
    EXPECT_EQ(env.count("SELECT COUNT(*) FROM QLDTB"), 0); // the good first item is not written either
    EXPECT_TRUE(counter(c, "QLDI06", Variant::fromList({"", "2", "1"})).toString().contains("empty"));
    EXPECT_TRUE(
        counter(c, "QLDI06", Variant::fromList({"CMSMF,a,b,c", "2", "9"})).toString().contains("category"));
    EXPECT_TRUE(errorOf([&] {
                    counter(c, "QLDI06", Variant::fromList({"CMSMF,a,b,c", "2"}));
                }).contains("at least 3"));
}
