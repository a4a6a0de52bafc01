// The sample window in the three interface languages, with the packages the build installs for the base
// window and the sample packages of this folder; each rendering is saved as a PNG for inspection
// (build/screens/langpack_<code>.png).
#include "LangTestSupport.h"
#include "SampleForm.h"

#include <QDir>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Expected {
    const char* codePage;
    const char* code;
    const char* caption;
    const char* title;
    const char* name;
    const char* mode1;
    const char* column1;
    const char* panel0;
    const char* panel1;
    const char* cancel;
    const char* message;
};

class SampleWindow : public ::testing::TestWithParam<Expected> {};

} // namespace

TEST_P(SampleWindow, ShowsItsTextsInTheInterfaceLanguage) {
    const Expected& e = GetParam();
    LangTree lang(QString::fromLatin1(e.codePage));
    lang.copyPackages(buildDir() + "/client/MultiLanguage");
    lang.copyPackages(sourceDir() + "/tests/langpack/MultiLanguage");
    ASSERT_TRUE(QFile::exists(lang.clientPath() + "MultiLanguage/" + e.code + "/TKVForm.Lng"));

    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    f->show();
    f->TranslateOnce();
    QTest::qWait(20);

    EXPECT_EQ(f->windowTitle(), QString::fromUtf8(e.caption));
    EXPECT_EQ(f->lblTitle->text(), QString::fromUtf8(e.title));
    EXPECT_EQ(f->lblName->text(), QString::fromUtf8(e.name));
    EXPECT_EQ(f->cboMode->currentText(), QString::fromUtf8(e.mode1));
    EXPECT_EQ(f->cboMode->count(), 3);
    EXPECT_EQ(f->gdMain->horizontalHeaderItem(1)->text(), QString::fromUtf8(e.column1));
    EXPECT_EQ(f->stbMain->PanelText(0), QString::fromUtf8(e.panel0)) << "from the base class's package";
    EXPECT_EQ(f->stbMain->PanelText(1), QString::fromUtf8(e.panel1));
    EXPECT_EQ(f->btnCancel->text(), QString::fromUtf8(e.cancel))
        << "the sample's package overrides the base's";
    QString text;
    EXPECT_EQ(f->GetMessage("TfrmLangSample", "sConfirmSave", text, true, "是否保存修改？"),
              QString::fromUtf8(e.message));

    const QString dir = buildDir() + "/screens";
    QDir().mkpath(dir);
    EXPECT_EQ(f->btnClear->NumGlyphs(), 2) << "the disabled button shows its disabled image";
    // The window with a caption strip above it, as a user sees it.
    const QImage body = f->grab().toImage();
    ASSERT_FALSE(body.isNull());
    QImage shot(body.width(), body.height() + 26, QImage::Format_RGB32);
    shot.fill(QColor(0, 84, 147));
    QPainter p(&shot);
    p.setPen(Qt::white);
    p.setFont(f->font());
    p.drawText(QRect(8, 0, body.width() - 16, 26), Qt::AlignVCenter | Qt::AlignLeft, f->windowTitle());
    p.drawImage(0, 26, body);
    p.end();
    EXPECT_TRUE(shot.save(dir + "/langpack_" + e.code + ".png"));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, SampleWindow,
    ::testing::Values(Expected{"936", "CHS", "文档传输设置（示例）", "请选择每种单据的传输方式", "单据性质",
                               "2:汇出", "文件名称", "浏览", "记录：1/2", "取消", "是否保存修改？"},
                      Expected{"950", "CHT", "文件傳輸設定（範例）", "請選擇每種單據的傳輸方式", "單據性質",
                               "2:匯出", "檔案名稱", "瀏覽", "記錄：1/2", "取消", "是否儲存修改？"},
                      Expected{"437", "ENG", "Document Transmission Settings (Sample)",
                               "Choose how each document type is transmitted.", "Document type", "2:Export",
                               "File name", "Browse", "Record 1 of 2", "Cancel",
                               "Do you want to save your changes?"}),
    [](const ::testing::TestParamInfo<Expected>& info) { return std::string(info.param.code); });
