// The statements and conditions of the single-table window built from record values: every case of the
// link condition table, selector rows, quoting of apostrophes, the colour-filter combination and the
// XML import document.
#include "forms/SingleCFSql.h"

#include <gtest/gtest.h>

using namespace kvx::single;

namespace {
TLinkRow link(const char* a, const char* b, const char* x, const char* y, const char* s = "") {
    TLinkRow r;
    r.MR004 = QString::fromUtf8(a);
    r.MR005 = QString::fromUtf8(b);
    r.MR006 = QStringLiteral("INVI02");
    r.MR007 = QString::fromUtf8(x);
    r.MR008 = QString::fromUtf8(y);
    r.MR009 = QString::fromUtf8(s);
    return r;
}
} // namespace

TEST(SingleLinkCondition, SameSourceSameTargetNeedsTheValue) {
    const TLinkRow r = link("MB001", "MB001", "MB001", "MB001");
    EXPECT_EQ(LinkCondition(r, "A01", "", 0).value(), "MB001='A01'");
    EXPECT_FALSE(LinkCondition(r, "  ", "x", 0).has_value());
}

TEST(SingleLinkCondition, TwoSourcesTwoTargetsNeedOneValue) {
    const TLinkRow r = link("MB001", "MB002", "TA001", "TA002");
    EXPECT_EQ(LinkCondition(r, "A", "B", 0).value(), "TA001='A' and TA002='B'");
    EXPECT_EQ(LinkCondition(r, "", "B", 1).value(), "TA001='' and TA002='B'");
    EXPECT_FALSE(LinkCondition(r, "", " ", 0).has_value());
}

TEST(SingleLinkCondition, TwoSourcesOneTargetJoinWithOrWithoutSeparator) {
    EXPECT_EQ(LinkCondition(link("MB001", "MB002", "TA001", "TA001", "-"), "A", "B", 0).value(),
              "TA001='A-B'");
    EXPECT_EQ(LinkCondition(link("MB001", "MB002", "TA001", "TA001"), "A", "B", 0).value(), "TA001='AB'");
}

TEST(SingleLinkCondition, OneSourceTwoTargetsSplitAtTheSeparatorByDialect) {
    const TLinkRow r = link("MB001", "MB001", "TA001", "TA002", "-");
    EXPECT_EQ(LinkCondition(r, "AB-C", "", 0).value(),
              "SUBSTRING(TA001,1,2)+'-'+SUBSTRING(TA002,1,1)='AB-C'");
    EXPECT_EQ(LinkCondition(r, "AB-C", "", 1).value(), "TA001||'-'||TA002='AB-C'");
    // Only the separator: both parts empty, nothing to follow.
    EXPECT_FALSE(LinkCondition(r, "-", "", 1).has_value());
}

TEST(SingleLinkCondition, OneSourceTwoTargetsWithoutSeparatorTakeFifteenCharacters) {
    const TLinkRow r = link("MB001", "MB001", "TA001", "TA002");
    EXPECT_EQ(LinkCondition(r, "0123456789ABCDEFGH", "", 1).value(), "TA001||TA002='0123456789ABCDE'");
    EXPECT_EQ(LinkCondition(r, "AB", "", 0).value(), "TA001+TA002='AB'");
}

TEST(SingleLinkCondition, ApostrophesInValuesAreDoubledInEveryCase) {
    EXPECT_EQ(LinkCondition(link("A", "A", "X", "X"), "O'Neil", "", 0).value(), "X='O''Neil'");
    EXPECT_EQ(LinkCondition(link("A", "B", "X", "Y"), "a'", "'b", 0).value(), "X='a''' and Y='''b'");
    EXPECT_EQ(LinkCondition(link("A", "B", "X", "X", "'"), "a", "b", 0).value(), "X='a''b'");
    EXPECT_EQ(LinkCondition(link("A", "A", "X", "Y", "'"), "p'q", "", 1).value(), "X||''''||Y='p''q'");
    EXPECT_EQ(LinkCondition(link("A", "A", "X", "Y", "'"), "p'q", "", 0).value(),
              "SUBSTRING(X,1,1)+''''+SUBSTRING(Y,1,1)='p''q'");
}

TEST(SingleLinkRows, WithoutSelectorTheFirstRowIsUsed) {
    QList<TLinkRow> rows{link("A", "A", "X", "X"), link("B", "B", "Y", "Y")};
    EXPECT_EQ(SelectLinkRow(rows, "whatever"), 0);
    EXPECT_EQ(SelectLinkRow({}, ""), -1);
}

TEST(SingleLinkRows, SelectorRowsMatchTrimmedAndSkipBlankMR010) {
    QList<TLinkRow> rows{link("A", "A", "X", "X"), link("A", "A", "Y", "Y"), link("A", "A", "Z", "Z")};
    for (TLinkRow& r : rows)
        r.MR003 = QStringLiteral("MB004");
    rows[0].MR010 = QStringLiteral("  ");
    rows[1].MR010 = QStringLiteral(" 2 ");
    rows[2].MR010 = QStringLiteral("1");
    EXPECT_EQ(SelectLinkRow(rows, "2"), 1);
    EXPECT_EQ(SelectLinkRow(rows, "1"), 2);
    EXPECT_EQ(SelectLinkRow(rows, "3"), -1);
    // Every selector row blank: the search ends without a link, even for a blank selector value.
    for (TLinkRow& r : rows)
        r.MR010.clear();
    EXPECT_EQ(SelectLinkRow(rows, ""), -1);
}

TEST(SingleStatements, RecordValuesCannotChangeTheShape) {
    EXPECT_EQ(
        AttachmentDeleteSql("QLDI05", "DEMO", "a'b||c"),
        " DELETE FROM ATTACH  WHERE Parent = 'QLDI05'        AND CompanyID = 'DEMO'        AND KeyValues = "
        "'a''b||c' ");
    EXPECT_EQ(AttachmentKeysSql("Q'", "D"), " SELECT DISTINCT KeyValues FROM ATTACH WHERE Parent = 'Q''' AND "
                                            "CompanyID = 'D'");
    EXPECT_EQ(FollowLinkSql("QLDI05", "MB'1"), "SELECT * FROM ADMMR AS ADMMR  WHERE MR001='QLDI05' and "
                                               "(MR004='MB''1' or MR005='MB''1')  order by MR011");
    EXPECT_EQ(VoucherFormatSql("qld'r05"),
              "select NT001,NT002 from WARRANT where UPPER(NT001) like '%QLD''R05%' order by NT002");
    EXPECT_EQ(LinkedDataRowsSql("P'1", "04"),
              "  SELECT  MR005,MR004,MR007 \r  FROM $$ADMMR \r  WHERE  MR001='P''1' AND MR002='04'");
    EXPECT_EQ(
        ProgramRuleSql("QLDI05", "X'", true),
        " SELECT MC001,MC002,MC006 \r FROM $$EFSMC AS EFSMC    \r WHERE MC001='QLDI05' AND (MC002='X''' OR "
        "MC002='****') ");
    EXPECT_TRUE(UdfRulesSql("QLDI05").endsWith(" AND TL005 = 'Z01' AND TL003 = 'QLDI05' ORDER BY TL011 "));
    EXPECT_EQ(KeyString({"A", "", "C"}), "A||||C");
}

TEST(SingleUdfSources, OnlySourcesOfTheMainTableResolve) {
    EXPECT_EQ(UdfSourceFieldName("QLDMB.MB002;", "QLDMB"), "MB002");
    EXPECT_EQ(UdfSourceFieldName("qldmb.MB003]", "QLDMB"), "MB003");
    EXPECT_EQ(UdfSourceFieldName("QLDMB.UDF_01", "QLDMB"), "UDF_01");
    EXPECT_EQ(UdfSourceFieldName("INVMB.MB002;", "QLDMB"), "");
    EXPECT_EQ(UdfSourceFieldName("MB002", "QLDMB"), "");
}

TEST(SingleColorFilter, TwoConditionsCombineWithTheCurrentQuery) {
    const QString c = ColorFilterCondition("MB004='2'", {"MB002='2'", "$$QLDMB.MB002='3'"}, "DEMO");
    EXPECT_EQ(c, "(MB004='2') and ( ( MB002='2' ) or  ( DEMO..QLDMB.MB002='3' ) )");
}

TEST(SingleColorFilter, WithoutQueryOrConditionOrWhenContained) {
    EXPECT_EQ(ColorFilterCondition("", {"A=1", "B=2"}, "DB"), " ( A=1 ) or  ( B=2 ) ");
    EXPECT_EQ(ColorFilterCondition("  ", {"A=1"}, "DB"), " ( A=1 ) ");
    EXPECT_EQ(ColorFilterCondition("X=$$1", {}, "DB"), "X=DB..1");
    // The current condition already inside the joined conditions is not added again.
    EXPECT_EQ(ColorFilterCondition("A=1", {"A=1"}, "DB"), " ( A=1 ) ");
    // Any case of the prefix marker, every occurrence.
    EXPECT_EQ(ColorFilterCondition("", {"$$T.A=1 and $$U.B=2"}, "D"), " ( D..T.A=1 and D..U.B=2 ) ");
}

TEST(SingleXmlImport, TwoChildrenGiveTwoRecordsWithHeadAndBody) {
    const QString xml =
        QStringLiteral("<root><dataimport headfields=\"MB001|MB005\" bodyfields=\"TB001|TB002\">"
                       "<doc><head><row MB001=\"A1\" MB005=\"O'Neil 备注\" other=\"x\"/></head>"
                       "<body><row TB001=\"1\" TB002=\"a\"/><row TB001=\"2\"/></body></doc>"
                       "<doc><head><row MB001=\"A2\"/></head></doc>"
                       "</dataimport></root>");
    const QList<TImportRecord> r = ParseImportXml(xml);
    ASSERT_EQ(r.size(), 2);
    ASSERT_EQ(r[0].head.size(), 2);
    EXPECT_EQ(r[0].head[1].second, QStringLiteral("O'Neil 备注"));
    ASSERT_EQ(r[0].body.size(), 2);
    EXPECT_EQ(r[0].body[0].size(), 2);
    EXPECT_EQ(r[0].body[1].size(), 1);
    EXPECT_EQ(r[1].head.size(), 1);
    EXPECT_TRUE(r[1].body.isEmpty());
}

TEST(SingleXmlImport, EmptyTextImportsNothingAndBadTextRaises) {
    EXPECT_TRUE(ParseImportXml("  ").isEmpty());
    EXPECT_THROW(ParseImportXml("<dataimport>"), std::runtime_error);
    EXPECT_THROW(ParseImportXml("<other/>"), std::runtime_error);
}
