#include "TempTree.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

using namespace kvx;
using kvxtest::ScopedEnv;
using kvxtest::TempTree;

TEST(IniFile, ProfileSemantics) {
    TempTree tree;
    const QString path =
        tree.writeText("client/a.ini", "; comment\n[Server Information]\nComputerName = 10.0.0.1;\n"
                                       "ServerPort=abc\n[codepage]\nUICodePage=950\n"
                                       "Quoted=\" x \"\n[WorkDLLPath]\nA=pkg1\nB=/abs/pkg2\n");
    IniFile ini(path);
    EXPECT_TRUE(ini.exists());
    EXPECT_EQ(ini.readString("server information", "computername"), "10.0.0.1;");
    EXPECT_EQ(ini.readInteger("Server Information", "ServerPort", 211), 211);
    EXPECT_EQ(ini.readInteger("CodePage", "UICodePage", 0), 950);
    EXPECT_EQ(ini.readString("CodePage", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("CodePage", "Quoted"), " x ");
    EXPECT_EQ(ini.readSectionValues("workdllpath"), QStringList({"A=pkg1", "B=/abs/pkg2"}));
    EXPECT_EQ(ini.readSection("WorkDLLPath"), QStringList({"A", "B"}));
    EXPECT_TRUE(ini.readSectionValues("Nothing").isEmpty());

    IniFile missing(tree.root() + "/nope.ini");
    EXPECT_FALSE(missing.exists());
    EXPECT_EQ(missing.readInteger("A", "B", 5), 5);
}

TEST(IniFile, ReadsSystemCodePageFiles) {
    TempTree tree;
    ScopedEnv cp("KVX_CODEPAGE", "950");
    const QString big5 =
        tree.writeFile("b5.ini", "[S]\nK=" + codepage::encode(QString::fromUtf8("文檔傳輸"), 950) + "\n");
    EXPECT_EQ(IniFile(big5).readString("S", "K"), QString::fromUtf8("文檔傳輸"));
    const QString utf8 = tree.writeText("u8.ini", QString::fromUtf8("\xEF\xBB\xBF[S]\nK=文档传输\n"));
    EXPECT_EQ(IniFile(utf8).readString("S", "K"), QString::fromUtf8("文档传输"));
}

TEST(IniFile, WritesKeepOtherLines) {
    TempTree tree;
    const QString path = tree.writeText("w.ini", "[A]\n; keep me\nX=1\n\n[B]\nY=2\n");
    {
        IniFile ini(path);
        EXPECT_TRUE(ini.writeString("a", "x", "10"));
        EXPECT_TRUE(ini.writeString("A", "Z", QString::fromUtf8("中")));
        EXPECT_TRUE(ini.writeString("C", "New", "v"));
        EXPECT_TRUE(ini.deleteKey("B", "Y"));
    }
    IniFile again(path);
    EXPECT_EQ(again.readString("A", "X"), "10");
    EXPECT_EQ(again.readString("A", "Z"), QString::fromUtf8("中"));
    EXPECT_EQ(again.readString("C", "New"), "v");
    EXPECT_FALSE(again.valueExists("B", "Y"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("; keep me"));
}

TEST(Registry, KeysAndValues) {
    TempTree tree;
    Registry reg;
    ASSERT_TRUE(reg.openKeyReadOnly("HKEY_LOCAL_MACHINE\\Software\\KVX\\Stavelo"));
    EXPECT_EQ(reg.readString("ClientPath"), tree.clientPath());
    EXPECT_TRUE(reg.valueExists("ProfileType"));
    EXPECT_FALSE(reg.valueExists("UseKBIG5"));
    EXPECT_EQ(reg.readString("UseKBIG5"), "");
    Registry other;
    EXPECT_FALSE(other.openKeyReadOnly("Software\\KVX\\Missing"));
    EXPECT_TRUE(other.readString("ClientPath").isEmpty());
}

TEST(Registry, MissingFileMeansNoKeys) {
    TempTree tree(false);
    Registry reg;
    EXPECT_FALSE(reg.openKeyReadOnly("Software\\KVX\\Stavelo"));
    EXPECT_EQ(Registry::filePath(), tree.registryPath());
}
