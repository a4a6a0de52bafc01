#include "server/StaveloINI.h"
#include "TempTree.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using kvxtest::ScopedEnv;
using kvxtest::TempTree;

namespace {

const QString kFullClientIni = QStringLiteral(
    "[Client Components]\nLangType=CHT\n"
    "[ProductVersion]\nVersion=8.0.1\n"
    "[UserDefine]\nCreateGifBeforeSendEF=N\n"
    "[CodePage]\nUICodePage=950\nDBCodePage=936\n"
    "[Server Information]\nComputerName=10.0.0.5\nServerPort=8211\nSupportCallBack=yes\n"
    "[WorkDLLPath]\nP1=C_PKG\nP2=\\Extra\\Libs\nP3=/opt/shared/pkg/\n"
    "[TaskMessageCenter Setting]\nAutoCheckNewMsg=0\nCheckInterval=5\nPopupMsg=0\nLoginCheck=1\n");

QString currentUser() {
    const passwd* pw = getpwuid(geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name).left(32) : QString();
}

} // namespace

TEST(StaveloIniC, ReadsEveryKey) {
    TempTree tree;
    ScopedEnv cp("KVX_CODEPAGE", "936");
    tree.writeText("client/StaveloC.ini", kFullClientIni);
    const TStaveloIniC ini;
    EXPECT_EQ(ini.ErrorCode, "");
    EXPECT_EQ(ini.ClientPath, tree.clientPath());
    EXPECT_EQ(ini.ConfigPath, tree.clientPath());
    EXPECT_EQ(ini.IniFileName, tree.clientPath() + "StaveloC.ini");
    EXPECT_EQ(ini.ProfileType, "0");
    EXPECT_EQ(ini.ProfileUser, "Default");
    EXPECT_EQ(ini.LangType, "CHT");
    EXPECT_EQ(ini.ProductVersion, "8.0.1");
    EXPECT_EQ(ini.CreateGifBeforeSendEF, "N");
    EXPECT_EQ(ini.SysCodePage, "936");
    EXPECT_EQ(ini.UICodePage, "950");
    EXPECT_EQ(ini.DBCodePage, "936");
    EXPECT_EQ(ini.UILangMode, 2);
    EXPECT_EQ(ini.DataConvMode, 2);
    EXPECT_TRUE(ini.SupportCallBack);
    ASSERT_EQ(ini.Servers.dimCount(), 2);
    EXPECT_EQ(ini.Servers.highBound(1), 1);
    EXPECT_EQ(ini.Servers.highBound(2), 0);
    EXPECT_EQ(ini.Servers.at(0, 0).toString(), "10.0.0.5");
    EXPECT_EQ(ini.Servers.at(1, 0).toInt(), 8211);
    EXPECT_EQ(ini.WorkDLLPaths, QStringList({tree.clientPath() + "C_PKG/", tree.clientPath() + "Extra/Libs/",
                                             "/opt/shared/pkg/"}));
    EXPECT_EQ(ini.AutoCheckNewMsg, "0");
    EXPECT_EQ(ini.CheckInterval, "5");
    EXPECT_EQ(ini.PopupMsg, "0");
    EXPECT_EQ(ini.LoginCheck, "1");
}

TEST(StaveloIniC, MissingFileGivesDefaults) {
    TempTree tree;
    ScopedEnv cp("KVX_CODEPAGE", "950");
    const TStaveloIniC ini;
    EXPECT_EQ(ini.ErrorCode, "");
    EXPECT_EQ(ini.IniFileName, tree.clientPath() + "StaveloC.ini");
    EXPECT_EQ(ini.LangType, "ENG");
    EXPECT_EQ(ini.ProductVersion, "");
    EXPECT_EQ(ini.CreateGifBeforeSendEF, "Y");
    EXPECT_EQ(ini.UICodePage, "950"); // the system code page
    EXPECT_EQ(ini.DBCodePage, "936");
    EXPECT_EQ(ini.UILangMode, 2);
    EXPECT_EQ(ini.DataConvMode, 2);
    EXPECT_FALSE(ini.SupportCallBack);
    ASSERT_TRUE(ini.Servers.isArray());
    EXPECT_EQ(ini.Servers.highBound(2), 0);
    EXPECT_EQ(ini.Servers.at(0, 0).toString(), "127.0.0.1");
    EXPECT_EQ(ini.Servers.at(1, 0).toInt(), 211);
    EXPECT_EQ(ini.WorkDLLPaths, QStringList({tree.clientPath() + "C_PKG/"}));
    EXPECT_EQ(ini.AutoCheckNewMsg, "1");
    EXPECT_EQ(ini.CheckInterval, "1");
    EXPECT_EQ(ini.PopupMsg, "1");
    EXPECT_EQ(ini.LoginCheck, "0");
}

TEST(StaveloIniC, CodePagesAndModes) {
    TempTree tree;
    {
        ScopedEnv cp("KVX_CODEPAGE", "1252");
        const TStaveloIniC ini;
        EXPECT_EQ(ini.SysCodePage, "437");
        EXPECT_EQ(ini.UICodePage, "437");
        EXPECT_EQ(ini.UILangMode, 0);
        EXPECT_EQ(ini.DataConvMode, 0);
    }
    ScopedEnv cp("KVX_CODEPAGE", "950");
    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\n");
    {
        const TStaveloIniC ini;
        EXPECT_EQ(ini.SysCodePage, "950");
        EXPECT_EQ(ini.UILangMode, 4);
        EXPECT_EQ(ini.DataConvMode, 0);
    }
    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\nDBCodePage=950\n");
    {
        const TStaveloIniC ini; // read afresh: the changed file counts at once
        EXPECT_EQ(ini.UILangMode, 4);
        EXPECT_EQ(ini.DataConvMode, 1);
    }
}

TEST(StaveloIniC, Servers) {
    TempTree tree;
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName= 10.0.0.1;10.0.0.2; \n");
    {
        const TStaveloIniC ini;
        EXPECT_EQ(ini.ErrorCode, "");
        ASSERT_EQ(ini.Servers.dimCount(), 2);
        EXPECT_EQ(ini.Servers.lowBound(1), 0);
        EXPECT_EQ(ini.Servers.highBound(1), 1);
        EXPECT_EQ(ini.Servers.highBound(2), 1);
        EXPECT_EQ(ini.Servers.at(0, 0).toString(), "10.0.0.1");
        EXPECT_EQ(ini.Servers.at(0, 1).toString(), "10.0.0.2");
        EXPECT_EQ(ini.Servers.at(1, 0).toInt(), 211);
        EXPECT_EQ(ini.Servers.at(1, 1).toInt(), 211);
    }
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=host\nServerPort=abc\n");
    EXPECT_EQ(TStaveloIniC().Servers.at(1, 0).toInt(), 211);

    for (const char* empty : {"ComputerName=\n", "ComputerName=  ;  \n"}) {
        tree.writeText("client/StaveloC.ini",
                       QString("[Server Information]\n") + empty + "[WorkDLLPath]\nP=pkg\n");
        const TStaveloIniC ini;
        EXPECT_EQ(ini.ErrorCode, "E;000016") << empty;
        EXPECT_TRUE(ini.Servers.isUnassigned());
        EXPECT_TRUE(ini.WorkDLLPaths.isEmpty()); // reading stopped before the work folders
    }
}

TEST(StaveloIniC, SupportCallBackValues) {
    TempTree tree;
    for (const auto& [value, expected] : std::initializer_list<std::pair<const char*, bool>>{{"yes", true},
                                                                                             {"Y", true},
                                                                                             {"1", true},
                                                                                             {"true", true},
                                                                                             {"no", false},
                                                                                             {"0", false},
                                                                                             {"2", false},
                                                                                             {"", false}}) {
        tree.writeText("client/StaveloC.ini",
                       QString("[Server Information]\nSupportCallBack=") + value + "\n");
        EXPECT_EQ(TStaveloIniC().SupportCallBack, expected) << value;
    }
}

TEST(StaveloIniC, RegistryFailures) {
    {
        TempTree noKey(false);
        const TStaveloIniC ini;
        EXPECT_EQ(ini.ErrorCode, "E;000015");
        EXPECT_EQ(ini.ClientPath, "");
        EXPECT_EQ(ini.ConfigPath, "");
        EXPECT_EQ(ini.ProfileType, "0");
        EXPECT_EQ(ini.ProfileUser, "Default");
        EXPECT_EQ(ini.DBCodePage, "936");
        EXPECT_TRUE(ini.Servers.isUnassigned());
        EXPECT_EQ(TStaveloIniS().ErrorCode, "E;000015");
    }
    TempTree tree;
    tree.setRegistryValue("ClientPath", "");
    tree.writeText("client/StaveloC.ini", kFullClientIni);
    const TStaveloIniC ini;
    EXPECT_EQ(ini.ErrorCode, "");
    EXPECT_EQ(ini.ClientPath, "");
    EXPECT_EQ(ini.IniFileName, "");
    EXPECT_EQ(ini.LangType, "");
    EXPECT_TRUE(ini.Servers.isUnassigned());
}

TEST(StaveloIniC, ClientPathGetsTrailingSeparator) {
    TempTree tree;
    QString bare = tree.clientPath();
    bare.chop(1);
    tree.setRegistryValue("ClientPath", bare);
    EXPECT_EQ(TStaveloIniC().ClientPath, tree.clientPath());
}

TEST(StaveloIniC, PerUserProfiles) {
    TempTree tree;
    tree.setRegistryValue("ProfileType", "1");
    tree.writeText("client/StaveloC.ini", "[Client Components]\nLangType=SHARED\n");
    const QString user = currentUser();
    ASSERT_FALSE(user.isEmpty());
    {
        // No file in the user's folder: the shared file is read.
        const TStaveloIniC ini;
        EXPECT_EQ(ini.ProfileType, "1");
        EXPECT_EQ(ini.ProfileUser, user);
        EXPECT_EQ(ini.ConfigPath, tree.clientPath());
        EXPECT_EQ(ini.IniFileName, tree.clientPath() + "StaveloC.ini");
        EXPECT_EQ(ini.LangType, "SHARED");
    }
    tree.writeText("client/Profile/" + user + "/StaveloC.ini", "[Client Components]\nLangType=MINE\n");
    const TStaveloIniC ini;
    EXPECT_EQ(ini.ConfigPath, tree.clientPath() + "Profile/" + user + "/");
    EXPECT_EQ(ini.IniFileName, ini.ConfigPath + "StaveloC.ini");
    EXPECT_EQ(ini.LangType, "MINE");
    // Work folders stay relative to the installation, not to the profile.
    EXPECT_EQ(ini.WorkDLLPaths, QStringList({tree.clientPath() + "C_PKG/"}));
}

TEST(StaveloIniS, ReadsServerFile) {
    TempTree tree;
    ScopedEnv cp("KVX_CODEPAGE", "950");
    {
        const TStaveloIniS ini;
        EXPECT_EQ(ini.ErrorCode, "");
        EXPECT_EQ(ini.ServerPath, tree.serverPath());
        EXPECT_EQ(ini.IniFileName, tree.serverPath() + "StaveloS.ini");
        EXPECT_EQ(ini.UICodePage, "950");
        EXPECT_EQ(ini.WorkDLLPaths, QStringList({tree.serverPath() + "S_PKG/"}));
    }
    tree.writeText("server/StaveloS.ini",
                   "[ProductVersion]\nVersion=9\n[CodePage]\nUICodePage=936\nDBCodePage=950\n"
                   "[WorkDLLPath]\nA=Svr\n[Server Information]\nComputerName=\n");
    const TStaveloIniS ini;
    EXPECT_EQ(ini.ErrorCode, ""); // the server reader does not look at the server list
    EXPECT_EQ(ini.ProductVersion, "9");
    EXPECT_EQ(ini.UILangMode, 4);
    EXPECT_EQ(ini.DataConvMode, 1);
    EXPECT_EQ(ini.WorkDLLPaths, QStringList({tree.serverPath() + "Svr/"}));
}

TEST(InstallationSettings, BothReadersAsOneValueReadAfresh) {
    TempTree tree;
    ScopedEnv cp("KVX_CODEPAGE", "950");
    tree.writeText("client/StaveloC.ini", QString(kFullClientIni).replace("=10.0.0.5", "=a;b"));
    tree.writeText("server/StaveloS.ini", "[CodePage]\nUICodePage=936\nDBCodePage=950\n");
    kvx::Settings s = kvx::ReadInstallationSettings();
    EXPECT_EQ(s.clientPath, tree.clientPath());
    EXPECT_EQ(s.serverPath, tree.serverPath());
    EXPECT_EQ(s.client, kvx::CodePages::from(kvx::CodePage::Big5, kvx::CodePage::Big5, kvx::CodePage::Gbk));
    EXPECT_EQ(s.server.uiLangMode, kvx::ConvKind::GbOnBig5);
    EXPECT_EQ(s.server.dataConvMode, kvx::ConvKind::Big5ToGb);
    EXPECT_TRUE(s.supportCallBack);
    EXPECT_EQ(s.langType, "CHT");
    // One port for every server of the list.
    EXPECT_EQ(s.servers, (QList<kvx::ServerAddress>{{"a", 8211}, {"b", 8211}}));

    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=437\n");
    s = kvx::ReadInstallationSettings();
    EXPECT_EQ(s.client.ui, kvx::CodePage::Us);
    EXPECT_EQ(s.client.uiLangMode, kvx::ConvKind::None);
    EXPECT_EQ(s.servers, (QList<kvx::ServerAddress>{{"127.0.0.1", 211}})); // the defaults
    EXPECT_FALSE(s.tls.enabled);

    // TLS to the server: the CA file is found from the client folder.
    tree.writeText("client/StaveloC.ini",
                   "[Server Information]\nComputerName=erp.example.com\nTls=Y\nTlsCaFile=certs/ca.pem\n");
    s = kvx::ReadInstallationSettings();
    EXPECT_TRUE(s.tls.enabled);
    EXPECT_EQ(QDir::cleanPath(s.tls.caFile), QDir::cleanPath(tree.clientPath() + "certs/ca.pem"));
    EXPECT_EQ(s.tls.peerName, "");

    // The reader of windows without an owner: installed, it reads the current files.
    kvx::InstallSettingsReader();
    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=950\n");
    EXPECT_EQ(kvx::readSettings().client.uiLangMode, kvx::ConvKind::GbToBig5);
    kvx::setSettingsReader({});
}

TEST(ConfigTool, PrintsWhatItFound) {
    const QString tool = qEnvironmentVariable("KVX_BUILD_DIR") + "/bin/kvx-config";
    if (!QFileInfo::exists(tool)) GTEST_SKIP() << "kvx-config not built";
    TempTree tree;
    tree.writeText("client/StaveloC.ini",
                   "[Server Information]\nComputerName=10.1.1.1;10.1.1.2\nServerPort=300\n");
    QProcess p;
    p.start(tool, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(tree.registryPath())) << out.toStdString();
    EXPECT_TRUE(out.contains("ClientPath:     " + tree.clientPath()));
    EXPECT_TRUE(out.contains("10.1.1.1 port 300, 10.1.1.2 port 300"));
    EXPECT_TRUE(out.contains("ServerPath:     " + tree.serverPath()));

    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=;\n");
    p.start(tool, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains("E;000016"));
}
