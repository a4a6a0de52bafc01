// The progress windows: texts by kind from the language packages, the gauge's range and steps, the
// window without a gauge, the Cancel button clicked while the caller's loop runs, and screenshots.
#include "forms/StatusForm.h"
#include "TempTree.h"
#include "forms/Gauge.h"
#include "forms/ShowStatusCF.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using kvx::TfrmShowStatus;
using kvx::TfrmStatus;

namespace {

// A temporary installation whose UI code page the test chooses; with packages copies the forms layer's
// language packages into it.
class ProgressFixture : public ::testing::Test {
protected:
    kvxtest::ScopedEnv sysCodePage{"KVX_CODEPAGE", "936"};
    kvxtest::TempTree tree;

    void install(const QString& uiCodePage, bool withPackages) {
        tree.writeText("client/StaveloC.ini",
                       QString("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(uiCodePage));
        if (!withPackages) return;
        const QString folder = qEnvironmentVariable("KVX_SOURCE_DIR") + "/src/forms/MultiLanguage";
        for (const QString& code : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& f : QDir(folder + '/' + code).entryList({"*.Lng"})) {
                QDir(tree.clientPath()).mkpath("MultiLanguage/" + code);
                QFile::copy(folder + '/' + code + '/' + f,
                            tree.clientPath() + "MultiLanguage/" + code + '/' + f);
            }
    }
    static void save(QWidget* w, const QString& name) {
        const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
        QDir().mkpath(dir);
        EXPECT_TRUE(w->grab().save(dir + '/' + name)) << name.toStdString();
    }
};

} // namespace

class StatusFormTest : public ProgressFixture {};

TEST_F(StatusFormTest, KindsChooseCaptionAndLabelWhateverTheirCase) {
    install("936", true);
    std::unique_ptr<TfrmStatus> form(TKVForm::Create<TfrmStatus>());
    const struct {
        const char* kind;
        const char* caption;
        const char* label;
    } cases[] = {
        {"B", "批处理进度显示", "批处理处理进度-[设置初始化]"},
        {"b", "批处理进度显示", "批处理处理进度-[设置初始化]"},
        {"R", "报表作业进度显示", "报表作业处理进度-[设置初始化]"},
        {"t", "审核作业进度显示", "审核作业处理进度-[设置初始化]"},
        {"导出", "导出作业进度显示", "导出作业处理进度-[设置初始化]"},
        {"", "作业进度显示", "作业处理进度-[设置初始化]"},
    };
    for (const auto& c : cases) {
        form->Start(QString::fromUtf8(c.kind), "设置初始化", 0, 3);
        EXPECT_EQ(form->windowTitle(), QString::fromUtf8(c.caption)) << c.kind;
        EXPECT_EQ(form->Label1->text(), QString::fromUtf8(c.label)) << c.kind;
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(StatusFormTest, DefaultsWithoutPackagesAndEnglishFromThePackage) {
    install("936", false);
    std::unique_ptr<TfrmStatus> chs(TKVForm::Create<TfrmStatus>());
    chs->Start("X", "n", 0, 1);
    EXPECT_EQ(chs->windowTitle(), "X作业进度显示");
    EXPECT_EQ(chs->Label1->text(), "X作业处理进度-[n]");

    install("437", true);
    std::unique_ptr<TfrmStatus> eng(TKVForm::Create<TfrmStatus>());
    eng->Start("b", "Init", 0, 1);
    EXPECT_EQ(eng->windowTitle(), "Batch Progress");
    EXPECT_EQ(eng->Label1->text(), "Batch processing progress-[Init]");
    eng->Start("Export", "QLDMB", 0, 1);
    EXPECT_EQ(eng->windowTitle(), "Export Job Progress");
    EXPECT_EQ(eng->Label1->text(), "Export job progress-[QLDMB]");
}

TEST_F(StatusFormTest, StepsStopAtTheMaximumAndStartBeginsAgainAtZero) {
    install("936", true);
    std::unique_ptr<TfrmStatus> form(TKVForm::Create<TfrmStatus>());
    form->Start("B", "a", 0, 2);
    form->Step();
    EXPECT_EQ(form->StatusBar->Progress(), 1);
    EXPECT_EQ(form->StatusBar->percentDone(), 50);
    form->Step();
    form->Step();
    EXPECT_EQ(form->StatusBar->Progress(), 2);
    EXPECT_EQ(form->StatusBar->percentDone(), 100);

    form->HideStatus();
    EXPECT_FALSE(form->isVisible());
    // A range above the old one: the new minimum does not collide with the old maximum.
    form->Start("B", "b", 10, 20);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->StatusBar->MinValue(), 10);
    EXPECT_EQ(form->StatusBar->MaxValue(), 20);
    EXPECT_EQ(form->StatusBar->Progress(), 10); // progress 0 held inside the range
    form->Start("B", "c", 0, 5);
    EXPECT_EQ(form->StatusBar->MinValue(), 0);
    EXPECT_EQ(form->StatusBar->MaxValue(), 5);
    EXPECT_EQ(form->StatusBar->Progress(), 0);
}

TEST_F(StatusFormTest, LongNameIsElidedInsideTheWindow) {
    install("936", true);
    std::unique_ptr<TfrmStatus> form(TKVForm::Create<TfrmStatus>());
    const QString name = QString("很长的作业名称").repeated(20);
    form->Start("B", name, 0, 1);
    EXPECT_LE(form->Label1->geometry().right(), form->width());
    EXPECT_TRUE(form->Label1->toolTip().endsWith(name + "]"));
}

TEST_F(StatusFormTest, Screenshot) {
    install("936", true);
    std::unique_ptr<TfrmStatus> form(TKVForm::Create<TfrmStatus>());
    form->Start("B", "设置初始化", 0, 40);
    for (int i = 0; i < 15; ++i)
        form->Step();
    save(form.get(), "progress-status.png");
}

class ShowStatusTest : public ProgressFixture {
protected:
    void SetUp() override { install("936", true); }
    std::unique_ptr<TfrmShowStatus> open() {
        return std::unique_ptr<TfrmShowStatus>(TKVForm::Create<TfrmShowStatus>());
    }
};

TEST_F(ShowStatusTest, ZeroRangeShowsTheLabelWithoutGauge) {
    auto form = open();
    form->Start("查询结果转 Excel 文件进度", 0, 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), "查询结果转 Excel 文件进度");
    EXPECT_EQ(form->Label1->text(), "查询结果转 Excel 文件进度");
    EXPECT_FALSE(form->StatusBar->isVisible());
    form->Step(); // harmless without a gauge

    // An equal, non-zero range still has a gauge, starting at the minimum.
    form->Start("x", 5, 5);
    EXPECT_TRUE(form->StatusBar->isVisible());
    EXPECT_EQ(form->StatusBar->Progress(), 5);
}

TEST_F(ShowStatusTest, StepAtTheMaximumKeepsTheMaximum) {
    auto form = open();
    form->Start("t", 3, 5);
    EXPECT_EQ(form->StatusBar->Progress(), 3);
    form->Step();
    form->Step();
    EXPECT_EQ(form->StatusBar->Progress(), 5);
    form->Step();
    EXPECT_EQ(form->StatusBar->Progress(), 5);
    // The caller raises the maximum once the final count is known; steps go on.
    form->StatusBar->setMaxValue(7);
    form->Step();
    EXPECT_EQ(form->StatusBar->Progress(), 6);

    form->CloseStatus();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ShowStatusTest, CancelIsOffUntilTheCallerTurnsItOn) {
    auto form = open();
    form->Start("t", 0, 10);
    EXPECT_FALSE(form->btnCancel->isVisible());
    const int plainHeight = form->height();
    // Without Cancel the close box does not stop work that cannot stop.
    form->close();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Cancelled());

    form->setCancelEnabled(true);
    EXPECT_TRUE(form->btnCancel->isVisible());
    EXPECT_GT(form->height(), plainHeight);
    EXPECT_LE(form->btnCancel->geometry().bottom(), form->height());
    EXPECT_EQ(form->btnCancel->text(), "取消");
}

TEST_F(ShowStatusTest, CancelClickReachesTheLoopThroughStep) {
    auto form = open();
    form->setCancelEnabled(true);
    form->Start("导出", 0, 100);
    QSignalSpy spy(form.get(), &TfrmShowStatus::CancelRequested);

    // The click is queued as the window system would deliver it while the caller's loop runs.
    const QPoint at = form->btnCancel->rect().center();
    QApplication::postEvent(form->btnCancel,
                            new QMouseEvent(QEvent::MouseButtonPress, at, form->btnCancel->mapToGlobal(at),
                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(form->btnCancel,
                            new QMouseEvent(QEvent::MouseButtonRelease, at, form->btnCancel->mapToGlobal(at),
                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    int steps = 0;
    while (!form->Cancelled() && steps < 100) {
        form->Step();
        ++steps;
    }
    EXPECT_EQ(steps, 1);
    EXPECT_TRUE(form->Cancelled());
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(form->btnCancel->isEnabled());

    // A new Start clears the request.
    form->Start("导出", 0, 100);
    EXPECT_FALSE(form->Cancelled());
    EXPECT_TRUE(form->btnCancel->isEnabled());
}

TEST_F(ShowStatusTest, MouseClickAndCloseBoxCancel) {
    auto form = open();
    form->setCancelEnabled(true);
    form->Start("t", 0, 10);
    QTest::mouseClick(form->btnCancel, Qt::LeftButton);
    EXPECT_TRUE(form->Cancelled());

    form->Start("t", 0, 10);
    form->close(); // the close box
    EXPECT_TRUE(form->Cancelled());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ShowStatusTest, EnglishButtonAndScreenshots) {
    auto form = open();
    form->setCancelEnabled(true);
    form->Start("查询结果转 Excel 文件进度", 0, 120);
    for (int i = 0; i < 45; ++i)
        form->Step();
    save(form.get(), "progress-show-status.png");

    install("437", true);
    auto eng = open();
    eng->setCancelEnabled(true);
    eng->Start("Exporting to Excel", 0, 10);
    EXPECT_EQ(eng->btnCancel->text(), "Cancel");
}
