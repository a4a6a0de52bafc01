// StaveloINI: readers of the installation's configuration.
//
// The registry key Software\KVX\Stavelo names the client and server folders; "StaveloC.ini" and
// "StaveloS.ini" hold the settings. A reader reads everything once in its constructor and is then asked
// for its public fields; nothing is cached between readers and nothing is written back. Construction
// never raises: callers test ErrorCode, ClientPath/ServerPath or Servers.
#pragma once

#include "platform/Settings.h"
#include "platform/Variant.h"

#include <QString>
#include <QStringList>

// Code-page modes derived from the code pages in force (decimal texts "936", "950", "437").
// UI conversion kind: 2 for a Big5 UI, 4 for a GB UI on a Big5 system, else 0.
quint8 StaveloUILangMode(const QString& uiCodePage, const QString& sysCodePage);
// Data conversion kind: 2 for a Big5 UI over GB data, 1 for a GB UI over Big5 data, else 0.
quint8 StaveloDataConvMode(const QString& uiCodePage, const QString& dbCodePage);
// The system ANSI code page as "936", "950" or "437" (every other code page).
QString StaveloSysCodePage();

class TStaveloIniC {
public:
    TStaveloIniC();

    // The code pages and kinds read, as the typed value.
    kvx::CodePages codePages() const;

    QString ClientPath; // ends with "/" once read
    QString ConfigPath; // folder the client file was taken from
    QString ProfileType = QStringLiteral("0");
    QString ProfileUser = QStringLiteral("Default");
    QString UICodePage = QStringLiteral("936");
    QString DBCodePage = QStringLiteral("936");
    QString SysCodePage;
    quint8 UILangMode = 0;
    quint8 DataConvMode = 0;
    bool SupportCallBack = false;
    QString IniFileName;  // full path of the client file
    kvx::Variant Servers; // [0..1, 0..n-1]: (address, port) per server; Unassigned when none
    QString ErrorCode;    // "E;000015" no registry key, "E;000016" empty server name
    QString LangType;
    QStringList WorkDLLPaths; // folders of program libraries, each ending with "/"
    QString ProductVersion;
    QString CreateGifBeforeSendEF;
    QString AutoCheckNewMsg;
    QString CheckInterval;
    QString PopupMsg;
    QString LoginCheck;

private:
    bool read();
};

class TStaveloIniS {
public:
    TStaveloIniS();

    kvx::CodePages codePages() const;

    QString ServerPath; // ends with "/" once read
    QString ConfigPath;
    QString ProfileType = QStringLiteral("0");
    QString ProfileUser = QStringLiteral("Default");
    QString UICodePage = QStringLiteral("936");
    QString DBCodePage = QStringLiteral("936");
    QString SysCodePage;
    quint8 UILangMode = 0;
    quint8 DataConvMode = 0;
    QString IniFileName; // full path of the server file
    QString ProductVersion;
    QString ErrorCode;        // "E;000015" when the registry key is missing
    QStringList WorkDLLPaths; // folders of server libraries, each ending with "/"

private:
    bool read();
};

namespace kvx {

// Both readers, read afresh, as one settings value (client and server code pages, paths, servers).
Settings ReadInstallationSettings();
// Makes ReadInstallationSettings the reader of windows created without an owning window.
void InstallSettingsReader();

} // namespace kvx
