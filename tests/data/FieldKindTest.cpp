// Field-kind conversions (time, day, month, date, month-day, year-month, year, duration, percent) and
// their handlers on a data module: stored layouts, display by date style, and coded validation messages.
#include "DataTestEnv.h"

#include "data/KnlRadical.h"

using namespace kvx;
using namespace datatest;

TEST(FieldKindConversion, TimeClearsOnBlankPartsPadsAndShowsAColon) {
    EXPECT_EQ(TimeTextIn("  :  "), "");
    EXPECT_EQ(TimeTextIn("8 :5 "), "0805");
    EXPECT_EQ(TimeTextIn("23:59"), "2359");
    EXPECT_EQ(TimeTextOut("0830"), "08:30");
    EXPECT_TRUE(IsValidTime("2359"));
    EXPECT_FALSE(IsValidTime("2500"));
    EXPECT_FALSE(IsValidTime("1260"));
    EXPECT_FALSE(IsValidTime("123"));
}

TEST(FieldKindConversion, YearMonthFollowsTheDateStyleAndTheEraYears) {
    EXPECT_EQ(YearMonthTextIn("95/03", 4, "/"), "200603");
    EXPECT_EQ(YearMonthTextOut("200603", 4, "/"), "95/03");
    EXPECT_EQ(YearMonthTextIn("095/03", 5, "/"), "200603");
    EXPECT_EQ(YearMonthTextOut("200603", 5, "/"), "095/03");
    EXPECT_EQ(YearMonthTextIn("2006-3", 1, "-"), "200603");
    EXPECT_EQ(YearMonthTextIn("03/2006", 2, "/"), "200603");
    EXPECT_EQ(YearMonthTextOut("200603", 3, "."), "03.2006");
    EXPECT_EQ(YearMonthTextIn("200603", 1, ""), "200603"); // no separator: split by position
    // A part that is empty or not above zero stores nothing.
    EXPECT_EQ(YearMonthTextIn("2006/00", 1, "/"), "");
    EXPECT_EQ(YearMonthTextIn("  /03", 1, "/"), "");
    EXPECT_EQ(YearMonthTextIn("abc", 1, "/"), "");
    EXPECT_EQ(YearMonthTextOut("000003", 1, "/"), "");
    EXPECT_EQ(YearMonthError("200603"), "");
    EXPECT_EQ(YearMonthError("170001"), "200820");
    EXPECT_EQ(YearMonthError("20061"), "200820");
    EXPECT_EQ(YearMonthError("200613"), "100002");
}

TEST(FieldKindConversion, DatesMonthDaysAndYearsByStyle) {
    EXPECT_EQ(DateEditMask(1, "/"), "9999/99/99;1; ");
    EXPECT_EQ(DateEditMask(2, "-"), "99-99-9999;1; ");
    EXPECT_EQ(DateEditMask(4, "/"), "99/99/99;1; ");
    EXPECT_EQ(DateEditMask(5, "/"), "999/99/99;1; ");
    EXPECT_EQ(YearEditMask(5), "999;1; ");
    EXPECT_EQ(DateTextIn("2026/12/08", 1, "/"), "20261208");
    EXPECT_EQ(DateTextIn("08/12/2026", 3, "/"), "20261208");
    EXPECT_EQ(DateTextIn("    /  /  ", 1, "/"), "");
    EXPECT_EQ(DateTextOut("20261208", 2, "/"), "12/08/2026");
    EXPECT_EQ(MonthDayTextIn("25/12", 3, "/"), "1225");
    EXPECT_EQ(MonthDayTextIn("12/5", 1, "/"), "1205");
    EXPECT_EQ(MonthDayTextIn("  /  ", 1, "/"), "");
    EXPECT_EQ(MonthDayTextOut("1225", 3, "/"), "25/12");
    EXPECT_TRUE(IsValidMonthDay("0229", 2028));
    EXPECT_FALSE(IsValidMonthDay("0229", 2026));
    EXPECT_EQ(YearTextIn("95", 4), "2006");
    EXPECT_EQ(YearTextIn("995", 1), "0995");
    EXPECT_EQ(YearTextOut("2006", 5), "095");
    EXPECT_EQ(YearTextOut("2006", 4), "95");
    EXPECT_EQ(TwoDigitTextIn("7"), "07");
    EXPECT_EQ(TwoDigitTextIn(" "), "");
}

TEST(FieldKindConversion, DurationPercentAndNumberFormats) {
    EXPECT_EQ(DurationTextIn("0001:30:00"), 5400);
    EXPECT_EQ(DurationTextIn("1:30:0"), 5400); // parts padded to 4, 2 and 2 digits
    EXPECT_FALSE(DurationTextIn("0001:75:00").has_value());
    EXPECT_FALSE(DurationTextIn("12:00").has_value());
    EXPECT_TRUE(IsDurationClear("0"));
    EXPECT_TRUE(IsDurationClear("    :  :  "));
    EXPECT_FALSE(IsDurationClear("0000:00:01"));
    EXPECT_EQ(DurationTextOut(5400), "0001:30:00");
    EXPECT_EQ(DurationTextOut(-5400), "-0001:30:00");
    EXPECT_EQ(DurationTextOut(100000 * 3600), "100000:00:00");
    EXPECT_TRUE(IsValidDuration("0000:59:59"));
    EXPECT_FALSE(IsValidDuration("000:59:59"));

    EXPECT_DOUBLE_EQ(PercentTextIn("12.5%"), 0.125);
    EXPECT_DOUBLE_EQ(PercentTextIn(" 12.5 %"), 0.125);
    EXPECT_DOUBLE_EQ(PercentTextIn("x%"), 0.0);
    EXPECT_EQ(PercentTextOut(0.125), "12.50%");

    EXPECT_EQ(NumberFieldDisplayFormat(0), "#,##0.#######");
    EXPECT_EQ(NumberFieldDisplayFormat(2), "#,##0.00");
    EXPECT_EQ(NumberFieldDisplayFormat(15), "#,##0.00000000000");
    EXPECT_EQ(NumberFieldDisplayFormat(-1), "");
}

namespace {

// A local dataset with one field of each kind, in insert state.
struct KindRecord {
    DataEnv env;
    TClientDataSet ds;
    KindRecord() {
        env.connectServices();
        ds.setObjectName("cdsKinds");
        ds.FieldDefs().Add("T", FieldType::String, 4);
        ds.FieldDefs().Add("YM", FieldType::String, 6);
        ds.FieldDefs().Add("DUR", FieldType::Integer);
        ds.FieldDefs().Add("PCT", FieldType::Float);
        ds.FieldDefs().Add("D", FieldType::String, 8);
        ds.FieldDefs().Add("M", FieldType::String, 2);
        ds.CreateDataSet();
        env.dm->DateStyle = 4;
        env.dm->DateSeparator = "/";
        env.dm->SetupFieldKind(f("T"), TFieldKindHandler::Time);
        env.dm->SetupFieldKind(f("YM"), TFieldKindHandler::YearMonth);
        env.dm->SetupFieldKind(f("DUR"), TFieldKindHandler::Duration);
        env.dm->SetupFieldKind(f("PCT"), TFieldKindHandler::Percent);
        env.dm->SetupFieldKind(f("D"), TFieldKindHandler::Date);
        env.dm->SetupFieldKind(f("M"), TFieldKindHandler::Month);
        ds.Append();
    }
    TField* f(const char* name) { return ds.FieldByName(name); }
};

} // namespace

TEST(FieldKindHandlers, TypedTextIsStoredInItsLayoutAndShownByStyle) {
    KindRecord r;
    EXPECT_EQ(r.f("T")->EditMask(), "99:99;1; ");
    EXPECT_EQ(r.f("D")->EditMask(), "99/99/99;1; ");
    r.f("T")->SetText("08:30");
    EXPECT_EQ(r.f("T")->AsString(), "0830");
    EXPECT_EQ(r.f("T")->DisplayText(), "08:30");
    r.f("T")->SetText("  :  ");
    EXPECT_EQ(r.f("T")->AsString(), "");
    r.f("YM")->SetText("95/03");
    EXPECT_EQ(r.f("YM")->AsString(), "200603");
    EXPECT_EQ(r.f("YM")->DisplayText(), "95/03");
    r.f("DUR")->SetText("0001:30:00");
    EXPECT_EQ(r.f("DUR")->AsInteger(), 5400);
    EXPECT_EQ(r.f("DUR")->DisplayText(), "0001:30:00");
    r.f("DUR")->SetText("0");
    EXPECT_TRUE(r.f("DUR")->IsNull());
    EXPECT_EQ(r.f("DUR")->DisplayText(), "");
    r.f("PCT")->SetText("12.5%");
    EXPECT_DOUBLE_EQ(r.f("PCT")->AsFloat(), 0.125);
    EXPECT_EQ(r.f("PCT")->DisplayText(), "12.50%");
    r.f("D")->SetText("95/03/01");
    EXPECT_EQ(r.f("D")->AsString(), "20060301");
    EXPECT_EQ(r.f("D")->DisplayText(), "95/03/01");
    EXPECT_EQ(DataEnv::messageCount(), 0);
}

TEST(FieldKindHandlers, InvalidInputShowsItsCodedMessageAndKeepsTheOldValue) {
    KindRecord r;
    r.f("T")->SetText("08:30");
    EXPECT_THROW(r.f("T")->SetText("25:00"), EAbort);
    EXPECT_EQ(DataEnv::lastMessage().trimmed(), "时间格式错误!");
    EXPECT_EQ(r.f("T")->AsString(), "0830");

    EXPECT_THROW(r.f("M")->SetText("13"), EAbort);
    EXPECT_TRUE(DataEnv::lastMessage().contains("月份"));
    EXPECT_THROW(r.f("D")->SetText("95/02/30"), EAbort); // February 30th
    EXPECT_TRUE(DataEnv::lastMessage().contains("日期错误"));
    EXPECT_THROW(r.f("DUR")->SetText("0001:61:00"), EAbort);
    EXPECT_EQ(DataEnv::messageCount(), 4);

    // Validation runs only while editing: a browse-state dataset is not checked by the handler.
    r.ds.Cancel();
    EXPECT_EQ(r.ds.State(), TDataSetState::dsBrowse);
}
