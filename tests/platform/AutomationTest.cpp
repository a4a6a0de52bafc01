#include "platform/Automation.h"
#include "TempTree.h"

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
