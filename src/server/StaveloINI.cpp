#include "StaveloINI.h"

#include "LibStrs.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SocketConnection.h"

#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kKey = QStringLiteral("Software\\KVX\\Stavelo");
const QString kCodePage = QStringLiteral("CodePage");
const QString kWorkDLLPath = QStringLiteral("WorkDLLPath");

// The logged-on user's name, at most 32 characters.
QString userName() {
    QString name;
    if (const passwd* pw = getpwuid(geteuid())) name = QString::fromLocal8Bit(pw->pw_name);
    if (name.isEmpty()) name = qEnvironmentVariable("USER");
    if (name.isEmpty()) name = qEnvironmentVariable("LOGNAME");
    return name.left(32);
}

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Steps shared by both readers: initial code pages and modes, the registry key, the installation folder
// and the profile folder, the configuration file. False when reading stops early.
template <typename Reader>
bool locate(Reader& r, QString& base, const QString& pathValue, const QString& fileName) {
    r.SysCodePage = StaveloSysCodePage();
    r.UICodePage = r.SysCodePage;
    r.UILangMode = StaveloUILangMode(r.UICodePage, r.SysCodePage);
    r.DataConvMode = StaveloDataConvMode(r.UICodePage, r.DBCodePage);

    kvx::Registry reg;
    if (!reg.openKeyReadOnly(kKey)) {
        r.ErrorCode = QStringLiteral("E;000015");
        return false;
    }
    base = reg.readString(pathValue);
    const QString profileType = reg.readString(QStringLiteral("ProfileType"));
    if (base.isEmpty()) return false;
    base = withSlash(base);
    // An empty value reads as the initial "0".
    if (!profileType.isEmpty()) r.ProfileType = profileType;

    if (!profileType.isEmpty() && profileType != QLatin1String("0")) {
        r.ProfileUser = userName();
        r.ConfigPath = base + QStringLiteral("Profile/") + r.ProfileUser + QLatin1Char('/');
    } else {
        r.ConfigPath = base;
    }
    r.IniFileName = r.ConfigPath + fileName;
    if (!QFileInfo::exists(r.IniFileName)) {
        r.ConfigPath = base;
        r.IniFileName = base + fileName;
    }
    return true;
}

template <typename Reader> void readCodePages(Reader& r, const kvx::IniFile& ini) {
    r.ProductVersion = ini.readString(QStringLiteral("ProductVersion"), QStringLiteral("Version"), QString());
    r.UICodePage = ini.readString(kCodePage, QStringLiteral("UICodePage"), r.SysCodePage);
    r.DBCodePage = ini.readString(kCodePage, QStringLiteral("DBCodePage"), QStringLiteral("936"));
}

template <typename Reader> void computeModes(Reader& r) {
    r.UILangMode = StaveloUILangMode(r.UICodePage, r.SysCodePage);
    r.DataConvMode = StaveloDataConvMode(r.UICodePage, r.DBCodePage);
}

// Values of the [WorkDLLPath] section resolved against the installation folder, or the default folder.
QStringList workFolders(const kvx::IniFile& ini, const QString& base, const QString& defaultFolder) {
    QStringList out;
    for (const QString& line : ini.readSectionValues(kWorkDLLPath)) {
        const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1);
        QString folder = MakeFullPath(value, base);
        if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
            folder += QLatin1Char('/');
        out.append(folder);
    }
    if (out.isEmpty()) out.append(base + defaultFolder);
    return out;
}

} // namespace

quint8 StaveloUILangMode(const QString& uiCodePage, const QString& sysCodePage) {
    if (uiCodePage == QLatin1String("950")) return 2;
    if (uiCodePage == QLatin1String("936") && sysCodePage == QLatin1String("950")) return 4;
    return 0;
}

quint8 StaveloDataConvMode(const QString& uiCodePage, const QString& dbCodePage) {
    if (uiCodePage == QLatin1String("950") && dbCodePage == QLatin1String("936")) return 2;
    if (uiCodePage == QLatin1String("936") && dbCodePage == QLatin1String("950")) return 1;
    return 0;
}

QString StaveloSysCodePage() {
    const int cp = kvx::codepage::systemCodePage();
    return (cp == 936 || cp == 950) ? QString::number(cp) : QStringLiteral("437");
}

// --- client ---------------------------------------------------------------------------------------------

TStaveloIniC::TStaveloIniC() {
    read();
}

bool TStaveloIniC::read() {
    if (!locate(*this, ClientPath, QStringLiteral("ClientPath"), QStringLiteral("StaveloC.ini")))
        return false;

    const kvx::IniFile ini(IniFileName);
    LangType = ini.readString(QStringLiteral("Client Components"), QStringLiteral("LangType"),
                              QStringLiteral("ENG"));
    CreateGifBeforeSendEF = ini.readString(QStringLiteral("UserDefine"),
                                           QStringLiteral("CreateGifBeforeSendEF"), QStringLiteral("Y"));
    readCodePages(*this, ini);

    const QString info = QStringLiteral("Server Information");
    const QString callBack =
        ini.readString(info, QStringLiteral("SupportCallBack"), QStringLiteral("0")).toUpper();
    SupportCallBack = callBack == QLatin1String("1") || callBack == QLatin1String("Y") ||
                      callBack == QLatin1String("YES") || callBack == QLatin1String("TRUE");

    const QString task = QStringLiteral("TaskMessageCenter Setting");
    AutoCheckNewMsg = ini.readString(task, QStringLiteral("AutoCheckNewMsg"), QStringLiteral("1"));
    CheckInterval = ini.readString(task, QStringLiteral("CheckInterval"), QStringLiteral("1"));
    PopupMsg = ini.readString(task, QStringLiteral("PopupMsg"), QStringLiteral("1"));
    LoginCheck = ini.readString(task, QStringLiteral("LoginCheck"), QStringLiteral("0"));

    computeModes(*this);

    QString names =
        ini.readString(info, QStringLiteral("ComputerName"), QStringLiteral("127.0.0.1")).trimmed();
    if (names.endsWith(QLatin1Char(';'))) names.chop(1);
    if (names.isEmpty()) {
        ErrorCode = QStringLiteral("E;000016");
        return false;
    }
    const int port = ini.readInteger(info, QStringLiteral("ServerPort"), 211);
    const QStringList addresses = names.split(QLatin1Char(';'));
    Servers = kvx::Variant::array2(0, 1, 0, int(addresses.size()) - 1);
    for (int i = 0; i < addresses.size(); ++i) {
        Servers.item(0, i) = addresses.at(i).trimmed();
        Servers.item(1, i) = port;
    }

    WorkDLLPaths = workFolders(ini, ClientPath, QStringLiteral("C_PKG/"));
    return true;
}

// --- server ---------------------------------------------------------------------------------------------

TStaveloIniS::TStaveloIniS() {
    read();
}

bool TStaveloIniS::read() {
    if (!locate(*this, ServerPath, QStringLiteral("ServerPath"), QStringLiteral("StaveloS.ini")))
        return false;
    const kvx::IniFile ini(IniFileName);
    readCodePages(*this, ini);
    computeModes(*this);
    WorkDLLPaths = workFolders(ini, ServerPath, QStringLiteral("S_PKG/"));
    return true;
}

// --- settings value -------------------------------------------------------------------------------------

namespace {
template <typename Reader> kvx::CodePages codePagesOf(const Reader& r) {
    return {kvx::codePageFromText(r.SysCodePage), kvx::codePageFromText(r.UICodePage),
            kvx::codePageFromText(r.DBCodePage), kvx::ConvKind(r.UILangMode), kvx::ConvKind(r.DataConvMode)};
}
} // namespace

kvx::CodePages TStaveloIniC::codePages() const {
    return codePagesOf(*this);
}

kvx::CodePages TStaveloIniS::codePages() const {
    return codePagesOf(*this);
}

namespace kvx {

Settings ReadInstallationSettings() {
    const TStaveloIniC client;
    const TStaveloIniS server;
    Settings s;
    s.client = client.codePages();
    s.server = server.codePages();
    s.clientPath = client.ClientPath;
    s.serverPath = server.ServerPath;
    s.supportCallBack = client.SupportCallBack;
    s.langType = client.LangType;
    if (!client.IniFileName.isEmpty()) s.tls = readClientTls(client.IniFileName);
    if (client.Servers.isArray() && client.Servers.dimCount() == 2)
        for (int i = client.Servers.lowBound(2); i <= client.Servers.highBound(2); ++i)
            s.servers.append(
                {client.Servers.at(0, i).toString(), static_cast<int>(client.Servers.at(1, i).toInt())});
    return s;
}

void InstallSettingsReader() {
    setSettingsReader(&ReadInstallationSettings);
}

} // namespace kvx
