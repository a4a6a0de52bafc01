// The spreadsheet application stand-in "Excel.Application": the automation objects a program drives to
// fill and save a workbook (Application, Workbooks, Workbook, Sheets, Worksheet, Range, Font, Interior).
//
// Cells live in a CellStore per sheet, so memory stays flat while a long export streams rows in. SaveAs
// writes the format the file name asks for: ".xlsx" through libxlsxwriter in constant-memory mode (typed
// cells, number formats, font colours, fills, bold, italic), ".xls" through the platform's BIFF8 writer
// (values only; one sheet). Making the application visible opens the last saved workbook with the
// desktop's default program.
#pragma once

#include "CellStore.h"

#include "platform/Automation.h"

#include <QString>
#include <memory>
#include <vector>

namespace kvxsheet {

class SheetData {
public:
    explicit SheetData(QString name) : name(std::move(name)) {}
    QString name;
    CellStore cells;
};

class WorkbookData {
public:
    std::vector<std::shared_ptr<SheetData>> sheets;
    int active = 0;
    StyleTable styles;
    QString fullName; // file saved to, empty before the first save
    // The last number-format change (style, format -> style): exports set the same format cell after cell.
    int lastFormatBase = -1, lastFormatResult = 0;
    QString lastFormat;
    bool closed = false;
    std::shared_ptr<SheetData> activeSheet() const {
        return sheets.empty() ? nullptr : sheets[size_t(active)];
    }
    QString uniqueSheetName() const;
};

// Writes a workbook to a file, choosing the format by the extension (.xls, else .xlsx). Throws
// kvx::AutomationError with a readable reason; no file is left behind on failure.
void saveWorkbook(const WorkbookData& book, const QString& fileName);

// The application's state, shared with the collection objects it hands out.
struct AppState {
    std::vector<std::shared_ptr<WorkbookData>> books;
    int active = -1;
    int sheetsInNewWorkbook = 3;
};

class ExcelApplication : public kvx::DispatchObject {
public:
    ExcelApplication();
    ~ExcelApplication() override;

    std::shared_ptr<WorkbookData> activeWorkbook() const;
    // The document the application showed last (Visible true after a save).
    QString openedDocument() const { return opened_; }

private:
    void setVisible(bool on);
    std::shared_ptr<AppState> app_ = std::make_shared<AppState>();
    bool visible_ = false;
    bool displayAlerts_ = true;
    QString opened_;
};

} // namespace kvxsheet
