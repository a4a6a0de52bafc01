#include "platform/DialogService.h"

#include <gtest/gtest.h>

using namespace kvx;

TEST(DialogService, ScriptedAnswersAndRecord) {
    DialogService& ds = DialogService::instance();
    ds.clear();
    MessageRequest r;
    r.type = MsgDlgType::Confirmation;
    r.buttons = mbYes | mbNo;
    r.defaultButton = mbNo;
    r.caption = "QLDI05";
    r.text = QString::fromUtf8("确定要初始化吗?");
    EXPECT_EQ(ds.showMessage(r), mrNo); // empty queue: the default button
    ds.queueAnswer(mrYes);
    EXPECT_EQ(ds.showMessage(r), mrYes);
    ASSERT_EQ(ds.shown().size(), 2);
    EXPECT_EQ(ds.shown()[0].defaultButton, mbNo);
    EXPECT_EQ(ds.lastText(), r.text);

    r.buttons = mbOK | mbCancel;
    r.defaultButton = mbHelp; // not among the buttons: OK is the default
    EXPECT_EQ(ds.showMessage(r), mrOk);
    ds.clear();
    EXPECT_TRUE(ds.shown().isEmpty());
}

TEST(DialogService, ButtonOrderAndResults) {
    EXPECT_EQ(buttonsInOrder(mbCancel | mbOK | mbYes), (QList<MsgDlgBtn>{mbYes, mbOK, mbCancel}));
    EXPECT_EQ(modalResultOf(mbIgnore), mrIgnore);
    EXPECT_EQ(modalResultOf(mbNoToAll), mrNoToAll);
}

TEST(DialogService, WithoutDefaultButtonTheFirstButtonAnswers) {
    DialogService& ds = DialogService::instance();
    ds.clear();
    MessageRequest r;
    r.type = MsgDlgType::Warning;
    r.buttons = mbCancel | mbNo | mbYes;
    r.defaultButton = mbCancel;
    r.noDefaultButton = true;
    EXPECT_EQ(ds.showMessage(r), mrYes);
    r.buttons = mbCancel | mbNo;
    EXPECT_EQ(ds.showMessage(r), mrNo);
    ds.clear();
}
