// Packages and the base window's creation steps on the controls library's own controls.
#include "LangTestSupport.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/SimpleControls.h"
#include "controls/StatusBar.h"
#include "lang/KVForm.h"

#include <gtest/gtest.h>

// Q_OBJECT: the class chain, and so the package names, come from the meta-object chain.
class TfrmControls : public TKVForm {
    Q_OBJECT
public:
    TfrmControls() {
        setObjectName("frmControls");
        combo = new kvx::TKvDBComboBox(this);
        combo->setObjectName("cboMB002");
        combo->setItems({"1:不处理\t1", "2:汇出\t2"});
        combo->setItemIndex(1);
        grid = new kvx::TFDBGrid(this);
        grid->setObjectName("gdMain");
        for (const char* c : {"单据性质", "文件名称"})
            static_cast<kvx::TColumn*>(grid->Columns()->Add())->Title()->setCaption(QString::fromUtf8(c));
        status = new kvx::TStatusBar(this);
        status->setObjectName("stbMain");
        status->addPanel("浏览", 80);
        status->addPanel("记录", 80);
        edit = new kvx::TKvBtnDBEdit(this);
        edit->setObjectName("edMB001");
        edit->setImeName("Microsoft Pinyin");
        QPixmap glyph(12, 12);
        glyph.fill(Qt::white);
        edit->setGlyph(glyph);
        edit->setNumGlyphs(1);
        speed = new kvx::TGSpeedButton(this);
        speed->setObjectName("btnQuery");
        speed->setGlyph(QPixmap(24, 12));
        speed->setNumGlyphs(2);
    }
    kvx::TKvDBComboBox* combo;
    kvx::TFDBGrid* grid;
    kvx::TStatusBar* status;
    kvx::TKvBtnDBEdit* edit;
    kvx::TGSpeedButton* speed;
};

TEST(ControlsPackages, PathsOnTheControlsLibrary) {
    LangTree lang("437");
    lang.writePackage("ENG", "TKVForm", "<TKVForm/>");
    lang.writePackage("ENG", "TfrmControls", R"(<TfrmControls Caption="Controls">
        <cboMB002 Items_3="4:All&#9;4"/>
        <gdMain Columns_1.Title.Caption="File name"/>
        <stbMain Panels.Items_1.Text="Record 1 of 2"/>
        <edMB001 Caption="Document type" ButtonHint="Look up"/>
      </TfrmControls>)");
    std::unique_ptr<TfrmControls> f(TKVForm::Create<TfrmControls>());
    f->show();
    EXPECT_EQ(f->windowTitle(), "Controls");
    EXPECT_EQ(f->combo->Items(), (QStringList{"1:不处理\t1", "2:汇出\t2", "", "4:All\t4"}));
    EXPECT_EQ(f->combo->ItemIndex(), 1);
    EXPECT_EQ(f->grid->column(0)->Title()->Caption(), "单据性质");
    EXPECT_EQ(f->grid->column(1)->Title()->Caption(), "File name");
    EXPECT_EQ(f->status->shownText(0), "浏览");
    EXPECT_EQ(f->status->shownText(1), "Record 1 of 2");
    EXPECT_EQ(f->edit->Caption(), "Document type");
    EXPECT_EQ(f->edit->ButtonHint(), "Look up");
}

TEST(ControlsPackages, CreationStepsOnControls) {
    LangTree lang("437");
    std::unique_ptr<TfrmControls> f(TKVForm::Create<TfrmControls>());
    EXPECT_EQ(f->edit->ImeName(), "");
    EXPECT_EQ(f->edit->Font()->Name(), "Tahoma");
    EXPECT_EQ(f->edit->Font()->Charset(), 134);
    EXPECT_EQ(f->grid->Font()->Name(), "Tahoma");
    EXPECT_EQ(f->edit->NumGlyphs(), 2);
    EXPECT_EQ(f->edit->Glyph().size(), QSize(24, 12));
    EXPECT_EQ(f->speed->NumGlyphs(), 2);
    EXPECT_EQ(f->speed->Glyph().size(), QSize(24, 12)) << "two images already: unchanged";
}

#include "ControlsPackageTest.moc"
