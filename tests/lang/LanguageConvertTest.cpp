#include "LangTestSupport.h"
#include "TempTree.h"
#include "lang/Language_Convert.h"
#include "platform/CodePage.h"
#include "platform/DialogService.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace kvx::lang;
using langtest::mappingFile;

namespace {

int gb(const char* pair, qsizetype n = 2) {
    return gbIndex(reinterpret_cast<const unsigned char*>(pair), n);
}
int b5(const char* pair, qsizetype n = 2) {
    return big5Index(reinterpret_cast<const unsigned char*>(pair), n);
}

} // namespace

TEST(GbBig5Index, GbAreasAndTheirBoundaries) {
    EXPECT_EQ(gb("\xB0\xA1"), 1410);
    EXPECT_EQ(gb("\xA1\xA1"), 0);
    EXPECT_EQ(gb("\xF7\xFE"), 8177);
    EXPECT_EQ(gb("\x81\x40"), 8178);
    EXPECT_EQ(gb("\xA0\xFE"), 8178 + 31 * 191 + 190);
    EXPECT_EQ(gb("\xAA\x40"), 14290);
    EXPECT_EQ(gb("\xFE\xA0"), 14290 + 84 * 97 + 96);
    EXPECT_EQ(gb("\xA8\x40"), 22535);
    EXPECT_EQ(gb("\xA9\xA0"), 22535 + 97 + 96);
    // User-defined and invalid areas have no entry.
    EXPECT_EQ(gb("\xA1\x40"), -1);
    EXPECT_EQ(gb("\xAA\xA1"), -1);
    EXPECT_EQ(gb("\xF8\xA1"), -1);
    EXPECT_EQ(gb("\xB0\x30"), -1);
    // Not pairs at all: a trail 0x7F, a low lead, a single byte.
    EXPECT_EQ(gb("\xB0\x7F"), -1);
    EXPECT_FALSE(isGbPair(reinterpret_cast<const unsigned char*>("\xB0\x7F"), 2));
    EXPECT_EQ(gb("\x41\xA1"), -1);
    EXPECT_EQ(gb("\xB0\xA1", 1), -1);
}

TEST(GbBig5Index, Big5AreasAndTheirBoundaries) {
    EXPECT_EQ(b5("\xA4\x40"), 471);
    EXPECT_EQ(b5("\xA1\x40"), 0);
    EXPECT_EQ(b5("\xA1\x7E"), 62);
    EXPECT_EQ(b5("\xA1\xA1"), 63);
    EXPECT_EQ(b5("\xA3\xE1"), 441);
    EXPECT_EQ(b5("\xFE\xFE"), 93 * 157 + 156);
    EXPECT_EQ(b5("\x81\x40"), -1); // below the first lead: no entry
    EXPECT_EQ(b5("\xA4\x80"), -1); // trail outside both ranges
    EXPECT_EQ(b5("\x41\x40"), -1);
}

TEST(GbBig5Tables, TableEntriesWinOverTheCodePages) {
    // GB 0xB0 0xA1 (index 1410) deliberately mapped to Big5 0xA4 0xE5; Big5 0xA4 0x40 (471) to GB 0xCE 0xC4.
    const GbBig5Tables t = GbBig5Tables::fromText(mappingFile(500, {{471, 0xCEC4}}, 1500, {{1410, 0xA4E5}}));
    EXPECT_EQ(t.big5Count(), 500);
    EXPECT_EQ(t.gbCount(), 1500);
    EXPECT_EQ(t.gbToBig5("a\xB0\xA1z"), QByteArray("a\xA4\xE5z"));
    EXPECT_EQ(t.big5ToGb("\xA4\x40!"), QByteArray("\xCE\xC4!"));
}

TEST(GbBig5Tables, BlankEntriesAndMissingIndicesFallBackToTheCodePages) {
    const GbBig5Tables t = GbBig5Tables::fromText(mappingFile(500, {}, 1500, {}));
    // 文 (GB 0xCE 0xC4) lies beyond the small table; 啊 (0xB0 0xA1) has a blank entry.
    EXPECT_EQ(t.gbToBig5("\xCE\xC4\xB0\xA1"), kvx::codepage::encode(QString::fromUtf8("文啊"), 950));
    EXPECT_EQ(t.big5ToGb("\xA4\xE5"), QByteArray("\xCE\xC4"));
    // Nothing loaded at all behaves the same.
    EXPECT_EQ(GbBig5Tables().gbToBig5("\xCE\xC4"), QByteArray("\xA4\xE5"));
}

TEST(GbBig5Tables, EuroSignAndOddBytes) {
    const GbBig5Tables t = GbBig5Tables::fromText(mappingFile(500, {}, 10, {}));
    EXPECT_EQ(t.gbToBig5("1\x80"), QByteArray("1\xA3\xE1"));
    EXPECT_EQ(t.big5ToGb("\xA3\xE1"
                         "2"),
              QByteArray("\x80"
                         "2"));
    // An odd high byte at the end is copied unchanged, in both directions.
    EXPECT_EQ(t.gbToBig5("ab\xB0"), QByteArray("ab\xB0"));
    EXPECT_EQ(t.big5ToGb("ab\xA4"), QByteArray("ab\xA4"));
    // A lead byte before a byte that is no trail: the second byte survives.
    EXPECT_TRUE(t.gbToBig5("\xB0\x31").endsWith('1'));
    EXPECT_EQ(t.gbToBig5(""), QByteArray());
}

TEST(GbBig5Tables, BadHexStopsTheLoading) {
    EXPECT_THROW(GbBig5Tables::fromText("[GB]\nGB0=$00G1\n"), ConvertError);
    EXPECT_THROW(GbBig5Tables::fromText("[GB]\nGB0=$12\n"), ConvertError);
    EXPECT_THROW(GbBig5Tables::fromText("BIG5A140\n"), ConvertError);
    // Keys are not interpreted; lines of other kinds are ignored.
    const GbBig5Tables t = GbBig5Tables::fromText("; comment\nOTHER=1\n[GB]\nGBxyz=#00A1\n  \nBIG5=xa4e5\n");
    ASSERT_EQ(t.gbCount(), 1);
    EXPECT_EQ(t.gbEntry(0), 0x00A1);
    ASSERT_EQ(t.big5Count(), 1);
    EXPECT_EQ(t.big5Entry(0), 0xA4E5);
}

TEST(LanguageConvert, MissingFileIsReportedAndRetriedOnTheNextConversion) {
    kvxtest::TempTree tree;
    auto& dialogs = kvx::DialogService::instance();
    dialogs.clear();
    LanguageConvert& lc = LanguageConvert::instance();
    lc.unload();
    ASSERT_TRUE(LanguageConvert::locate().isEmpty());

    EXPECT_EQ(lc.GBToBIG5(QByteArray("\xCE\xC4")), QByteArray("\xA4\xE5")); // code pages for every pair
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Can't find file Language !!"));
    EXPECT_FALSE(lc.loaded());

    tree.writeFile("client/Language", mappingFile(10, {}, 1500, {{1410, 0xA4E5}}));
    dialogs.clear();
    EXPECT_EQ(lc.GBToBIG5(QByteArray("\xB0\xA1")), QByteArray("\xA4\xE5"));
    EXPECT_TRUE(lc.loaded());
    EXPECT_TRUE(dialogs.shown().isEmpty());
    lc.unload();
}

TEST(LanguageConvert, BadFileRaisesAndStaysUnloaded) {
    kvxtest::TempTree tree;
    tree.writeFile("client/Language", "[GB]\nGB0=$ZZZZ\n");
    LanguageConvert& lc = LanguageConvert::instance();
    lc.unload();
    EXPECT_THROW(lc.GBToBIG5(QByteArray("\xB0\xA1")), ConvertError);
    EXPECT_FALSE(lc.loaded());
}

TEST(LanguageConvert, GeneratedFileConvertsBothWays) {
    kvxtest::TempTree tree;
    QFile generated(langtest::generatedMappingFile());
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly)) << qPrintable(generated.fileName());
    tree.writeFile("client/Language", generated.readAll());
    LanguageConvert& lc = LanguageConvert::instance();
    lc.unload();

    const QString simplified = QString::fromUtf8("文档传输设置作业");
    const QString traditional = lc.GBToBIG5(simplified);
    EXPECT_EQ(traditional, QString::fromUtf8("文檔傳輸設置作業"));
    EXPECT_EQ(lc.BIG5ToGB(traditional), simplified);
    EXPECT_EQ(lc.GBToBIG5(QString::fromUtf8("档😀")), QString::fromUtf8("檔😀"));
    EXPECT_EQ(lc.GBToBIG5(QByteArray("\x80")), QByteArray("\xA3\xE1"));
    EXPECT_EQ(lc.BIG5ToGB(QByteArray("\xA3\xE1")), QByteArray("\x80"));
    lc.unload();
}
