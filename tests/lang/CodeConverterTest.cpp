#include "lang/CodeConverter.h"
#include "LangTestSupport.h"
#include "TempTree.h"
#include "server/StaveloINI.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

using kvx::Variant;
using kvx::lang::CodePageSettings;
using kvx::lang::ConverterError;

namespace {

const QString kSimplified = QString::fromUtf8("文档传输设置作业");
const QString kTraditional = QString::fromUtf8("文檔傳輸設置作業");

std::unique_ptr<TTranslator> realTranslator() {
    return std::make_unique<TTranslator>(langtest::kvlanguagePath());
}

CodePageSettings settings(const char* sys, const char* ui, const char* db) {
    return CodePageSettings::from(QString::fromLatin1(sys), QString::fromLatin1(ui), QString::fromLatin1(db));
}

} // namespace

TEST(CodePageSettings, KindsFromTheThreeCodePages) {
    using K = kvx::ConvKind;
    EXPECT_EQ(settings("936", "936", "936").uiLangMode, K::None);
    EXPECT_EQ(settings("936", "950", "936").uiLangMode, K::GbToBig5);
    EXPECT_EQ(settings("950", "950", "936").uiLangMode, K::GbToBig5);
    EXPECT_EQ(settings("950", "936", "936").uiLangMode, K::GbOnBig5);
    EXPECT_EQ(settings("437", "437", "936").uiLangMode, K::None);
    EXPECT_EQ(settings("950", "950", "936").dataConvMode, K::GbToBig5);
    EXPECT_EQ(settings("950", "936", "950").dataConvMode, K::Big5ToGb);
    EXPECT_EQ(settings("950", "950", "950").dataConvMode, K::None);
    EXPECT_EQ(settings("437", "437", "950").dataConvMode, K::None);
}

TEST(CodePageSettings, ReadFromTheClientOrServerConfiguration) {
    kvxtest::TempTree tree;
    kvxtest::ScopedEnv cp("KVX_CODEPAGE", "950");
    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\nDBCodePage=950\n");
    {
        TCodeConverter c; // kind 4: the library is loaded (found through the library path)
        EXPECT_EQ(c.SysCodePage(), "950");
        EXPECT_EQ(c.UILangMode(), 4);
        EXPECT_EQ(c.DataConvMode(), 1);
        EXPECT_NE(c.Translator(), nullptr);
        c.setDesignType(TCodeConverter::dtServer); // no StaveloS.ini: the UI code page is the system's
        EXPECT_EQ(c.UICodePage(), "950");
        EXPECT_EQ(c.DBCodePage(), "936");
        EXPECT_EQ(c.UILangMode(), 2);
        EXPECT_EQ(c.DataConvMode(), 2);
    }
    kvxtest::ScopedEnv gb("KVX_CODEPAGE", "1252");
    tree.writeText("client/StaveloC.ini", "");
    TCodeConverter plain;
    EXPECT_EQ(plain.SysCodePage(), "437");
    EXPECT_EQ(plain.UILangMode(), 0);
    EXPECT_EQ(plain.Translator(), nullptr);
}

TEST(CodePageSettings, HandedSettingsAreNeverReadAgain) {
    // Any read of the configuration after the hand-over is a fault.
    kvx::setSettingsReader([] {
        ADD_FAILURE() << "the converter read the configuration itself";
        return kvx::Settings{};
    });
    kvx::Settings s;
    s.server = kvx::CodePages::from(kvx::CodePage::Gbk, kvx::CodePage::Big5, kvx::CodePage::Gbk);
    TCodeConverter c(s, nullptr, TCodeConverter::dtClient);
    EXPECT_EQ(c.UILangMode(), 0);
    EXPECT_EQ(c.Translator(), nullptr);
    c.setDesignType(TCodeConverter::dtServer); // the other side of the same value
    EXPECT_EQ(c.UICodePage(), "950");
    EXPECT_EQ(c.UILangMode(), 2);
    EXPECT_NE(c.Translator(), nullptr);
    EXPECT_EQ(c.ConvertUIString(Variant(kSimplified)).toString(), kTraditional);
    c.setDesignType(TCodeConverter::dtClient);
    EXPECT_EQ(c.Translator(), nullptr);
    EXPECT_EQ(c.ConvertUIString(Variant(kSimplified)).toString(), kSimplified);

    s.client = s.server; // new settings take effect for the current side at once
    c.setSettings(s);
    EXPECT_EQ(c.DataConvMode(), 2);
    EXPECT_EQ(c.settings(), s);
    kvx::InstallSettingsReader();
}

TEST(Translator, MissingLibraryAndMissingEntryPoint) {
    try {
        TTranslator t(QStringLiteral("/nonexistent/Kvlanguage.so"));
        FAIL() << "loaded a missing library";
    } catch (const ConverterError& e) {
        EXPECT_STREQ(e.what(), "Load Library Kvlanguage.so Error!");
    }
    try {
        TTranslator t(langtest::brokenLibraryPath());
        FAIL() << "accepted a library without BIG5toGB";
    } catch (const ConverterError& e) {
        EXPECT_STREQ(e.what(), "Get Library Procedure Address Error!");
        EXPECT_EQ(e.helpContext(), -1);
    }
}

TEST(Translator, RealLibraryByteAndUnicodeConversions) {
    // Beside the module first: here the module is the test program itself.
    ASSERT_FALSE(TTranslator::moduleFolders().isEmpty());
    EXPECT_EQ(TTranslator::moduleFolders().first(), QCoreApplication::applicationDirPath());
    TTranslator t; // not beside this program: found through the library path
    EXPECT_TRUE(t.fileName().endsWith("Kvlanguage.so"));
    EXPECT_EQ(t.GBToBig5(kSimplified), kTraditional);
    EXPECT_EQ(t.Big5ToGB(kTraditional), kSimplified);
    EXPECT_EQ(t.GBToBig5(QByteArray("\xCE\xC4\xB5\xB5")), QByteArray("\xA4\xE5\xC0\xC9")); // 文档 -> 文檔
    EXPECT_EQ(t.GBToBig5(QByteArray()), QByteArray());
    // Characters the source code page lacks are kept as they are.
    const QString mixed = QString::fromUtf8("档案😀한");
    EXPECT_EQ(t.GBToBig5(mixed), QString::fromUtf8("檔案😀한"));
    // The three other entry points work: the tables match the generated mapping file's sizes.
    ASSERT_NE(t.getGbData(), nullptr);
    ASSERT_NE(t.getBig5Data(), nullptr);
    ASSERT_NE(t.saveOrder(), nullptr);
    EXPECT_EQ(t.getGbData()(nullptr, 0), 22729);
    std::vector<unsigned short> big5(size_t(t.getBig5Data()(nullptr, 0)));
    ASSERT_EQ(t.getBig5Data()(big5.data(), int(big5.size())), 14758);
    EXPECT_EQ(big5[471], 0xD2BB); // Big5 0xA4 0x40 (一) -> GB 0xD2 0xBB
}

TEST(CodeConverter, KindZeroLoadsNothingAndChangesNothing) {
    TCodeConverter c(settings("936", "936", "936"));
    EXPECT_EQ(c.Translator(), nullptr);
    EXPECT_EQ(c.ConvertUIString(kSimplified).toString(), kSimplified);
    EXPECT_EQ(c.RecoverUIString(kSimplified).toString(), kSimplified);
    EXPECT_EQ(c.StrTransCode(2, kSimplified).toString(), kSimplified); // no translator: a copy
}

TEST(CodeConverter, KindTwoConvertsAndRecoverGoesBack) {
    TCodeConverter c(settings("936", "950", "936"), realTranslator());
    EXPECT_EQ(c.UILangMode(), 2);
    EXPECT_EQ(c.ConvertUIString(kSimplified).toString(), kTraditional);
    EXPECT_EQ(c.RecoverUIString(kTraditional).toString(), kSimplified);
    EXPECT_EQ(c.ConvertDataString(kSimplified).toString(), kTraditional); // data kind 2 as well
    EXPECT_EQ(c.RecoverDataString(kTraditional).toString(), kSimplified);
    EXPECT_TRUE(c.ConvertUIString(Variant::null()).isNull());
    EXPECT_TRUE(c.ConvertUIString(Variant()).isUnassigned());
    EXPECT_EQ(c.ConvertUIString(Variant(42)).toInt(), 42);
    EXPECT_EQ(c.StrTransCode(3, kSimplified).toString(), kSimplified);
}

TEST(CodeConverter, KindFourLoadsTheLibraryButConvertsNoText) {
    TCodeConverter c(settings("950", "936", "936"), realTranslator());
    EXPECT_EQ(c.UILangMode(), 4);
    EXPECT_NE(c.Translator(), nullptr);
    EXPECT_EQ(c.ConvertUIString(kSimplified).toString(), kSimplified);
    EXPECT_EQ(c.RecoverUIString(kSimplified).toString(), kSimplified);
}

TEST(CodeConverter, ArraysOfOneAndTwoDimensions) {
    TCodeConverter c(settings("936", "950", "936"), realTranslator());
    // A one-dimensional row with a nested row, a number and a Null.
    Variant row = Variant::array(1, 4);
    row[1] = QString::fromUtf8("传输");
    row[2] = Variant::fromList({QString::fromUtf8("设置"), 7});
    row[3] = 12.5;
    row[4] = Variant::null();
    const Variant out = c.StrTransCode(2, row);
    ASSERT_EQ(out.lowBound(), 1);
    EXPECT_EQ(out.at(1).toString(), QString::fromUtf8("傳輸"));
    EXPECT_EQ(out.at(2).at(0).toString(), QString::fromUtf8("設置"));
    EXPECT_EQ(out.at(2).at(1).toInt(), 7);
    EXPECT_EQ(out.at(3).toDouble(), 12.5);
    EXPECT_TRUE(out.at(4).isNull());
    EXPECT_EQ(row.at(1).toString(), QString::fromUtf8("传输")); // the source is a copy

    Variant grid = Variant::array2(0, 1, 0, 1);
    grid.item(0, 0) = QString::fromUtf8("文档");
    grid.item(1, 1) = Variant::fromList({QString::fromUtf8("作业")});
    const Variant g = c.StrTransCode(2, grid);
    EXPECT_EQ(g.at(0, 0).toString(), QString::fromUtf8("文檔"));
    EXPECT_EQ(g.at(1, 1).at(0).toString(), QString::fromUtf8("作業"));
    EXPECT_TRUE(g.at(0, 1).isUnassigned());
    EXPECT_EQ(c.StrTransCode(1, g).at(0, 0).toString(), QString::fromUtf8("文档"));
}

TEST(CodeConverter, FontRule) {
    const int expected[] = {134, 134, 136, 136, 134};
    for (int kind = 0; kind <= 4; ++kind) {
        QFont f(QStringLiteral("Sans"));
        ASSERT_TRUE(TCodeConverter::SetUIFont(kind, f));
        EXPECT_EQ(f.family(), QStringLiteral("SimSun"));
        EXPECT_EQ(TCodeConverter::fontRule(kind)->charset, expected[kind]);
    }
    QFont untouched(QStringLiteral("Sans"));
    EXPECT_FALSE(TCodeConverter::SetUIFont(5, untouched));
    EXPECT_EQ(untouched.family(), QStringLiteral("Sans"));

    TCodeConverter c(settings("936", "950", "936"), realTranslator());
    QWidget w;
    c.SetObjectFont(&w, 2);
    EXPECT_EQ(w.font().family(), QStringLiteral("SimSun"));
    EXPECT_EQ(w.property("FontCharset").toInt(), 136);
}

TEST(CodeConverter, MessageDialog) {
    auto& dialogs = kvx::DialogService::instance();
    dialogs.clear();
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("文檔傳輸設置作業"));
    auto* c = new TCodeConverter(settings("936", "950", "936"), realTranslator(), &window);

    EXPECT_EQ(c->MessageDlg(QString(), kvx::MsgDlgType::Information, kvx::mbOK), 0);
    EXPECT_TRUE(dialogs.shown().isEmpty());

    window.showMinimized();
    dialogs.queueAnswer(kvx::mrNo);
    EXPECT_EQ(c->MessageDlg(QStringLiteral("Save?"), kvx::MsgDlgType::Confirmation, kvx::mbYes | kvx::mbNo),
              kvx::mrNo);
    ASSERT_EQ(dialogs.shown().size(), 1);
    const kvx::MessageRequest& req = dialogs.shown().first();
    EXPECT_EQ(req.text, QStringLiteral("Save?      ")); // six blanks with a GB system or UI
    EXPECT_EQ(req.caption, window.windowTitle());
    EXPECT_EQ(req.buttons, kvx::mbYes | kvx::mbNo);
    ASSERT_TRUE(req.hasFont);
    EXPECT_EQ(req.font.family(), QStringLiteral("SimSun"));
    EXPECT_FALSE(window.isMinimized());

    dialogs.clear();
    TCodeConverter big5(settings("950", "950", "936"), nullptr);
    big5.MessageDlg(QStringLiteral("x"), kvx::MsgDlgType::Warning, kvx::mbOK);
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("x"));
}
