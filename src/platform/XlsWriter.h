// A streaming writer of BIFF8 spreadsheet files (.xls) in a compound-file container.
//
// Rows are written one after the other: addRow() starts the next row, writeNumber()/writeText()
// fill its cells. A sheet holds at most 65,536 rows; when it is full the next addRow() continues
// on a new sheet named "<base>_2", "<base>_3", ... so no row is ever dropped. Cell records and
// strings go to temporary files while streaming and the container is assembled at close(), so
// memory stays flat whatever the row count. The target file appears only when close() succeeds.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace kvx {

// Any failure of the writer: the target cannot be created, a write fails (disk full), a cell
// lies outside the sheet. what() is a readable text naming the file.
class XlsWriteError : public std::runtime_error {
public:
    explicit XlsWriteError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

class XlsWriter {
public:
    static constexpr int kMaxRowsPerSheet = 65536;
    static constexpr int kMaxColumns = 256;

    // Prepares the target file; throws XlsWriteError when it cannot be created.
    // sheetBaseName names the first sheet (characters a sheet name may not hold are replaced).
    XlsWriter(const QString& fileName, const QString& sheetBaseName);
    // Without a successful close() the target file is not created.
    ~XlsWriter();
    XlsWriter(const XlsWriter&) = delete;
    XlsWriter& operator=(const XlsWriter&) = delete;

    // Starts the next row and returns its 0-based index within the current sheet; 0 after the
    // first call and whenever a new sheet began (the caller may repeat a header row then).
    int addRow();
    // Cells of the current row; column is 0-based (below kMaxColumns). addRow() must come first.
    void writeNumber(int column, double value);
    void writeText(int column, const QString& text);

    // Writes the file; throws XlsWriteError on failure and then leaves no file behind.
    void close();
    // Drops everything written so far; no file is created.
    void discard();

    int sheetCount() const;
    qint64 totalRows() const;
    QString sheetName(int index) const;
    QString fileName() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace kvx
