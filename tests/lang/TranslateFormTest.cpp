#include "LangTestSupport.h"
#include "lang/CodeConverter.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

using kvx::Variant;
using kvx::lang::CodePageSettings;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

// A component with the published properties the controls library declares.
class TFakeCombo : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)
    Q_PROPERTY(QString Hint MEMBER hint)
    Q_PROPERTY(QString ButtonHint MEMBER buttonHint)
    Q_PROPERTY(QString Text MEMBER text)
    Q_PROPERTY(QStringList Items READ items WRITE setItems)
    Q_PROPERTY(int ItemIndex MEMBER itemIndex)
    Q_PROPERTY(QStringList Panels MEMBER panels)
    Q_PROPERTY(TComboBoxStyle Style MEMBER style)
    Q_PROPERTY(QFont Font MEMBER font)
    Q_PROPERTY(QFont TitleFont MEMBER titleFont)
public:
    enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
    Q_ENUM(TComboBoxStyle)
    using QObject::QObject;

    QStringList items() const { return items_; }
    // Like the platform's combo box, replacing the items loses the selection.
    void setItems(const QStringList& v) {
        items_ = v;
        itemIndex = -1;
        ++itemWrites;
    }

    QString caption, hint, buttonHint, text;
    QStringList items_, panels;
    int itemIndex = -1;
    int itemWrites = 0;
    TComboBoxStyle style = csDropDown;
    QFont font, titleFont;
};

class TranslateForm : public ::testing::Test {
protected:
    QWidget form;
    QLabel* lblTitle = new QLabel(u("文档"), &form);
    QPushButton* btnSave = new QPushButton(u("保存"), &form);
    QLineEdit* edMB001 = new QLineEdit(u("传输"), &form);
    QLineEdit* edText1 = new QLineEdit(u("设置"), &form);
    QComboBox* cboMB002 = new QComboBox(&form);
    QComboBox* cboMB004 = new QComboBox(&form);
    QListWidget* lstItems = new QListWidget(&form);
    QPlainTextEdit* memRemark = new QPlainTextEdit(u("备注\n说明"), &form);
    QTreeWidget* tvNodes = new QTreeWidget(&form);
    QTabWidget* pgMain = new QTabWidget(&form);
    QTableWidget* sgCells = new QTableWidget(1, 1, &form);
    TFakeCombo* fake = new TFakeCombo(&form);
    QLabel* unnamed = new QLabel(u("后台"), &form);

    void SetUp() override {
        form.setWindowTitle(u("文档传输设置作业"));
        form.setToolTip(u("传输"));
        lblTitle->setObjectName("lblTitle");
        btnSave->setObjectName("btnSave");
        btnSave->setToolTip(u("保存设置"));
        edMB001->setObjectName("edMB001");
        edMB001->setToolTip(u("单据"));
        edText1->setObjectName("edText1");
        cboMB002->setObjectName("cboMB002");
        cboMB002->addItems({u("1:不处理"), u("2:汇出"), u("3.汇入")});
        cboMB002->setCurrentIndex(1);
        cboMB004->setObjectName("cboMB004");
        cboMB004->addItems({u("1:基本信息"), u("2:单据")});
        cboMB004->setCurrentIndex(-1);
        lstItems->setObjectName("lstItems");
        lstItems->addItems({u("汇出"), u("汇入")});
        memRemark->setObjectName("memRemark");
        tvNodes->setObjectName("tvNodes");
        tvNodes->setHeaderLabels({u("单号"), u("说明")});
        auto* top = new QTreeWidgetItem(tvNodes, {u("单据"), u("传输")});
        new QTreeWidgetItem(top, {u("报表")});
        pgMain->setObjectName("pgMain");
        pgMain->addTab(new QWidget, u("浏览"));
        pgMain->addTab(new QWidget, u("资料"));
        pgMain->setCurrentIndex(1);
        sgCells->setObjectName("sgCells");
        sgCells->setItem(0, 0, new QTableWidgetItem(u("数据")));
        fake->setObjectName("cboFake");
        fake->caption = u("选择");
        fake->hint = u("说明");
        fake->buttonHint = u("按钮");
        fake->text = u("标准");
        fake->setItems({u("处理"), u("汇出")});
        fake->itemIndex = 1;
        fake->panels = {u("状态"), u("记录")};
    }

    std::unique_ptr<TCodeConverter> converter(const char* sys, const char* ui) {
        return std::make_unique<TCodeConverter>(
            CodePageSettings::from(QString::fromLatin1(sys), QString::fromLatin1(ui), QStringLiteral("936")),
            std::make_unique<TTranslator>(langtest::kvlanguagePath()), &form);
    }
};

TEST_F(TranslateForm, BigFiveUiConvertsEveryTextOfTheWindow) {
    auto c = converter("936", "950");
    c->DoTranslate(&form, QString(), false);

    EXPECT_EQ(form.windowTitle(), u("文档传输设置作业")); // only a Big5 system converts the caption
    EXPECT_EQ(form.toolTip(), u("傳輸"));
    EXPECT_EQ(lblTitle->text(), u("文檔"));
    EXPECT_EQ(btnSave->toolTip(), u("保存設置"));
    EXPECT_EQ(edMB001->text(), u("傳輸"));
    EXPECT_EQ(edMB001->toolTip(), u("單據"));
    EXPECT_EQ(cboMB002->itemText(1), u("2:匯出"));
    EXPECT_EQ(cboMB002->itemText(0), u("1:不處理"));
    EXPECT_EQ(cboMB002->currentIndex(), 1);
    EXPECT_EQ(cboMB004->currentIndex(), 0); // a combo without a selection gets its first item
    EXPECT_EQ(lstItems->item(1)->text(), u("匯入"));
    EXPECT_EQ(memRemark->toPlainText(), u("備註\n說明"));
    EXPECT_EQ(tvNodes->headerItem()->text(0), u("單號"));
    EXPECT_EQ(tvNodes->topLevelItem(0)->text(1), u("傳輸"));
    EXPECT_EQ(tvNodes->topLevelItem(0)->child(0)->text(0), u("报表")); // nodes only when deep
    EXPECT_EQ(sgCells->item(0, 0)->text(), u("数据"));
    EXPECT_EQ(pgMain->tabText(1), u("資料"));
    EXPECT_EQ(pgMain->currentIndex(), 1);
    EXPECT_EQ(unnamed->text(), u("后台")); // not a component
    EXPECT_EQ(edMB001->font().family(), u("SimSun"));
    EXPECT_EQ(edMB001->property("FontCharset").toInt(), 136);

    // The published properties by name.
    EXPECT_EQ(fake->caption, u("選擇"));
    EXPECT_EQ(fake->hint, u("說明"));
    EXPECT_EQ(fake->buttonHint, u("按鈕"));
    EXPECT_EQ(fake->text, u("標準"));
    EXPECT_EQ(fake->items(), QStringList({u("處理"), u("匯出")}));
    EXPECT_EQ(fake->itemWrites, 2); // the whole list in one write
    EXPECT_EQ(fake->panels, QStringList({u("狀態"), u("記錄")}));
    EXPECT_EQ(fake->style, TFakeCombo::csOwnerDrawVariable);
    EXPECT_EQ(fake->itemIndex, 1); // lost with the items, given back
    EXPECT_EQ(fake->font.family(), u("SimSun"));
    EXPECT_EQ(fake->titleFont.family(), u("SimSun"));
}

TEST_F(TranslateForm, MenusAndTheirItemsAreTheWindowsTexts) {
    QMenuBar bar(&form);
    QMenu* menu = bar.addMenu(u("资料(&D)"));
    menu->setObjectName("MenuItem1");
    QAction* item = menu->addAction(u("查询(&Q)"));
    item->setObjectName("miQuery");
    auto c = converter("936", "950");
    c->DoTranslate(&form, QString(), false);
    EXPECT_EQ(menu->title(), u("資料(&D)"));
    EXPECT_EQ(item->text(), u("查詢(&Q)"));
}

TEST_F(TranslateForm, DeepTranslationReachesNodesAndGridCells) {
    auto c = converter("936", "950");
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(tvNodes->topLevelItem(0)->child(0)->text(0), u("報表"));
    EXPECT_EQ(sgCells->item(0, 0)->text(), u("數據"));
}

TEST_F(TranslateForm, BigFiveSystemConvertsTheCaption) {
    auto c = converter("950", "950");
    c->DoTranslate(&form, QString(), false);
    EXPECT_EQ(form.windowTitle(), u("文檔傳輸設置作業"));
}

TEST_F(TranslateForm, GbUiOnABigFiveSystemKeepsTextsAndSetsGbFonts) {
    auto c = converter("950", "936");
    ASSERT_EQ(c->UILangMode(), 4);
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(lblTitle->text(), u("文档"));
    EXPECT_EQ(cboMB002->itemText(1), u("2:汇出"));
    EXPECT_EQ(lblTitle->font().family(), u("SimSun"));
    EXPECT_EQ(lblTitle->property("FontCharset").toInt(), 134);
    // SetFormCaption converts GB to Big5 on a Big5 system whatever the UI.
    EXPECT_EQ(form.windowTitle(), u("文檔傳輸設置作業"));
}

TEST_F(TranslateForm, OnlyPublishedPropertiesAreWrittenAndNoneIsCreated) {
    // A text held in a dynamic property is no published caption: it stays, and translating adds no
    // property to any component besides the font's character-set note.
    lblTitle->setProperty("Caption", u("文档"));
    // Components named by the window; Qt's internal helpers may come and go during a translation.
    QList<QPair<QPointer<QObject>, QList<QByteArray>>> before;
    for (QObject* o : form.findChildren<QObject*>())
        if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_")))
            before.append({o, o->dynamicPropertyNames()});
    ASSERT_GE(before.size(), 5);
    auto c = converter("936", "950");
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(lblTitle->property("Caption").toString(), u("文档"));
    EXPECT_EQ(lblTitle->text(), u("文檔"));
    for (const auto& [object, names] : before) {
        ASSERT_FALSE(object.isNull());
        QList<QByteArray> added = object->dynamicPropertyNames();
        for (const QByteArray& name : names)
            added.removeAll(name);
        added.removeAll("FontCharset");
        EXPECT_TRUE(added.isEmpty()) << qPrintable(object->objectName()) << " "
                                     << added.join(',').constData();
    }
    EXPECT_EQ(fake->caption, u("選擇")); // published, matched by its own name
}

TEST_F(TranslateForm, NoLibraryNoTranslation) {
    TCodeConverter c(CodePageSettings::from("936", "936", "936"), &form);
    c.DoTranslate(&form, QString(), true);
    EXPECT_EQ(lblTitle->text(), u("文档"));
    EXPECT_FALSE(lblTitle->property("FontCharset").isValid());
}

TEST_F(TranslateForm, ExclusionEntries) {
    auto c = converter("936", "950");
    Variant list = Variant::array(0, 2);
    list[0] = QStringLiteral("EDMB001"); // the name alone, compared in upper case: left as designed
    list[1] = Variant::fromList({QStringLiteral("cboFake"), QStringLiteral("Caption")});
    list[2] = Variant::fromList({QStringLiteral("edText1"), QStringLiteral("Hint")});
    c->DoTranslateOptional(&form, list, false);

    EXPECT_EQ(c->Exclusions().size(), 3);
    EXPECT_EQ(c->Exclusions().at(1), QStringLiteral("cboFake\003Caption"));
    EXPECT_EQ(edMB001->text(), u("传输"));
    EXPECT_EQ(edMB001->toolTip(), u("单据"));
    EXPECT_NE(edMB001->font().family(), u("SimSun"));
    EXPECT_EQ(fake->caption, u("选择")); // excluded
    EXPECT_EQ(fake->hint, u("說明"));    // everything else converted
    EXPECT_EQ(fake->items(), QStringList({u("處理"), u("匯出")}));
    // A component whose name contains a property name keeps that property's conversion.
    EXPECT_EQ(edText1->text(), u("設置"));
    // Components without an entry get the generic conversions.
    EXPECT_EQ(lblTitle->text(), u("文檔"));
}

TEST_F(TranslateForm, PropertyConversionsOnSingleComponents) {
    auto c = converter("936", "950");
    c->SetObjectCaption(btnSave, 2);
    EXPECT_EQ(btnSave->text(), u("保存"));
    c->SetObjectHint(btnSave, 2);
    EXPECT_EQ(btnSave->toolTip(), u("保存設置"));
    c->SetObjectText(lblTitle, 2); // a label's text is its caption: not converted twice
    EXPECT_EQ(lblTitle->text(), u("文档"));
    c->SetObjectItems(lblTitle, 2); // no items: nothing happens
    c->SetObjectStyle(fake, 0);     // kind 0 leaves the style
    EXPECT_EQ(fake->style, TFakeCombo::csDropDown);
    fake->style = TFakeCombo::csDropDownList;
    c->SetObjectStyle(fake, 2);
    EXPECT_EQ(fake->style, TFakeCombo::csOwnerDrawFixed);
}

// A data module the window owns, and one of its fields: fields publish their value as Text.
class TDataModule : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

class TFakeField : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER text)
    Q_PROPERTY(QString DisplayLabel MEMBER label)
public:
    using QObject::QObject;
    QString text, label;
};

TEST_F(TranslateForm, LeavesTheFieldsOfAnOwnedDataModuleAndOwnedWindowsAlone) {
    auto* dm = new TDataModule(&form);
    dm->setObjectName("dmMain");
    auto* field = new TFakeField(dm);
    field->setObjectName("cdsMainMB005");
    field->text = u("汇出说明");
    field->label = u("备注");
    auto* dialog = new QWidget(&form, Qt::Dialog);
    auto* dialogLabel = new QLabel(u("文档"), dialog);
    dialogLabel->setObjectName("lblDialog");
    auto c = converter("936", "950");
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(field->text, u("汇出说明")); // a record's value is data, never converted
    EXPECT_EQ(field->label, u("备注"));
    EXPECT_EQ(dialogLabel->text(), u("文档")); // the dialog converts itself
    EXPECT_EQ(lblTitle->text(), u("文檔"));    // the window's own components still are
}

#include "TranslateFormTest.moc"
