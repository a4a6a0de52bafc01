// User-defined-field rules: the rule statement by flag, and the rows turned into rules with their related
// fields resolved (a "TABLE.FIELD" name by its field part).
#include "data/libUDF.h"
#include "platform/ClientDataSet.h"

#include <gtest/gtest.h>

using namespace kvx;

TEST(UDFRules, TheStatementFiltersByFlagKindAndProgram) {
    const QString head =
        " SELECT TL006,TL013,TL012 FROM $$ADMTK ADMTK  LEFT JOIN $$ADMTL ADMTL ON TK001 = TL001 "
        "AND TL010 = 'Y'  WHERE ";
    EXPECT_EQ(TUDFFields::RulesStatement("Y", "Z01", "QLDI05"),
              head + " TL012 <> '' " +
                  " AND TK003 = 'Y' AND TL005 = 'Z01' AND TL003 = 'QLDI05' ORDER BY TL011 ");
    EXPECT_TRUE(TUDFFields::RulesStatement("N", "Z01", "QLDI05").contains("WHERE  TL012 = ''  AND"));
    EXPECT_TRUE(TUDFFields::RulesStatement("", "Z01", "QLDI05").contains("WHERE  1=1  AND"));
    EXPECT_TRUE(
        TUDFFields::RulesStatement("y", "Z01", "QLDI05").contains("WHERE  1=1  AND")); // flags are exact
    // Values are quoted literals: an apostrophe cannot change the statement.
    EXPECT_TRUE(TUDFFields::RulesStatement("Y", "Z'01", "Q' OR 1=1")
                    .contains("TL005 = 'Z''01' AND TL003 = 'Q'' OR 1=1'"));
}

TEST(UDFRules, RowsBecomeRulesWithTheirRelatedFields) {
    TClientDataSet ds;
    ds.FieldDefs().Add("MB002", FieldType::String, 1);
    ds.FieldDefs().Add("MB004", FieldType::String, 1);
    ds.FieldDefs().Add("MB005", FieldType::String, 255);
    ds.CreateDataSet();
    const auto resolve = [&](const QString& name) { return ds.FindField(name); };

    TUDFFields rules;
    rules.AddRows(Variant::fromList({Variant::fromList({"MB005", "R003", "QLDMB.MB002;QLDMB.MB004;"}),
                                     Variant::fromList({"MB005", "R004", "MB004; NOSUCH ;;"}),
                                     Variant::fromList({"UDF01", "R001", Variant::null()}),
                                     Variant::fromList({Variant::null(), Variant::null(), Variant::null()})}),
                  resolve);
    ASSERT_EQ(rules.Count(), 3); // a row without target (no rule line joined) adds nothing
    EXPECT_EQ(rules.Items(0)->FieldName, "MB005");
    EXPECT_EQ(rules.Items(0)->DefineName, "R003");
    ASSERT_EQ(rules.Items(0)->RelatedFields->Count(), 2);
    EXPECT_EQ(rules.Items(0)->RelatedFields->Items(1)->FieldName, "QLDMB.MB004");
    EXPECT_EQ(rules.Items(0)->RelatedFields->Items(1)->Field, ds.FieldByName("MB004"));
    ASSERT_EQ(rules.Items(1)->RelatedFields->Count(), 2);
    EXPECT_EQ(rules.Items(1)->RelatedFields->Items(1)->FieldName, "NOSUCH");
    EXPECT_EQ(rules.Items(1)->RelatedFields->Items(1)->Field, nullptr);
    EXPECT_EQ(rules.Items(2)->RelatedFields->Count(), 0);

    // Lookups by field object: the first related item, the rules in order; none for a null field.
    TField* mb004 = ds.FieldByName("MB004");
    EXPECT_EQ(rules.Items(1)->RelatedFields->FindField(mb004), rules.Items(1)->RelatedFields->Items(0));
    EXPECT_EQ(rules.RulesOf(mb004), (QList<TUDFField*>{rules.Items(0), rules.Items(1)}));
    EXPECT_TRUE(rules.RulesOf(ds.FieldByName("MB005")).isEmpty());
    EXPECT_EQ(rules.Items(1)->RelatedFields->FindField(nullptr), nullptr);

    // A two-dimensional answer (rows by columns) is read the same way.
    TUDFFields grid;
    Variant rows = Variant::array2(0, 0, 0, 2);
    rows.item(0, 0) = "MB005";
    rows.item(0, 1) = "R003";
    rows.item(0, 2) = "MB002";
    grid.AddRows(rows, resolve);
    ASSERT_EQ(grid.Count(), 1);
    EXPECT_EQ(grid.Items(0)->RelatedFields->Items(0)->Field, ds.FieldByName("MB002"));
}
