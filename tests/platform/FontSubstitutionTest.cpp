// The Windows font names resolved to the installed CJK family (the test main enters the substitutions as
// pellan does), and the fallback lists filled on a second thread.
#include "platform/FontSubstitution.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <gtest/gtest.h>
#include <thread>

namespace {

QFont pixelFont(const QStringList& families, int pixels = 13) {
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixels);
    return f;
}

// The families of the fonts a line of text is drawn in.
QStringList drawnIn(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun& run : layout.glyphRuns())
        families << run.rawFont().familyName().toLower();
    families.removeDuplicates();
    return families;
}

class FontSubstitution : public ::testing::Test {
protected:
    void SetUp() override {
        cjk_ = kvx::fonts::installedCjkFamily();
        if (cjk_.isEmpty()) GTEST_SKIP() << "no CJK font family installed";
    }
    QString cjk_;
};

} // namespace

TEST_F(FontSubstitution, WindowsNamesResolveToTheInstalledCjkFamily) {
    for (const QString& name : kvx::fonts::windowsFamilies()) {
        if (QFontDatabase::families().contains(name, Qt::CaseInsensitive)) continue;
        EXPECT_EQ(QFontInfo(pixelFont({name})).family().toLower(), cjk_.toLower()) << name.toStdString();
    }
}

TEST_F(FontSubstitution, LatinAndChineseTextIsDrawnInOneFont) {
    // One engine for both scripts: no second font (and its glyph metrics) for the Latin letters.
    const QString text = QStringLiteral("MB001 文档传输设置作业 (D)");
    for (const char* name : {"宋体", "SimSun", "MS Sans Serif", "Tahoma"})
        EXPECT_EQ(drawnIn(text, pixelFont({QString::fromUtf8(name)})), QStringList{cjk_.toLower()}) << name;
    // The code converter's UI font names the fallback family after its face.
    EXPECT_EQ(drawnIn(text, pixelFont({"SimSun", kvx::fonts::cjkFallbackFamily()})),
              QStringList{cjk_.toLower()});
}

TEST_F(FontSubstitution, WindowsNameMeasuresLikeTheFamilyItself) {
    const QString text = QStringLiteral("文档编号 COPMA 17/45");
    const int direct = QFontMetrics(pixelFont({cjk_})).horizontalAdvance(text);
    EXPECT_EQ(QFontMetrics(pixelFont({QStringLiteral("宋体")})).horizontalAdvance(text), direct);
    EXPECT_EQ(QFontMetrics(pixelFont({QStringLiteral("Tahoma")})).horizontalAdvance(text), direct);
}

TEST_F(FontSubstitution, InstallingAgainAddsNothing) {
    const QStringList before = QFont::substitutes(QStringLiteral("宋体"));
    ASSERT_EQ(before.size(), 1);
    EXPECT_EQ(kvx::fonts::installFontSubstitutions().toLower(), cjk_.toLower());
    EXPECT_EQ(kvx::fonts::installFontSubstitutions().toLower(), cjk_.toLower());
    EXPECT_EQ(QFont::substitutes(QStringLiteral("宋体")), before);
    // Names that are no Windows font stay unsubstituted.
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("DejaVu Sans")).isEmpty());
}

TEST_F(FontSubstitution, FallbackListsFilledOnAnotherThreadChangeNoMeasurement) {
    const QString text = QStringLiteral("自定义项1 Abc");
    const QFont designed = pixelFont({QStringLiteral("宋体")});
    const QFont converted = pixelFont({QStringLiteral("SimSun"), kvx::fonts::cjkFallbackFamily()});
    const int designedWidth = QFontMetrics(designed).horizontalAdvance(text);
    const int convertedWidth = QFontMetrics(converted).horizontalAdvance(text);
    // The main thread keeps measuring while the other thread loads its own engines.
    std::thread warm([] { kvx::fonts::warmFallbackLists(); });
    for (int i = 0; i < 20; ++i)
        EXPECT_GT(QFontMetrics(pixelFont({QStringLiteral("新宋体")}, 12 + i % 3)).height(), 0);
    warm.join();
    EXPECT_EQ(QFontMetrics(designed).horizontalAdvance(text), designedWidth);
    EXPECT_EQ(QFontMetrics(converted).horizontalAdvance(text), convertedWidth);
    EXPECT_EQ(drawnIn(text, designed), QStringList{cjk_.toLower()});
}

// A face without an italic is slanted when drawn italic: the widths stay, so the italic need not be
// measured. A family with an italic face of its own, or text the face lacks, has to be.
TEST_F(FontSubstitution, ItalicOfAFaceWithoutOneKeepsTheUprightWidths) {
    const QFont upright = pixelFont({QString::fromUtf8("宋体")});
    QFont italic = upright;
    italic.setItalic(true);
    const QStringList texts = {QString::fromUtf8("1:不处理"), QString::fromUtf8("2:汇出"),
                               QStringLiteral("Transferred to head office"), QString::fromUtf8("3.汇入 (W)")};
    for (const QString& text : texts) {
        ASSERT_TRUE(kvx::fonts::italicKeepsAdvances(upright, text)) << text.toStdString();
        EXPECT_EQ(QFontMetrics(italic).horizontalAdvance(text), QFontMetrics(upright).horizontalAdvance(text))
            << text.toStdString();
    }
    // A character the face lacks comes from a fallback family, which may have an italic of its own.
    EXPECT_FALSE(kvx::fonts::italicKeepsAdvances(upright, QString::fromUtf8("汇出 \U000F0001")));
    // An italic font is its own italic.
    EXPECT_TRUE(kvx::fonts::italicKeepsAdvances(italic, QStringLiteral("anything")));
}

TEST(FontItalic, AFamilyWithAnItalicFaceIsMeasuredInIt) {
    QString withItalic;
    for (const QString& family : QFontDatabase::families()) {
        for (const QString& style : QFontDatabase::styles(family))
            if (QFontDatabase::italic(family, style)) withItalic = family;
        if (!withItalic.isEmpty()) break;
    }
    if (withItalic.isEmpty()) GTEST_SKIP() << "no family with an italic face installed";
    QFont font(withItalic);
    font.setPixelSize(13);
    EXPECT_FALSE(kvx::fonts::italicKeepsAdvances(font, QStringLiteral("Transferred")));
}

// What is known to fit without measuring always fits when measured; and the usual short texts of the
// windows' face are known to fit a generous width.
TEST(FontFit, TextKnownToFitFitsWhenMeasured) {
    QFont cjk(QString::fromUtf8("宋体"));
    cjk.setPixelSize(13);
    QFont latin(QStringLiteral("DejaVu Sans"));
    latin.setPixelSize(12);
    QFont bold = cjk;
    bold.setBold(true);
    const QStringList texts = {QString::fromUtf8("浏览"),
                               QString::fromUtf8("单据笔数"),
                               QStringLiteral("0/0"),
                               QStringLiteral("WWWWWW"),
                               QStringLiteral("iiiiii"),
                               QString::fromUtf8("文档编号 MB001"),
                               QString::fromUtf8("（全角）、。"),
                               QStringLiteral("Ärger über Öl"),
                               QString()};
    int known = 0;
    for (const QFont& font : {cjk, latin, bold, QFont()}) {
        const QFontMetrics metrics(font);
        for (const QString& text : texts) {
            const int width = metrics.horizontalAdvance(text);
            for (int room = 0; room <= 240; room += 3) {
                if (!kvx::fonts::fitsUnmeasured(font, text, room)) continue;
                ++known;
                EXPECT_LE(width, room) << text.toStdString() << " in " << font.family().toStdString();
            }
        }
    }
    EXPECT_GT(known, 100);
    EXPECT_TRUE(kvx::fonts::fitsUnmeasured(cjk, QString::fromUtf8("文档编号"), 100));
    EXPECT_TRUE(kvx::fonts::fitsUnmeasured(cjk, QString(), 0));
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(cjk, QString(), -1));
}

TEST(FontFit, ShapedScriptsSpacingAndMissingCharactersAreMeasured) {
    QFont cjk(QString::fromUtf8("宋体"));
    cjk.setPixelSize(13);
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(cjk, QString::fromUtf8("e\u0301"), 1000));    // a combining mark
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(cjk, QString::fromUtf8("مرحبا"), 1000));      // Arabic joins
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(cjk, QString::fromUtf8("a\tb"), 1000));       // a tab stop
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(cjk, QString::fromUtf8("\U0001F600"), 1000)); // outside the BMP
    QFont spaced = cjk;
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(spaced, QStringLiteral("abc"), 1000));
    spaced = cjk;
    spaced.setWordSpacing(3);
    EXPECT_FALSE(kvx::fonts::fitsUnmeasured(spaced, QStringLiteral("a b"), 1000));
}
