// The validator's table functions through Com_Validator, with the broker's argument order
// (table, key, database, params, out result) and QueryMaxSeq's seven arguments.
#include "WorkCenterEnv.h"

using namespace wctest;

namespace {
struct ValidatorTest : ::testing::Test {
    Env env;
    std::shared_ptr<kvx::Dispatch> wc = env.workCenter();
    std::shared_ptr<kvx::Dispatch> v = Env::service(wc, "Com_Validator");

    bool check(const char* method, const QString& table, const QString& key, const Variant& params,
               Variant& result) {
        VariantList args{table, key, "DEMO", params, Variant()};
        const bool found = v->invoke(QString::fromLatin1(method), args).toBool();
        result = args[4];
        return found;
    }
};
} // namespace

TEST_F(ValidatorTest, ProgramMasterGivesNamePrintIdUnrestrictedAndEnglishName) {
    Variant r;
    ASSERT_TRUE(check("CheckValue", "ADMMB", "06", Variant::fromList({"qldi05", "DEMO"}), r));
    ASSERT_GT(r.toList().size(), 9);
    EXPECT_EQ(r.at(0).toString(), "文档传输设置作业");
    EXPECT_EQ(r.at(1).toString(), "QLDR05");
    EXPECT_EQ(r.at(7).toString(), "N");
    EXPECT_EQ(r.at(9).toString(), "Document Transmission Settings");
    EXPECT_FALSE(check("CheckValue", "ADMMB", "06", Variant::fromList({"NOPROG", "DEMO"}), r));
    EXPECT_TRUE(r.isUnassigned());
}

TEST_F(ValidatorTest, SavedSchemeNumberWidthsFieldLabelsAndLookupLinks) {
    Variant r;
    EXPECT_TRUE(check("CheckValue", "DOCUS", "01", Variant::fromList({"汇出类单据", "DS", "QLDI05"}), r));
    EXPECT_FALSE(check("CheckValue", "DOCUS", "01", Variant::fromList({"汇出类单据", "CLERK", "QLDI05"}), r));

    ASSERT_TRUE(check("QueryData", "NUMFD", "01", Variant::fromList({"INVMB"}), r));
    EXPECT_EQ(r.at(0).at(0).toString(), "MB064");
    EXPECT_EQ(r.at(0).at(1).toInt(), 16);
    EXPECT_EQ(r.at(0).at(2).toInt(), 3);

    ASSERT_TRUE(check("QueryData", "ADMMD", "03", Variant::fromList({"INVMB"}), r));
    EXPECT_EQ(r.at(0).at(0).toString(), "UDF01");
    EXPECT_EQ(r.at(0).at(1).toString(), "品名规格");
    EXPECT_EQ(r.at(0).at(2).toString(), "Name and spec");

    ASSERT_TRUE(check("CheckValue", "F2LINK", "01", Variant::fromList({"1", "COPMA", "01"}), r));
    EXPECT_EQ(r.at(0).toString(), "COPMA");
    EXPECT_EQ(r.at(1).toString(), "01");
    EXPECT_FALSE(check("CheckValue", "F2LINK", "01", Variant::fromList({"1", "COPMA", "99"}), r));
}

TEST_F(ValidatorTest, DocumentsOfAnItemAndByNumber) {
    Variant r;
    ASSERT_TRUE(check("CheckValue", "INVMB", "12", Variant::fromList({"3000001"}), r));
    EXPECT_EQ(r.at(0).toString(), "DOC0003");
    EXPECT_EQ(r.at(1).toString(), "2");
    EXPECT_FALSE(check("CheckValue", "INVMB", "12", "1010002", r)); // an item without a document
    ASSERT_TRUE(check("CheckValue", "CMSMV", "07", "DOC0001", r));
    EXPECT_EQ(r.at(1).toString(), "3");
}

TEST_F(ValidatorTest, UnknownFunctionsAndMissingParametersRaise) {
    Variant r;
    EXPECT_TRUE(errorOf([&] {
                    check("CheckValue", "ADMMB", "99", Variant(), r);
                }).contains("Unknown table function ADMMB \"99\""));
    EXPECT_TRUE(errorOf([&] {
                    check("CheckValue", "DOCUS", "01", Variant::fromList({"x"}), r);
                }).contains("needs 3"));
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{"ADMMB"};
                    v->invoke("CheckValue", a);
                }).contains("5 arguments"));
}

TEST_F(ValidatorTest, PropertiesAreKeptAndPassedOn) {
    v->setProperty("ProductID", 7);
    v->setProperty("BaseLimited", "Y");
    EXPECT_EQ(v->getProperty("ProductID").toInt(), 7);
    EXPECT_EQ(v->getProperty("BaseLimited").toString(), "Y");
    Variant r;
    EXPECT_TRUE(check("CheckValue", "ADMMB", "06", Variant::fromList({"QLDI05", "DEMO"}), r));
}

TEST_F(ValidatorTest, QueryMaxSeqNumbersAfterTheHighestStoredNumberOfThePrefix) {
    env.db->exec("CREATE TABLE TESTA (TA001 VARCHAR(4) NOT NULL, TA002 VARCHAR(12) NOT NULL, PRIMARY KEY "
                 "(TA001, TA002))");
    env.db->exec(
        "INSERT INTO TESTA VALUES ('A01', '202403110007'), ('A01', '202403110012'), ('A02', '202403110099'), "
        "('A01', '202403100500')");
    auto next = [&](const QString& kind, const QString& prefix, QString& number) {
        VariantList args{"TESTA", "TA001,TA002,", Variant::fromList({kind, ""}), prefix, "QLDI05",
                         "DEMO",  Variant()};
        const bool ok = v->invoke("QueryMaxSeq", args).toBool();
        number = args[6].toString();
        return ok;
    };
    QString n;
    ASSERT_TRUE(next("A01", "20240311", n));
    EXPECT_EQ(n, "202403110013");
    ASSERT_TRUE(next("A03", "20240311", n));
    EXPECT_EQ(n, "202403110001");
    // Table and field names are checked against the schema, never pasted in blindly.
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{"TESTA; DROP TABLE QLDMB", "TA001,", Variant(), "", "", "", Variant()};
                    v->invoke("QueryMaxSeq", a);
                }).contains("QueryMaxSeq"));
    EXPECT_TRUE(errorOf([&] {
                    VariantList a{"TESTA", "TA001,NOPE,", Variant(), "", "", "", Variant()};
                    v->invoke("QueryMaxSeq", a);
                }).contains("no field NOPE"));
}
