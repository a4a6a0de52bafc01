#include "platform/Settings.h"

#include <gtest/gtest.h>

using kvx::CodePage;
using kvx::CodePages;
using kvx::ConvKind;

TEST(Settings, CodePageTextsKeepUnknownNumbersAndRejectTheRest) {
    EXPECT_EQ(kvx::codePageFromText("936"), CodePage::Gbk);
    EXPECT_EQ(kvx::codePageFromText(" 950 "), CodePage::Big5);
    EXPECT_EQ(kvx::codePageFromText("437"), CodePage::Us);
    EXPECT_EQ(int(kvx::codePageFromText("1252")), 1252); // named by a file, kept as it is
    EXPECT_EQ(kvx::codePageText(kvx::codePageFromText("1252")), "1252");
    for (const char* bad : {"", "abc", "0", "-950", "9 36"})
        EXPECT_EQ(kvx::codePageFromText(bad), CodePage::Unknown) << bad;
    EXPECT_EQ(kvx::codePageText(CodePage::Unknown), "");
    EXPECT_EQ(kvx::codePageText(CodePage::Big5), "950");
}

TEST(Settings, KindsOnlyForTheGbBig5Pairs) {
    // A GB interface over Big5 data on a Big5 system: both kinds at once.
    const CodePages gbOnBig5 = CodePages::from(CodePage::Big5, CodePage::Gbk, CodePage::Big5);
    EXPECT_EQ(gbOnBig5.uiLangMode, ConvKind::GbOnBig5);
    EXPECT_EQ(gbOnBig5.dataConvMode, ConvKind::Big5ToGb);
    // Code pages outside the pair never convert, whatever the other side is.
    const CodePages other = CodePages::from(CodePage(1252), CodePage(1252), CodePage::Big5);
    EXPECT_EQ(other.uiLangMode, ConvKind::None);
    EXPECT_EQ(other.dataConvMode, ConvKind::None);
    EXPECT_EQ(CodePages::from("950", "950", "936"),
              CodePages::from(CodePage::Big5, CodePage::Big5, CodePage::Gbk));
}

TEST(Settings, ReaderIsAskedEachTimeAndDefaultsWithoutOne) {
    kvx::setSettingsReader({});
    EXPECT_EQ(kvx::readSettings(), kvx::Settings{});
    EXPECT_EQ(kvx::readSettings().client.ui, CodePage::Gbk);
    EXPECT_TRUE(kvx::readSettings().clientPath.isEmpty());

    int calls = 0;
    kvx::setSettingsReader([&calls] {
        kvx::Settings s;
        s.clientPath = QStringLiteral("/inst/client/%1/").arg(++calls);
        s.server = CodePages::from(CodePage::Gbk, CodePage::Big5, CodePage::Gbk);
        return s;
    });
    EXPECT_EQ(kvx::readSettings().clientPath, "/inst/client/1/");
    const kvx::Settings s = kvx::readSettings();
    EXPECT_EQ(s.clientPath, "/inst/client/2/");
    EXPECT_EQ(s.codePages(true).uiLangMode, ConvKind::GbToBig5);
    EXPECT_EQ(s.codePages(false).uiLangMode, ConvKind::None);
    kvx::setSettingsReader({});
    EXPECT_EQ(calls, 2);
}
