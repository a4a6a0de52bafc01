#include "LangTestSupport.h"
#include "TempTree.h"
#include "lang/FixWideCharCodepage.h"
#include "platform/CodePage.h"

#include <QLibrary>
#include <gtest/gtest.h>

using namespace kvx;
using kvx::lang::TFixWideCharCodepage;
using kvxtest::ScopedEnv;
using kvxtest::TempTree;

namespace {
QString ch(char32_t c) {
    return QString::fromUcs4(&c, 1);
}
} // namespace

TEST(ExtendedBig5, InstalledOnABig5SystemUnlessSwitchedOff) {
    ScopedEnv cp("KVX_CODEPAGE", "950");
    {
        TempTree noKey(false); // a missing key counts as on
        EXPECT_TRUE(TFixWideCharCodepage::wanted());
    }
    TempTree tree;
    EXPECT_TRUE(TFixWideCharCodepage::wanted()); // a missing value too
    tree.setRegistryValue("UseKBIG5", "1");
    EXPECT_TRUE(TFixWideCharCodepage::wanted());
    tree.setRegistryValue("UseKBIG5", "0");
    EXPECT_FALSE(TFixWideCharCodepage::wanted());
    TFixWideCharCodepage off;
    EXPECT_FALSE(off.installed());
    EXPECT_EQ(codepage::extension(950), nullptr);

    ScopedEnv gb("KVX_CODEPAGE", "936");
    tree.setRegistryValue("UseKBIG5", "1");
    EXPECT_FALSE(TFixWideCharCodepage::wanted());
}

TEST(ExtendedBig5, ExtraPairsSurviveTheRoundTripWhileInstalled) {
    ScopedEnv cp("KVX_CODEPAGE", "950");
    TempTree tree;
    // Without the mapping the pair is no Big5 character.
    EXPECT_NE(codepage::decode("\x81\x80", 950), ch(0xA001));
    {
        TFixWideCharCodepage fix;
        ASSERT_TRUE(fix.installed());
        EXPECT_EQ(codepage::decode("\x81\x80", 950), ch(0xA001));
        EXPECT_EQ(codepage::encode(ch(0xA001), 950), QByteArray("\x81\x80"));
        // The corners of both ranges.
        const struct {
            const char* bytes;
            char32_t wide;
        } cases[] = {{"\xFE\xA0", 0xC07E}, {"\x81\xA0", 0xC001}, {"\xFE\x80", 0xA07E}, {"\xA3\xC0", 0xC101},
                     {"\xA3\xDF", 0xC120}, {"\xA3\xE2", 0xC123}, {"\xA3\xFE", 0xC13F}};
        for (const auto& c : cases) {
            EXPECT_EQ(codepage::decode(c.bytes, 950), ch(c.wide)) << c.bytes;
            EXPECT_EQ(codepage::encode(ch(c.wide), 950), QByteArray(c.bytes)) << c.bytes;
        }
        // 0xA3 0xE0 is not part of the row; ordinary Big5 text and mixed text are untouched.
        EXPECT_NE(codepage::decode("\xA3\xE0", 950), ch(0xC121));
        const QString mixed = QString::fromUtf8("文檔a") + ch(0xA001) + QString::fromUtf8("傳");
        const QByteArray bytes = codepage::encode(mixed, 950);
        EXPECT_EQ(bytes, QByteArray("\xA4\xE5\xC0\xC9"
                                    "a\x81\x80\xB6\xC7"));
        EXPECT_EQ(codepage::decode(bytes, 950), mixed);
        // Pair boundaries follow the lead bytes: 0x80 after a full pair is no trail.
        EXPECT_EQ(codepage::decode("\xA4\xE5\x81\x80", 950), QString::fromUtf8("文") + ch(0xA001));
        // Other code pages are not affected.
        EXPECT_NE(codepage::decode("\x81\x80", 936), ch(0xA001));
    }
    EXPECT_EQ(codepage::extension(950), nullptr);
    EXPECT_NE(codepage::decode("\x81\x80", 950), ch(0xA001));
}

TEST(ExtendedBig5, ProgramLibraryInstallsTheMappingWhenLoaded) {
    ScopedEnv cp("KVX_CODEPAGE", "950");
    TempTree tree;
    ASSERT_EQ(codepage::extension(950), nullptr);
    QLibrary module(langtest::buildDir() + QStringLiteral("/lib/QLDI05C.so"));
    ASSERT_TRUE(module.load()) << qPrintable(module.errorString());
    EXPECT_NE(codepage::extension(950), nullptr);
    EXPECT_EQ(codepage::decode("\x81\x80", 950), ch(0xA001));
    // The library stays loaded for the rest of the run; the mapping is taken out again by hand.
    codepage::setExtension(950, nullptr);
}
