// The spreadsheet stand-in "Excel.Application" created by program identifier, driven through automation
// and read back with independent readers (unzip + the sheet XML for .xlsx, libfreexl for .xls).
#include "TempTree.h"
#include "XlsReader.h"
#include "XlsxReader.h"

#include "CellStore.h"
#include "platform/Automation.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using kvx::Dispatch;
using kvx::Variant;

namespace {

class SpreadsheetTest : public ::testing::Test {
protected:
    kvxtest::TempTree tree;
    kvxtest::ScopedEnv noDesktop{"KVX_NO_DESKTOP_OPEN", "1"};
    std::shared_ptr<Dispatch> app;
    std::shared_ptr<Dispatch> sheet;

    void SetUp() override {
        tree.setRegistryValue("Library", KVX_SPREADSHEET_LIB, "Classes\\Excel.Application");
        tree.setRegistryValue("Factory", "CreateSpreadsheetApplication", "Classes\\Excel.Application");
        app = kvx::CreateOleObject("Excel.Application");
        app->setProperty("SheetsInNewWorkbook", 1);
        app->getProperty("Workbooks").toDispatch()->call("Add");
        sheet = app->getProperty("ActiveSheet").toDispatch();
    }
    std::shared_ptr<Dispatch> cell(int r, int c) { return sheet->call("Cells", {r, c}).toDispatch(); }
    void saveAs(const QString& file) {
        app->getProperty("ActiveWorkbook").toDispatch()->call("SaveAs", {file});
    }
    QString file(const char* name) const { return tree.root() + "/" + name; }
};

} // namespace

TEST_F(SpreadsheetTest, TypedCellsFormatsAndColoursComeBackFromTheXlsxFile) {
    sheet->setProperty("Name", "QLDI05");
    cell(1, 1)->setProperty("NumberFormatLocal", "@");
    cell(1, 1)->setProperty("Value", "单据编号");
    cell(2, 1)->setProperty("NumberFormatLocal", "0_ ");
    cell(2, 1)->setProperty("Value", 42);
    cell(2, 2)->setProperty("NumberFormatLocal", "#,##0.00_ ");
    cell(2, 2)->setProperty("Value", 1234.5);
    cell(2, 3)->setProperty("Value", true);
    auto bad = cell(2, 4);
    bad->getProperty("Font").toDispatch()->setProperty("ColorIndex", 3);
    bad->setProperty("Value", "Error!");
    auto painted = cell(3, 1);
    painted->setProperty("Value", "x");
    painted->getProperty("Interior").toDispatch()->setProperty("Color", 0x00FFFF); // yellow as $00BBGGRR
    painted->getProperty("Font").toDispatch()->setProperty("Color", 0xFF0000);     // blue
    painted->getProperty("Font").toDispatch()->setProperty("Bold", true);
    EXPECT_EQ(cell(2, 1)->getProperty("Value").toInt(), 42);
    EXPECT_EQ(bad->getProperty("Font").toDispatch()->getProperty("ColorIndex").toInt(), 3);
    saveAs(file("typed.xlsx"));

    kvxtest::XlsxReader r(file("typed.xlsx"));
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_EQ(r.sheetNames(), QStringList{"QLDI05"});
    EXPECT_EQ(r.cell(0, 1, 1).type, "s");
    EXPECT_EQ(r.cell(0, 1, 1).value, "单据编号");
    EXPECT_EQ(r.cell(0, 1, 1).numberFormat, "@");
    EXPECT_EQ(r.cell(0, 2, 1).type, "n");
    EXPECT_EQ(r.cell(0, 2, 1).number(), 42);
    EXPECT_EQ(r.cell(0, 2, 1).numberFormat, "0_ ");
    EXPECT_EQ(r.cell(0, 2, 2).number(), 1234.5);
    EXPECT_EQ(r.cell(0, 2, 2).numberFormat, "#,##0.00_ ");
    EXPECT_EQ(r.cell(0, 2, 3).type, "b");
    EXPECT_EQ(r.cell(0, 2, 3).value, "1");
    EXPECT_EQ(r.cell(0, 2, 4).value, "Error!");
    EXPECT_EQ(r.cell(0, 2, 4).fontColor, "FF0000");
    EXPECT_EQ(r.cell(0, 3, 1).fillColor, "FFFF00");
    EXPECT_EQ(r.cell(0, 3, 1).fontColor, "0000FF");
    EXPECT_TRUE(r.cell(0, 3, 1).bold);
    EXPECT_EQ(r.cells(0).size(), 6);
}

TEST_F(SpreadsheetTest, ManyRowsAndALateWriteToAnEarlyRowAreAllSaved) {
    for (int row = 1; row <= 3000; ++row) {
        cell(row, 1)->setProperty("Value", row);
        cell(row, 2)->setProperty("Value", QString("r%1").arg(row));
    }
    // Row 5 has long left memory; changing it still reaches the file.
    cell(5, 2)->setProperty("Value", "late");
    cell(5, 3)->setProperty("Value", 5.5);
    EXPECT_EQ(cell(5, 2)->getProperty("Value").toString(), "late");
    EXPECT_EQ(cell(6, 2)->getProperty("Value").toString(), "r6");
    saveAs(file("rows.xlsx"));
    kvxtest::XlsxReader r(file("rows.xlsx"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rowCount(0), 3000);
    EXPECT_EQ(r.cells(0).size(), 6001);
    for (int row = 1; row <= 3000; ++row) {
        ASSERT_EQ(r.cell(0, row, 1).number(), row);
        ASSERT_EQ(r.cell(0, row, 2).value, row == 5 ? QString("late") : QString("r%1").arg(row));
    }
    EXPECT_EQ(r.cell(0, 5, 3).number(), 5.5);
}

TEST_F(SpreadsheetTest, AnXlsFileNameSavesABiffWorkbook) {
    sheet->setProperty("Name", "QLDI05");
    cell(1, 1)->setProperty("Value", "名称");
    cell(1, 2)->setProperty("Value", "数量");
    cell(3, 1)->setProperty("Value", "汇出");
    cell(3, 2)->setProperty("Value", 7.25);
    saveAs(file("plain.xls"));
    const auto sheets = kvxtest::readXlsWorkbook(file("plain.xls"));
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, "QLDI05");
    ASSERT_EQ(sheets[0].rows, 3u);
    EXPECT_EQ(sheets[0].cells[0][0].text, "名称");
    EXPECT_EQ(sheets[0].cells[1][0].kind, kvxtest::XlsCell::Null);
    EXPECT_EQ(sheets[0].cells[2][0].text, "汇出");
    EXPECT_EQ(sheets[0].cells[2][1].number, 7.25);
}

TEST_F(SpreadsheetTest, RefusalsAreAutomationErrorsAndAFailedSaveLeavesNoFile) {
    EXPECT_THROW(sheet->setProperty("Name", "a/b"), kvx::AutomationError);
    EXPECT_THROW(sheet->setProperty("Name", QString(32, 'x')), kvx::AutomationError);
    EXPECT_THROW(cell(0, 1), kvx::AutomationError);
    EXPECT_THROW(cell(1, 1)->getProperty("Font").toDispatch()->setProperty("ColorIndex", 57),
                 kvx::AutomationError);
    EXPECT_THROW(cell(1, 1)->setProperty("Value", Variant::fromList({1, 2})), kvx::AutomationError);
    EXPECT_THROW(app->setProperty("SheetsInNewWorkbook", 0), kvx::AutomationError);
    const QString missing = file("no/such/folder/out.xlsx");
    EXPECT_THROW(saveAs(missing), kvx::AutomationError);
    EXPECT_FALSE(QFile::exists(missing));
    // A second sheet with cells cannot go into one .xls sheet: refused, not dropped.
    app->getProperty("ActiveWorkbook").toDispatch()->getProperty("Sheets").toDispatch()->call("Add");
    app->call("Cells", {1, 1}).toDispatch()->setProperty("Value", 1);
    EXPECT_THROW(saveAs(file("two.xls")), kvx::AutomationError);
    EXPECT_FALSE(QFile::exists(file("two.xls")));
    EXPECT_TRUE(QDir(tree.root()).entryList({"*.part-*"}).isEmpty());
}

TEST_F(SpreadsheetTest, ShowingTheApplicationOpensTheSavedWorkbookAndQuitForgetsIt) {
    cell(1, 1)->setProperty("Value", 1);
    app->setProperty("Visible", true); // nothing saved yet: nothing to open
    EXPECT_EQ(app->getProperty("OpenedDocument").toString(), "");
    saveAs(file("shown.xlsx"));
    app->setProperty("Visible", true);
    EXPECT_EQ(app->getProperty("OpenedDocument").toString(),
              QFileInfo(file("shown.xlsx")).absoluteFilePath());
    app->call("Quit");
    EXPECT_EQ(app->getProperty("Workbooks").toDispatch()->getProperty("Count").toInt(), 0);
    EXPECT_THROW(app->getProperty("ActiveSheet"), kvx::AutomationError);
    // Objects handed out before still work on their own data.
    EXPECT_EQ(cell(1, 1)->getProperty("Value").toInt(), 1);
}

TEST(SpreadsheetPalette, IndexesAndColoursMatchTheDefaultPalette) {
    EXPECT_EQ(kvxsheet::paletteColor(3), 0xFF0000);
    EXPECT_EQ(kvxsheet::paletteColor(5), 0x0000FF);
    EXPECT_EQ(kvxsheet::paletteIndexOf(0xFE0101), 3);
    EXPECT_THROW(kvxsheet::paletteColor(0), kvx::AutomationError);
}
