// The code pages a converter works with and the two conversion kinds derived from them (as the
// configuration readers TStaveloIniC / TStaveloIniS derive them).
#pragma once

#include <QString>
#include <QtGlobal>

namespace kvx::lang {

struct CodePageSettings {
    QString sysCodePage = QStringLiteral("936");
    QString uiCodePage = QStringLiteral("936");
    QString dbCodePage = QStringLiteral("936");
    quint8 uiLangMode = 0;   // UI conversion kind
    quint8 dataConvMode = 0; // data conversion kind

    // 2 for a Big5 UI; 4 for a GB UI on a Big5 system; otherwise 0.
    static quint8 uiModeFor(const QString& uiCodePage, const QString& sysCodePage);
    // 2 for a Big5 UI over GB data; 1 for a GB UI over Big5 data; otherwise 0.
    static quint8 dataModeFor(const QString& uiCodePage, const QString& dbCodePage);
    // Settings with both kinds derived from the three code pages.
    static CodePageSettings from(const QString& sys, const QString& ui, const QString& db);
};

} // namespace kvx::lang
