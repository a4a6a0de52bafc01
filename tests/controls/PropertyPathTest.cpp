// Setting the controls' published properties by name and path through the generic setter.
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/StatusBar.h"
#include "platform/PropertySetter.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTableView>
#include <gtest/gtest.h>

using namespace kvx;

TEST(PropertyPath, FontCaptionColourAndStateOfAnEdit) {
    QWidget form;
    auto* ed = new TKvDBEdit(&form);
    ed->setObjectName("edMB001");
    EXPECT_TRUE(PropertySetter::set(ed, "Font.Name", "Tahoma"));
    EXPECT_TRUE(PropertySetter::set(ed, "Font.Charset", "134"));
    EXPECT_EQ(ed->font().family(), "Tahoma");
    EXPECT_EQ(ed->editor()->font().family(), "Tahoma"); // the inner editor follows
    EXPECT_TRUE(PropertySetter::set(ed, "Caption", QString::fromUtf8("文档编号")));
    EXPECT_EQ(ed->label()->text(), QString::fromUtf8("文档编号"));
    EXPECT_TRUE(ed->label()->isVisibleTo(ed));
    EXPECT_TRUE(PropertySetter::set(ed, "Color", "clRed"));
    EXPECT_EQ(ed->editor()->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_TRUE(PropertySetter::set(ed, "Enabled", "False"));
    EXPECT_FALSE(ed->editor()->isEnabled());
    EXPECT_TRUE(PropertySetter::set(ed, "Visible", "False"));
    EXPECT_TRUE(ed->isHidden());
    EXPECT_TRUE(PropertySetter::set(ed, "Hint", "[F2]"));
    EXPECT_EQ(ed->editor()->toolTip(), "[F2]");
    EXPECT_TRUE(PropertySetter::set(ed, "ImeName", ""));
    EXPECT_TRUE(PropertySetter::set(ed, "Left", "10"));
    EXPECT_TRUE(PropertySetter::set(ed, "Width", "250"));
    EXPECT_EQ(ed->geometry().left(), 10);
    EXPECT_EQ(ed->width(), 250);
    EXPECT_EQ(PropertySetter::get(ed, "Name").value(), "edMB001");
    EXPECT_FALSE(ed->ParentFont()); // setting a font detaches it from the parent's
}

TEST(PropertyPath, ColumnsTitleCaptionOfAGrid) {
    QStandardItemModel model(1, 3);
    TFDBGrid grid;
    grid.setSource(&model, [] {
        return QList<GridField>{{"MB001", QString::fromUtf8("文档编号"), 0},
                                {"MB002", QString::fromUtf8("传输方式"), 1},
                                {"MB004", QString::fromUtf8("类别"), 2}};
    });
    ASSERT_EQ(grid.Columns()->Count(), 3);
    EXPECT_TRUE(PropertySetter::set(&grid, "Columns_1.Title.Caption", "Mode"));
    EXPECT_EQ(grid.column(1)->Title()->Caption(), "Mode");
    EXPECT_EQ(grid.view()->model()->headerData(1, Qt::Horizontal).toString(), "Mode");
    EXPECT_EQ(grid.column(0)->Title()->Caption(), QString::fromUtf8("文档编号"));
    EXPECT_TRUE(PropertySetter::set(&grid, "Columns_2.Width", "90"));
    EXPECT_EQ(grid.view()->columnWidth(2), 90);
    EXPECT_TRUE(PropertySetter::set(&grid, "TitleFont.Name", "Tahoma"));
    EXPECT_EQ(grid.TitleFont()->Name(), "Tahoma");
    EXPECT_FALSE(PropertySetter::set(&grid, "Columns_3.Title.Caption", "none"));
}

TEST(PropertyPath, PanelsItemsTextOfAStatusBar) {
    TStatusBar bar;
    bar.addPanel("one", 80);
    bar.addPanel("two", 80);
    bar.addPanel("three", 80);
    EXPECT_TRUE(PropertySetter::set(&bar, "Panels.Items_1.Text", QString::fromUtf8("更改")));
    EXPECT_EQ(bar.panel(1)->Text(), QString::fromUtf8("更改"));
    EXPECT_EQ(bar.shownText(1), QString::fromUtf8("更改"));
    EXPECT_EQ(bar.shownText(0), "one");
}

TEST(PropertyPath, ItemsLineGrowsAComboListAndKeepsTheSelection) {
    TKvDBComboBox combo;
    combo.setStyle(TKvDBComboBox::csDropDownList);
    combo.setItems({"a", "b"});
    combo.setItemIndex(1);
    EXPECT_TRUE(PropertySetter::set(&combo, "Items_3", "d"));
    EXPECT_EQ(combo.Items(), (QStringList{"a", "b", "", "d"}));
    EXPECT_EQ(combo.combo()->count(), 4);
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_TRUE(PropertySetter::set(&combo, "Style", "csDropDown"));
    EXPECT_EQ(combo.Style(), TKvDBComboBox::csDropDown);
    EXPECT_TRUE(combo.combo()->isEditable());
}

TEST(PropertyPath, TabVisibleAndCaptionOfAPage) {
    TExtPageControl pg;
    auto* p1 = new TTabSheet(&pg);
    auto* p2 = new TTabSheet(&pg);
    EXPECT_TRUE(PropertySetter::set(p2, "Caption", QString::fromUtf8("信息浏览")));
    EXPECT_EQ(pg.tabBar()->tabText(1), QString::fromUtf8("信息浏览"));
    EXPECT_TRUE(PropertySetter::set(p1, "TabVisible", "False"));
    EXPECT_FALSE(pg.tabBar()->isTabVisible(0));
    EXPECT_EQ(pg.ActivePage(), p2); // the hidden active page gave way
}
