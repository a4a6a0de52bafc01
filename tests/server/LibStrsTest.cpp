#include "server/LibStrs.h"
#include "TempTree.h"
#include "platform/CodePage.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

using kvx::Variant;
using kvxtest::ScopedEnv;
using kvxtest::TempTree;

namespace {
TDateTime ymd(int y, int m, int d) {
    return double(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}
QDate asDate(TDateTime t) {
    return kvx::daysToDate(t).date();
}
} // namespace

TEST(LibStrsTokens, GetTokenFields) {
    EXPECT_EQ(GetToken("a_b", "_", 1), "a");
    EXPECT_EQ(GetToken("a_b", "_", 2), "b");
    EXPECT_EQ(GetToken("a_b", "_", 3), "");
    EXPECT_EQ(GetToken("a_b", "_", 0), "");
    // Multi-character delimiters, empty fields, case-sensitive search.
    EXPECT_EQ(GetToken("x||y||z", "||", 2), "y");
    EXPECT_EQ(GetToken("x||||z", "||", 2), "");
    EXPECT_EQ(GetToken("x||||z", "||", 3), "z");
    EXPECT_EQ(GetToken("aXbxc", "x", 1), "aXb");
    EXPECT_EQ(GetToken("", ",", 1), "");
}

TEST(LibStrsTokens, CursorYieldsWhatGetTokenYields) {
    const QList<QPair<QString, QString>> cases = {
        {"a_b", "_"}, {"x||||z", "||"}, {"x|||y", "||"}, {",a,,b,", ","}, {"abc", ""},
        {"abc", ","}, {",", ","},       {"aXbxc", "x"},  {"", ","},       {"one", "one"}};
    for (const auto& [text, delim] : cases) {
        TTokenCursor cursor(text, delim);
        QStringView field;
        int n = 0;
        while (cursor.Next(field)) {
            ++n;
            EXPECT_EQ(field.toString(), GetToken(text, delim, n)) << text.toStdString() << " #" << n;
        }
        EXPECT_EQ(n, NumToken(text, delim)) << text.toStdString();
        EXPECT_TRUE(cursor.AtEnd());
        EXPECT_FALSE(cursor.Next(field)) << "the cursor stays at its end";
    }
}

TEST(LibStrsTokens, CutAndCount) {
    QString text = "DS:F1,F2;DS2:F3";
    EXPECT_EQ(CutToken(text, ";"), "DS:F1,F2");
    EXPECT_EQ(text, "DS2:F3");
    EXPECT_EQ(CutToken(text, ";"), "DS2:F3");
    EXPECT_EQ(text, "");
    QString multi = "k1||k2";
    EXPECT_EQ(CutToken(multi, "||"), "k1");
    EXPECT_EQ(multi, "k2");

    EXPECT_EQ(NumToken("A,B,", ","), 3);
    EXPECT_EQ(NumToken("", ","), 0);
    EXPECT_EQ(NumToken("A", ","), 1);
    EXPECT_EQ(NumToken("a||b||c", "||"), 3);
    // Occurrences do not overlap: "a|||b" has the fields "a" and "|b".
    EXPECT_EQ(NumToken("a|||b", "||"), 2);
    EXPECT_EQ(GetToken("a|||b", "||", 2), "|b");
    EXPECT_EQ(NumToken("||||", "||"), 3);
}

TEST(LibStrsTokens, SwapStr) {
    EXPECT_EQ(SwapStr("a.b.c", ".", "..", false), "a..b..c"); // inserted text is not searched again
    EXPECT_EQ(SwapStr("aaa", "a", "aa", false), "aaaaaa");
    EXPECT_EQ(SwapStr("Abc abc", "abc", "ABC", false), "Abc abc"); // equal ignoring case: nothing
    EXPECT_EQ(SwapStr("Abc abc", "abc", "x", false), "Abc x");     // the search itself is case-sensitive
    EXPECT_EQ(SwapStr("  a-b \t", "-", "+", true), "a+b");
    EXPECT_EQ(SwapStr("abc", "", "x", false), "abc");
}

TEST(LibStrsNumbers, PaddingAndZeros) {
    EXPECT_EQ(PadL("7", {3}), "  7");
    EXPECT_EQ(PadL("7", {3, '0'}), "007");
    EXPECT_EQ(PadR("ab", {4, '*'}), "ab**");
    EXPECT_EQ(PadR("abcdef", {4}), "abcdef");
    EXPECT_EQ(PadL("x", {}), "x");
    EXPECT_EQ(ZeroATfirst(42, 5), "00042");
    EXPECT_EQ(ZeroATfirst(123456, 3), "123456");
    EXPECT_EQ(ZeroATfirst(-5, 3), "-005");
    EXPECT_EQ(ZeroATfirst(Q_INT64_C(9007199254740993), 1), "9007199254740993");
}

TEST(LibStrsNumbers, RoundHalfAwayFromZero) {
    EXPECT_DOUBLE_EQ(FourOutFiveIn(2.675, 2), 2.68);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(-2.675, 2), -2.68);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(1.005, 2), 1.01);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(0.5, 0), 1.0);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(2.5, 0), 3.0);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(-2.5, 0), -3.0);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(2.674999, 2), 2.67);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(1.0 / 3.0, 4), 0.3333);
    EXPECT_DOUBLE_EQ(FourOutFiveIn(0.0, 2), 0.0);
}

TEST(LibStrsNumbers, RoundHalfAwayFromZeroAtEveryMagnitude) {
    // A fixed nudge is lost below the last bit of large values; the decimal text decides instead.
    EXPECT_EQ(FourOutFiveIn(20000.675, 2), 20000.68);
    EXPECT_EQ(FourOutFiveIn(-20000.675, 2), -20000.68);
    EXPECT_EQ(FourOutFiveIn(99999.995, 2), 100000.0);
    EXPECT_EQ(FourOutFiveIn(1000000.075, 2), 1000000.08);
    EXPECT_EQ(FourOutFiveIn(123456789.125, 2), 123456789.13);
    EXPECT_EQ(FourOutFiveIn(0.000125, 4), 0.0001);
    EXPECT_EQ(FourOutFiveIn(0.00015, 4), 0.0002);
    EXPECT_EQ(FourOutFiveIn(9.9999, 2), 10.0);
    EXPECT_EQ(FourOutFiveIn(49.5, -1), 50.0); // negative digits count as none
    EXPECT_EQ(FourOutFiveIn(12.0, 2), 12.0);
    // A value that rounds to zero is zero, never -0.
    for (double v : {-0.004, -0.0, -1e-300}) {
        const double r = FourOutFiveIn(v, 2);
        EXPECT_EQ(r, 0.0) << v;
        EXPECT_FALSE(std::signbit(r)) << v;
    }
}

TEST(LibStrsNumbers, CompareFloat) {
    EXPECT_EQ(CompareFloat(0.1 + 0.2, 0.3), 0);
    EXPECT_EQ(CompareFloat(1.0, 1.0 + 1e-9), -1);
    EXPECT_EQ(CompareFloat(2.0, 1.0), 1);
    EXPECT_EQ(CompareFloat(-1.0, 1.0), -1);
}

TEST(LibStrsVariants, SmallHelpers) {
    EXPECT_EQ(IIF(true, Variant(1), Variant("x")).toInt(), 1);
    EXPECT_EQ(IIF(false, Variant(1), Variant("x")).toString(), "x");
    EXPECT_TRUE(IsVarEmptyOrNull(Variant()));
    EXPECT_TRUE(IsVarEmptyOrNull(Variant::null()));
    EXPECT_FALSE(IsVarEmptyOrNull(Variant("")));
    EXPECT_FALSE(IsVarEmptyOrNull(Variant(0)));
    EXPECT_TRUE(IsLocalAddress("127.0.0.1"));
    EXPECT_FALSE(IsLocalAddress("localhost"));
    EXPECT_FALSE(IsLocalAddress("127.0.0.1 "));
}

TEST(LibStrsDates, DateToStringLayouts) {
    const TDateTime d = ymd(2008, 3, 5);
    EXPECT_EQ(DateToString(d, 1, "/"), "2008/03/05");
    EXPECT_EQ(DateToString(d, 2, "-"), "03-05-2008");
    EXPECT_EQ(DateToString(d, 3, "."), "05.03.2008");
    EXPECT_EQ(DateToString(d, 4, "/"), "97/03/05");
    EXPECT_EQ(DateToString(d, 5, "/"), "097/03/05");
    EXPECT_EQ(DateToString(d, 1, ""), "20080305");
    EXPECT_EQ(DateToString(d, 1, "/-"), "2008/03/05"); // only the first character separates
    EXPECT_EQ(DateToString(ymd(2015, 1, 2), 4, "/"), "104/01/02");
    EXPECT_EQ(DateToString(0, 1, "/"), "");
    EXPECT_EQ(DateToString(d + 0.75, 1, "/"), "2008/03/05");
}

TEST(LibStrsDates, DateTimeToString) {
    const TDateTime dt = kvx::dateToDays(QDateTime(QDate(2008, 3, 5), QTime(13, 4, 5, 67)));
    EXPECT_EQ(MyDateTimeToString(dt, 1, "/"), "2008/03/05 13:04:05:067");
    EXPECT_EQ(MyDateTimeToString(dt, 5, "/"), "097/03/05 13:04:05:067");
    EXPECT_EQ(MyDateTimeToString(0, 1, "/"), "");
}

TEST(LibStrsDates, StringToDate) {
    EXPECT_EQ(asDate(StringToDate("2008/02/30", 1, "/")), QDate(2008, 3, 1));
    EXPECT_EQ(asDate(StringToDate(" 2008 / 3 / 5 ", 1, "/")), QDate(2008, 3, 5));
    EXPECT_EQ(asDate(StringToDate("03-05-2008", 2, "-")), QDate(2008, 3, 5));
    EXPECT_EQ(asDate(StringToDate("05.03.2008", 3, ".")), QDate(2008, 3, 5));
    EXPECT_EQ(asDate(StringToDate("97/03/05", 4, "/")), QDate(2008, 3, 5));
    EXPECT_EQ(asDate(StringToDate("097/03/05", 5, "/")), QDate(2008, 3, 5));
    EXPECT_EQ(StringToDate("2008/00/05", 1, "/"), 0);
    EXPECT_EQ(StringToDate("2008/13/05", 1, "/"), 0);
    EXPECT_EQ(StringToDate("2008/x/05", 1, "/"), 0);
    EXPECT_EQ(StringToDate("2008/03", 1, "/"), 0);
    EXPECT_EQ(StringToDate("", 1, "/"), 0);
    EXPECT_EQ(StringToDate("99999999999999999999/1/1", 1, "/"), 0);
    // A day that rolls past the last date gives no date.
    EXPECT_EQ(StringToDate("9999/12/32", 1, "/"), 0);
    EXPECT_EQ(asDate(StringToDate("9999/12/31", 1, "/")), QDate(9999, 12, 31));
    EXPECT_EQ(asDate(StringToDate("9999/11/31", 1, "/")), QDate(9999, 12, 1));
}

TEST(LibStrsDates, TransDateIn) {
    EXPECT_EQ(asDate(TransDateIn("20080305")), QDate(2008, 3, 5));
    EXPECT_EQ(asDate(TransDateIn("20080229")), QDate(2008, 2, 29));
    EXPECT_EQ(TransDateIn("20070229"), 0);
    EXPECT_EQ(TransDateIn("2008035"), 0);
    EXPECT_EQ(TransDateIn("200803051"), 0);
    EXPECT_EQ(TransDateIn("20080005"), 0);
    EXPECT_EQ(TransDateIn("2008AB05"), 0);
    EXPECT_EQ(TransDateIn(""), 0);
}

TEST(LibStrsDates, TransDateTimeIn) {
    const TDateTime t = TransDateTimeIn("20080305130405067");
    EXPECT_EQ(kvx::daysToDate(t), QDateTime(QDate(2008, 3, 5), QTime(13, 4, 5, 67)));
    // Without a date only the time of day comes back.
    const TDateTime timeOnly = TransDateTimeIn("00000000120000000");
    EXPECT_DOUBLE_EQ(timeOnly, 0.5);
    EXPECT_EQ(TransDateTimeIn("20080305250000000"), 0); // hour 25
    EXPECT_EQ(TransDateTimeIn("20081305130405067"), 0); // month 13
    EXPECT_EQ(TransDateTimeIn("20080305"), 0);          // time missing
    EXPECT_EQ(TransDateTimeIn("2008030513040506x"), 0);
}

TEST(LibStrsDates, CheckDate) {
    EXPECT_TRUE(CheckDate(""));
    EXPECT_FALSE(CheckDate("17521231"));
    EXPECT_TRUE(CheckDate("17530101"));
    EXPECT_FALSE(CheckDate("20080230"));
    EXPECT_TRUE(CheckDate("20080229"));
    EXPECT_TRUE(CheckDate("99991231"));
    EXPECT_FALSE(CheckDate("2008ab01"));
    EXPECT_FALSE(CheckDate("2008"));
    // Exactly eight digits: signs, blanks and extra characters are refused.
    EXPECT_FALSE(CheckDate("200801011"));
    EXPECT_FALSE(CheckDate("20080101 "));
    EXPECT_FALSE(CheckDate("+2008101"));
    EXPECT_FALSE(CheckDate(" 2008101"));
    EXPECT_FALSE(CheckDate("2008 1 1"));
    EXPECT_FALSE(CheckDate("2008-1-1"));
}

TEST(LibStrsDates, Changedate) {
    EXPECT_EQ(Changedate("97/3/5", 4, "/"), "20080305");
    EXPECT_EQ(Changedate("3-5-2008", 2, "-"), "20080305");
    EXPECT_EQ(Changedate("5.3.2008", 3, "."), "20080305");
    EXPECT_EQ(Changedate("20080305", 1, ""), "20080305");
    EXPECT_EQ(Changedate("2008/0/5", 1, "/"), "0");
    EXPECT_EQ(Changedate("2008/a/5", 1, "/"), "0");
    EXPECT_EQ(Changedate("", 1, ""), "0");
}

TEST(LibStrsTimes, ConvertSecond) {
    EXPECT_EQ(ConvertSecond(0), "0000:00:00");
    EXPECT_EQ(ConvertSecond(3661), "0001:01:01");
    EXPECT_EQ(ConvertSecond(-3661), "-0001:01:01");
    EXPECT_EQ(ConvertSecond(Q_INT64_C(360000000)), "100000:00:00");
    EXPECT_EQ(ConvertSecond(std::numeric_limits<qint64>::min()), "0000:00:00");
}

TEST(LibStrsTimes, CountSecond) {
    Variant r = CountSecond("01:00:00", "00:30:15", 1);
    EXPECT_EQ(r.at(0).toInt(), 5415);
    EXPECT_EQ(r.at(1).toString(), "0001:30:15");
    r = CountSecond("01:00:00", "02:00:00", -1);
    EXPECT_EQ(r.at(0).toInt(), -3600);
    EXPECT_EQ(r.at(1).toString(), "-0001:00:00");
    r = CountSecond("1234:00:00", "00:00:01", 1);
    EXPECT_EQ(r.at(0).toInt(), 1234 * 3600 + 1);

    for (const auto& [t1, t2, sign] : std::initializer_list<std::tuple<const char*, const char*, int>>{
             {"01:00:00", "00:30:15", 0},    // sign neither 1 nor -1
             {"1:00:00", "00:30:15", 1},     // too short
             {"01:00:00:00", "00:00:01", 1}, // three colons
             {"01-00-00", "00:00:01", 1},    // no colons
             {"01:0a:00", "00:00:01", 1},    // a letter
             {"0100::00", "00:00:01", 1},    // empty part
         }) {
        r = CountSecond(t1, t2, sign);
        EXPECT_EQ(r.at(0).toInt(), 0) << t1 << " " << t2;
        EXPECT_EQ(r.at(1).toString(), "000:00:00") << t1 << " " << t2;
    }
}

TEST(LibStrsOther, ButtonCaptions) {
    EXPECT_EQ(GetCHTButtonCaption("Yes"), QString::fromUtf8("是(&Y)"));
    EXPECT_EQ(GetCHTButtonCaption("OK"), QString::fromUtf8("确定"));
    EXPECT_EQ(GetCHTButtonCaption("NoToAll"), QString::fromUtf8("全否(&o)"));
    EXPECT_EQ(GetCHTButtonCaption("Help"), QString::fromUtf8("帮助(&H)"));
    EXPECT_EQ(GetCHTButtonCaption("yes"), "yes");
    EXPECT_EQ(GetCHTButtonCaption("Close"), "Close");
}

TEST(LibStrsOther, MakeFullPath) {
    EXPECT_EQ(MakeFullPath("C_PKG/", "/opt/kvx/"), "/opt/kvx/C_PKG/");
    EXPECT_EQ(MakeFullPath("\\C_PKG\\sub\\", "/opt/kvx/"), "/opt/kvx/C_PKG/sub/");
    EXPECT_EQ(MakeFullPath("/abs/pkg/", "/opt/kvx/"), "/abs/pkg/");
    EXPECT_EQ(MakeFullPath("", "/opt/kvx/"), "/opt/kvx/");
    // Windows drive and share paths are full paths already.
    EXPECT_EQ(MakeFullPath("C:\\KVX\\C_PKG\\", "/opt/kvx/"), "C:\\KVX\\C_PKG\\");
    EXPECT_EQ(MakeFullPath("d:pkg", "/opt/kvx/"), "d:pkg");
    EXPECT_EQ(MakeFullPath("\\\\server\\share\\pkg", "/opt/kvx/"), "\\\\server\\share\\pkg");
    EXPECT_EQ(MakeFullPath("//server/share/pkg", "/opt/kvx/"), "//server/share/pkg");
}

TEST(LibStrsOther, CodePageConversionsOfVariants) {
    const QString gb = QString::fromUtf8("文档传输");
    const QString big5 = QString::fromUtf8("文檔傳輸");
    // Text to a byte string of the code page and back.
    const Variant ansi = KVWideStringToStr(Variant(gb), 936);
    ASSERT_TRUE(ansi.isByteString());
    EXPECT_EQ(ansi.toBytes(), kvx::codepage::encode(gb, 936));
    const Variant wide = KVStrToWideString(ansi, 936);
    EXPECT_TRUE(wide.isString());
    EXPECT_EQ(wide.toString(), gb);

    // Arrays of both kinds, nested arrays, and values that are not strings.
    Variant row = Variant::fromList({Variant(big5), Variant(7), Variant::null()});
    Variant grid = Variant::array2(0, 1, 0, 0);
    grid.item(0, 0) = Variant(gb);
    grid.item(1, 0) = row;
    const Variant packed = KVWideStringToStr(grid, 950);
    EXPECT_EQ(packed.at(0, 0).toBytes(), kvx::codepage::encode(gb, 950));
    EXPECT_EQ(packed.at(1, 0).at(0).toBytes(), kvx::codepage::encode(big5, 950));
    EXPECT_EQ(packed.at(1, 0).at(1).toInt(), 7);
    EXPECT_TRUE(packed.at(1, 0).at(2).isNull());
    const Variant back = KVStrToWideString(packed, 950);
    EXPECT_EQ(back.at(1, 0).at(0).toString(), big5);
    EXPECT_EQ(back.lowBound(2), 0);
    EXPECT_EQ(back.highBound(1), 1);

    // Text stays text, whatever its characters: nothing guesses whether a string holds bytes.
    EXPECT_EQ(KVStrToWideString(Variant(gb), 936).toString(), gb);
    EXPECT_EQ(KVStrToWideString(Variant("MB001='A'"), 950).toString(), "MB001='A'");
    EXPECT_EQ(KVStrToWideString(Variant(QString::fromUtf8("café")), 936).toString(),
              QString::fromUtf8("café"));
    EXPECT_TRUE(KVStrToWideString(Variant(), 936).isUnassigned());
}

TEST(LibStrsOther, LatinTextIsNeverTakenForBytes) {
    // "ü" and "l" once read as the GBK pair 0xFC 0x6C ("M黮ler").
    const QString name = QString::fromUtf8("Müller");
    EXPECT_EQ(KVStrToWideString(Variant(name), 936).toString(), name);
    EXPECT_EQ(KVStrToWideString(Variant(name), 950).toString(), name);
    // Its bytes go there and back in any code page that has "ü"; a character one lacks becomes "?".
    const Variant cp437 = KVWideStringToStr(Variant(name), 437);
    EXPECT_EQ(cp437.toBytes(), QByteArray("M\x81ller"));
    EXPECT_EQ(KVStrToWideString(cp437, 437).toString(), name);
    EXPECT_EQ(KVStrToWideString(KVWideStringToStr(Variant(name), 936), 936).toString(), name);
    EXPECT_EQ(KVWideStringToStr(Variant(QString::fromUtf8("M😀")), 936).toBytes(), QByteArray("M?"));
    // A byte string stays one when encoded again, text stays text when decoded again.
    EXPECT_TRUE(KVWideStringToStr(cp437, 936).identical(cp437));
    // Bytes that are no text of the code page become U+FFFD instead of passing for Latin-1.
    const Variant odd = KVStrToWideString(Variant::fromBytes(QByteArray("A\xFF", 2)), 936);
    EXPECT_TRUE(odd.isString());
    EXPECT_TRUE(odd.toString().startsWith('A'));
    EXPECT_TRUE(odd.toString().contains(QChar::ReplacementCharacter));
}

TEST(LibStrsOther, CodePageZeroIsTheSystemCodePage) {
    ScopedEnv cp("KVX_CODEPAGE", "950");
    const QString big5 = QString::fromUtf8("傳輸");
    const Variant bytes = KVWideStringToStr(Variant(big5), 0);
    EXPECT_EQ(bytes.toBytes(), kvx::codepage::encode(big5, 950));
    EXPECT_EQ(KVStrToWideString(bytes, 0).toString(), big5);
}

namespace {
QStringList logFiles(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(AlertLog, OneFilePerProgramAndDay) {
    TempTree tree;
    const QString logDir = tree.clientPath() + "Log/";
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    ASSERT_TRUE(WriteToAlertFile("QLDI05", "first", "D"));
    ASSERT_TRUE(WriteToAlertFile("QLDI05", "second", "X"));
    ASSERT_TRUE(WriteToAlertFile("Class knlRadical-311", "third", "D"));
    ASSERT_TRUE(WriteToAlertFile("QLDI05", "monthly", "M"));
    ASSERT_TRUE(WriteToAlertFile("QLDI05", "yearly", "Y"));
    ASSERT_TRUE(WriteToAlertFile("trace.txt", "dotted", "D"));

    const QStringList files = logFiles(logDir);
    EXPECT_TRUE(files.contains("Alert_QLDI05_" + today + ".log")) << files.join(",").toStdString();
    EXPECT_TRUE(files.contains("Alert_Class knlRadical-311_" + today + ".log"));
    EXPECT_TRUE(files.contains("Alert_QLDI05_" + today.left(6) + ".log"));
    EXPECT_TRUE(files.contains("Alert_QLDI05_" + today.left(4) + ".log"));
    EXPECT_TRUE(files.contains("Alert_trace.txt_" + today)); // no ".log" after a dotted name
    EXPECT_EQ(files.size(), 5);

    const QByteArray daily = readAll(logDir + "Alert_QLDI05_" + today + ".log");
    const QList<QByteArray> lines = daily.split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines and what follows the last line feed
    const QRegularExpression layout(R"(^\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\] (first|second)\r$)");
    EXPECT_TRUE(layout.match(QString::fromLatin1(lines[0])).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("] first\r"));
    EXPECT_TRUE(lines[1].endsWith("] second\r"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST(AlertLog, FolderFallsBackToServerPathAndCreatesParents) {
    TempTree tree;
    tree.setRegistryValue("ClientPath", "");
    tree.setRegistryValue("ServerPath", tree.root() + "/deep/server"); // no trailing separator, not there yet
    ASSERT_TRUE(WriteToAlertFile("P1", "x", "D"));
    EXPECT_EQ(AlertLogFolder(), tree.root() + "/deep/server/Log/");
    EXPECT_EQ(logFiles(tree.root() + "/deep/server/Log").size(), 1);
}

TEST(AlertLog, NameCannotLeaveTheLogFolder) {
    TempTree tree;
    ASSERT_TRUE(WriteToAlertFile("../escape", "x", "D"));
    EXPECT_FALSE(QDir(tree.clientPath()).entryList(QDir::Files).join(",").contains("escape"));
    EXPECT_EQ(logFiles(tree.clientPath() + "Log").size(), 1);
}

TEST(AlertLog, ChineseTextInTheSystemCodePage) {
    TempTree tree;
    const QString text = QString::fromUtf8("保存失败");
    {
        ScopedEnv cp("KVX_CODEPAGE", "936");
        ASSERT_TRUE(WriteToAlertFile("GB", text, "D"));
    }
    {
        ScopedEnv cp("KVX_CODEPAGE", "437");
        ASSERT_TRUE(WriteToAlertFile("EN", text, "D"));
    }
    const QString day = QDate::currentDate().toString("yyyyMMdd");
    EXPECT_TRUE(readAll(tree.clientPath() + "Log/Alert_GB_" + day + ".log")
                    .endsWith(kvx::codepage::encode(text, 936) + "\r\n"));
    EXPECT_TRUE(readAll(tree.clientPath() + "Log/Alert_EN_" + day + ".log").endsWith(text.toUtf8() + "\r\n"));
}

TEST(AlertLog, UnwritableFolderGivesFalse) {
    TempTree tree;
    // The Log folder's place is taken by a file, so neither the folder nor the file can be made.
    tree.writeFile("client/Log", "not a folder");
    EXPECT_FALSE(WriteToAlertFile("QLDI05", "x", "D"));
}
