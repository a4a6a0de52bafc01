// A grid bound to a dataset rebuilds its columns once per field-layout batch, with the same columns,
// titles, widths and order as when every change rebuilt them; its title row keeps its height.
#include "BoundGrid.h"
#include "controls/KvDBComboBox.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

struct Bound : kvxtest::BoundGrid {
    Bound() : BoundGrid({"MB001", "MB002", "MB005", "CREATOR", "MODI_DATE", "FLAG"}) {}
    // What connecting a module does to its main dataset: labels, hidden audit fields, widths, an order.
    void setUp() {
        ds.FieldByName("MB001")->SetDisplayLabel(QString::fromUtf8("文档编号"));
        ds.FieldByName("MB002")->SetDisplayLabel(QString::fromUtf8("传输方式"));
        ds.FieldByName("MB005")->SetDisplayLabel(QString::fromUtf8("备注"));
        ds.FieldByName("MB005")->SetDisplayWidth(30);
        for (const char* audit : {"CREATOR", "MODI_DATE", "FLAG"}) {
            ds.FieldByName(audit)->SetDisplayLabel(QString::fromUtf8("审计") + audit);
            ds.FieldByName(audit)->SetVisible(false);
        }
        ds.FieldByName("MB005")->SetIndex(1);
    }
    QStringList columns() const {
        QStringList out;
        for (int i = 0; i < grid->columnCount(); ++i)
            out << QStringLiteral("%1|%2|%3|%4")
                       .arg(grid->column(i)->FieldName(), grid->column(i)->Title()->Caption())
                       .arg(grid->column(i)->Width())
                       .arg(grid->view()->columnWidth(i));
        return out;
    }
};

} // namespace

TEST(GridReset, OneRebuildPerBatchWithTheSameColumns) {
    Bound plain;
    QSignalSpy plainResets(plain.grid->view()->model(), &QAbstractItemModel::modelReset);
    plain.setUp();
    EXPECT_GE(plainResets.count(), 10);

    Bound batched;
    batched.grid->column(0)->Title()->setCaption(QString::fromUtf8("单号")); // set by name: survives
    plain.grid->column(0)->Title()->setCaption(QString::fromUtf8("单号"));
    QSignalSpy resets(batched.grid->view()->model(), &QAbstractItemModel::modelReset);
    {
        const TFieldUpdate batch(&batched.ds);
        batched.setUp();
        EXPECT_EQ(resets.count(), 0);
        EXPECT_EQ(batched.grid->columnCount(), 6) << "the grid waits for the end of the batch";
    }
    EXPECT_EQ(resets.count(), 1);
    plain.grid->RebuildColumns();
    EXPECT_EQ(batched.columns(), plain.columns());
    ASSERT_EQ(batched.grid->columnCount(), 3);
    EXPECT_EQ(batched.grid->column(0)->Title()->Caption(), QString::fromUtf8("单号"));
    EXPECT_EQ(batched.grid->column(1)->FieldName(), "MB005");
    EXPECT_GT(batched.grid->column(1)->Width(), batched.grid->column(2)->Width());
    EXPECT_EQ(batched.grid->currentRow(), 0);

    // A real change after the batch still rebuilds at once; a repeated one does not.
    batched.ds.FieldByName("MB002")->SetDisplayLabel(QString::fromUtf8("方式"));
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(batched.grid->column(2)->Title()->Caption(), QString::fromUtf8("方式"));
    batched.ds.FieldByName("MB002")->SetDisplayLabel(QString::fromUtf8("方式"));
    EXPECT_EQ(resets.count(), 2);
}

TEST(GridReset, TitleRowHeightFollowsTheTitleFontAndLines) {
    Bound b;
    QHeaderView* titles = b.grid->titles();
    const int line = QFontMetrics(b.grid->TitleFont()->font()).height();
    EXPECT_EQ(titles->sizeHint().height(), line + 8);
    QCoreApplication::processEvents(); // the view's delayed layout
    EXPECT_EQ(titles->height(), line + 8) << "the view lays the title row out at that height";
    b.grid->setTitleLines(2);
    EXPECT_EQ(titles->sizeHint().height(), 2 * line + 8);
    // Wider titles do not change the height; a grid without columns has no title row.
    b.ds.FieldByName("MB001")->SetDisplayLabel(QString::fromUtf8("一个很长很长很长的文档编号标题"));
    EXPECT_EQ(titles->sizeHint().height(), 2 * line + 8);
    b.ds.Close();
    EXPECT_EQ(b.grid->columnCount(), 0);
    EXPECT_EQ(titles->sizeHint(), QSize(0, 0));
}

TEST(GridReset, AHiddenGridShowsItsCurrentRowWhenShown) {
    TClientDataSet ds;
    TDataSource src;
    QWidget form;
    auto* grid = new TFDBGrid(&form);
    ds.FieldDefs().Add("MB001", FieldType::String, 10);
    ds.CreateDataSet();
    for (int i = 0; i < 60; ++i) {
        ds.Append();
        ds.FindField("MB001")->SetAsString(QStringLiteral("K%1").arg(i, 2, 10, QLatin1Char('0')));
        ds.Post();
    }
    src.SetDataSet(&ds);
    grid->setDataSource(&src);
    grid->resize(300, 160);
    ds.Last();
    EXPECT_EQ(grid->currentRow(), 59);
    EXPECT_EQ(grid->view()->verticalScrollBar()->value(), 0) << "nothing scrolls while hidden";
    form.show();
    const QRect cell = grid->view()->visualRect(grid->view()->currentIndex());
    EXPECT_TRUE(grid->view()->viewport()->rect().intersects(cell)) << "the last row is in view";
    EXPECT_GT(grid->view()->verticalScrollBar()->value(), 0);
}

// A column shown through a drop-down is widened to its longest item text, upright or italic, and no
// further; a fitted or plain column keeps its width.
TEST(GridReset, MappedColumnsFitTheirLongestItem) {
    Bound b;
    auto* combo = new TKvDBComboBox(b.grid, TKvDBComboBox::csDropDownList);
    combo->setDataField(QStringLiteral("MB002"));
    combo->setMapList(true);
    const QString longest = QStringLiteral("2:Transferred to head office");
    combo->setItems({QStringLiteral("1:Basic data\t1"), longest + QStringLiteral("\t2")});
    b.ds.FieldByName("MB002")->SetDisplayWidth(4);
    const int mb001 = b.grid->column(0)->Width();

    b.grid->FitMappedColumns();
    QFont italic = b.grid->font();
    italic.setItalic(true);
    const int text = qMax(QFontMetrics(b.grid->font()).horizontalAdvance(longest),
                          QFontMetrics(italic).horizontalAdvance(longest));
    const int ch = QFontMetrics(b.grid->font()).horizontalAdvance('0');
    EXPECT_EQ(b.grid->column(1)->FieldName(), "MB002");
    EXPECT_GE(b.grid->view()->columnWidth(1), text + 10) << "room for the cell's margins";
    EXPECT_LE(b.grid->view()->columnWidth(1), text + 12 + ch);
    EXPECT_EQ(b.grid->column(0)->Width(), mb001);

    const int fitted = b.ds.FieldByName("MB002")->DisplayWidth();
    b.grid->FitMappedColumns();
    EXPECT_EQ(b.ds.FieldByName("MB002")->DisplayWidth(), fitted);
    b.ds.FieldByName("MB002")->SetDisplayWidth(fitted + 20); // wider than needed: kept
    b.grid->FitMappedColumns();
    EXPECT_EQ(b.ds.FieldByName("MB002")->DisplayWidth(), fitted + 20);
}

// In the windows' face (no italic of its own, so the italic is the upright slanted) the fit measures
// upright only and widens the columns exactly as measuring both styles does.
TEST(GridReset, MappedColumnsInTheWindowsFaceFitAsMeasuredInBothStyles) {
    for (const char* family : {"宋体", "DejaVu Sans"}) {
        Bound b;
        QFont font(QString::fromUtf8(family));
        font.setPixelSize(13);
        b.grid->setFont(font);
        auto* combo = new TKvDBComboBox(b.grid, TKvDBComboBox::csDropDownList);
        combo->setDataField(QStringLiteral("MB002"));
        combo->setMapList(true);
        const QStringList shown = {QString::fromUtf8("1:不处理"), QString::fromUtf8("2:汇出到总公司的文件"),
                                   QStringLiteral("3:Imported (W)")};
        combo->setItems({shown[0] + "\t1", shown[1] + "\t2", shown[2] + "\t3"});
        b.ds.FieldByName("MB002")->SetDisplayWidth(2);

        b.grid->FitMappedColumns();
        QFont italic = font;
        italic.setItalic(true);
        int widest = 0;
        for (const QString& text : shown)
            widest = qMax(widest, qMax(QFontMetrics(font).horizontalAdvance(text),
                                       QFontMetrics(italic).horizontalAdvance(text)));
        const int ch = QFontMetrics(font).horizontalAdvance('0');
        EXPECT_EQ(b.ds.FieldByName("MB002")->DisplayWidth(), (widest + 4 + ch - 1) / ch) << family;
    }
}

// A column is as wide as its field or its title, whichever is wider: a title known to fit is not
// measured, and the widths are those measuring every title gives.
TEST(GridReset, ColumnsAreWideEnoughForTheirTitlesMeasuredOrNot) {
    Bound b;
    b.grid->TitleFont()->setName(QString::fromUtf8("宋体"));
    b.grid->TitleFont()->setHeight(-13);
    b.setUp();
    b.ds.FieldByName("MB001")->SetDisplayWidth(1); // a one-character field: its title decides
    b.ds.FieldByName("MB002")->SetDisplayLabel(QString::fromUtf8("传输方式（导出或导入）"));
    b.ds.FieldByName("MB002")->SetDisplayWidth(3);
    b.grid->RebuildColumns();
    const QFontMetrics title(b.grid->TitleFont()->font());
    const int digit = QFontMetrics(b.grid->font()).horizontalAdvance('0');
    ASSERT_EQ(b.grid->columnCount(), 3);
    int titleDecides = 0;
    for (int i = 0; i < b.grid->columnCount(); ++i) {
        const TColumn* c = b.grid->column(i);
        SCOPED_TRACE(c->FieldName().toStdString());
        const int field = qMax(20, b.ds.FieldByName(c->FieldName())->DisplayWidth() * digit + 8);
        const int needed = title.horizontalAdvance(c->Title()->Caption()) + 10;
        EXPECT_EQ(c->Width(), qMax(field, needed));
        EXPECT_EQ(b.grid->view()->columnWidth(i), c->Width());
        if (needed > field) ++titleDecides;
    }
    EXPECT_EQ(titleDecides, 2) << "MB001 and MB002 are widened to their titles, MB005 is not";
}
