#include "ProgramRunner.h"

#include "entry/DLLBaseCtrller.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QTimer>

namespace pellan {

struct ProgramRunner::Running {
    std::unique_ptr<QLibrary> library; // outlives the controller whose code it holds
    std::unique_ptr<TDLLBaseController> controller;
    bool finished = false;
    ~Running() {
        controller.reset();
        // The library stays loaded: windows of other controllers may use the same code.
    }
};

ProgramRunner::ProgramRunner(AccessFn access, WorkCenterFn workCenter)
    : access_(std::move(access)), workCenter_(std::move(workCenter)) {}

ProgramRunner::~ProgramRunner() = default;

QStringList ProgramRunner::libraryFolders() {
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return {};
    QString client = reg.readString(QStringLiteral("ClientPath"));
    if (client.isEmpty()) return {};
    if (!client.endsWith(QLatin1Char('/'))) client += QLatin1Char('/');
    const kvx::IniFile ini(client + QStringLiteral("StaveloC.ini"));
    QStringList folders;
    for (const QString& key : ini.readSection(QStringLiteral("WorkDLLPath"))) {
        QString f = ini.readString(QStringLiteral("WorkDLLPath"), key).trimmed();
        if (f.isEmpty()) continue;
        f.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QFileInfo(f).isRelative()) f = client + f;
        if (!f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
        folders << f;
    }
    if (folders.isEmpty()) folders << client + QStringLiteral("C_PKG/");
    return folders;
}

int ProgramRunner::runningCount() const {
    int n = 0;
    for (const auto& r : running_)
        if (!r->finished) ++n;
    return n;
}

void ProgramRunner::closeAll() {
    running_.clear();
}

int ProgramRunner::fail(int code, const QString& why) {
    lastError_ = why;
    return code;
}

void ProgramRunner::reap() {
    std::erase_if(running_, [](const std::unique_ptr<Running>& r) { return r->finished; });
}

int ProgramRunner::run(const kvx::Variant& login, const kvx::Variant& param, const kvx::Variant& options,
                       kvx::Variant& result) {
    lastError_.clear();
    result = kvx::Variant();
    reap();
    if (!login.isArray() || login.dimCount() != 1 || login.toList().size() < 3)
        return fail(kExecUnexpected,
                    QStringLiteral("ExecWork: the first argument must be [user, company, program, window]"));
    const kvx::VariantList l = login.toList();
    const QString user = l[0].toString().trimmed(), company = l[1].toString().trimmed();
    const QString program = l[2].toString().trimmed().toUpper();
    const qint64 handle = l.size() > 3 ? l[3].toIntDef(0) : 0;
    if (program.isEmpty()) return fail(kExecNoProgram, QStringLiteral("ExecWork: no program code"));

    Access access;
    try {
        access = access_(user, company, program);
    } catch (const std::exception& e) {
        return fail(kExecUnexpected, QString::fromUtf8(e.what()));
    }
    if (access.code != kExecOk) return fail(access.code, access.reason);

    // The program master's library name, else the usual <code>C.so.
    QString fileName = access.library.trimmed();
    if (fileName.isEmpty()) fileName = program + QStringLiteral("C.so");
    if (fileName.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive))
        fileName = fileName.chopped(4) + QStringLiteral(".so");
    if (fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')))
        return fail(kExecNoProgram,
                    QStringLiteral("ExecWork: the library name %1 is not a plain file name").arg(fileName));
    QString path;
    for (const QString& folder : libraryFolders())
        if (QFileInfo::exists(folder + fileName)) {
            path = QFileInfo(folder + fileName).absoluteFilePath();
            break;
        }
    if (path.isEmpty())
        return fail(kExecNoProgram, QStringLiteral("ExecWork: %1 is in no work-library folder (%2)")
                                        .arg(fileName, libraryFolders().join(QStringLiteral(", "))));

    auto run = std::make_unique<Running>();
    run->library = std::make_unique<QLibrary>(path);
    if (!run->library->load()) return fail(kExecLoadFailed, run->library->errorString());
    auto getController = reinterpret_cast<TGetControllerFn>(run->library->resolve(kGetControllerSymbol));
    if (!getController)
        return fail(kExecLoadFailed, QStringLiteral("%1 does not export %2").arg(path, kGetControllerSymbol));

    const kvx::VariantList opts = options.isArray() ? options.toList() : kvx::VariantList{};
    const int openMode = opts.size() > 0 ? int(opts[0].toIntDef(0)) : 0;
    const bool modal = opts.size() > 1 && opts[1].toIntDef(0) == 1;
    try {
        run->controller.reset(getController());
        if (!run->controller)
            return fail(kExecLoadFailed, QStringLiteral("GetController returned no controller"));
        TDLLBaseController& c = *run->controller;
        c.WorkCenter = workCenter_();
        Running* self = run.get();
        c.OnNotify = [self](int32_t code, TDLLBaseController*) {
            if (code == DLLNOTIFY_DESTROYED) self->finished = true;
        };
        kvx::Variant params = kvx::Variant::array(0, 4);
        params[0] = user;
        params[1] = company;
        params[2] = access.database;
        params[3] = handle;
        params[4] = QStringLiteral("pellan");
        if (c.CreateProgram(params) != 0)
            return fail(kExecStartFailed, QStringLiteral("CreateProgram of %1 failed").arg(program));
        if (!param.isEmptyOrNull()) {
            const kvx::Variant openParam =
                param.isArray() ? param : kvx::Variant::fromList({QString(), param});
            c.SetOpenParam(openParam);
        }
        if (openMode != 0) c.SetOpenMode(openMode, 0xFF, opts.size() > 2 ? opts[2] : kvx::Variant());
        if (modal) {
            c.ShowProgramModal(result);
            return kExecOk;
        }
        c.SetVisible(-1);
    } catch (const std::exception& e) {
        return fail(kExecStartFailed, QString::fromUtf8(e.what()));
    }
    running_.push_back(std::move(run));
    return kExecOk;
}

} // namespace pellan
