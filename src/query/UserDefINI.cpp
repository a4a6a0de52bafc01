#include "UserDefINI.h"

#include "Log.h"

#include "platform/IniFile.h"

namespace kvx {

TUserDefIni::TUserDefIni(const QString& clientPath) {
    QString dir = clientPath;
    if (!dir.isEmpty() && !dir.endsWith(u'/')) dir += u'/';
    fileName_ = dir + QStringLiteral("UserDef.ini");
    reload();
}

void TUserDefIni::reload() {
    values_ = IniFile(fileName_).readSectionValues(QLatin1String(kSection));
}

QString TUserDefIni::KeyOf(const QString& printSetting, const QString& voucherKey) {
    QString key = voucherKey;
    key.replace(u'=', QLatin1String("$EQUAL$"));
    return printSetting.toUpper() + u'_' + key;
}

QString TUserDefIni::Get(const QString& printSetting, const QString& voucherKey) const {
    const QString key = KeyOf(printSetting, voucherKey);
    for (const QString& line : values_) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && line.left(eq).compare(key, Qt::CaseInsensitive) == 0) return line.mid(eq + 1);
    }
    return QLatin1String(kNoDefault);
}

bool TUserDefIni::Set(const QString& printSetting, const QString& voucherKey, const QString& caption) {
    if (caption.compare(QLatin1String(kNoDefault), Qt::CaseInsensitive) == 0)
        return Delete(printSetting, voucherKey);
    IniFile ini(fileName_);
    const bool ok = ini.writeString(QLatin1String(kSection), KeyOf(printSetting, voucherKey), caption);
    if (!ok) qCWarning(lcQuery) << "cannot write" << fileName_;
    reload();
    return ok;
}

bool TUserDefIni::Delete(const QString& printSetting, const QString& voucherKey) {
    IniFile ini(fileName_);
    const bool ok = !ini.exists() || ini.deleteKey(QLatin1String(kSection), KeyOf(printSetting, voucherKey));
    if (!ok) qCWarning(lcQuery) << "cannot write" << fileName_;
    reload();
    return ok;
}

} // namespace kvx
