// The built program library: its export table and its behaviour when loaded as the shell loads it.
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
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", moduleLibrary()});
    ASSERT_TRUE(nm.waitForFinished(30000));
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    QSet<QString> exported;
    for (const QString& line :
         QString::fromLocal8Bit(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
        if (parts.size() >= 3) exported.insert(parts.at(2));
    }
    EXPECT_EQ(exported, QSet<QString>({"GetController"}));
}

TEST(ModuleLibrary, LoadedLibraryReportsTheMissingWindowClass) {
    void* handle = dlopen(moduleLibrary().toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(handle) << dlerror();
    auto getController = reinterpret_cast<TGetControllerFn>(dlsym(handle, kGetControllerSymbol));
    ASSERT_TRUE(getController);
    std::unique_ptr<TDLLBaseController> a(getController());
    std::unique_ptr<TDLLBaseController> b(getController());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(a->IsClosed());
    try {
        a->CreateProgram(kvx::Variant::fromList({"DS", "DEMO", "DEMO", 0, 0}));
        ADD_FAILURE() << "CreateProgram succeeded without a window class";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "KVX DLL Internal Error :\rNot Assign \"frmRadicalClass\" varible");
    }
    EXPECT_TRUE(a->IsClosed());
    a.reset();
    b.reset();
    // The library stays loaded: a program library is never unloaded while the process runs.
}
