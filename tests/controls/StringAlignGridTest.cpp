// The aligned string grid: per-cell settings, editors, check-box cells, rows.
#include "controls/StringAlignGrid.h"

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

namespace {
TStringAlignGrid* makeGrid() {
    auto* g = new TStringAlignGrid;
    g->setColCount(4);
    g->setRowCount(3);
    g->setOptions(g->Options() | TStringAlignGrid::goEditing | TStringAlignGrid::goTabs);
    g->setCells(0, 0, QString::fromUtf8("查询字段"));
    g->resize(500, 200);
    g->show();
    return g;
}
QWidget* openEditor(TStringAlignGrid* g, int col, int row) {
    g->table()->setCurrentCell(row, col);
    g->table()->edit(g->table()->model()->index(row, col));
    return g->table()->viewport()->focusWidget() ? g->table()->viewport()->focusWidget()
                                                 : QApplication::focusWidget();
}
} // namespace

TEST(StringAlignGrid, AlignmentPrecedence) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    EXPECT_EQ(g->cellAlignment(1, 1), TStringAlignGrid::taLeftJustify);
    g->setAlignCol(1, TStringAlignGrid::taRightJustify);
    g->setAlignRow(1, TStringAlignGrid::taCenter);
    g->setAlignCell(1, 2, TStringAlignGrid::taLeftJustify);
    EXPECT_EQ(g->cellAlignment(1, 1), TStringAlignGrid::taCenter);       // row over column
    EXPECT_EQ(g->cellAlignment(1, 2), TStringAlignGrid::taLeftJustify);  // cell over all
    EXPECT_EQ(g->cellAlignment(1, 0), TStringAlignGrid::taRightJustify); // column
    EXPECT_EQ(g->Cells(0, 0), QString::fromUtf8("查询字段"));
    EXPECT_FALSE(g->table()->item(0, 0)->flags() & Qt::ItemIsEditable); // titles are not edited
}

TEST(StringAlignGrid, PickListEditorKeepsTheDisplayText) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    g->setCellPickList(2, 1, {QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2")});
    QWidget* ed = openEditor(g.get(), 2, 1);
    auto* combo = qobject_cast<QComboBox*>(ed);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemText(1), QString::fromUtf8("2:汇出"));
    combo->setCurrentIndex(1);
    QString edited;
    QObject::connect(g.get(), &TStringAlignGrid::SetEditText,
                     [&](int, int, const QString& t) { edited = t; });
    g->commitEditor();
    EXPECT_EQ(g->Cells(2, 1), QString::fromUtf8("2:汇出"));
    EXPECT_EQ(edited, QString::fromUtf8("2:汇出"));
}

TEST(StringAlignGrid, MaskAndNumberCells) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    g->setCellEditMask(2, 1, "9999/99/99;1; ");
    auto* line = qobject_cast<QLineEdit*>(openEditor(g.get(), 2, 1));
    ASSERT_NE(line, nullptr);
    line->home(false);
    QTest::keyClicks(line, "20240131");
    EXPECT_EQ(g->editText(), "2024/01/31");
    g->commitEditor();
    EXPECT_EQ(g->Cells(2, 1), "2024/01/31");

    g->setCellNumber(2, 2, true);
    line = qobject_cast<QLineEdit*>(openEditor(g.get(), 2, 2));
    ASSERT_NE(line, nullptr);
    line->clear();
    QTest::keyClicks(line, "-12a.5.");
    g->commitEditor();
    EXPECT_EQ(g->Cells(2, 2), "-12.5");
}

TEST(StringAlignGrid, CheckBoxCellsToggleBetweenTheirTexts) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    g->setCellCheckBox(2, 1, "Y;N");
    g->setCells(2, 1, "N");
    EXPECT_FALSE(g->isCellChecked(2, 1));
    const QRect r = g->table()->visualItemRect(g->table()->item(1, 2));
    QTest::mouseClick(g->table()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(g->Cells(2, 1), "Y");
    EXPECT_TRUE(g->isCellChecked(2, 1));
    QTest::mouseClick(g->table()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(g->Cells(2, 1), "N");
    g->resetCell(2, 1);
    EXPECT_TRUE(g->cellCheckBox(2, 1).isEmpty());
    EXPECT_EQ(g->Cells(2, 1), "N"); // the text stays
}

TEST(StringAlignGrid, RowsCarryTheirCellSettings) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    g->setCellNumber(2, 2, true);
    g->setCells(0, 2, "B");
    g->InsertRow(1);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_TRUE(g->isCellNumber(2, 3));
    EXPECT_EQ(g->Cells(0, 3), "B");
    g->DeleteRow(1);
    EXPECT_TRUE(g->isCellNumber(2, 2));
    g->DeleteRow(0); // a title row is never deleted
    EXPECT_EQ(g->RowCount(), 3);
}

TEST(StringAlignGrid, SelectCellMayRefuse) {
    std::unique_ptr<TStringAlignGrid> g(makeGrid());
    g->table()->setCurrentCell(1, 1);
    QObject::connect(g.get(), &TStringAlignGrid::SelectCell, [](int col, int, bool& can) { can = col != 3; });
    g->table()->setCurrentCell(1, 3);
    EXPECT_EQ(g->Col(), 1);
    g->table()->setCurrentCell(2, 2);
    EXPECT_EQ(g->Col(), 2);
    EXPECT_EQ(g->Row(), 2);
}
