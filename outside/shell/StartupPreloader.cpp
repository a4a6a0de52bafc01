#include "StartupPreloader.h"

#include "MemoryPrefault.h"
#include "platform/FontSubstitution.h"
#include "platform/Registry.h"
#include "platform/StartupTrace.h"
#include "services/ServerLink.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLoggingCategory>
#include <QThread>
#include <dlfcn.h>
#include <vector>

namespace pellan {

namespace {

// The thread's own failures: the start meets them again and reports them, so they are shown on request only.
Q_LOGGING_CATEGORY(lcShell, "kvx.shell", QtWarningMsg)

// FcInit from the fontconfig that the Qt GUI library has loaded; none when Qt uses another font backend.
void initFontConfiguration() {
    using FcInitFn = int (*)();
    if (auto init = reinterpret_cast<FcInitFn>(dlsym(RTLD_DEFAULT, "FcInit"))) init();
}

Q_LOGGING_CATEGORY(lcStartupMemory, "kvx.startup")

// The folder of the platform library, with a trailing slash: where this installation keeps its libraries.
QByteArray ownLibraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&kvx::startupCheckpoint), &info) || !info.dli_fname) return {};
    QByteArray path(info.dli_fname);
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray() : path.left(slash + 1);
}

} // namespace

bool StartupPreloader::enabled() {
    return qgetenv("KVX_STARTUP_PRELOAD") != "0";
}

QString StartupPreloader::inProcessServerLibrary() {
    if (ServerAddress::fromConfiguration().host != QLatin1String("127.0.0.1")) return {};
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Classes\\") + QLatin1String(ServerLink::kServerName))) return {};
    const QString library = reg.readString(QStringLiteral("Library"));
    // A bare name is looked up by the automation factory's own rules: leave it to the factory.
    return QFileInfo(library).isAbsolute() ? library : QString();
}

StartupPreloader::StartupPreloader(std::uintptr_t prefaultHeapFrom) : prefaultHeapFrom_(prefaultHeapFrom) {
    if (!enabled()) return;
    // Qt takes the first thread that uses its thread data (any QObject, a QFile too) for the main thread:
    // this one has to be that thread before the other can read the configuration.
    QThread::currentThread();
    thread_ = std::thread([this] {
        try {
            run();
        } catch (const std::exception& e) {
            qCInfo(lcShell) << "start-up preloading stopped:" << e.what();
        }
        // Whatever happened, nobody waits for the font configuration any longer.
        std::lock_guard lock(mutex_);
        fontConfigurationReady_ = true;
        changed_.notify_all();
    });
}

StartupPreloader::~StartupPreloader() {
    finish();
}

void StartupPreloader::applicationReady() {
    std::lock_guard lock(mutex_);
    applicationReady_ = true;
    changed_.notify_all();
}

void StartupPreloader::waitForFontConfiguration() {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) return;
    changed_.wait(lock, [this] { return fontConfigurationReady_; });
}

void StartupPreloader::prepareFonts() {
    waitForFontConfiguration();
    kvx::fonts::installFontSubstitutions();
    std::lock_guard lock(mutex_);
    fontsSubstituted_ = true;
    changed_.notify_all();
}

void StartupPreloader::finish() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

bool StartupPreloader::waitForApplication() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return applicationReady_ || finishing_; });
    return applicationReady_;
}

bool StartupPreloader::waitForFontSubstitutions() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return fontsSubstituted_ || finishing_; });
    return fontsSubstituted_;
}

void StartupPreloader::run() {
    initFontConfiguration();
    kvx::startupCheckpoint("preload: font configuration");
    {
        std::lock_guard lock(mutex_);
        fontConfigurationReady_ = true;
        changed_.notify_all();
    }
    const QString server = inProcessServerLibrary();
    if (!waitForApplication()) return; // the process is ending
    // The window needs the font database first; the server library only when it starts.
    QFontDatabase::families();
    kvx::startupCheckpoint("preload: font database");
    // The window's first texts need the fallback lists before Start needs the server library. A process
    // ending before the main thread prepared its fonts still maps the library, as without this step.
    if (waitForFontSubstitutions()) {
        kvx::fonts::warmFallbackLists();
        kvx::startupCheckpoint("preload: font fallbacks");
    }
    // Loaded as QLibrary loads it, so that its later load finds this one; it stays to the process's end
    // like every automation library.
    if (!server.isEmpty() && dlopen(QFile::encodeName(server).constData(), RTLD_LAZY | RTLD_LOCAL))
        kvx::startupCheckpoint("preload: server library");
    // Idle from here while the main thread builds the window: map what it is about to touch.
    if (MemoryPrefault::enabled()) {
        // The code the window's build, Start and paint run through: Qt's widget stack, its text shaping
        // and rasterising, SQLite, and the libraries of this installation (the program library among them).
        const QByteArray ownLibraries = ownLibraryFolder();
        std::vector<const char*> libraries = {"libQt6Core",  "libQt6Gui",  "libQt6Widgets", "libharfbuzz",
                                              "libfreetype", "libsqlite3", "libstdc++"};
        if (!ownLibraries.isEmpty()) libraries.push_back(ownLibraries.constData());
        libraries.push_back(nullptr);
        const PrefaultCounts counts = MemoryPrefault::populate(prefaultHeapFrom_, libraries.data());
        if (kvx::startupTraceEnabled())
            qCInfo(lcStartupMemory).nospace()
                << "prefaulted " << counts.heapBytes / 1024 << " KB of heap, " << counts.codeBytes / 1024
                << " KB of code in " << counts.libraries << " libraries";
        kvx::startupCheckpoint("preload: memory prefaulted");
    }
}

} // namespace pellan
