// The browse grid over a plain model: columns, titles, events, selection, editors, layouts.
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "platform/IniFile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

namespace {
struct Fixture {
    QStandardItemModel model{4, 4};
    TFDBGrid grid;
    QList<GridField> fields;
    Fixture() {
        const char* rows[4][4] = {{"A01", "1", "x", "1234.5"},
                                  {"A02", "2", "y", "-10"},
                                  {"A03", "3", "z", "0"},
                                  {"A04", "2", "w", "7"}};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                model.setItem(r, c, new QStandardItem(QString::fromUtf8(rows[r][c])));
        fields = {{"MB001", QString::fromUtf8("文档编号"), 0, 10, true, true},
                  {"MB002", QString::fromUtf8("传输方式"), 1, 8},
                  {"MB003", QString::fromUtf8("内容"), 2, 20, false},
                  {"AMT", QString::fromUtf8("金额"), 3, 12, true, false, true, true, 2}};
        grid.setSource(&model, [this] { return fields; });
        grid.resize(600, 240);
        grid.show();
    }
};
} // namespace

TEST(Grid, ColumnsFollowTheVisibleFields) {
    Fixture f;
    ASSERT_EQ(f.grid.columnCount(), 3); // MB003 is not visible
    EXPECT_EQ(f.grid.column(0)->FieldName(), "MB001");
    EXPECT_EQ(f.grid.column(2)->FieldName(), "AMT");
    EXPECT_EQ(f.grid.view()->model()->headerData(1, Qt::Horizontal).toString(),
              QString::fromUtf8("传输方式"));
    // Widths follow the display widths in characters.
    EXPECT_GT(f.grid.view()->columnWidth(0), f.grid.view()->columnWidth(1));
    EXPECT_EQ(f.grid.rowCount(), 4);
    EXPECT_EQ(f.grid.cellText(1, 0), "A02");
    // A field that becomes visible gets its column, in field order.
    f.fields[2].visible = true;
    emit f.model.headerDataChanged(Qt::Horizontal, 0, 3);
    ASSERT_EQ(f.grid.columnCount(), 4);
    EXPECT_EQ(f.grid.column(2)->FieldName(), "MB003");
}

TEST(Grid, AColumnIsNeverNarrowerThanItsTitle) {
    Fixture f;
    f.fields[1].displayWidth = 1; // a one-character code under a four-character title
    f.grid.setSource(&f.model, [&f] { return f.fields; });
    const int title =
        QFontMetrics(f.grid.TitleFont()->font()).horizontalAdvance(QString::fromUtf8("传输方式"));
    EXPECT_GT(f.grid.view()->columnWidth(1), title);
    // A wide field keeps the width of its characters.
    EXPECT_GT(f.grid.view()->columnWidth(0), QFontMetrics(f.grid.font()).horizontalAdvance("0") * 10);
}

TEST(Grid, TitleClicksAndTitleAttributes) {
    Fixture f;
    QStringList clicked;
    QObject::connect(&f.grid, &TFDBGrid::TitleButtonClick, [&](const QString& field) { clicked << field; });
    QTest::mouseClick(f.grid.titles()->viewport(), Qt::LeftButton, {}, f.grid.titleRect(1).center());
    EXPECT_TRUE(clicked.isEmpty()); // title buttons are off
    f.grid.setTitleButtons(true);
    QTest::mouseClick(f.grid.titles()->viewport(), Qt::LeftButton, {}, f.grid.titleRect(1).center());
    QTest::mouseClick(f.grid.titles()->viewport(), Qt::LeftButton, {}, f.grid.titleRect(0).center());
    EXPECT_EQ(clicked, (QStringList{"MB002", "MB001"}));

    QStringList attributed, imaged;
    QObject::connect(&f.grid, &TFDBGrid::CalcTitleAttributes,
                     [&](const QString& field, QFont&, QColor& color, Qt::Alignment&) {
                         attributed << field;
                         if (field == "MB001") color = QColor(0, 200, 200);
                     });
    QObject::connect(&f.grid, &TFDBGrid::CalcTitleImage, [&](const QString& field, int& image) {
        imaged << field;
        if (field == "MB002") image = 0;
    });
    QPixmap arrow(8, 8);
    arrow.fill(Qt::red);
    f.grid.setTitleImages({arrow});
    const QImage shot = f.grid.titles()->grab().toImage();
    EXPECT_TRUE(attributed.contains("MB001"));
    EXPECT_TRUE(imaged.contains("AMT"));
    // The key column's title is painted in its colour; the image shows at the right of its title.
    const QRect t0 = f.grid.titleRect(0), t1 = f.grid.titleRect(1);
    EXPECT_EQ(QColor(shot.pixel(t0.left() + 4, t0.top() + 3)), QColor(0, 200, 200));
    bool red = false;
    for (int x = t1.right() - 14; x < t1.right(); ++x)
        red = red || QColor(shot.pixel(x, t1.center().y())) == QColor(Qt::red);
    EXPECT_TRUE(red);
}

TEST(Grid, MultiSelectionOfRows) {
    Fixture f;
    f.grid.setCurrentRow(0);
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      f.grid.cellRect(1, 0).center());
    EXPECT_EQ(f.grid.SelectedCount(), 0); // without multi-selection a ctrl-click only moves
    f.grid.setMultiSelect(true);
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      f.grid.cellRect(1, 0).center());
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      f.grid.cellRect(3, 1).center());
    EXPECT_EQ(f.grid.SelectedRows(), (QList<int>{1, 3}));
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      f.grid.cellRect(1, 0).center());
    EXPECT_EQ(f.grid.SelectedRows(), (QList<int>{3}));
    // Selections follow their rows when rows before them go.
    f.model.removeRow(0);
    EXPECT_EQ(f.grid.SelectedRows(), (QList<int>{2}));
    f.grid.SelectAll();
    EXPECT_EQ(f.grid.SelectedCount(), 3);
    EXPECT_EQ(f.grid.view()->model()->headerData(1, Qt::Vertical).toString().isEmpty(), false);
    f.grid.UnselectAll();
    EXPECT_EQ(f.grid.SelectedCount(), 0);
    // Cells of selected rows are painted as highlighted.
    bool highlighted = false;
    QObject::connect(&f.grid, &TFDBGrid::CalcCellColors,
                     [&](const QString&, int row, bool highlight, QFont&, QColor&, QColor&) {
                         if (row == 1 && highlight) highlighted = true;
                     });
    f.grid.SetSelected(1, true);
    f.grid.view()->viewport()->grab();
    EXPECT_TRUE(highlighted);
}

TEST(Grid, RowColoursByEvent) {
    Fixture f;
    QObject::connect(&f.grid, &TFDBGrid::CalcCellColors,
                     [](const QString& field, int row, bool, QFont&, QColor&, QColor& back) {
                         if (row == 2 && field == "MB002") back = QColor(255, 255, 175);
                     });
    f.grid.setCurrentRow(0);
    const QImage shot = f.grid.view()->viewport()->grab().toImage();
    const QRect r = f.grid.cellRect(2, 1);
    EXPECT_EQ(QColor(shot.pixel(r.left() + 2, r.top() + 2)), QColor(255, 255, 175));
    const QRect other = f.grid.cellRect(2, 0);
    EXPECT_NE(QColor(shot.pixel(other.left() + 2, other.top() + 2)), QColor(255, 255, 175));
}

TEST(Grid, ReadOnlyExceptChosenColumns) {
    Fixture f;
    QAbstractItemModel* m = f.grid.view()->model();
    EXPECT_FALSE(f.grid.canEditColumn(0)); // the field is read-only
    EXPECT_TRUE(f.grid.canEditColumn(1));
    f.grid.setReadOnly(true);
    EXPECT_FALSE(m->setData(m->index(0, 1), "3"));
    f.grid.setReadOnly(false);
    f.grid.column(2)->setReadOnly(true);
    EXPECT_FALSE(m->setData(m->index(0, 2), "5"));
    EXPECT_TRUE(m->setData(m->index(0, 1), "3"));
    EXPECT_EQ(f.model.item(0, 1)->text(), "3");
}

TEST(Grid, InGridComboEditorStoresTheValue) {
    Fixture f;
    auto* combo = new TKvDBComboBox(&f.grid);
    combo->setObjectName("cboMB002G");
    combo->setMapList(true);
    combo->setItems(
        {QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2"), QString::fromUtf8("3.汇入\t3")});
    combo->hide();
    f.grid.setControlType({"MB002;CustomEdit;cboMB002G"});
    EXPECT_EQ(f.grid.cellText(1, 1), QString::fromUtf8("2:汇出"));
    QTableView* v = f.grid.view();
    v->setCurrentIndex(v->model()->index(0, 1));
    v->edit(v->model()->index(0, 1));
    auto* editor = v->viewport()->findChild<QComboBox*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->currentText(), QString::fromUtf8("1:不处理"));
    editor->setCurrentIndex(2);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits on the next turn of the loop
    EXPECT_EQ(f.model.item(0, 1)->text(), "3");
    EXPECT_EQ(f.grid.cellText(0, 1), QString::fromUtf8("3.汇入"));
}

TEST(Grid, AComboBoundToTheFieldIsItsEditorWithoutASetting) {
    Fixture f;
    auto* combo = new TKvDBComboBox(&f.grid);
    combo->setMapList(true);
    combo->setItems({QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2")});
    combo->setDataField("MB002");
    combo->hide();
    EXPECT_EQ(f.grid.editorControlFor("mb002"), combo);
    EXPECT_EQ(f.grid.cellText(0, 1), QString::fromUtf8("1:不处理"));
    EXPECT_EQ(f.grid.editorControlFor("MB001"), nullptr);
}

TEST(Grid, CheckBoxColumnsToggle) {
    Fixture f;
    f.model.item(0, 1)->setText("N");
    f.grid.setControlType({"MB002;CheckBox;Y;N"});
    EXPECT_TRUE(f.grid.cellText(0, 1).isEmpty());
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, {}, f.grid.cellRect(0, 1).center());
    EXPECT_EQ(f.model.item(0, 1)->text(), "Y");
    f.grid.setReadOnly(true);
    QTest::mouseClick(f.grid.view()->viewport(), Qt::LeftButton, {}, f.grid.cellRect(0, 1).center());
    EXPECT_EQ(f.model.item(0, 1)->text(), "Y");
}

TEST(Grid, CurrencyDisplayStyle) {
    Fixture f;
    EXPECT_EQ(f.grid.cellText(0, 2), "1234.5");
    f.grid.setCurrencyDisplay(true);
    EXPECT_EQ(f.grid.cellText(0, 2), "1,234.50");
    EXPECT_EQ(f.grid.cellText(1, 2), "-10.00");
    EXPECT_EQ(f.grid.view()->model()->index(0, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              int(Qt::AlignRight));
    bool red = false;
    QObject::connect(&f.grid, &TFDBGrid::CalcCellColors,
                     [&](const QString& field, int row, bool, QFont&, QColor& text, QColor&) {
                         if (field == "AMT" && row == 1) red = text == QColor(Qt::red);
                     });
    f.grid.view()->viewport()->grab();
    EXPECT_TRUE(red); // negative amounts in red
}

TEST(Grid, SavedColumnLayouts) {
    Fixture f;
    QTemporaryDir dir;
    f.grid.column(2)->setWidth(150);
    f.grid.column(1)->Title()->setCaption("Mode");
    f.grid.column(2)->setIndex(0); // AMT first
    ASSERT_EQ(f.grid.column(0)->FieldName(), "AMT");
    IniFile ini(dir.filePath("QLDI05C.ugs"));
    f.grid.SaveLayout(ini, "gdHead");
    EXPECT_EQ(ini.readString("gdHead", "0"), "AMT;;150;;" + QString::fromUtf8("金额") + ";;T");

    Fixture g;
    IniFile again(dir.filePath("QLDI05C.ugs"));
    g.grid.LoadLayout(again, "gdHead");
    ASSERT_EQ(g.grid.columnCount(), 3);
    EXPECT_EQ(g.grid.column(0)->FieldName(), "AMT");
    EXPECT_EQ(g.grid.view()->columnWidth(0), 150);
    EXPECT_EQ(g.grid.column(2)->Title()->Caption(), "Mode");
    EXPECT_EQ(g.grid.view()->model()->headerData(2, Qt::Horizontal).toString(), "Mode");
}

TEST(Grid, EventsForColumnsRowsAndKeys) {
    Fixture f;
    int colEnters = 0;
    QList<int> rows;
    QObject::connect(&f.grid, &TFDBGrid::ColEnter, [&] { ++colEnters; });
    QObject::connect(&f.grid, &TFDBGrid::RowChanged, [&](int r) { rows << r; });
    QObject::connect(&f.grid, &TFDBGrid::KeyDown, [](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Space) key = 0;
    });
    f.grid.setCurrentRow(0);
    f.grid.setCurrentColumn(1);
    f.grid.view()->setFocus();
    QTest::keyClick(f.grid.view(), Qt::Key_Down);
    QTest::keyClick(f.grid.view(), Qt::Key_Space);
    EXPECT_EQ(rows, (QList<int>{0, 1}));
    EXPECT_GE(colEnters, 2);
    EXPECT_EQ(f.grid.SelectedField(), "MB002");
    EXPECT_EQ(f.grid.view()->model()->headerData(1, Qt::Vertical).toString(), QString::fromUtf8("▶"));
}

TEST(Grid, HeadersAreSizedByTheTitleFontAndTheFixedIndicator) {
    Fixture f;
    QTableView* view = f.grid.view();
    QHeaderView* titles = view->horizontalHeader();
    QHeaderView* rows = view->verticalHeader();
    QCoreApplication::sendPostedEvents();
    const int line = QFontMetrics(f.grid.TitleFont()->font()).height();
    EXPECT_EQ(titles->height(), line + 8);
    EXPECT_EQ(titles->sizeHint().height(), line + 8);
    // The indicator keeps its width whatever the rows hold, and clicks on it still select rows.
    EXPECT_EQ(rows->width(), 14);
    EXPECT_EQ(rows->sizeHint().width(), 14);
    EXPECT_TRUE(rows->sectionsClickable());
    EXPECT_EQ(view->viewport()->geometry().top(), titles->geometry().bottom() + 1);
    EXPECT_EQ(view->viewport()->geometry().left(), rows->geometry().right() + 1);

    // Two title lines, then a larger title font: the header grows with them.
    f.grid.setTitleLines(2);
    QMetaObject::invokeMethod(view, "updateGeometries");
    EXPECT_EQ(titles->height(), 2 * line + 8);
    f.grid.TitleFont()->setHeight(-20);
    QMetaObject::invokeMethod(view, "updateGeometries");
    EXPECT_EQ(titles->height(), 2 * QFontMetrics(f.grid.TitleFont()->font()).height() + 8);
    EXPECT_GT(titles->height(), 2 * line + 8);
    EXPECT_EQ(view->viewport()->geometry().top(), titles->geometry().bottom() + 1);
}
