// The controller of the older build: it accepts the work centers of the 70xx series and refuses every
// other answer with one message; the built older program library is checked as the shell loads it.
#include "ControllerChecks.h"
#include "TestWindow.h"

#include "entry/DLLFunc.h"
#include "entry/DLLMTCtrller.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "server/BuildVariant.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

using kvx::Variant;
using namespace kvxtest;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class VersionWorkCenter : public kvx::DispatchObject {
public:
    explicit VersionWorkCenter(Variant answer)
        : DispatchObject("Fake.WorkCenter"), answer_(std::move(answer)) {
        addMethod("DependencyVersion", [this](kvx::VariantList&) {
            ++calls;
            return answer_;
        });
    }
    int calls = 0;

private:
    Variant answer_;
};

Variant loginParams() {
    return Variant::fromList({"DS", "DEMO", "DEMODB", 0, "context"});
}

class OlderController : public ::testing::Test {
protected:
    void SetUp() override {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
        frmRadicalClass = &TestWindow::Create;
        TestWindow::journal().clear();
    }
    void TearDown() override {
        frmRadicalClass = nullptr;
        kvx::DialogService::instance().clear();
        ASSERT_EQ(TestWindow::liveCount(), 0) << "a window outlived its controller";
    }
    static std::unique_ptr<TDLLBaseController> controllerWith(std::shared_ptr<kvx::Dispatch> wc) {
        std::unique_ptr<TDLLBaseController> c(GetController());
        if (wc) c->WorkCenter = Variant(wc);
        c->OnNotify = [](int32_t code, TDLLBaseController*) {
            TestWindow::journal() << QStringLiteral("notify:0x%1").arg(code, 0, 16);
        };
        return c;
    }
    static TestWindow* windowOf(TDLLBaseController& c) {
        return dynamic_cast<TestWindow*>(static_cast<TDLLMTCtrller&>(c).form());
    }
};

QString olderLibrary() {
    return qEnvironmentVariable("KVX_BUILD_DIR") + "/lib/older/QLDI05C.so";
}

} // namespace

TEST(OlderBuild, TheOlderDefinitionReplacesTheCurrentVariant) {
    EXPECT_EQ(kvx::ModuleBuildVariant(), kvx::BuildVariant::Older);
    const kvx::ModuleFeatures& f = kvx::Features();
    EXPECT_EQ(f.variant, kvx::BuildVariant::Older);
    EXPECT_FALSE(f.colourManagement || f.lookupServer || f.automaticUdfValues || f.xmlImport ||
                 f.attachmentCleanUp || f.findDialog || f.fieldHelp || f.xlsFileExport);
}

TEST_F(OlderController, AcceptsTheWholeSeventyRangeAskingOnce) {
    for (const Variant& answer : {Variant(7000), Variant(7050), Variant(7099), Variant(7099.9)}) {
        SCOPED_TRACE(answer.toString().toStdString());
        TestWindow::journal().clear();
        auto wc = std::make_shared<VersionWorkCenter>(answer);
        auto c = controllerWith(wc);
        ASSERT_EQ(c->CreateProgram(loginParams()), 0);
        EXPECT_EQ(wc->calls, 1);
        EXPECT_TRUE(shownTexts().isEmpty());
        ASSERT_TRUE(windowOf(*c));
        EXPECT_EQ(windowOf(*c)->StartCalls, 1);
        EXPECT_EQ(windowOf(*c)->BrokerWorkCenter.toDispatch(), wc);
        EXPECT_EQ(TestWindow::journal(), QStringList({"notify:0x100", "window:start"}));
    }
}

TEST_F(OlderController, EveryOtherAnswerShowsTheOneMessage) {
    // The current interface version, the next series, the one before, and values whose integer
    // division by 100 is near 70 without being it.
    for (const Variant& answer :
         {Variant(8000), Variant(7100), Variant(6999), Variant(70), Variant(-7000), Variant(0)}) {
        SCOPED_TRACE(answer.toString().toStdString());
        kvx::DialogService::instance().clear();
        TestWindow::journal().clear();
        auto c = controllerWith(std::make_shared<VersionWorkCenter>(answer));
        EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }), kFailed);
        EXPECT_EQ(shownTexts(), QStringList({kFailed}));
        // The window stays with the controller, neither given the work center nor started.
        ASSERT_FALSE(c->IsClosed());
        EXPECT_TRUE(windowOf(*c)->BrokerWorkCenter.isUnassigned());
        EXPECT_EQ(windowOf(*c)->StartCalls, 0);
        EXPECT_TRUE(TestWindow::journal().filter("notify:").isEmpty());
        QPointer<QWidget> w = windowOf(*c);
        c.reset();
        EXPECT_TRUE(w.isNull());
    }
}

TEST_F(OlderController, AMissingWorkCenterOrMethodShowsTheSameMessageWithTheReason) {
    auto c = controllerWith(std::make_shared<EmptyWorkCenter>());
    EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }),
              kFailed + "Method 'DependencyVersion' not supported by automation object Empty.WorkCenter");
    EXPECT_EQ(shownTexts(), QStringList({kFailed}));

    kvx::DialogService::instance().clear();
    auto d = controllerWith(nullptr);
    EXPECT_EQ(messageOf([&] { d->CreateProgram(loginParams()); }),
              kFailed + "The work-center object is not assigned");
    EXPECT_EQ(shownTexts(), QStringList({kFailed}));
}

// The built library, loaded as the shell loads it.
TEST(OlderModuleLibrary, ExportsOnlyGetControllerUnderTheSameFileName) {
    ASSERT_TRUE(QFileInfo::exists(olderLibrary())) << olderLibrary().toStdString();
    EXPECT_EQ(QFileInfo(olderLibrary()).fileName(), "QLDI05C.so");
    EXPECT_EQ(kvxtest::definedDynamicSymbols(olderLibrary()), QSet<QString>({"GetController"}));
}

TEST(OlderModuleLibrary, RefusesTheCurrentAndTheNextSeriesAndPassesSeventyThousand) {
    auto& dialogs = kvx::DialogService::instance();
    dialogs.setScripted(true);
    void* handle = dlopen(olderLibrary().toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(handle) << dlerror();
    auto getController = reinterpret_cast<TGetControllerFn>(dlsym(handle, kGetControllerSymbol));
    ASSERT_TRUE(getController);
    for (int refused : {8000, 7100}) {
        SCOPED_TRACE(refused);
        dialogs.clear();
        std::unique_ptr<TDLLBaseController> c(getController());
        c->WorkCenter = Variant(std::make_shared<VersionWorkCenter>(Variant(refused)));
        QStringList events;
        c->OnNotify = [&events](int32_t code, TDLLBaseController*) { events << QString::number(code, 16); };
        EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }), kFailed);
        // Outside the shell the window has already reported its stand-alone start; the check adds one.
        EXPECT_EQ(shownTexts().count(kFailed), 1);
        EXPECT_TRUE(events.isEmpty());
    }
    // 7000 passes the check: the window is created and given the work center (0x100). This fake work
    // center offers nothing else, so the start that follows may fail; it fails for another reason.
    dialogs.clear();
    std::unique_ptr<TDLLBaseController> c(getController());
    c->WorkCenter = Variant(std::make_shared<VersionWorkCenter>(Variant(7000)));
    QStringList events;
    c->OnNotify = [&events](int32_t code, TDLLBaseController*) { events << QString::number(code, 16); };
    const QString error = messageOf([&] { c->CreateProgram(loginParams()); });
    EXPECT_FALSE(error.startsWith(kFailed)) << error.toStdString();
    EXPECT_FALSE(shownTexts().contains(kFailed));
    EXPECT_EQ(events.value(0), "100");
    c.reset();
    dialogs.clear();
}
