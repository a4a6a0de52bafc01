// XlsxReader: an independent reader of .xlsx workbooks for tests. The archive is read with the
// system's unzip (Debian package "unzip"), the parts with pugixml: sheet names, cells with their type
// and value (shared and inline strings), and per cell the number format, font colour, fill colour,
// bold and italic of its style.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace kvxtest {

struct XlsxCell {
    QString type; // "n" number, "s" text, "b" boolean
    QString value;
    QString numberFormat; // "General" when the cell has none
    QString fontColor;    // "RRGGBB", empty for the default
    QString fillColor;    // "RRGGBB", empty for none
    bool bold = false;
    bool italic = false;
    double number() const { return value.toDouble(); }
};

class XlsxReader {
public:
    // Reads the workbook; ok() is false (and error() says why) when it is no readable .xlsx.
    explicit XlsxReader(const QString& fileName);
    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    QStringList sheetNames() const { return sheetNames_; }
    // Cells of a sheet (0-based index) by (row, column), both 1-based.
    const QMap<QPair<int, int>, XlsxCell>& cells(int sheet) const { return sheets_[sheet]; }
    XlsxCell cell(int sheet, int row, int column) const { return sheets_[sheet].value({row, column}); }
    int rowCount(int sheet) const; // highest row holding a cell

private:
    QByteArray part(const QString& name);
    QString error_;
    QString file_;
    QStringList sheetNames_;
    QList<QMap<QPair<int, int>, XlsxCell>> sheets_;
};

} // namespace kvxtest
