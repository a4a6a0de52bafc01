// The broker's message boxes as a user sees them: a real QMessageBox (offscreen), answered by a click.
#include "FakeWorkCenter.h"
#include "TempTree.h"
#include "platform/DialogService.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace brokertest;

namespace {

// Runs `inspect` on the message box once it is shown, then clicks the button captioned `click`.
void answerWhenShown(const QString& click, std::function<void(QMessageBox*)> inspect) {
    QTimer::singleShot(0, [click, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        inspect(box);
        for (QAbstractButton* b : box->buttons())
            if (b->text() == click) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        box->reject();
    });
}

struct Interactive {
    Interactive() { kvx::DialogService::instance().setScripted(false); }
    ~Interactive() {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
    }
};

} // namespace

TEST(BrokerDialog, ShowsCatalogueTextChineseCaptionsAndTheChosenDefault) {
    kvxtest::ScopedEnv codePage("KVX_CODEPAGE", "936");
    Interactive interactive;
    FakeWindow window;
    window.setWindowTitle(QString::fromUtf8("文档传输设置作业"));
    auto* broker = new TBrokers(&window);
    auto wc = std::make_shared<FakeWorkCenter>();
    wc->catalogue.insert(QStringLiteral("C/000001"), QString::fromUtf8("确定要删除[%s]吗?"));
    wc->catalogue.insert(QStringLiteral("D/000002"), QString::fromUtf8("资料已更改, 是否保存?"));
    broker->WorkCenter = Variant(std::shared_ptr<kvx::Dispatch>(wc));

    QStringList captions;
    QString defaultCaption;
    answerWhenShown(QString::fromUtf8("取消"), [&](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), window.windowTitle());
        EXPECT_EQ(box->text(), QString::fromUtf8("确定要删除[A01]吗? "));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        for (QAbstractButton* b : box->buttons()) {
            captions << b->text();
        }
        if (box->defaultButton()) defaultCaption = box->defaultButton()->text();
        if (qEnvironmentVariableIsSet("KVX_BROKER_SHOT"))
            box->grab().save(qEnvironmentVariable("KVX_BROKER_SHOT"));
    });
    EXPECT_EQ(broker->ShowMsg("C", "000001", {QStringLiteral("A01")}, 936, false, TBrokers::dbOK),
              kvx::mrCancel);
    captions.sort();
    QStringList expected{QString::fromUtf8("确定"), QString::fromUtf8("取消")};
    expected.sort();
    EXPECT_EQ(captions, expected);
    EXPECT_EQ(defaultCaption, QString::fromUtf8("确定"));
    EXPECT_EQ(window.afterMessages, 1);

    // Yes/No/Cancel with the OK index: no button is made default (Enter goes to the focused one).
    bool designated = true;
    answerWhenShown(QString::fromUtf8("否(&N)"),
                    [&](QMessageBox* box) { designated = box->defaultButton(); });
    EXPECT_EQ(broker->ShowMsg("D", "000002"), kvx::mrNo);
    EXPECT_FALSE(designated);
}
