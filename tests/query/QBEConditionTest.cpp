// Condition and ordering texts built from plain values: every rule whose text could come out wrong.
#include "query/QBECondition.h"

#include <gtest/gtest.h>

using namespace kvx::qbe;

namespace {
RowField textField(const QString& expr = "TABLE.FIELD") {
    RowField f;
    f.expression = expr;
    return f;
}
RowField numberField(const QString& expr = "TABLE.QTY01") {
    RowField f;
    f.expression = expr;
    f.typeClass = TypeClass::Number;
    return f;
}
QString row(const RowField& f, const QString& op, const QString& v, const QString& conn = "AND") {
    return rowCondition(f, op, v, conn, 1, "/");
}
} // namespace

TEST(QBERow, LikeFormsOnText) {
    EXPECT_EQ(row(textField(), "LLIKE", "abc"), "TABLE.FIELD like 'abc%' AND");
    EXPECT_EQ(row(textField(), "RLIKE", "abc"), "TABLE.FIELD like '%abc' AND");
    EXPECT_EQ(row(textField(), "ILIKE", "abc"), "TABLE.FIELD like '%abc%' AND");
    EXPECT_EQ(row(textField(), "=", "abc", "OR"), "TABLE.FIELD = 'abc' OR");
}

TEST(QBERow, QuotesDoubleApostrophes) {
    EXPECT_EQ(row(textField(), "=", "O'Neil"), "TABLE.FIELD = 'O''Neil' AND");
    EXPECT_EQ(row(textField(), "ILIKE", "'; DROP TABLE QLDMB; --"),
              "TABLE.FIELD like '%''; DROP TABLE QLDMB; --%' AND");
    EXPECT_EQ(quoted("a''b"), "'a''''b'");
}

TEST(QBERow, InListsOnTextMapPickListItems) {
    EXPECT_EQ(row(textField(), "IN", "a, b"), "TABLE.FIELD IN ('a','b') AND");
    RowField f = textField("QLDMB.MB002");
    f.pickList = {"1:不处理\t1", "2:汇出\t2", "3.汇入\t3"};
    EXPECT_EQ(row(f, "IN", "1:不处理, 3.汇入"), "QLDMB.MB002 IN ('1','3') AND");
    // Not "in": the whole value maps; an unknown display stays as typed.
    EXPECT_EQ(row(f, "=", "2:汇出"), "QLDMB.MB002 = '2' AND");
    EXPECT_EQ(row(f, "=", "9"), "QLDMB.MB002 = '9' AND");
}

TEST(QBERow, NumbersAreParsedAndChecked) {
    EXPECT_EQ(row(numberField(), "IN", "1, 2"), "TABLE.QTY01 IN (1,2) AND");
    EXPECT_EQ(row(numberField(), "=", "abc"), "");
    EXPECT_EQ(row(numberField(), "=", "1.50"), "TABLE.QTY01 = 1.5 AND");
    EXPECT_EQ(row(numberField(), ">=", "007"), "TABLE.QTY01 >= 7 AND");
    EXPECT_EQ(row(numberField(), "LLIKE", "12"), "TABLE.QTY01 like '12%' AND");
    // A list element that is no number leaves the whole row out.
    EXPECT_EQ(row(numberField(), "IN", "1, 2); DELETE FROM QLDMB; --"), "");
    EXPECT_EQ(row(numberField(), "IN", "1,,2"), "");
    EXPECT_EQ(row(numberField(), "=", "inf"), "");
    EXPECT_EQ(shortestNumber("-0.25"), "-0.25");
    EXPECT_EQ(shortestNumber("1e3"), "1000");
}

TEST(QBERow, NothingWithoutOperatorOrValue) {
    EXPECT_EQ(row(textField(), "", "x"), "");
    EXPECT_EQ(row(textField(), "=", "   "), "");
    RowField f = textField();
    f.typeClass = TypeClass::Unsupported;
    EXPECT_EQ(row(f, "=", "x"), "");
}

TEST(QBERow, DatesByFormatCode) {
    EXPECT_EQ(dateToStored("92/1/5", 4, "/"), "20030105");
    EXPECT_EQ(dateToStored("2008/3/5", 1, "/"), "20080305");
    EXPECT_EQ(dateToStored("3/5/2008", 2, "/"), "20080305");
    EXPECT_EQ(dateToStored("5/3/2008", 3, "/"), "20080305");
    EXPECT_EQ(dateToStored("097/03/05", 5, "/"), "20080305");
    EXPECT_EQ(dateToStored("2008/3/5", 6, "/"), "");
    EXPECT_EQ(dateToStored("2008/3", 1, "/"), "");
    EXPECT_EQ(dateToStored("2008/x/5", 1, "/"), "");
    RowField f = textField("QLDMB.CREATE_DATE");
    f.dateMask = true;
    EXPECT_EQ(rowCondition(f, ">=", "92/1/5", "AND", 4, "/"), "QLDMB.CREATE_DATE >= '20030105' AND");
    EXPECT_EQ(rowCondition(f, ">=", "    /  /  ", "AND", 4, "/"), "");
    EXPECT_EQ(yearMonthToStored("2008/3", 1, "/"), "200803");
    EXPECT_EQ(yearMonthToStored("3/2008", 2, "/"), "200803");
    EXPECT_EQ(yearMonthToStored("97/3", 4, "/"), "200803");
    EXPECT_EQ(yearMonthToStored("2008/0", 1, "/"), "");
    EXPECT_TRUE(validYearMonth("200812"));
    EXPECT_FALSE(validYearMonth("200813"));
    EXPECT_FALSE(validYearMonth("20081"));
}

TEST(QBEGrid, RowsJoinLeftToRightAndLoseTheLastConnector) {
    EXPECT_EQ(gridCondition({"A = 1 AND", "B = 2 AND"}), " (A = 1 ) AND (B = 2 ) ");
    EXPECT_EQ(gridCondition({"A = 1 OR", "", "B = 2 OR"}), " (A = 1)  OR (B = 2) ");
    EXPECT_EQ(gridCondition({}), "");
    // An empty connector still separates rows with AND.
    EXPECT_EQ(row(textField(), "=", "x", ""), "TABLE.FIELD = 'x' AND");
}

TEST(QBESelectColumns, NormalisedAndLookedUp) {
    EXPECT_EQ(normalisedSelectColumns("A.MA002 USERNAME, UNAME=B.MA002, MB001C, X + Y TOTAL"),
              QStringList({"A.MA002 USERNAME", "B.MA002 UNAME", " MB001C", "X + Y TOTAL"}));
    const QString sel = "A.MA002 USERNAME, UNAME=B.MA002, MB001C";
    EXPECT_EQ(advancedName("USERNAME", "QLDMB", sel), "A.MA002");
    EXPECT_EQ(advancedName("UNAME", "QLDMB", sel), "B.MA002");
    // A bare column is the table's own column, not an empty name.
    EXPECT_EQ(advancedName("MB001C", "QLDMB", sel), "QLDMB.MB001C");
    EXPECT_EQ(advancedName("OTHER", "QLDMB", sel), "OTHER");
    EXPECT_EQ(advancedName("USERNAME", "QLDMB", ""), "");
    // A field named inside a longer alias is not that alias.
    EXPECT_EQ(advancedName("NAME", "QLDMB", "A.MA002 USERNAME"), "NAME");
    EXPECT_EQ(catalogueExpression("USERNAME", "QLDMB", sel), "A.MA002");
    EXPECT_EQ(catalogueExpression("OTHER", "QLDMB", sel), "QLDMB.OTHER");
    EXPECT_EQ(catalogueExpression("MB001C", "QLDMB", "MB001,MB001C,MB002"), "QLDMB.MB001C");
    EXPECT_EQ(catalogueExpression("MB001C", "QLDMB", ""), "");
    EXPECT_TRUE(isSelectExpression("A.MA002", sel));
    EXPECT_FALSE(isSelectExpression("MA002", sel));
    EXPECT_FALSE(isSelectExpression("QLDMB.MB001", sel));
    EXPECT_TRUE(endsInColumnNumber("MB001"));
    EXPECT_FALSE(endsInColumnNumber("MB001C"));
    EXPECT_FALSE(endsInColumnNumber("MB000"));
    EXPECT_TRUE(isAuditField("modi_date"));
}

TEST(QBEAdvanced, LinesByOperatorAndKind) {
    AdvancedTerm t{"MB002", "MB002", "QLDMB", "", false, 0, "2", 0};
    const QString first = advancedCondition(t);
    EXPECT_EQ(first, "(QLDMB.MB002 = '2')");
    const QString memo = appendAdvancedLine(appendAdvancedLine("", first, "OR"), first, "OR");
    EXPECT_EQ(memo, "(QLDMB.MB002 = '2')\n  OR (QLDMB.MB002 = '2')");
    EXPECT_EQ(appendAdvancedLine(memo, "", "AND"), memo);

    AdvancedTerm like{"MB005", "MB005", "QLDMB", "", false, 8, "abc", 0};
    EXPECT_EQ(advancedCondition(like), "(QLDMB.MB005 like '%abc%')");
    AdvancedTerm expr{"A.MA002", "USERNAME", "QLDMB", "A.MA002 USERNAME", false, 6, "D", 0};
    EXPECT_EQ(advancedCondition(expr), "(A.MA002 like 'D%')");
    AdvancedTerm num{"QTY01", "QTY01", "QLDMB", "", true, 3, "10", 0};
    EXPECT_EQ(advancedCondition(num), "(QLDMB.QTY01 > 10)");
    num.value = "1--";
    EXPECT_EQ(advancedCondition(num), "");
    num.value = "12", num.operatorIndex = 7;
    EXPECT_EQ(advancedCondition(num), "(QLDMB.QTY01 like '%12')");

    AdvancedTerm date{"CREATE_DATE", "CREATE_DATE", "QLDMB", "", false, 1, "20240101", 0};
    EXPECT_EQ(advancedCondition(date), "(SUBSTRING(QLDMB.CREATE_DATE ,1,8 ) >= '20240101')");
    date.sqlType = 1;
    EXPECT_EQ(advancedCondition(date), "(QLDMB.CREATE_DATE >= '20240101')");
}

TEST(QBEAdvanced, SortText) {
    EXPECT_EQ(sortText({"单据性质\tMB001", "传输方式\tMB002"}, {false, true}, "QLDMB", ""),
              "QLDMB.MB001 asc,QLDMB.MB002 desc");
    EXPECT_EQ(sortText({"用户\tA.MA002"}, {false}, "QLDMB", "A.MA002 USERNAME"), "A.MA002 asc");
    EXPECT_EQ(sortText({}, {}, "QLDMB", ""), "");
    // The program's select list names its own columns bare: they stay table columns.
    const QString sel = "MB001,MB001C,MB002,MB004,MB005";
    EXPECT_EQ(sortText({"单据性质\tMB001", "传输方式\tMB002"}, {false, true}, "QLDMB", sel),
              "QLDMB.MB001 asc,QLDMB.MB002 desc");
    EXPECT_EQ(sortText({"文件名称\tQLDMB.MB001C"}, {false}, "QLDMB", sel), "QLDMB.MB001C asc");
    AdvancedTerm t{"MB002", "MB002", "QLDMB", sel, false, 0, "2", 0};
    EXPECT_EQ(advancedCondition(t), "(QLDMB.MB002 = '2')");
    EXPECT_EQ(sortText({"x\tMB001"}, {true}, "", ""), "MB001 desc");
}

TEST(QBEAdvanced, CombinedMasterDetail) {
    DetailFilter f{"QLDMB", "MB001", "QLDMD", "MD001", "", "DEMO"};
    EXPECT_EQ(combinedCondition("(QLDMB.MB002 = '2')", "", f), "(QLDMB.MB002 = '2')");
    EXPECT_EQ(combinedCondition("(QLDMB.MB002 = '2')", "(QLDMD.MD002 = 'x')", f),
              "((QLDMB.MB002 = '2')) and  ( select count(*) FROM DEMO..QLDMD QLDMD where  "
              "(QLDMB.MB001=QLDMD.MD001) and  ( (QLDMD.MD002 = 'x') ) ) > 0 ");
    EXPECT_EQ(combinedCondition("", "(QLDMD.MD002 = 'x')", f),
              " ( select count(*) FROM DEMO..QLDMD QLDMD where  (QLDMB.MB001=QLDMD.MD001) and  ( "
              "(QLDMD.MD002 = 'x') ) ) > 0 ");
}

TEST(QBEOperators, DisplayToValue) {
    const QStringList ops = defaultOperators();
    EXPECT_EQ(ops.size(), 10);
    EXPECT_EQ(operatorValue(ops, "起始于"), "LLIKE");
    EXPECT_EQ(operatorValue(ops, "存在于"), "IN");
    EXPECT_EQ(operatorValue(ops, ">="), ">=");
}
