#include "ControllerChecks.h"
#include "TestWindow.h"

#include "entry/DLLFunc.h"
#include "entry/DLLMTCtrller.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using kvx::Variant;
using namespace kvxtest;

namespace {

// A work center whose DependencyVersion gives the queued answers in turn (the last one repeats).
class FakeWorkCenter : public kvx::DispatchObject {
public:
    explicit FakeWorkCenter(QList<int> answers)
        : DispatchObject("Fake.WorkCenter"), answers_(std::move(answers)) {
        addMethod("DependencyVersion", [this](kvx::VariantList&) {
            ++calls;
            return Variant(answers_.size() > 1 ? answers_.takeFirst() : answers_.first());
        });
    }
    int calls = 0;

private:
    QList<int> answers_;
};

const QString kWcOld = "PellanWorkCenter version too old,please update.";
const QString kProgOld = "This program's version is too old, please update.";

QStringList notifications() {
    QStringList out;
    for (const QString& e : TestWindow::journal())
        if (e.startsWith("notify:")) out << e;
    return out;
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        frmRadicalClass = &TestWindow::Create;
        kvx::DialogService::instance().clear();
        TestWindow::journal().clear();
    }
    void TearDown() override {
        frmRadicalClass = nullptr;
        ASSERT_EQ(TestWindow::liveCount(), 0) << "a window outlived its controller";
    }

    static std::unique_ptr<TDLLBaseController> newController(std::shared_ptr<kvx::Dispatch> workCenter = {}) {
        std::unique_ptr<TDLLBaseController> c(GetController());
        c->WorkCenter =
            workCenter ? Variant(workCenter) : Variant(std::make_shared<FakeWorkCenter>(QList<int>{8000}));
        c->OnNotify = [](int32_t code, TDLLBaseController*) {
            TestWindow::journal() << QStringLiteral("notify:0x%1").arg(code, 0, 16);
        };
        return c;
    }
    static Variant loginParams() { return Variant::fromList({"DS", "DEMO", "DEMODB", 0, "context"}); }
    static TestWindow* windowOf(TDLLBaseController& c) {
        return dynamic_cast<TestWindow*>(static_cast<TDLLMTCtrller&>(c).form());
    }
    // A controller with a started window.
    static std::unique_ptr<TDLLBaseController> started() {
        auto c = newController();
        EXPECT_EQ(c->CreateProgram(loginParams()), 0);
        TestWindow::journal().clear();
        return c;
    }
};

} // namespace

TEST_F(ControllerTest, GetControllerGivesIndependentControllers) {
    auto a = newController();
    auto b = newController();
    ASSERT_NE(a.get(), b.get());
    EXPECT_TRUE(a->IsClosed());
    EXPECT_TRUE(b->IsClosed());
    ASSERT_EQ(a->CreateProgram(loginParams()), 0);
    EXPECT_FALSE(a->IsClosed());
    EXPECT_TRUE(b->IsClosed());
    ASSERT_EQ(b->CreateProgram(loginParams()), 0);
    EXPECT_NE(windowOf(*a), windowOf(*b));
    a->CloseProgram(true);
    EXPECT_TRUE(a->IsClosed());
    EXPECT_FALSE(b->IsClosed());
}

TEST_F(ControllerTest, MissingClassesAreReportedExactly) {
    const TDLLControllerClass saved = DLLControllerClass;
    DLLControllerClass = nullptr;
    EXPECT_EQ(messageOf([] { delete GetController(); }),
              "KVX DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible");
    DLLControllerClass = saved;

    frmRadicalClass = nullptr;
    auto c = newController();
    EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }),
              "KVX DLL Internal Error :\rNot Assign \"frmRadicalClass\" varible");
    EXPECT_TRUE(c->IsClosed());
    EXPECT_TRUE(notifications().isEmpty());
}

TEST_F(ControllerTest, CreateProgramStartsTheWindowWithTheLoginParameters) {
    auto wc = std::make_shared<FakeWorkCenter>(QList<int>{8000});
    auto c = newController(wc);
    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    TestWindow* w = windowOf(*c);
    ASSERT_TRUE(w);
    EXPECT_EQ(wc->calls, 2); // asked once for "newer", once for "older"
    EXPECT_EQ(w->StartCalls, 1);
    EXPECT_TRUE(w->StartParams.identical(loginParams()));
    EXPECT_EQ(w->BrokerWorkCenter.toDispatch(), wc);
    EXPECT_EQ(w->ModulePath, QCoreApplication::applicationFilePath());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(TestWindow::journal(), QStringList({"notify:0x100", "window:start"}));
    EXPECT_TRUE(kvx::DialogService::instance().shown().isEmpty());

    // A second call with a window in place only starts it again.
    EXPECT_EQ(c->CreateProgram(loginParams()), 0);
    EXPECT_EQ(windowOf(*c), w);
    EXPECT_EQ(w->StartCalls, 2);
    EXPECT_EQ(notifications(), QStringList({"notify:0x100"}));
}

TEST_F(ControllerTest, StartFailureAndErrors) {
    frmRadicalClass = [] {
        auto* w = new TestWindow;
        w->StartResult = false;
        return static_cast<TProgramWindow*>(w);
    };
    auto c = newController();
    EXPECT_EQ(c->CreateProgram(loginParams()), -1);
    EXPECT_FALSE(c->IsClosed()); // the window stays with the controller

    frmRadicalClass = [] {
        auto* w = new TestWindow;
        w->StartError = "no server";
        return static_cast<TProgramWindow*>(w);
    };
    auto d = newController();
    EXPECT_EQ(messageOf([&] { d->CreateProgram(loginParams()); }), "no server");
    EXPECT_FALSE(d->IsClosed());
}

TEST_F(ControllerTest, VersionCheckAcceptsExactly8000) {
    struct Case {
        std::shared_ptr<kvx::Dispatch> workCenter;
        QStringList messages;
        QString error;
    };
    const Case cases[] = {
        {std::make_shared<FakeWorkCenter>(QList<int>{7999}), {kWcOld, kFailed}, kFailed + kWcOld},
        {std::make_shared<FakeWorkCenter>(QList<int>{8001}), {kProgOld, kFailed}, kFailed + kProgOld},
        // The second question decides for an answer that changes between the two.
        {std::make_shared<FakeWorkCenter>(QList<int>{8000, 7999}), {kWcOld, kFailed}, kFailed + kWcOld},
        {std::make_shared<EmptyWorkCenter>(),
         {kFailed},
         kFailed + "Method 'DependencyVersion' not supported by automation object Empty.WorkCenter"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.error.toStdString());
        kvx::DialogService::instance().clear();
        TestWindow::journal().clear();
        auto c = newController(k.workCenter);
        EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }), k.error);
        EXPECT_EQ(shownTexts(), k.messages);
        // The window stays referenced but was neither given the work center nor started.
        ASSERT_FALSE(c->IsClosed());
        EXPECT_TRUE(windowOf(*c)->BrokerWorkCenter.isUnassigned());
        EXPECT_EQ(windowOf(*c)->StartCalls, 0);
        EXPECT_TRUE(notifications().isEmpty());
        // Freeing the controller frees that window although no hooks were installed.
        QPointer<QWidget> w = windowOf(*c);
        c.reset();
        EXPECT_TRUE(w.isNull());
    }
}

TEST_F(ControllerTest, AWindowThatFailedTheCheckIsNotGivenTheHandlersOfAnEarlierOne) {
    auto c = started();
    c->CloseProgram(true);
    c->WorkCenter = Variant(std::make_shared<FakeWorkCenter>(QList<int>{7999}));
    EXPECT_THROW(c->CreateProgram(loginParams()), std::runtime_error);
    TestWindow::journal().clear();
    c->CloseProgram(false);
    // No hooks on this window: the close notification alone, then the window's own destroy handler.
    EXPECT_EQ(TestWindow::journal(), QStringList({"notify:0x140", "window:destroy"}));
    EXPECT_TRUE(c->IsClosed());
}

TEST_F(ControllerTest, MissingWorkCenterFailsTheCheck) {
    std::unique_ptr<TDLLBaseController> c(GetController());
    EXPECT_EQ(messageOf([&] { c->CreateProgram(loginParams()); }),
              kFailed + "The work-center object is not assigned");
    EXPECT_EQ(shownTexts(), QStringList({kFailed}));
    // Any other value that is no automation object fails the same way, with the conversion error.
    kvx::DialogService::instance().clear();
    std::unique_ptr<TDLLBaseController> d(GetController());
    d->WorkCenter = 8000;
    const QString error = messageOf([&] { d->CreateProgram(loginParams()); });
    EXPECT_TRUE(error.startsWith(kFailed + "Could not convert variant of type")) << error.toStdString();
    EXPECT_EQ(shownTexts(), QStringList({kFailed}));
}

TEST_F(ControllerTest, OpenModesAreStoredByTheTable) {
    auto c = started();
    TestWindow* w = windowOf(*c);
    const int expected[] = {0, 1, 2, 3, 4, 5, 0, 7, 8, 0, 9, 0, 10, 11, 0, 0};
    for (int mode = 0; mode <= 15; ++mode) {
        SCOPED_TRACE(mode);
        w->RunMode = 99;
        w->RunModeValues = Variant();
        ASSERT_EQ(c->SetOpenMode(mode, 0xFF, Variant("values")), 0);
        EXPECT_EQ(w->RunMode, expected[mode]);
        EXPECT_EQ(w->RunModeValues.isUnassigned(), !(mode == 7 || mode == 8 || mode == 10));
    }
    EXPECT_EQ(c->SetOpenMode(-1, 0xFF, Variant()), 0);
    EXPECT_EQ(w->RunMode, 0);
    EXPECT_EQ(c->SetOpenMode(10, 0xFF, Variant("x")), 0);
    EXPECT_EQ(w->RunModeValues.toString(), "x");
}

TEST_F(ControllerTest, RightsOnlyTakeAway) {
    auto c = started();
    TestWindow* w = windowOf(*c);
    ASSERT_EQ(c->SetOpenMode(3, 0xFF, Variant()), 0);
    EXPECT_EQ(w->CommandMask, 511);
    EXPECT_EQ(w->UpdateCalls, 1);
    EXPECT_EQ(w->MaskAtUpdate, 511);
    EXPECT_EQ(w->ModeAtUpdate, 0); // rights are applied before the open mode is stored

    ASSERT_EQ(c->SetOpenMode(0, 0, Variant()), 0);
    EXPECT_EQ(w->CommandMask, 0x100);
    EXPECT_EQ(w->ModeAtUpdate, 3);
    EXPECT_EQ(w->UpdateCalls, 2);

    // Host delete (0x02) and edit (0x08) map crosswise to window bits 0x08 and 0x02.
    EXPECT_EQ(TDLLMTCtrller::RestrictRights(511, 0xFF & ~0x02), 511 & ~0x08);
    EXPECT_EQ(TDLLMTCtrller::RestrictRights(511, 0xFF & ~0x08), 511 & ~0x02);
    EXPECT_EQ(TDLLMTCtrller::RestrictRights(511, 0x01 | 0x04 | 0x10), 0x100 | 0x01 | 0x04 | 0x10);
    // Set host bits never give back what is gone; high host bits mean nothing.
    w->CommandMask = 0x100;
    ASSERT_EQ(c->SetOpenMode(0, -1, Variant()), 0);
    EXPECT_EQ(w->CommandMask, 0x100);
}

TEST_F(ControllerTest, OpenParamShapes) {
    auto c = started();
    TestWindow* w = windowOf(*c);
    w->HostParam = Variant("untouched");

    ASSERT_EQ(c->SetOpenParam(Variant::fromList({"ignored", "MB001='A'"})), 0);
    EXPECT_EQ(w->InitCondition, "MB001='A'");
    EXPECT_EQ(w->HostParam.toString(), "untouched");

    const Variant inner = Variant::fromList({"MB002='2'", 42});
    ASSERT_EQ(c->SetOpenParam(Variant::fromList({Variant(), inner})), 0);
    EXPECT_EQ(w->InitCondition, "MB002='2'");
    EXPECT_EQ(w->HostParam.toInt(), 42);

    ASSERT_EQ(c->SetOpenParam(Variant::fromList({Variant(), Variant::null()})), 0);
    EXPECT_EQ(w->InitCondition, "");
    ASSERT_EQ(c->SetOpenParam(Variant::fromList({Variant(), 12})), 0);
    EXPECT_EQ(w->InitCondition, "12");

    w->InitCondition = "kept";
    EXPECT_EQ(c->SetOpenParam(Variant("not an array")), -1);
    EXPECT_EQ(c->SetOpenParam(Variant::null()), -1);
    EXPECT_EQ(c->SetOpenParam(Variant::fromList({"only element 0"})), -1);
    EXPECT_EQ(c->SetOpenParam(Variant::array2(0, 1, 0, 1)), -1);
    EXPECT_EQ(w->InitCondition, "kept");
    // An inner array too short: the text is already taken, nothing is undone.
    EXPECT_EQ(c->SetOpenParam(Variant::fromList({Variant(), Variant::fromList({"partial"})})), -1);
    EXPECT_EQ(w->InitCondition, "partial");
}

TEST_F(ControllerTest, WithoutWindowOperationsDoNothing) {
    auto c = newController();
    QString version = "unchanged";
    c->GetVersion(version);
    EXPECT_EQ(version, "unchanged");
    EXPECT_EQ(c->GetVisible(), 0);
    c->SetVisible(-1);
    EXPECT_EQ(c->GetWindowHandle(), 0u);
    EXPECT_EQ(c->SetOpenParam(Variant::fromList({1, 2})), -1);
    EXPECT_EQ(c->SetOpenMode(1, 0xFF, Variant()), -1);
    Variant result("unchanged");
    c->ShowProgramModal(result);
    EXPECT_EQ(result.toString(), "unchanged");
    c->CloseProgram(false);
    Variant info("unchanged");
    EXPECT_EQ(c->GetLoginInfo(info), -1);
    EXPECT_EQ(info.toString(), "unchanged");
    EXPECT_TRUE(c->IsClosed());
    EXPECT_TRUE(TestWindow::journal().isEmpty());
}

TEST_F(ControllerTest, QueriesOnAWindow) {
    auto c = started();
    QString version;
    c->GetVersion(version);
    EXPECT_EQ(version, "990101-1.00.00");
    Variant info;
    ASSERT_EQ(c->GetLoginInfo(info), 0);
    ASSERT_EQ(info.lowBound(), 0);
    ASSERT_EQ(info.highBound(), 3);
    EXPECT_EQ(info.at(0).toString(), "DS");
    EXPECT_EQ(info.at(1).toString(), "DEMO");
    EXPECT_EQ(info.at(2).toString(),
              QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toUpper());
    EXPECT_EQ(info.at(3).toString(), "Test program");
    EXPECT_EQ(c->GetVisible(), 0);
    EXPECT_NE(c->GetWindowHandle(), 0u);
    EXPECT_EQ(c->GetWindowHandle(), quintptr(windowOf(*c)->winId()));
}

TEST_F(ControllerTest, ShowHideAndUserCloseGoThroughTheHooks) {
    auto c = started();
    QPointer<TestWindow> w = windowOf(*c);
    c->SetVisible(-1);
    EXPECT_EQ(c->GetVisible(), -1);
    EXPECT_EQ(TestWindow::journal(), QStringList({"window:show", "notify:0x110"}));

    // A minimised window is restored when made visible.
    w->showMinimized();
    ASSERT_TRUE(w->isMinimized());
    c->SetVisible(-1);
    EXPECT_FALSE(w->isMinimized());

    TestWindow::journal().clear();
    c->SetVisible(0);
    EXPECT_EQ(c->GetVisible(), 0);
    EXPECT_EQ(TestWindow::journal(), QStringList({"window:hide", "notify:0x120"}));

    // The user closes the window; its handler frees it (deferred), the controller keeps the result.
    c->SetVisible(-1);
    w->RunMode = 8;
    TestWindow::journal().clear();
    w->close();
    EXPECT_EQ(TestWindow::journal(),
              QStringList({"window:close", "notify:0x140", "window:hide", "notify:0x120"}));
    EXPECT_FALSE(c->IsClosed());
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isNull());
    EXPECT_TRUE(c->IsClosed());
    EXPECT_EQ(TestWindow::journal().mid(4), QStringList({"window:destroy", "notify:0x130"}));
    EXPECT_EQ(c->ResultCode, 1);
    EXPECT_EQ(c->ResultValue.toString(), "returned");

    // A new window can be created afterwards.
    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    EXPECT_FALSE(c->IsClosed());
}

TEST_F(ControllerTest, CloseActionsOfTheWindow) {
    auto c = started();
    TestWindow* w = windowOf(*c);
    c->SetVisible(-1);
    w->CloseAction = caNone;
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    w->CloseAction = caHide;
    EXPECT_TRUE(w->close());
    QCoreApplication::processEvents();
    EXPECT_FALSE(c->IsClosed()); // hidden, not freed
    EXPECT_EQ(c->GetVisible(), 0);
}

TEST_F(ControllerTest, ShowProgramModalReturnsAfterTheWindowIsGone) {
    auto c = started();
    c->ResultCode = 0;
    QPointer<TestWindow> w = windowOf(*c);
    bool wasModal = false;
    QTimer::singleShot(0, w, [&] {
        wasModal = w->isModal() && w->isVisible();
        w->close();
    });
    Variant result;
    c->ShowProgramModal(result);
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(w.isNull());
    EXPECT_TRUE(c->IsClosed());
    EXPECT_EQ(result.toString(), "returned");
    EXPECT_EQ(c->ResultCode, 2);
    const QStringList n = notifications();
    ASSERT_GE(n.size(), 2);
    EXPECT_EQ(n.mid(n.size() - 2), QStringList({"notify:0x140", "notify:0x130"}));
    EXPECT_EQ(n.first(), "notify:0x110");
}

TEST_F(ControllerTest, ShowProgramModalEndsWhenTheWindowIsFreedInside) {
    auto c = started();
    TDLLBaseController* raw = c.get();
    QTimer::singleShot(0, [raw] { raw->CloseProgram(true); });
    Variant result;
    c->ShowProgramModal(result);
    EXPECT_TRUE(c->IsClosed());
    // Nothing returned a value: the window was freed before it closed.
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_EQ(notifications(), QStringList({"notify:0x110", "notify:0x130"}));
}

TEST_F(ControllerTest, SilentAndNoisyClose) {
    auto c = started();
    c->CloseProgram(true);
    EXPECT_TRUE(c->IsClosed());
    EXPECT_EQ(TestWindow::journal(), QStringList({"window:destroy", "notify:0x130"}));
    EXPECT_EQ(c->ResultValue.toString(), ""); // the window never closed, so it set no return value

    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    TestWindow::journal().clear();
    c->CloseProgram(false);
    EXPECT_EQ(TestWindow::journal(),
              QStringList({"window:close", "notify:0x140", "window:destroy", "notify:0x130"}));
    EXPECT_EQ(c->ResultValue.toString(), "returned");
}

TEST_F(ControllerTest, CloseWhileDestroyingDoesNothing) {
    auto c = started();
    c->OnNotify = [](int32_t code, TDLLBaseController* sender) {
        TestWindow::journal() << QStringLiteral("notify:0x%1").arg(code, 0, 16);
        if (code == DLLNOTIFY_DESTROYED) sender->CloseProgram(false); // the window is being destroyed
    };
    c->CloseProgram(true);
    EXPECT_EQ(TestWindow::journal(), QStringList({"window:destroy", "notify:0x130"}));
    EXPECT_TRUE(c->IsClosed());
}

TEST_F(ControllerTest, FreeingTheControllerClosesTheWindow) {
    auto c = started();
    QPointer<TestWindow> w = windowOf(*c);
    c.reset();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(TestWindow::journal(),
              QStringList({"window:close", "notify:0x140", "window:destroy", "notify:0x130"}));
}

TEST_F(ControllerTest, AWindowDeletedBehindTheControllerIsForgotten) {
    auto c = started();
    delete windowOf(*c);
    EXPECT_TRUE(c->IsClosed());
    EXPECT_EQ(c->GetWindowHandle(), 0u);
    c->CloseProgram(false);
    EXPECT_TRUE(TestWindow::journal().isEmpty());
}

// The shell calls the operations by their position in the virtual table.
namespace {
template <typename R, typename... A> R callSlot(TDLLBaseController* c, int slot, A... args) {
    void** table = *reinterpret_cast<void***>(c);
    return reinterpret_cast<R (*)(TDLLBaseController*, A...)>(table[slot])(c, args...);
}
} // namespace

TEST_F(ControllerTest, OperationsStandInTheirSlots) {
    auto c = newController();
    EXPECT_TRUE(callSlot<bool>(c.get(), 10));
    EXPECT_EQ(callSlot<int32_t>(c.get(), 1), 0);
    EXPECT_EQ(callSlot<quintptr>(c.get(), 3), 0u);
    Variant info;
    EXPECT_EQ(callSlot<int32_t>(c.get(), 9, &info), -1);
    callSlot<void>(c.get(), 16, int32_t(0x777));
    callSlot<void>(c.get(), 11);
    callSlot<void>(c.get(), 17);
    EXPECT_EQ(notifications(), QStringList({"notify:0x777", "notify:0x100"}));

    ASSERT_EQ(c->CreateProgram(loginParams()), 0);
    callSlot<void>(c.get(), 2, int16_t(-1));
    EXPECT_EQ(c->GetVisible(), -1);
    EXPECT_EQ(callSlot<int32_t>(c.get(), 1), -1);
    callSlot<void>(c.get(), 8, true);
    EXPECT_TRUE(c->IsClosed());
}
