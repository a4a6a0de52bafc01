#include "SpreadsheetApp.h"

#include "platform/XlsWriter.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QUrl>

#include <xlsxwriter.h>

Q_LOGGING_CATEGORY(lcSheet, "kvx.spreadsheet")

namespace kvxsheet {

using kvx::AutomationError;
using kvx::Dispatch;
using kvx::DispatchObject;
using kvx::Variant;
using kvx::VariantList;

namespace {

constexpr int kMaxTextLength = 32767;
constexpr int kColorIndexAutomatic = -4105;

[[noreturn]] void fail(const QString& why) {
    throw AutomationError(why.toStdString());
}

bool is(const QString& name, const char* what) {
    return name.compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

// Platform colour numbers are $00BBGGRR; the files want 0xRRGGBB.
int rgbOf(qint64 bgr) {
    return int(((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF));
}
qint64 bgrOf(int rgb) {
    return rgbOf(rgb);
}

int argInt(const VariantList& args, int i, const char* what) {
    if (i >= args.size() || args[i].isEmptyOrNull())
        fail(QStringLiteral("%1 is missing").arg(QLatin1String(what)));
    return int(args[i].toInt());
}

// The part of a cell's look that Font and Interior change.
class CellRef {
public:
    CellRef(std::shared_ptr<WorkbookData> book, std::shared_ptr<SheetData> sheet, int row, int column)
        : book_(std::move(book)), sheet_(std::move(sheet)), row_(row), column_(column) {}

    CellStyle style() const { return book_->styles.at(sheet_->cells.cell(row_, column_).style); }
    template <class F> void changeStyle(F&& f) {
        Cell& c = sheet_->cells.cellForWrite(row_, column_);
        CellStyle s = book_->styles.at(c.style);
        f(s);
        c.style = book_->styles.indexOf(s);
    }

protected:
    std::shared_ptr<WorkbookData> book_;
    std::shared_ptr<SheetData> sheet_;
    int row_, column_;
};

class FontObject : public Dispatch, private CellRef {
public:
    using CellRef::CellRef;
    Variant invoke(const QString& name, VariantList&) override {
        fail(QStringLiteral("Font has no method ") + name);
    }
    Variant getProperty(const QString& name) override {
        const CellStyle s = style();
        if (is(name, "ColorIndex"))
            return s.fontColor < 0 ? kColorIndexAutomatic : paletteIndexOf(s.fontColor);
        if (is(name, "Color")) return bgrOf(s.fontColor < 0 ? 0 : s.fontColor);
        if (is(name, "Bold")) return s.bold;
        if (is(name, "Italic")) return s.italic;
        fail(QStringLiteral("Font has no property ") + name);
    }
    void setProperty(const QString& name, const Variant& v) override {
        if (is(name, "ColorIndex")) {
            const int i = int(v.toInt());
            const int rgb = i == kColorIndexAutomatic ? -1 : paletteColor(i);
            changeStyle([&](CellStyle& s) { s.fontColor = rgb; });
        } else if (is(name, "Color")) {
            const int rgb = rgbOf(v.toInt());
            changeStyle([&](CellStyle& s) { s.fontColor = rgb; });
        } else if (is(name, "Bold")) {
            const bool b = v.toBool();
            changeStyle([&](CellStyle& s) { s.bold = b; });
        } else if (is(name, "Italic")) {
            const bool b = v.toBool();
            changeStyle([&](CellStyle& s) { s.italic = b; });
        } else {
            fail(QStringLiteral("Font has no property ") + name);
        }
    }
    QString className() const override { return QStringLiteral("Font"); }
};

class InteriorObject : public Dispatch, private CellRef {
public:
    using CellRef::CellRef;
    Variant invoke(const QString& name, VariantList&) override {
        fail(QStringLiteral("Interior has no method ") + name);
    }
    Variant getProperty(const QString& name) override {
        const CellStyle s = style();
        if (is(name, "ColorIndex"))
            return s.fillColor < 0 ? kColorIndexAutomatic : paletteIndexOf(s.fillColor);
        if (is(name, "Color")) return bgrOf(s.fillColor < 0 ? 0xFFFFFF : s.fillColor);
        fail(QStringLiteral("Interior has no property ") + name);
    }
    void setProperty(const QString& name, const Variant& v) override {
        int rgb = -1;
        if (is(name, "ColorIndex")) {
            const int i = int(v.toInt());
            rgb = i == kColorIndexAutomatic ? -1 : paletteColor(i);
        } else if (is(name, "Color")) {
            rgb = rgbOf(v.toInt());
        } else {
            fail(QStringLiteral("Interior has no property ") + name);
        }
        changeStyle([&](CellStyle& s) { s.fillColor = rgb; });
    }
    QString className() const override { return QStringLiteral("Interior"); }
};

// One cell. Implemented without a member table: an export creates one per written cell.
class RangeObject : public Dispatch, private CellRef {
public:
    using CellRef::CellRef;
    Variant invoke(const QString& name, VariantList& args) override {
        if (is(name, "Select") || is(name, "Activate")) return true;
        if (is(name, "ClearContents")) {
            assignValue(sheet_->cells.cellForWrite(row_, column_), Variant());
            return true;
        }
        (void)args;
        fail(QStringLiteral("Range has no method ") + name);
    }
    Variant getProperty(const QString& name) override {
        if (is(name, "Value") || is(name, "Value2")) return valueOf(sheet_->cells.cell(row_, column_));
        if (is(name, "Text")) return valueOf(sheet_->cells.cell(row_, column_)).toString();
        if (is(name, "NumberFormatLocal") || is(name, "NumberFormat")) {
            const QString f = style().numberFormat;
            return f.isEmpty() ? QStringLiteral("General") : f;
        }
        if (is(name, "Font"))
            return Variant(std::shared_ptr<Dispatch>(new FontObject(book_, sheet_, row_, column_)));
        if (is(name, "Interior"))
            return Variant(std::shared_ptr<Dispatch>(new InteriorObject(book_, sheet_, row_, column_)));
        if (is(name, "Row")) return row_ + 1;
        if (is(name, "Column")) return column_ + 1;
        fail(QStringLiteral("Range has no property ") + name);
    }
    void setProperty(const QString& name, const Variant& v) override {
        if (is(name, "Value") || is(name, "Value2")) {
            assignValue(sheet_->cells.cellForWrite(row_, column_), v);
        } else if (is(name, "NumberFormatLocal") || is(name, "NumberFormat")) {
            QString f = v.toString();
            if (f.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0) f.clear();
            Cell& c = sheet_->cells.cellForWrite(row_, column_);
            if (c.style != book_->lastFormatBase || f != book_->lastFormat) {
                CellStyle s = book_->styles.at(c.style);
                s.numberFormat = f;
                book_->lastFormatBase = c.style;
                book_->lastFormat = f;
                book_->lastFormatResult = book_->styles.indexOf(s);
            }
            c.style = book_->lastFormatResult;
        } else {
            fail(QStringLiteral("Range has no property ") + name);
        }
    }
    QString className() const override { return QStringLiteral("Range"); }
};

bool validSheetName(const QString& name) {
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    if (name.trimmed().isEmpty() || name.size() > 31) return false;
    for (QChar c : name)
        if (forbidden.contains(c)) return false;
    return true;
}

class WorksheetObject : public DispatchObject {
public:
    WorksheetObject(std::shared_ptr<WorkbookData> book, std::shared_ptr<SheetData> sheet)
        : DispatchObject(QStringLiteral("Worksheet")), book_(std::move(book)), sheet_(std::move(sheet)) {
        addProperty(
            QStringLiteral("Name"), [this] { return Variant(sheet_->name); },
            [this](const Variant& v) { rename(v.toString()); });
        addProperty(QStringLiteral("Index"), [this] { return Variant(indexOf() + 1); });
        addMethod(QStringLiteral("Cells"), [this](VariantList& args) {
            const int row = argInt(args, 0, "row"), column = argInt(args, 1, "column");
            if (row < 1 || column < 1)
                fail(QStringLiteral("cell (%1, %2) lies outside the sheet").arg(row).arg(column));
            return Variant(std::shared_ptr<Dispatch>(new RangeObject(book_, sheet_, row - 1, column - 1)));
        });
        addMethod(QStringLiteral("Activate"), [this](VariantList&) {
            book_->active = indexOf();
            return Variant(true);
        });
    }

private:
    int indexOf() const {
        for (size_t i = 0; i < book_->sheets.size(); ++i)
            if (book_->sheets[i] == sheet_) return int(i);
        return -1;
    }
    void rename(const QString& name) {
        if (!validSheetName(name))
            fail(QStringLiteral("\"%1\" is no valid sheet name (1 to 31 characters, none of []:*?/\\)")
                     .arg(name));
        for (const auto& s : book_->sheets)
            if (s != sheet_ && s->name.compare(name, Qt::CaseInsensitive) == 0)
                fail(QStringLiteral("a sheet named \"%1\" exists already").arg(name));
        sheet_->name = name;
    }
    std::shared_ptr<WorkbookData> book_;
    std::shared_ptr<SheetData> sheet_;
};

class SheetsObject : public DispatchObject {
public:
    explicit SheetsObject(std::shared_ptr<WorkbookData> book)
        : DispatchObject(QStringLiteral("Sheets")), book_(std::move(book)) {
        addProperty(QStringLiteral("Count"), [this] { return Variant(int(book_->sheets.size())); });
        addMethod(QStringLiteral("Item"), [this](VariantList& args) { return item(arg(args, 0)); });
        addMethod(QStringLiteral("Add"), [this](VariantList&) {
            book_->sheets.push_back(std::make_shared<SheetData>(book_->uniqueSheetName()));
            book_->active = int(book_->sheets.size()) - 1;
            return item(Variant(int(book_->sheets.size())));
        });
    }

private:
    Variant item(const Variant& which) {
        if (which.isString()) {
            for (const auto& s : book_->sheets)
                if (s->name.compare(which.toString(), Qt::CaseInsensitive) == 0)
                    return Variant(std::shared_ptr<Dispatch>(new WorksheetObject(book_, s)));
            fail(QStringLiteral("no sheet named \"%1\"").arg(which.toString()));
        }
        const qint64 i = which.toInt();
        if (i < 1 || i > qint64(book_->sheets.size())) fail(QStringLiteral("no sheet number %1").arg(i));
        return Variant(std::shared_ptr<Dispatch>(new WorksheetObject(book_, book_->sheets[size_t(i - 1)])));
    }
    std::shared_ptr<WorkbookData> book_;
};

class WorkbookObject : public DispatchObject {
public:
    explicit WorkbookObject(std::shared_ptr<WorkbookData> book)
        : DispatchObject(QStringLiteral("Workbook")), book_(std::move(book)) {
        auto sheets = [this] { return Variant(std::shared_ptr<Dispatch>(new SheetsObject(book_))); };
        addProperty(QStringLiteral("Sheets"), sheets);
        addProperty(QStringLiteral("Worksheets"), sheets);
        addProperty(QStringLiteral("ActiveSheet"), [this] {
            return Variant(std::shared_ptr<Dispatch>(new WorksheetObject(book_, book_->activeSheet())));
        });
        addProperty(QStringLiteral("FullName"), [this] { return Variant(book_->fullName); });
        addProperty(QStringLiteral("Name"), [this] {
            return Variant(book_->fullName.isEmpty() ? QStringLiteral("Book1")
                                                     : QFileInfo(book_->fullName).fileName());
        });
        addMethod(QStringLiteral("SaveAs"), [this](VariantList& args) {
            const QString name = kvx::textArg(args, 0);
            if (name.isEmpty()) fail(QStringLiteral("SaveAs needs a file name"));
            const QString full = QFileInfo(name).absoluteFilePath();
            saveWorkbook(*book_, full);
            book_->fullName = full;
            return Variant(true);
        });
        addMethod(QStringLiteral("Save"), [this](VariantList&) {
            if (book_->fullName.isEmpty())
                fail(QStringLiteral("the workbook has no file name yet; use SaveAs"));
            saveWorkbook(*book_, book_->fullName);
            return Variant(true);
        });
        addMethod(QStringLiteral("Close"), [this](VariantList& args) {
            if (arg(args, 0).type() == kvx::VarType::Bool && arg(args, 0).toBool()) {
                const QString name = kvx::textArg(args, 1);
                const QString target = name.isEmpty() ? book_->fullName : QFileInfo(name).absoluteFilePath();
                if (target.isEmpty()) fail(QStringLiteral("the workbook has no file name to save to"));
                saveWorkbook(*book_, target);
                book_->fullName = target;
            }
            book_->closed = true;
            return Variant(true);
        });
    }

private:
    std::shared_ptr<WorkbookData> book_;
};

// --- saving ---

void saveXlsx(const WorkbookData& book, const QString& fileName) {
    QTemporaryFile part(fileName + QStringLiteral(".part-XXXXXX"));
    if (!part.open()) fail(QStringLiteral("%1 cannot be created: %2").arg(fileName, part.errorString()));
    part.close();
    const QByteArray partName = QFile::encodeName(part.fileName());
    QByteArray tmpdir = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(partName.constData(), &options);
    if (!wb) fail(QStringLiteral("%1 cannot be created").arg(fileName));
    std::vector<lxw_format*> formats(size_t(book.styles.count()), nullptr);
    auto formatOf = [&](int i) -> lxw_format* {
        if (i <= 0) return nullptr;
        if (!formats[size_t(i)]) {
            const CellStyle& s = book.styles.at(i);
            lxw_format* f = workbook_add_format(wb);
            if (!s.numberFormat.isEmpty()) format_set_num_format(f, s.numberFormat.toUtf8().constData());
            if (s.fontColor >= 0) format_set_font_color(f, lxw_color_t(s.fontColor));
            if (s.fillColor >= 0) {
                format_set_pattern(f, LXW_PATTERN_SOLID);
                format_set_bg_color(f, lxw_color_t(s.fillColor));
            }
            if (s.bold) format_set_bold(f);
            if (s.italic) format_set_italic(f);
            formats[size_t(i)] = f;
        }
        return formats[size_t(i)];
    };
    QString failure;
    for (const auto& sheet : book.sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(wb, sheet->name.toUtf8().constData());
        if (!ws) {
            failure = QStringLiteral("the sheet name \"%1\" is refused").arg(sheet->name);
            break;
        }
        try {
            sheet->cells.forEach([&](int row, int column, const Cell& c) {
                if (!failure.isEmpty()) return;
                lxw_format* f = formatOf(c.style);
                lxw_error err = LXW_NO_ERROR;
                switch (c.kind) {
                case Cell::Number:
                    err = worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(column), c.number, f);
                    break;
                case Cell::Boolean:
                    err = worksheet_write_boolean(ws, lxw_row_t(row), lxw_col_t(column), c.number != 0, f);
                    break;
                case Cell::Text: {
                    QString t = c.text;
                    if (t.size() > kMaxTextLength) {
                        qCWarning(lcSheet)
                            << "text of cell" << row + 1 << column + 1 << "cut to" << kMaxTextLength;
                        t.truncate(kMaxTextLength);
                    }
                    err = worksheet_write_string(ws, lxw_row_t(row), lxw_col_t(column),
                                                 t.toUtf8().constData(), f);
                    break;
                }
                case Cell::Empty:
                    err = worksheet_write_blank(ws, lxw_row_t(row), lxw_col_t(column), f);
                    break;
                }
                if (err != LXW_NO_ERROR)
                    failure = QStringLiteral("cell (%1, %2): %3")
                                  .arg(row + 1)
                                  .arg(column + 1)
                                  .arg(QString::fromUtf8(lxw_strerror(err)));
            });
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        if (!failure.isEmpty()) break;
    }
    const lxw_error closed = workbook_close(wb);
    if (failure.isEmpty() && closed != LXW_NO_ERROR) failure = QString::fromUtf8(lxw_strerror(closed));
    if (!failure.isEmpty()) fail(QStringLiteral("%1 not written: %2").arg(fileName, failure));
    QFile::remove(fileName);
    if (!QFile::rename(part.fileName(), fileName))
        fail(QStringLiteral("%1 cannot be replaced").arg(fileName));
    part.setAutoRemove(false);
}

void saveXls(const WorkbookData& book, const QString& fileName) {
    for (size_t i = 1; i < book.sheets.size(); ++i)
        if (!book.sheets[i]->cells.isEmpty())
            fail(QStringLiteral("%1: a .xls file is written from one sheet; \"%2\" holds cells too")
                     .arg(fileName, book.sheets[i]->name));
    try {
        kvx::XlsWriter w(fileName, book.sheets.empty() ? QStringLiteral("Sheet1") : book.sheets[0]->name);
        int current = -1;
        if (!book.sheets.empty())
            book.sheets[0]->cells.forEach([&](int row, int column, const Cell& c) {
                while (current < row) {
                    w.addRow();
                    ++current;
                }
                switch (c.kind) {
                case Cell::Number:
                    w.writeNumber(column, c.number);
                    break;
                case Cell::Boolean:
                    w.writeText(column, c.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
                    break;
                case Cell::Text:
                    w.writeText(column, c.text);
                    break;
                case Cell::Empty:
                    break;
                }
            });
        if (current < 0) w.addRow();
        w.close();
    } catch (const kvx::XlsWriteError& e) {
        fail(e.text());
    }
}

} // namespace

QString WorkbookData::uniqueSheetName() const {
    for (int n = int(sheets.size()) + 1;; ++n) {
        const QString name = QStringLiteral("Sheet%1").arg(n);
        bool taken = false;
        for (const auto& s : sheets)
            taken = taken || s->name.compare(name, Qt::CaseInsensitive) == 0;
        if (!taken) return name;
    }
}

void saveWorkbook(const WorkbookData& book, const QString& fileName) {
    if (fileName.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive))
        saveXls(book, fileName);
    else
        saveXlsx(book, fileName);
}

// --- the application ---

class WorkbooksObject : public DispatchObject {
public:
    explicit WorkbooksObject(std::shared_ptr<AppState> app) : DispatchObject(QStringLiteral("Workbooks")) {
        addProperty(QStringLiteral("Count"), [app] { return Variant(int(app->books.size())); });
        addMethod(QStringLiteral("Add"), [app](VariantList&) {
            auto book = std::make_shared<WorkbookData>();
            for (int i = 0; i < app->sheetsInNewWorkbook; ++i)
                book->sheets.push_back(std::make_shared<SheetData>(book->uniqueSheetName()));
            app->books.push_back(book);
            app->active = int(app->books.size()) - 1;
            return Variant(std::shared_ptr<Dispatch>(new WorkbookObject(book)));
        });
        addMethod(QStringLiteral("Item"), [app](VariantList& args) {
            const qint64 i = arg(args, 0).toInt();
            if (i < 1 || i > qint64(app->books.size())) fail(QStringLiteral("no workbook number %1").arg(i));
            return Variant(std::shared_ptr<Dispatch>(new WorkbookObject(app->books[size_t(i - 1)])));
        });
        addMethod(QStringLiteral("Close"), [app](VariantList&) {
            app->books.clear();
            app->active = -1;
            return Variant(true);
        });
    }
};

ExcelApplication::ExcelApplication() : DispatchObject(QStringLiteral("Excel.Application")) {
    addProperty(QStringLiteral("Name"), [] { return Variant(QStringLiteral("KVX Spreadsheet")); });
    addProperty(QStringLiteral("Version"), [] { return Variant(QStringLiteral("16.0")); });
    addProperty(
        QStringLiteral("Visible"), [this] { return Variant(visible_); },
        [this](const Variant& v) { setVisible(v.toBool()); });
    addProperty(
        QStringLiteral("DisplayAlerts"), [this] { return Variant(displayAlerts_); },
        [this](const Variant& v) { displayAlerts_ = v.toBool(); });
    addProperty(
        QStringLiteral("SheetsInNewWorkbook"), [this] { return Variant(app_->sheetsInNewWorkbook); },
        [this](const Variant& v) {
            const qint64 n = v.toInt();
            if (n < 1 || n > 255) fail(QStringLiteral("SheetsInNewWorkbook must lie between 1 and 255"));
            app_->sheetsInNewWorkbook = int(n);
        });
    addProperty(QStringLiteral("Workbooks"),
                [this] { return Variant(std::shared_ptr<Dispatch>(new WorkbooksObject(app_))); });
    addProperty(QStringLiteral("ActiveWorkbook"), [this] {
        const auto book = activeWorkbook();
        if (!book) fail(QStringLiteral("no workbook is open"));
        return Variant(std::shared_ptr<Dispatch>(new WorkbookObject(book)));
    });
    addProperty(QStringLiteral("ActiveSheet"), [this] {
        const auto book = activeWorkbook();
        if (!book || !book->activeSheet()) fail(QStringLiteral("no workbook is open"));
        return Variant(std::shared_ptr<Dispatch>(new WorksheetObject(book, book->activeSheet())));
    });
    addProperty(QStringLiteral("OpenedDocument"), [this] { return Variant(opened_); });
    addMethod(QStringLiteral("Cells"), [this](VariantList& args) {
        const auto book = activeWorkbook();
        if (!book || !book->activeSheet()) fail(QStringLiteral("no workbook is open"));
        WorksheetObject sheet(book, book->activeSheet());
        return sheet.invoke(QStringLiteral("Cells"), args);
    });
    addMethod(QStringLiteral("Quit"), [this](VariantList&) {
        app_->books.clear();
        app_->active = -1;
        return Variant(true);
    });
}

ExcelApplication::~ExcelApplication() = default;

std::shared_ptr<WorkbookData> ExcelApplication::activeWorkbook() const {
    // Closed workbooks leave the list.
    auto& books = app_->books;
    for (size_t i = 0; i < books.size();) {
        if (books[i]->closed) {
            books.erase(books.begin() + long(i));
            if (app_->active >= int(i)) --app_->active;
        } else {
            ++i;
        }
    }
    if (books.empty()) return nullptr;
    if (app_->active < 0 || app_->active >= int(books.size())) app_->active = int(books.size()) - 1;
    return books[size_t(app_->active)];
}

void ExcelApplication::setVisible(bool on) {
    visible_ = on;
    if (!on) return;
    const auto book = activeWorkbook();
    if (!book || book->fullName.isEmpty()) return;
    opened_ = book->fullName;
    // Headless runs (tests, servers) show nothing.
    if (qEnvironmentVariableIsSet("KVX_NO_DESKTOP_OPEN")) return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(opened_)))
        qCWarning(lcSheet) << "no program opened" << opened_;
}

} // namespace kvxsheet
