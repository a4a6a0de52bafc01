#include "CodePageSettings.h"

#include "server/StaveloINI.h"

namespace kvx::lang {

quint8 CodePageSettings::uiModeFor(const QString& ui, const QString& sys) {
    return StaveloUILangMode(ui, sys);
}

quint8 CodePageSettings::dataModeFor(const QString& ui, const QString& db) {
    return StaveloDataConvMode(ui, db);
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

} // namespace kvx::lang
