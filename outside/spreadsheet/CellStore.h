// CellStore: the cells of one worksheet of the spreadsheet stand-in, kept so that memory stays flat.
//
// Cells may be written in any order, but the usual writer goes row by row: the last few rows stay in
// memory and older ones move to a temporary spool file in row order. A write to a row already spooled
// is kept in a small "late" map that overrides the spool when the sheet is read back. Reading the sheet
// (forEach) merges both in row and column order, which is what libxlsxwriter's constant-memory mode and
// the .xls writer need.
#pragma once

#include "platform/Variant.h"

#include <QHash>
#include <QString>
#include <QTemporaryFile>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace kvxsheet {

// The look of a cell: number format, font and fill. Colours are 0xRRGGBB, -1 for the default.
struct CellStyle {
    QString numberFormat;
    int fontColor = -1;
    int fillColor = -1;
    bool bold = false;
    bool italic = false;
    bool operator==(const CellStyle& o) const {
        return numberFormat == o.numberFormat && fontColor == o.fontColor && fillColor == o.fillColor &&
               bold == o.bold && italic == o.italic;
    }
};
size_t qHash(const CellStyle& s, size_t seed = 0);

// Distinct styles of a workbook, numbered from 0 (the default style).
class StyleTable {
public:
    StyleTable() { styles_.push_back(CellStyle()); }
    int indexOf(const CellStyle& s);
    const CellStyle& at(int i) const { return styles_[size_t(i)]; }
    int count() const { return int(styles_.size()); }

private:
    std::vector<CellStyle> styles_;
    QHash<CellStyle, int> index_;
};

struct Cell {
    enum Kind : uint8_t { Empty, Number, Text, Boolean };
    Kind kind = Empty;
    double number = 0;
    QString text;
    int style = 0;
    bool isBlank() const { return kind == Empty && style == 0; }
};

class CellStore {
public:
    static constexpr int kOpenRows = 8; // rows kept in memory behind the newest one
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;

    CellStore();
    ~CellStore();
    CellStore(const CellStore&) = delete;
    CellStore& operator=(const CellStore&) = delete;

    // The cell at (row, column), 0-based, for changing; valid until the next call. Throws
    // kvx::AutomationError outside the sheet.
    Cell& cellForWrite(int row, int column);
    // A copy of the cell (empty when never written).
    Cell cell(int row, int column) const;
    // Every non-blank cell in row, then column order.
    void forEach(const std::function<void(int row, int column, const Cell&)>& fn) const;
    bool isEmpty() const { return open_.empty() && late_.empty() && spooledCells_ == 0; }
    // Highest row and column written, -1 when none.
    int lastRow() const { return lastRow_; }
    int lastColumn() const { return lastColumn_; }

private:
    void spoolRowsBelow(int row);
    void appendToSpool(int row, int column, const Cell& c);
    void flushBuffer() const;
    Cell findSpooled(int row, int column) const;

    std::map<int, std::vector<Cell>> open_;    // rows in memory
    std::map<std::pair<int, int>, Cell> late_; // writes to rows already spooled
    int spooledBelow_ = 0;                     // rows below this are in the spool
    int lastRow_ = -1, lastColumn_ = -1;
    qint64 spooledCells_ = 0;
    mutable std::unique_ptr<QTemporaryFile> spool_;
    mutable QByteArray buffer_;
};

// Converts a variant to a cell value (numbers, dates as serial numbers, texts, booleans, empty).
void assignValue(Cell& cell, const kvx::Variant& value);
kvx::Variant valueOf(const Cell& cell);

// The 56 colours of the spreadsheet application's default palette (index 1..56), as 0xRRGGBB.
int paletteColor(int index);
// The palette index nearest to a colour.
int paletteIndexOf(int rgb);

} // namespace kvxsheet
