// The progress window of a real export: TdmSingle writes a workbook while TShowStatusProgress shows
// TfrmShowStatus; a click on Cancel during the export stops it and leaves no file. The screenshot of
// the window is taken in the middle of the export.
#include "MemoryProvider.h"
#include "TempTree.h"
#include "data/SingleCD.h"
#include "forms/Gauge.h"
#include "forms/ShowStatusCF.h"
#include "platform/DialogService.h"
#include "server/Brokers.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

class ExportWindow;

class WatchedProgress : public TShowStatusProgress {
public:
    WatchedProgress(ExportWindow* w);
    void Step() override;
    ExportWindow* owner;
    int steps = 0;
};

class ExportWindow : public QWidget, public TBrokerOwner, public TSingleModuleOwner {
public:
    QString workPath;
    std::function<void(WatchedProgress*, int)> onStep;
    QPointer<TfrmShowStatus> lastWindow;
    QString ClientWorkPath() const override { return workPath; }
    QWidget* DialogParent() const override { return const_cast<ExportWindow*>(this); }
    std::unique_ptr<TExportProgress> CreateExportProgress() override {
        auto p = std::make_unique<WatchedProgress>(this);
        lastWindow = p->window();
        return p;
    }
};

WatchedProgress::WatchedProgress(ExportWindow* w) : TShowStatusProgress(w), owner(w) {}

void WatchedProgress::Step() {
    TShowStatusProgress::Step();
    ++steps;
    if (owner->onStep) owner->onStep(this, steps);
}

struct ExportProgressTest : ::testing::Test {
    kvxtest::TempTree tree;
    test::MemoryProvider provider;
    ExportWindow window;
    TBrokers* broker = new TBrokers(&window);
    TdmSingle* dm = new TdmSingle(&window);

    void SetUp() override {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        broker->ProgID = "QLDI05";
        broker->UserID = "DS";
        dm->Broker = broker;
        test::fillStandard(provider.table("pvdMain"), 200);
        dm->cdsMain->SetRemoteServer(&provider);
        dm->cdsMain->SetPacketRecords(-1);
        dm->cdsMain->Open();
        window.workPath = tree.clientPath();
    }
    QStringList files() const { return QDir(tree.clientPath() + "c_data/DS").entryList(QDir::Files); }
};

} // namespace

TEST_F(ExportProgressTest, TheWindowCountsTheRowsOfTheExportAndIsFreedAfterwards) {
    int seenMax = -1, seenProgress = -1;
    bool visible = false;
    window.onStep = [&](WatchedProgress* p, int step) {
        if (step != 80) return;
        TfrmShowStatus* w = p->window();
        visible = w->isVisible();
        seenMax = w->StatusBar->MaxValue();
        seenProgress = w->StatusBar->Progress();
        EXPECT_TRUE(w->btnCancel->isVisible());
        EXPECT_EQ(w->Label1->text(), "查询结果转 Excel 文件进度");
        const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
        QDir().mkpath(dir);
        EXPECT_TRUE(w->grab().save(dir + "/export-progress.png"));
    };
    EXPECT_TRUE(dm->ExportToXlsFile(dm->cdsMain, &window, true));
    EXPECT_TRUE(visible);
    EXPECT_EQ(seenMax, 200);
    EXPECT_EQ(seenProgress, 80);
    EXPECT_TRUE(window.lastWindow.isNull()); // closed and freed with the export
    EXPECT_EQ(files().size(), 1);
}

TEST_F(ExportProgressTest, ACancelClickDuringTheExportStopsItAndRemovesThePartialFile) {
    window.onStep = [&](WatchedProgress* p, int step) {
        if (step != 5) return;
        // The click arrives as the window system would deliver it while the export loop runs.
        QPushButton* b = p->window()->btnCancel;
        const QPoint at = b->rect().center();
        QApplication::postEvent(b, new QMouseEvent(QEvent::MouseButtonPress, at, b->mapToGlobal(at),
                                                   Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QApplication::postEvent(b, new QMouseEvent(QEvent::MouseButtonRelease, at, b->mapToGlobal(at),
                                                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    };
    int last = 0;
    const auto previous = window.onStep;
    window.onStep = [&](WatchedProgress* p, int step) {
        last = step;
        previous(p, step);
    };
    dm->cdsMain->SetRecNo(42);
    EXPECT_FALSE(dm->ExportToXlsFile(dm->cdsMain, &window, true));
    EXPECT_EQ(last, 6); // the click is handled by the next step's event processing
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(DialogService::instance().lastText(), "转出已取消, 未保存任何文件!");
    EXPECT_EQ(dm->cdsMain->RecNo(), 42);
    EXPECT_TRUE(window.lastWindow.isNull());
}
