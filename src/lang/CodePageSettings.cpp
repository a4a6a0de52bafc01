#include "CodePageSettings.h"

namespace kvx::lang {

quint8 CodePageSettings::uiModeFor(const QString& ui, const QString& sys) {
    if (ui == QLatin1String("950")) return 2;
    if (ui == QLatin1String("936") && sys == QLatin1String("950")) return 4;
    return 0;
}

quint8 CodePageSettings::dataModeFor(const QString& ui, const QString& db) {
    if (ui == QLatin1String("950") && db == QLatin1String("936")) return 2;
    if (ui == QLatin1String("936") && db == QLatin1String("950")) return 1;
    return 0;
}

CodePageSettings CodePageSettings::from(const QString& sys, const QString& ui, const QString& db) {
    CodePageSettings s;
    s.sysCodePage = sys;
    s.uiCodePage = ui;
    s.dbCodePage = db;
    s.uiLangMode = uiModeFor(ui, sys);
    s.dataConvMode = dataModeFor(ui, db);
    return s;
}

QString normalisedCodePage(int codePage) {
    if (codePage == 936 || codePage == 950) return QString::number(codePage);
    return QStringLiteral("437");
}

} // namespace kvx::lang
