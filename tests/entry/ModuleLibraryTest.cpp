// The built program library: its export table and its behaviour when loaded as the shell loads it.
#include "ControllerChecks.h"
#include "entry/DLLBaseCtrller.h"
#include "platform/DialogService.h"

#include <QProcess>
#include <QSet>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace {
QString buildDir() {
    return qEnvironmentVariable("KVX_BUILD_DIR");
}
QString moduleLibrary() {
    return buildDir() + "/lib/QLDI05C.so";
}
} // namespace

TEST(ModuleLibrary, ExportsOnlyGetController) {
    ASSERT_FALSE(buildDir().isEmpty());
    EXPECT_EQ(kvxtest::definedDynamicSymbols(moduleLibrary()), QSet<QString>({"GetController"}));
}

TEST(ModuleLibrary, LoadedLibraryCreatesTheRegisteredProgramWindow) {
    kvx::DialogService::instance().setScripted(true);
    void* handle = dlopen(moduleLibrary().toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(handle) << dlerror();
    auto getController = reinterpret_cast<TGetControllerFn>(dlsym(handle, kGetControllerSymbol));
    ASSERT_TRUE(getController);
    std::unique_ptr<TDLLBaseController> a(getController());
    std::unique_ptr<TDLLBaseController> b(getController());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(a->IsClosed());
    // The unit initialisation registered the program window: it is created, and only the missing work
    // center stops the start; the window stays with the controller.
    try {
        a->CreateProgram(kvx::Variant::fromList({"DS", "DEMO", "DEMO", 0, 0}));
        ADD_FAILURE() << "CreateProgram succeeded without a work center";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("PellanWorkCenter version too old,please update!"))
            << e.what();
    }
    EXPECT_FALSE(a->IsClosed());
    QString version;
    a->GetVersion(version);
    EXPECT_EQ(version, "881213-1.00.00");
    a.reset();
    b.reset();
    kvx::DialogService::instance().clear();
    // The library stays loaded: a program library is never unloaded while the process runs.
}
