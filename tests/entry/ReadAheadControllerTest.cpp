// The controller's read-ahead of a start: with the servers in process, a thread of CreateProgram has the
// server library's counter answer the start's reads while the window is built; the work center's counter
// gets the answers before Start and drops them at the first showing; no thread is left behind, whether
// the start succeeds or fails; over the socket nothing is read ahead.
#include "ServerClasses.h"
#include "TestWindow.h"

#include "Storage.h"
#include "entry/DLLFunc.h"
#include "entry/DLLMTCtrller.h"
#include "platform/Automation.h"

#include <QDir>
#include <gtest/gtest.h>
#include <thread>

using kvx::Variant;
using kvx::VariantList;
using namespace kvxtest;

namespace {

// The server library's counter object, every call journalled before it is passed on.
class JournalledCounter : public kvx::Dispatch {
public:
    std::shared_ptr<kvx::Dispatch> inner = kvx::CreateOleObject("KvxCounter.Class1");
    Variant invoke(const QString& name, VariantList& args) override {
        TestWindow::journal() << "counter:" + name + (args.isEmpty() ? QString() : QStringLiteral("(…)"));
        return inner->invoke(name, args);
    }
    Variant getProperty(const QString& name) override { return inner->getProperty(name); }
    void setProperty(const QString& name, const Variant& v) override { inner->setProperty(name, v); }
    QString className() const override { return inner->className(); }
};

class CounterWorkCenter : public kvx::DispatchObject {
public:
    explicit CounterWorkCenter(int version) : DispatchObject("Test.WorkCenter") {
        addMethod("DependencyVersion", [version](VariantList&) { return Variant(version); });
        addMethod("Com_Counter", [this](VariantList&) { return Variant(counter); });
    }
    std::shared_ptr<JournalledCounter> counter = std::make_shared<JournalledCounter>();
};

// Threads of the process; a thread started and joined first, so that a runtime which starts a helper
// with the first thread (ThreadSanitizer) has done so.
int threadCount() {
    std::thread([] {}).join();
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QStringList counterCalls() {
    QStringList out;
    for (const QString& e : TestWindow::journal())
        if (e.startsWith("counter:") || e == "window:start") out << e;
    return out;
}

class ControllerReadAhead : public ::testing::Test {
protected:
    TempTree tree;
    void SetUp() override {
        tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\KvxCounter.Class1");
        tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
        pointClientAtServer(tree, 0);
        kvxsrv::StorageConfig c;
        c.serverPath = tree.serverPath();
        kvxsrv::Storage made(c); // the seeded demo database
        frmRadicalClass = &TestWindow::Create;
        TestWindow::journal().clear();
    }
    void TearDown() override { frmRadicalClass = nullptr; }
    static std::unique_ptr<TDLLBaseController> controller(const std::shared_ptr<CounterWorkCenter>& wc) {
        std::unique_ptr<TDLLBaseController> c = std::make_unique<TDLLMTCtrller>();
        c->WorkCenter = Variant(std::shared_ptr<kvx::Dispatch>(wc));
        return c;
    }
    static Variant loginParams() { return Variant::fromList({"DS", "DEMO", "DEMO", 0, "context"}); }
};

} // namespace

TEST_F(ControllerReadAhead, AnswersReachTheCounterBeforeStartAndAreDroppedAtTheFirstShowing) {
    auto wc = std::make_shared<CounterWorkCenter>(8000);
    const int threads = threadCount();
    auto c = controller(wc);
    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    EXPECT_EQ(threadCount(), threads) << "the read-ahead thread ended within CreateProgram";
    // The set is handed over before the window starts, and kept (the company's parameters were read).
    EXPECT_EQ(counterCalls(), QStringList({"counter:UseReadAhead(…)", "window:start"}));
    c->SetVisible(-1);
    EXPECT_EQ(counterCalls(),
              QStringList({"counter:UseReadAhead(…)", "window:start", "counter:UseReadAhead"}));
    c->SetVisible(0);
    EXPECT_EQ(counterCalls().size(), 3) << "ended once";
}

TEST_F(ControllerReadAhead, AFailedStartLeavesNoThreadAndNoAnswers) {
    auto wc = std::make_shared<CounterWorkCenter>(7999); // the version check fails after the window is built
    const int threads = threadCount();
    auto c = controller(wc);
    EXPECT_THROW(c->CreateProgram(loginParams()), std::exception);
    EXPECT_EQ(threadCount(), threads);
    EXPECT_TRUE(counterCalls().isEmpty()) << counterCalls().join(", ").toStdString();

    frmRadicalClass = [] {
        auto* w = new TestWindow;
        w->StartError = "no server";
        return static_cast<TProgramWindow*>(w);
    };
    auto d = controller(std::make_shared<CounterWorkCenter>(8000));
    TestWindow::journal().clear();
    EXPECT_THROW(d->CreateProgram(loginParams()), std::exception);
    EXPECT_EQ(threadCount(), threads);
    // Handed over before Start, dropped when Start raised.
    EXPECT_EQ(counterCalls(),
              QStringList({"counter:UseReadAhead(…)", "window:start", "counter:UseReadAhead"}));
}

TEST_F(ControllerReadAhead, NothingIsReadAheadForAServerOverTheSocket) {
    pointClientAtServer(tree, 4711);
    auto c = controller(std::make_shared<CounterWorkCenter>(8000));
    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    EXPECT_EQ(counterCalls(), QStringList({"window:start"}));
}
