// Scheme texts of both page kinds read back as written, and the local default-format file.
#include "TempTree.h"
#include "query/QBESchemes.h"
#include "query/UserDefINI.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::qbe;

namespace {
const QChar k7(7), k8(8), k3(3);
}

TEST(SchemeText, EmptyGridKeepsOnlyTheRowLimitAndReadsBackWithoutRows) {
    const QString text = encodeGridScheme("500", {{"", "等于", "", "AND"}});
    EXPECT_EQ(text, QString("500") + k7);
    const GridScheme g = decodeGridScheme(text);
    EXPECT_EQ(g.rowLimit, "500");
    EXPECT_TRUE(g.rows.isEmpty());
}

TEST(SchemeText, EmptyRowBetweenTwoFilledRowsIsLeftOut) {
    const QList<SchemeGridRow> rows = {
        {"单据性质", "等于", "COPTC", "AND"}, {"", "", "", ""}, {"备注", "包含", "O'Neil 的", "OR"}};
    const QString text = encodeGridScheme("100", rows);
    EXPECT_EQ(text, QString("100") + k7 + "单据性质\r\n等于\r\nCOPTC\r\nAND" + k8 +
                        "备注\r\n包含\r\nO'Neil 的\r\nOR" + k8);
    const GridScheme g = decodeGridScheme(text);
    ASSERT_EQ(g.rows.size(), 2);
    EXPECT_EQ(g.rows[0], rows[0]);
    EXPECT_EQ(g.rows[1], rows[2]);
}

TEST(SchemeText, RowWithBlankFieldKeepsItsCellsInPlace) {
    // Only rows without field and value are dropped; a value alone must not slide into the field cell.
    const QList<SchemeGridRow> rows = {{"", "等于", "X", "AND"}};
    const GridScheme g = decodeGridScheme(encodeGridScheme("500", rows));
    ASSERT_EQ(g.rows.size(), 1);
    EXPECT_EQ(g.rows[0], rows[0]);
}

TEST(SchemeText, CellsAreTrimmedAndConvertedAndSeparatorCodesCannotCutARow) {
    const QString text = encodeGridScheme("500", {{" 备注 ", "包含", QString("a") + k8 + "b" + k7, "AND"}});
    const GridScheme g = decodeGridScheme(text, [](const QString& s) { return "<" + s + ">"; });
    ASSERT_EQ(g.rows.size(), 1);
    EXPECT_EQ(g.rows[0].field, "<备注>");
    EXPECT_EQ(g.rows[0].value, "<ab>");
    EXPECT_EQ(g.rowLimit, "500");
}

TEST(SchemeText, AdvancedSchemeWithSortItemsHoldingTabs) {
    AdvancedScheme a;
    a.rowLimit = "200";
    a.memo = "(QLDMB.MB002 = '2')\n  OR (QLDMB.MB005 like 'O''Neil%')";
    a.sort = {{"单据性质      \tQLDMB.MB001", true}, {"备注          \tQLDMB.MB005", false}};
    a.detail = true;
    a.detailMemo = "(QLDTB.TB002 = 'X')";
    const QString text = encodeAdvancedScheme(a);
    EXPECT_EQ(text, QString("200") + k7 + a.memo + k3 + "单据性质      \tQLDMB.MB001" + k8 + "1\t" +
                        "备注          \tQLDMB.MB005" + k8 + "0\t" + k3 + "1" + k3 + a.detailMemo);
    const AdvancedScheme b = decodeAdvancedScheme(text);
    EXPECT_EQ(b.rowLimit, "200");
    EXPECT_EQ(b.memo, a.memo);
    EXPECT_EQ(b.sort, a.sort);
    EXPECT_TRUE(b.detail);
    EXPECT_EQ(b.detailMemo, a.detailMemo);
}

TEST(SchemeText, AdvancedSchemeWithoutSortFieldsOrDetail) {
    AdvancedScheme a;
    a.rowLimit = "500";
    a.memo = "(QLDMB.MB004 = '1')";
    const AdvancedScheme b = decodeAdvancedScheme(encodeAdvancedScheme(a));
    EXPECT_TRUE(b.sort.isEmpty());
    EXPECT_FALSE(b.detail);
    EXPECT_EQ(b.memo, a.memo);
    EXPECT_TRUE(b.detailMemo.isEmpty());
    // A text without any code is all memo, with no row limit.
    EXPECT_EQ(decodeAdvancedScheme("MB002='2'").memo, "MB002='2'");
    EXPECT_EQ(decodeAdvancedScheme("MB002='2'").rowLimit, "");
}

class UserDefIniTest : public ::testing::Test {
protected:
    kvxtest::TempTree tree;
};

TEST_F(UserDefIniTest, MissingFileGivesNoDefaultAndWritingCreatesIt) {
    TUserDefIni ini(tree.clientPath());
    EXPECT_EQ(ini.Get("p1", "A=B"), "<New>");
    EXPECT_FALSE(QFile::exists(ini.FileName()));
    ASSERT_TRUE(ini.Set("p1", "A=B", "出货单格式二"));
    EXPECT_TRUE(QFile::exists(ini.FileName()));
    EXPECT_TRUE(ini.FileName().endsWith("/UserDef.ini"));
    EXPECT_EQ(ini.Values(), QStringList({"P1_A$EQUAL$B=出货单格式二"}));
    // Another instance reads the file; keys match without regard to case.
    TUserDefIni again(tree.clientPath());
    EXPECT_EQ(again.Get("P1", "a=b"), "出货单格式二");
    EXPECT_EQ(again.Get("p1", "A"), "<New>");
}

TEST_F(UserDefIniTest, NewInAnyCaseRemovesTheKey) {
    QString dir = tree.clientPath();
    if (dir.endsWith('/')) dir.chop(1); // the separator is added when missing
    TUserDefIni ini(dir);
    ASSERT_TRUE(ini.Set("p1", "K1", "格式一"));
    ASSERT_TRUE(ini.Set("p1", "K2", "格式二"));
    ASSERT_TRUE(ini.Set("p1", "K1", "<new>"));
    EXPECT_EQ(ini.Get("p1", "K1"), "<New>");
    EXPECT_EQ(ini.Values(), QStringList({"P1_K2=格式二"}));
    ASSERT_TRUE(ini.Delete("P1", "k2"));
    EXPECT_TRUE(ini.Values().isEmpty());
}
