#include "platform/Automation.h"
#include "TempTree.h"
#include "platform/RemoteLink.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace kvx;

namespace {
void registerCounter(kvxtest::TempTree& tree, const QString& library, const QString& factory) {
    tree.setRegistryValue("Library", library, "Classes\\Test.Counter");
    tree.setRegistryValue("Factory", factory, "Classes\\Test.Counter");
}
QString libPath() {
    return QCoreApplication::applicationDirPath() + "/../lib/kvx_test_objects.so";
}
} // namespace

TEST(Automation, CreatesRegisteredObjectsAndBindsLate) {
    kvxtest::TempTree tree;
    registerCounter(tree, libPath(), "CreateTestCounter");
    auto obj = CreateOleObject("Test.Counter");
    ASSERT_TRUE(obj);
    VariantList args{5, Variant()};
    EXPECT_EQ(obj->invoke("add", args).toInt(), 5);
    EXPECT_EQ(args[1].toInt(), 5);
    obj->setProperty("TOTAL", 40);
    EXPECT_EQ(obj->call("Add", {2}).toInt(), 42);
    EXPECT_EQ(obj->getProperty("Version").toInt(), 8000);
    EXPECT_EQ(obj->call("Version").toInt(), 8000); // property read through invoke

    try {
        obj->call("Missing");
        FAIL();
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("'Missing'"), std::string::npos);
    }
    EXPECT_THROW(obj->setProperty("Version", 1), AutomationError);
    EXPECT_THROW(obj->getProperty("Nope"), AutomationError);
}

TEST(Automation, ErrorsNameWhatIsMissing) {
    kvxtest::TempTree tree;
    auto message = [](const QString& progid) {
        try {
            CreateOleObject(progid);
        } catch (const AutomationError& e) {
            return QString::fromStdString(e.what());
        }
        return QString();
    };
    EXPECT_TRUE(message("No.Such").contains("Invalid class string"));
    registerCounter(tree, tree.root() + "/missing.so", "CreateTestCounter");
    EXPECT_TRUE(message("Test.Counter").contains("missing.so"));
    registerCounter(tree, libPath(), "NoFactory");
    EXPECT_TRUE(message("Test.Counter").contains("NoFactory"));
}

// The loader behind CreateOleObject, as SocketConnection uses it for the socket client: a bare name is
// found beside the platform library; a missing library or function is named in the error.
TEST(Automation, ResolvesLibraryFunctionsByBareName) {
    const auto factory =
        reinterpret_cast<ObjectFactoryFn>(resolveLibraryFunction("kvx_test_objects.so", "CreateTestCounter"));
    ASSERT_TRUE(factory);
    std::unique_ptr<Dispatch> counter(factory("Test.Counter"));
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->call("Add", {3}).toInt(), 3);
    EXPECT_TRUE(resolveLibraryFunction(QString::fromLatin1(kRemoteLibrary), kRemoteEntry));

    auto message = [](const QString& library, const char* function) {
        try {
            resolveLibraryFunction(library, function);
        } catch (const AutomationError& e) {
            return QString::fromStdString(e.what());
        }
        return QString();
    };
    EXPECT_TRUE(message("kvx_no_such_library.so", "f").contains("kvx_no_such_library.so"));
    EXPECT_TRUE(message("kvx_test_objects.so", "NoSuchFunction").contains("NoSuchFunction"));
}
