#include "TempTree.h"
#include "platform/Automation.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
// Appends the build's program identifiers to the tree's registry file.
void registerBuiltClasses(kvxtest::TempTree& tree) {
    QFile classes(qEnvironmentVariable("KVX_BUILD_DIR") + "/classes.ini");
    ASSERT_TRUE(classes.open(QIODevice::ReadOnly));
    QFile reg(tree.registryPath());
    ASSERT_TRUE(reg.open(QIODevice::Append));
    reg.write("\n" + classes.readAll());
}
} // namespace

TEST(PellanWorkCenter, AnswersItsInterfaceVersionByLateBinding) {
    kvxtest::TempTree tree;
    registerBuiltClasses(tree);
    auto wc = kvx::CreateOleObject("PellanWorkCenter.Manager");
    ASSERT_TRUE(wc);
    EXPECT_EQ(wc->className(), "PellanWorkCenter.Manager");
    EXPECT_EQ(wc->call("DependencyVersion").toInt(), 8000);
    EXPECT_EQ(wc->call("dependencyversion").toInt(), 8000);
    EXPECT_THROW(wc->call("NoSuchService"), kvx::AutomationError);
    // Every creation is a new object.
    EXPECT_NE(kvx::CreateOleObject("PellanWorkCenter.Manager"), wc);
}
