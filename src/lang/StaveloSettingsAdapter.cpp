#include "StaveloSettingsAdapter.h"

#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QFileInfo>

namespace kvx::lang {

StaveloSettingsAdapter::StaveloSettingsAdapter(bool server) {
    const QString sys = normalisedCodePage(codepage::systemCodePage());
    QString ui = sys;
    QString db = QStringLiteral("936");

    Registry reg;
    if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) {
        QString path = reg.readString(server ? QStringLiteral("ServerPath") : QStringLiteral("ClientPath"));
        const QString profileType = reg.readString(QStringLiteral("ProfileType"));
        if (!path.isEmpty()) {
            if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
            installPath_ = path;
            const QString fileName = server ? QStringLiteral("StaveloS.ini") : QStringLiteral("StaveloC.ini");
            QString configPath = path;
            if (!profileType.isEmpty() && profileType != QLatin1String("0")) {
                const QString user = qEnvironmentVariable("USER", QStringLiteral("Default")).left(32);
                configPath = path + QStringLiteral("Profile/") + user + QLatin1Char('/');
            }
            if (!QFileInfo::exists(configPath + fileName)) configPath = path;
            IniFile ini(configPath + fileName);
            ui = ini.readString(QStringLiteral("CodePage"), QStringLiteral("UICodePage"), sys);
            db = ini.readString(QStringLiteral("CodePage"), QStringLiteral("DBCodePage"),
                                QStringLiteral("936"));
        }
    }
    codePages_ = CodePageSettings::from(sys, ui, db);
}

} // namespace kvx::lang
