// Packages and the base window's creation steps on the controls library's own controls.
#include "LangTestSupport.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/SimpleControls.h"
#include "controls/StatusBar.h"
#include "lang/KVForm.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"

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

// A window whose edit and combo box show a record of GB data.
class TfrmBoundControls : public TKVForm {
    Q_OBJECT
public:
    TfrmBoundControls() {
        setObjectName("frmBoundControls");
        ds.FieldDefs().Add("MB002", kvx::FieldType::String, 1);
        ds.FieldDefs().Add("MB005", kvx::FieldType::String, 60);
        ds.CreateDataSet();
        ds.Append();
        ds.FindField("MB002")->SetText("2");
        ds.FindField("MB005")->SetText("备注说明");
        ds.Post();
        src.SetDataSet(&ds);
        edit = new kvx::TKvDBEdit(this);
        edit->setObjectName("edMB005");
        edit->setDataSource(&src);
        edit->setDataField("MB005");
        combo = new kvx::TKvDBComboBox(this);
        combo->setObjectName("cboMB002");
        combo->setMapList(true);
        combo->setItems({"1:不处理\t1", "2:汇出\t2", "3.汇入\t3"});
        combo->setDataSource(&src);
        combo->setDataField("MB002");
        status = new kvx::TStatusBar(this);
        status->setObjectName("stbMain");
        status->addPanel("浏览", 80);
        status->addPanel("记录", 80);
    }
    kvx::TClientDataSet ds;
    kvx::TDataSource src;
    kvx::TKvDBEdit* edit;
    kvx::TKvDBComboBox* combo;
    kvx::TStatusBar* status;
};

TEST(ControlsTranslate, BigFiveInterfaceShowsTextsWithoutTouchingTheRecord) {
    LangTree lang("950");
    std::unique_ptr<TfrmBoundControls> f(TKVForm::Create<TfrmBoundControls>());
    ASSERT_EQ(f->UILangMode(), 2);
    f->show();
    f->TranslateOnce();
    // The record is not edited: no Edit state, the stored values as they were.
    EXPECT_EQ(f->ds.State(), kvx::TDataSetState::dsBrowse);
    EXPECT_EQ(f->ds.FindField("MB005")->Text(), "备注说明");
    EXPECT_EQ(f->ds.FindField("MB002")->Text(), "2");
    // The combo box shows converted display parts and still maps the field's value.
    EXPECT_EQ(f->combo->Items(), (QStringList{"1:不處理\t1", "2:匯出\t2", "3.匯入\t3"}));
    EXPECT_EQ(f->combo->Value(), "2");
    EXPECT_EQ(f->combo->Text(), "2:匯出");
    // Status-bar panels and the controls' font objects follow the interface.
    EXPECT_EQ(f->status->shownText(0), "瀏覽");
    EXPECT_EQ(f->status->shownText(1), "記錄");
    EXPECT_EQ(f->edit->Font()->Name(), "SimSun");
    EXPECT_EQ(f->edit->Font()->Charset(), 136);
}

#include "ControlsPackageTest.moc"
