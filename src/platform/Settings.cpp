#include "Settings.h"

#include "Logging.h"

#include <mutex>

namespace kvx {

CodePage codePageFromText(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n > 0 ? CodePage(n) : CodePage::Unknown;
}

QString codePageText(CodePage cp) {
    return cp == CodePage::Unknown ? QString() : QString::number(int(cp));
}

ConvKind CodePages::uiModeFor(CodePage ui, CodePage sys) {
    if (ui == CodePage::Big5) return ConvKind::GbToBig5;
    if (ui == CodePage::Gbk && sys == CodePage::Big5) return ConvKind::GbOnBig5;
    return ConvKind::None;
}

ConvKind CodePages::dataModeFor(CodePage ui, CodePage db) {
    if (ui == CodePage::Big5 && db == CodePage::Gbk) return ConvKind::GbToBig5;
    if (ui == CodePage::Gbk && db == CodePage::Big5) return ConvKind::Big5ToGb;
    return ConvKind::None;
}

CodePages CodePages::from(CodePage sys, CodePage ui, CodePage db) {
    return {sys, ui, db, uiModeFor(ui, sys), dataModeFor(ui, db)};
}

CodePages CodePages::from(const QString& sys, const QString& ui, const QString& db) {
    return from(codePageFromText(sys), codePageFromText(ui), codePageFromText(db));
}

namespace {
std::mutex readerMutex;
SettingsReader& reader() {
    static SettingsReader r;
    return r;
}
} // namespace

void setSettingsReader(SettingsReader r) {
    std::lock_guard lock(readerMutex);
    reader() = std::move(r);
}

Settings readSettings() {
    SettingsReader r;
    {
        std::lock_guard lock(readerMutex);
        r = reader();
    }
    if (!r) {
        qCDebug(lcPlatform) << "no settings reader installed: default settings";
        return {};
    }
    return r();
}

} // namespace kvx
