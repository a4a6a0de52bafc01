#include "platform/CodePage.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kvx;
using kvxtest::ScopedEnv;

TEST(CodePage, SystemCodePageFromEnvironmentAndLocale) {
    {
        ScopedEnv cp("KVX_CODEPAGE", "950");
        EXPECT_EQ(codepage::systemCodePage(), 950);
    }
    ScopedEnv none("KVX_CODEPAGE", "");
    ScopedEnv all("LC_ALL", "zh_CN.UTF-8");
    EXPECT_EQ(codepage::systemCodePage(), 936);
    {
        ScopedEnv tw("LC_ALL", "zh_TW.Big5");
        EXPECT_EQ(codepage::systemCodePage(), 950);
    }
    ScopedEnv en("LC_ALL", "en_US.UTF-8");
    EXPECT_EQ(codepage::systemCodePage(), 437);
}

TEST(CodePage, EncodesAndDecodesGbkAndBig5) {
    const QString s = QString::fromUtf8("文档传输设置作业");
    QByteArray gbk = codepage::encode(s, 936);
    EXPECT_EQ(gbk.size(), 16);
    EXPECT_EQ(QByteArray("\xCE\xC4"), gbk.left(2)); // 文
    EXPECT_EQ(codepage::decode(gbk, 936), s);

    const QString t = QString::fromUtf8("文檔傳輸");
    QByteArray big5 = codepage::encode(t, 950);
    EXPECT_EQ(big5.left(2), QByteArray("\xA4\xE5"));
    EXPECT_EQ(codepage::decode(big5, 950), t);

    // Characters a code page lacks become '?', bad bytes U+FFFD; neither stops the conversion.
    EXPECT_EQ(codepage::encode(QString::fromUtf8("a中b"), 437), QByteArray("a?b"));
    EXPECT_EQ(codepage::decode(QByteArray("a\xFF"), 936), QString::fromUtf8("a\xEF\xBF\xBD"));
    EXPECT_TRUE(codepage::isLeadByte(0xB0, 936));
    EXPECT_FALSE(codepage::isLeadByte(0x41, 950));
    EXPECT_FALSE(codepage::isLeadByte(0xB0, 437));
}

// ASCII text is converted without iconv; it must give what the converter gives for the same characters
// inside a text that needs it (one character beyond ASCII sends the whole text through iconv).
TEST(CodePage, AsciiTextConvertsAsTheConverterDoes) {
    QString ascii;
    for (int c = 0; c < 0x80; ++c)
        ascii += QChar(c);
    const QList<QPair<int, QString>> beyond = {
        {437, QString::fromUtf8("é")}, {936, QString::fromUtf8("中")}, {950, QString::fromUtf8("中")}};
    for (const auto& [cp, wide] : beyond) {
        const QByteArray fast = codepage::encode(ascii, cp);
        const QByteArray converted = codepage::encode(ascii + wide, cp);
        EXPECT_EQ(fast.size(), 0x80) << cp;
        EXPECT_GT(converted.size(), fast.size()) << cp;
        EXPECT_EQ(converted.left(fast.size()), fast) << cp;
        EXPECT_EQ(codepage::decode(fast, cp), ascii) << cp;
        EXPECT_EQ(codepage::decode(converted, cp), ascii + wide) << cp;
    }
    // A single byte from the upper half still goes to the converter: 0x82 is é in 437, not Latin-1.
    EXPECT_EQ(codepage::decode(QByteArray("ab\x82"), 437), QString::fromUtf8("abé"));
    EXPECT_EQ(codepage::encode(QString::fromUtf8("abé"), 437), QByteArray("ab\x82"));
}

// Descriptors are reused: a failed conversion must not leave state behind for the next one, and
// threads converting at once (the application server's sessions) must not share one.
TEST(CodePage, ReusedDescriptorsStayCleanAcrossCallsAndThreads) {
    const QString text = QString::fromUtf8("文档传输设置作业");
    const QByteArray gbk = codepage::encode(text, 936);
    ASSERT_EQ(gbk.size(), 16);
    const QByteArray truncated = gbk.left(gbk.size() - 1); // ends inside a pair
    const QString broken = codepage::decode(truncated, 936);
    EXPECT_TRUE(broken.endsWith(QChar(0xFFFD)));
    EXPECT_EQ(codepage::decode(gbk, 936), text);
    EXPECT_EQ(codepage::encode(QString::fromUtf8("a\U0001F600b"), 936), QByteArray("a?b"));
    EXPECT_EQ(codepage::encode(text, 936), gbk);

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const int cp = t % 2 ? 950 : 936;
            const QByteArray bytes = codepage::encode(text, cp);
            const QString back = codepage::decode(bytes, cp); // Big5 lacks some simplified forms
            for (int i = 0; i < 500; ++i)
                if (codepage::encode(text, cp) != bytes || codepage::decode(bytes, cp) != back) ++wrong;
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
}
