// Reads .xls workbooks back through libfreexl, an independent reader of BIFF8 files (tests only).
#pragma once

#include <freexl.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <vector>

namespace kvxtest {

struct XlsCell {
    enum Kind { Null, Number, Text } kind = Null;
    double number = 0;
    QString text;
};

struct XlsSheet {
    QString name;
    unsigned rows = 0;
    unsigned short columns = 0;
    std::vector<std::vector<XlsCell>> cells;
};

// Reads every sheet of a workbook; fails the test when freexl refuses the file.
inline std::vector<XlsSheet> readXlsWorkbook(const QString& path) {
    std::vector<XlsSheet> sheets;
    const void* h = nullptr;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &h);
    EXPECT_EQ(rc, FREEXL_OK) << "freexl_open";
    if (rc != FREEXL_OK) return sheets;
    unsigned count = 0;
    freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned short s = 0; s < count; ++s) {
        XlsSheet sheet;
        const char* name = nullptr;
        freexl_get_worksheet_name(h, s, &name);
        sheet.name = QString::fromUtf8(name);
        EXPECT_EQ(freexl_select_active_worksheet(h, s), FREEXL_OK);
        freexl_worksheet_dimensions(h, &sheet.rows, &sheet.columns);
        for (unsigned r = 0; r < sheet.rows; ++r) {
            std::vector<XlsCell> row(sheet.columns);
            for (unsigned short c = 0; c < sheet.columns; ++c) {
                FreeXL_CellValue v;
                EXPECT_EQ(freexl_get_cell_value(h, r, c, &v), FREEXL_OK);
                switch (v.type) {
                case FREEXL_CELL_INT:
                    row[c] = {XlsCell::Number, double(v.value.int_value), {}};
                    break;
                case FREEXL_CELL_DOUBLE:
                    row[c] = {XlsCell::Number, v.value.double_value, {}};
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    row[c] = {XlsCell::Text, 0, QString::fromUtf8(v.value.text_value)};
                    break;
                default:
                    break;
                }
            }
            sheet.cells.push_back(std::move(row));
        }
        sheets.push_back(std::move(sheet));
    }
    freexl_close(h);
    return sheets;
}

} // namespace kvxtest
