// kvx-config: reads the installation's configuration as the module does and prints what it found.
// Exit status: 0 when the client configuration has no error code, 2 otherwise.

#include "platform/Registry.h"
#include "server/LibStrs.h"
#include "server/StaveloINI.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace {

QString existence(const QString& path) {
    if (path.isEmpty()) return {};
    return QFileInfo::exists(path) ? QStringLiteral(" (present)")
                                   : QStringLiteral(" (missing: defaults used)");
}

QString orNone(const QString& s) {
    return s.isEmpty() ? QStringLiteral("(none)") : s;
}

template <typename Reader> void printCommon(QTextStream& out, const Reader& r) {
    out << "  ConfigPath:     " << orNone(r.ConfigPath) << "\n";
    out << "  IniFileName:    " << orNone(r.IniFileName) << existence(r.IniFileName) << "\n";
    out << "  ProfileType:    " << r.ProfileType << "  ProfileUser: " << r.ProfileUser << "\n";
    out << "  Code pages:     system " << r.SysCodePage << ", UI " << r.UICodePage << ", database "
        << r.DBCodePage << "\n";
    out << "  Modes:          UILangMode " << int(r.UILangMode) << ", DataConvMode " << int(r.DataConvMode)
        << "\n";
    out << "  ProductVersion: " << orNone(r.ProductVersion) << "\n";
    out << "  Work folders:   ";
    if (r.WorkDLLPaths.isEmpty()) out << "(none)";
    out << r.WorkDLLPaths.join(QStringLiteral(", ")) << "\n";
    out << "  ErrorCode:      " << orNone(r.ErrorCode) << "\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << "Usage: kvx-config\n"
               "Prints the client and server configuration as the module reads it: the registry file\n"
               "($KVX_REGISTRY, else /etc/kvx/registry.ini, else ~/.config/kvx/registry.ini), the folders,\n"
               "StaveloC.ini / StaveloS.ini, code pages and modes, servers, work folders and error codes.\n";
        return 0;
    }

    const QString regFile = kvx::Registry::filePath();
    out << "Registry file:    " << regFile << existence(regFile) << "\n";
    out << "Alert log folder: " << AlertLogFolder() << "\n\n";

    const TStaveloIniC client;
    out << "Client configuration (StaveloC.ini)\n";
    out << "  ClientPath:     " << orNone(client.ClientPath) << "\n";
    printCommon(out, client);
    out << "  LangType:       " << orNone(client.LangType) << "\n";
    out << "  SupportCallBack: " << (client.SupportCallBack ? "yes" : "no") << "\n";
    out << "  Servers:        ";
    if (client.Servers.isArray()) {
        const int lo = client.Servers.lowBound(2), hi = client.Servers.highBound(2);
        for (int i = lo; i <= hi; ++i)
            out << (i > lo ? ", " : "") << client.Servers.at(0, i).toString() << " port "
                << client.Servers.at(1, i).toString();
    } else {
        out << "(none)";
    }
    out << "\n";
    out << "  CreateGifBeforeSendEF: " << orNone(client.CreateGifBeforeSendEF) << "\n";
    out << "  Message centre: AutoCheckNewMsg " << orNone(client.AutoCheckNewMsg) << ", CheckInterval "
        << orNone(client.CheckInterval) << ", PopupMsg " << orNone(client.PopupMsg) << ", LoginCheck "
        << orNone(client.LoginCheck) << "\n\n";

    const TStaveloIniS server;
    out << "Server configuration (StaveloS.ini)\n";
    out << "  ServerPath:     " << orNone(server.ServerPath) << "\n";
    printCommon(out, server);
    out.flush();
    return client.ErrorCode.isEmpty() ? 0 : 2;
}
