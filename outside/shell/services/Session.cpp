#include "Session.h"

#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QDir>

namespace pellan {

Session::Session(std::unique_ptr<ServerLink> link) : link_(std::move(link)) {
    programs_ = std::make_unique<ProgramRunner>(
        [this](const QString& user, const QString& company, const QString& program) {
            ProgramRunner::Access a;
            const kvx::VariantList r =
                link_->call(QStringLiteral("ProgramAccess"), {user, company, program}).toList();
            a.code = r.value(0).toIntDef(kExecUnexpected);
            a.library = r.value(1).toString();
            a.database = r.value(2).toString();
            a.reason = r.value(3).toString();
            return a;
        },
        [this] { return newWorkCenter ? newWorkCenter() : kvx::Variant(); });
}

Session::~Session() {
    closePrograms();
}

void Session::closePrograms() {
    programs_->closeAll();
}

QString Session::language() {
    QString ui = QString::number(kvx::codepage::systemCodePage());
    kvx::Registry reg;
    if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) {
        const QString client = reg.readString(QStringLiteral("ClientPath"));
        if (!client.isEmpty()) {
            const kvx::IniFile ini(QDir(client).filePath(QStringLiteral("StaveloC.ini")));
            ui = ini.readString(QStringLiteral("CodePage"), QStringLiteral("UICodePage"), ui).trimmed();
        }
    }
    if (ui == QLatin1String("950")) return QStringLiteral("CHT");
    if (ui == QLatin1String("936")) return QStringLiteral("CHS");
    return QStringLiteral("ENG");
}

} // namespace pellan
