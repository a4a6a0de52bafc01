// The spreadsheet exports of TdmSingle and the .xls file filter TXLSExport.
#include "SingleCD.h"

#include "Log.h"

#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/XlsWriter.h"
#include "server/Brokers.h"
#include "server/TextFormat.h"

#include <QFile>
#include <QScopeGuard>

namespace kvx {

// --- TXLSExport ----------------------------------------------------------------------------------------

TXLSExport::TXLSExport(const QString& fileName, const QString& sheetName)
    : writer_(std::make_unique<XlsWriter>(fileName, sheetName)) {}

TXLSExport::~TXLSExport() = default;

void TXLSExport::moveTo(int row) {
    if (row < row_) throw XlsWriteError(QStringLiteral("row %1 comes after row %2").arg(row).arg(row_));
    while (row_ < row) {
        ++row_;
        // A new sheet begins with the header row again.
        if (writer_->addRow() == 0 && row_ > 0 && !header_.isEmpty()) {
            for (int c = 0; c < header_.size(); ++c)
                if (!header_[c].isEmpty()) writer_->writeText(c, header_[c]);
            writer_->addRow();
        }
    }
}

void TXLSExport::WriteData(TDataKind kind, int row, const QString& text, int column) {
    if (kind == dkNumber) {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (ok) {
            WriteNumber(row, v, column);
            return;
        }
    }
    moveTo(row);
    if (row == 0) {
        while (header_.size() <= column)
            header_.append(QString());
        header_[column] = text;
    }
    writer_->writeText(column, text);
}

void TXLSExport::WriteNumber(int row, double value, int column) {
    moveTo(row);
    if (row == 0) {
        while (header_.size() <= column)
            header_.append(QString());
        header_[column] = QString::number(value);
    }
    writer_->writeNumber(column, value);
}

void TXLSExport::StorePage() {
    // Rows are streamed as they come; a page needs no separate store.
}

void TXLSExport::Close() {
    writer_->close();
}

void TXLSExport::Discard() {
    writer_->discard();
}

int TXLSExport::SheetCount() const {
    return writer_->sheetCount();
}

// --- exports -------------------------------------------------------------------------------------------

namespace {

enum class CellWrite { Nothing, Text, ComboText, Integer, Float, Boolean, Display };

struct ColumnPlan {
    TField* field = nullptr;
    CellWrite write = CellWrite::Nothing;
    QString numberFormat; // typed cells: "0_ ", "#,##0.00_ ", "" for none
    bool combo = false;   // a drop-down declares display texts for the stored values
};

bool isIntegerType(FieldType t) {
    return t == FieldType::Smallint || t == FieldType::Integer || t == FieldType::Word ||
           t == FieldType::LargeInt || t == FieldType::AutoInc;
}

bool isFloatType(FieldType t) {
    return t == FieldType::Float || t == FieldType::Currency || t == FieldType::BCD;
}

// Platform colour numbers are $00BBGGRR.
int colorNumber(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QString floatFormat(int decimals) {
    QString f = QStringLiteral("#,##0");
    if (decimals > 0) f += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
    return f + QStringLiteral("_ ");
}

// Restores the walked dataset: its events, controls and current record.
class ExportWalk {
public:
    explicit ExportWalk(TClientDataSet* ds) : ds_(ds), where_(ds->Bookmark()), events_(ds), controls_(ds) {}
    ~ExportWalk() {
        try {
            if (ds_->BookmarkValid(where_)) ds_->GotoBookmark(where_);
        } catch (const std::exception& e) {
            qCWarning(lcData) << "export: current record not restored:" << e.what();
        }
    }
    ExportWalk(const ExportWalk&) = delete;
    ExportWalk& operator=(const ExportWalk&) = delete;

private:
    TClientDataSet* ds_;
    TBookmark where_;
    TDataSetEventsOff events_;
    TControlsDisabled controls_;
};

} // namespace

bool TdmSingle::ExportToExcel(TClientDataSet* ds, QObject*, bool format) {
    return exportThroughApplication(ds, format, ExportKind::Typed);
}

bool TdmSingle::ExportToExcelText(TClientDataSet* ds, QObject*, bool) {
    return exportThroughApplication(ds, false, ExportKind::Text);
}

bool TdmSingle::exportThroughApplication(TClientDataSet* ds, bool format, ExportKind kind) {
    if (!ds || !ds->Active() || ds->IsEmpty()) return true;
    TSingleModuleOwner* form = SingleOwner();
    const bool typed = kind == ExportKind::Typed;
    const QString prog = Broker ? Broker->ProgID : QString();

    std::shared_ptr<Dispatch> app, sheet;
    try {
        app = CreateOleObject(QStringLiteral("Excel.Application"));
        app->setProperty(QStringLiteral("Visible"), false);
        app->setProperty(QStringLiteral("SheetsInNewWorkbook"), 1);
        app->getProperty(QStringLiteral("Workbooks")).toDispatch()->call(QStringLiteral("Add"));
        sheet = app->getProperty(QStringLiteral("ActiveSheet")).toDispatch();
        sheet->setProperty(QStringLiteral("Name"), prog);
    } catch (const std::exception& e) {
        qCWarning(lcData) << "export: spreadsheet application not started:" << e.what();
        const QString def = QStringLiteral("创建新的 EXCEL 文件");
        showError(typed ? text(QStringLiteral("sFailedCreateExcell"), def) : form->DisplayConvert(def));
        if (app) try {
                app->call(QStringLiteral("Quit"));
            } catch (const std::exception& q) {
                qCWarning(lcData) << "export: application not closed:" << q.what();
            }
        return false;
    }
    OLEExcel1 = Variant(app);
    bool keepOpen = false;
    // The application closes with the export unless the user asked to see the workbook.
    const auto quit = qScopeGuard([&] {
        if (keepOpen) return;
        OLEExcel1 = Variant();
        try {
            app->call(QStringLiteral("Quit"));
        } catch (const std::exception& e) {
            qCWarning(lcData) << "export: application not closed:" << e.what();
        }
    });

    bool result = true;
    bool cancelled = false;
    {
        const ExportWalk walk(ds);
        std::unique_ptr<TExportProgress> progress = form->CreateExportProgress();
        const auto closeProgress = qScopeGuard([&] {
            if (progress) progress->Close();
        });
        try {
            if (progress)
                progress->Start(
                    text(QStringLiteral("sConvertStat"), QStringLiteral("查询结果转 Excel 文件进度")), 0,
                    ds->RecordCount());
            FetchAllPackets(ds);
            if (progress) progress->SetMax(ds->RecordCount());

            QList<ColumnPlan> plan;
            const QStringList controls = form->ControlTypes(ds);
            for (TField* f : ds->Fields()) {
                if (!f->Visible()) continue;
                ColumnPlan c;
                c.field = f;
                for (const QString& decl : controls)
                    if (decl.section(QLatin1Char(';'), 0, 0)
                            .trimmed()
                            .compare(f->FieldName(), Qt::CaseInsensitive) == 0)
                        c.combo = true;
                const FieldType t = f->DataType();
                if (t == FieldType::String || t == FieldType::WideString || t == FieldType::Memo) {
                    c.write = CellWrite::ComboText;
                } else if (t == FieldType::Boolean) {
                    c.write = CellWrite::Boolean;
                } else if (!typed && (isIntegerType(t) || isFloatType(t) || t == FieldType::FixedChar)) {
                    c.write = CellWrite::Display;
                } else if (isIntegerType(t)) {
                    c.write = CellWrite::Integer;
                    c.numberFormat = QStringLiteral("0_ ");
                } else if (isFloatType(t)) {
                    if (f->EditMask() == PercentEditMask() || !format) {
                        c.write = f->EditMask() == PercentEditMask() ? CellWrite::Display : CellWrite::Text;
                    } else {
                        c.write = CellWrite::Float;
                        const int d = DigitsByRuleKey(f->FieldName(), 7);
                        if (d >= 0) c.numberFormat = floatFormat(d);
                    }
                } else if (t == FieldType::FixedChar) {
                    c.write = CellWrite::Display;
                }
                plan.append(c);
            }

            for (int col = 0; col < plan.size(); ++col) {
                const std::shared_ptr<Dispatch> cell =
                    sheet->call(QStringLiteral("Cells"), {1, col + 1}).toDispatch();
                cell->setProperty(QStringLiteral("NumberFormatLocal"), QStringLiteral("@"));
                cell->setProperty(QStringLiteral("Value"), plan[col].field->DisplayLabel());
            }
            sheet->call(QStringLiteral("Cells"), {1, 1}).toDispatch()->call(QStringLiteral("Select"));

            TCellColors colors;
            int row = 2;
            for (ds->First(); !ds->Eof(); ds->Next(), ++row) {
                for (int col = 0; col < plan.size(); ++col) {
                    const ColumnPlan& c = plan[col];
                    if (c.write == CellWrite::Nothing) continue;
                    TField* f = c.field;
                    std::shared_ptr<Dispatch> cell;
                    try {
                        Variant value;
                        QString numberFormat;
                        switch (c.write) {
                        case CellWrite::Nothing:
                            break;
                        case CellWrite::ComboText: {
                            QString out = f->DisplayText();
                            if (c.combo) ComboDisplayText(ds, nullptr, out, out, f->FieldName());
                            value = out;
                            numberFormat = QStringLiteral("@");
                            break;
                        }
                        case CellWrite::Text:
                            value = f->Text();
                            numberFormat = QStringLiteral("@");
                            break;
                        case CellWrite::Display:
                            value = f->DisplayText();
                            numberFormat = QStringLiteral("@");
                            break;
                        case CellWrite::Boolean:
                            if (!f->IsNull())
                                value = f->AsBoolean() ? QStringLiteral("Y") : QStringLiteral("N");
                            break;
                        case CellWrite::Integer:
                            if (!f->IsNull()) value = f->AsInteger();
                            numberFormat = c.numberFormat;
                            break;
                        case CellWrite::Float:
                            if (!f->IsNull()) value = f->AsFloat();
                            numberFormat = c.numberFormat;
                            break;
                        }
                        const bool painted = ExportColors && form->CellColors(f, colors = TCellColors());
                        if (value.isEmptyOrNull() && !painted) continue;
                        cell = sheet->call(QStringLiteral("Cells"), {row, col + 1}).toDispatch();
                        if (!numberFormat.isEmpty())
                            cell->setProperty(QStringLiteral("NumberFormatLocal"), numberFormat);
                        if (!value.isEmptyOrNull()) cell->setProperty(QStringLiteral("Value"), value);
                        if (painted) {
                            if (colors.Background.isValid())
                                cell->getProperty(QStringLiteral("Interior"))
                                    .toDispatch()
                                    ->setProperty(QStringLiteral("Color"), colorNumber(colors.Background));
                            if (colors.Font.isValid() || colors.Bold || colors.Italic) {
                                const std::shared_ptr<Dispatch> font =
                                    cell->getProperty(QStringLiteral("Font")).toDispatch();
                                if (colors.Font.isValid())
                                    font->setProperty(QStringLiteral("Color"), colorNumber(colors.Font));
                                if (colors.Bold) font->setProperty(QStringLiteral("Bold"), true);
                                if (colors.Italic) font->setProperty(QStringLiteral("Italic"), true);
                            }
                        }
                    } catch (const EAbort&) {
                        throw;
                    } catch (const std::exception& e) {
                        qCWarning(lcData) << "export: cell" << row << col + 1 << "not written:" << e.what();
                        if (!cell) cell = sheet->call(QStringLiteral("Cells"), {row, col + 1}).toDispatch();
                        cell->getProperty(QStringLiteral("Font"))
                            .toDispatch()
                            ->setProperty(QStringLiteral("ColorIndex"), 3);
                        cell->setProperty(QStringLiteral("Value"), QStringLiteral("Error!"));
                    }
                }
                if (progress) {
                    progress->Step();
                    if (progress->Cancelled()) {
                        cancelled = true;
                        break;
                    }
                }
            }
        } catch (const std::exception& e) {
            qCWarning(lcData) << "export through the spreadsheet application failed:" << e.what();
            result = false;
        }
    }

    if (cancelled) {
        MessageRequest req;
        req.type = MsgDlgType::Information;
        req.text = text(QStringLiteral("sExportCancelled"), QStringLiteral("转出已取消, 未保存任何文件!"));
        req.parent = form->DialogParent();
        DialogService::instance().showMessage(req);
        return false;
    }

    const QString folder = ExportFolder();
    if (!ensureFolder(folder)) {
        const QString msg =
            typed ? server::FormatVariants(
                        text(QStringLiteral("sCreateDirError"), QStringLiteral("创建目录%s失败!")),
                        {Variant(folder)})
                  : form->DisplayConvert(QStringLiteral("创建目录：") + folder + QStringLiteral(" 失败!"));
        showError(msg);
        return false;
    }
    const QString fileName = exportFileName(folder, QStringLiteral(".xlsx"));
    try {
        app->getProperty(QStringLiteral("ActiveWorkbook"))
            .toDispatch()
            ->call(QStringLiteral("SaveAs"), {fileName});
    } catch (const std::exception& e) {
        qCWarning(lcData) << "export: workbook not saved:" << e.what();
        const QString msg =
            typed
                ? server::FormatVariants(
                      text(QStringLiteral("sSaveAsError"), QStringLiteral("保存为----> %s 失败!")),
                      {Variant(fileName)})
                : form->DisplayConvert(QStringLiteral("保存为---->  ") + fileName + QStringLiteral(" 失败!"));
        showError(msg);
        return false;
    }
    const QString question =
        typed ? server::FormatVariants(
                    text(QStringLiteral("sOpenDoc"), QStringLiteral("转出文档: \r%s\r\r是否打开文档?")),
                    {Variant(fileName)})
              : form->DisplayConvert(QStringLiteral("转出文档: \r") + fileName + QStringLiteral("\r\r") +
                                     QStringLiteral("是否打开文档?"));
    if (askYesNo(question) == mrYes) {
        try {
            app->setProperty(QStringLiteral("Visible"), true);
            keepOpen = true;
        } catch (const std::exception& e) {
            qCWarning(lcData) << "export: workbook not shown:" << e.what();
        }
    }
    return result;
}

bool TdmSingle::ExportToXlsFile(TClientDataSet* ds, QObject*, bool) {
    if (!ds || !ds->Active() || ds->IsEmpty()) return true;
    TSingleModuleOwner* form = SingleOwner();
    const QString folder = ExportFolder();
    if (!ensureFolder(folder)) {
        showError(form->DisplayConvert(QStringLiteral("创建目录：") + folder + QStringLiteral(" 失败!")));
        return true;
    }
    const QString fileName = exportFileName(folder, QStringLiteral(".xls"));
    std::unique_ptr<TXLSExport> filter;
    try {
        filter = std::make_unique<TXLSExport>(fileName, Broker ? Broker->ProgID : QString());
    } catch (const std::exception& e) {
        qCWarning(lcData) << "export: file not created:" << e.what();
        MessageRequest req;
        req.text = QStringLiteral("create file: ") + fileName + QStringLiteral("  failed!");
        req.parent = form->DialogParent();
        DialogService::instance().showMessage(req);
        return false;
    }

    bool cancelled = false;
    QString failure;
    {
        const ExportWalk walk(ds);
        std::unique_ptr<TExportProgress> progress = form->CreateExportProgress();
        const auto closeProgress = qScopeGuard([&] {
            if (progress) progress->Close();
        });
        try {
            if (progress)
                progress->Start(form->DisplayConvert(QStringLiteral("查询结果转 Excel 文件进度")), 0,
                                ds->RecordCount());
            FetchAllPackets(ds);
            if (progress) progress->SetMax(ds->RecordCount());
            QList<TField*> fields;
            QList<bool> combos;
            const QStringList controls = form->ControlTypes(ds);
            for (TField* f : ds->Fields()) {
                if (!f->Visible()) continue;
                bool combo = false;
                for (const QString& decl : controls)
                    combo = combo || decl.section(QLatin1Char(';'), 0, 0)
                                             .trimmed()
                                             .compare(f->FieldName(), Qt::CaseInsensitive) == 0;
                fields.append(f);
                combos.append(combo);
            }
            for (int col = 0; col < fields.size(); ++col)
                filter->WriteData(TXLSExport::dkText, 0, fields[col]->DisplayLabel(), col);
            int row = 1;
            for (ds->First(); !ds->Eof(); ds->Next(), ++row) {
                for (int col = 0; col < fields.size(); ++col) {
                    TField* f = fields[col];
                    const FieldType t = f->DataType();
                    if (t == FieldType::Smallint || t == FieldType::Integer || t == FieldType::Float) {
                        if (!f->IsNull()) filter->WriteNumber(row, f->AsFloat(), col);
                    } else if (t == FieldType::Boolean) {
                        if (!f->IsNull())
                            filter->WriteData(TXLSExport::dkText, row,
                                              f->AsBoolean() ? QStringLiteral("Y") : QStringLiteral("N"),
                                              col);
                    } else {
                        QString out = f->DisplayText();
                        if (combos[col]) ComboDisplayText(ds, nullptr, out, out, f->FieldName());
                        filter->WriteData(TXLSExport::dkText, row, out, col);
                    }
                }
                if (progress) {
                    progress->Step();
                    if (progress->Cancelled()) {
                        cancelled = true;
                        break;
                    }
                }
            }
        } catch (const EAbort&) {
            failure = QStringLiteral("aborted");
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    }

    if (cancelled || !failure.isEmpty()) {
        // Nothing half-written is left behind.
        filter->Discard();
        MessageRequest req;
        req.type = cancelled ? MsgDlgType::Information : MsgDlgType::Error;
        req.text = cancelled ? text(QStringLiteral("sExportCancelled"),
                                    QStringLiteral("转出已取消, 未保存任何文件!"))
                             : server::FormatVariants(text(QStringLiteral("sSaveAsError"),
                                                           QStringLiteral("保存为----> %s 失败!")),
                                                      {Variant(fileName)}) +
                                   QStringLiteral("\r\n") + failure;
        req.parent = form->DialogParent();
        DialogService::instance().showMessage(req);
        if (!failure.isEmpty()) qCWarning(lcData) << "export to" << fileName << "failed:" << failure;
        return false;
    }
    try {
        filter->StorePage();
        filter->Close();
    } catch (const std::exception& e) {
        qCWarning(lcData) << "export: workbook not written:" << e.what();
        showError(server::FormatVariants(
                      text(QStringLiteral("sSaveAsError"), QStringLiteral("保存为----> %s 失败!")),
                      {Variant(fileName)}) +
                  QStringLiteral("\r\n") + QString::fromUtf8(e.what()));
        return false;
    }
    const QString question = form->DisplayConvert(QStringLiteral("转出文档: \r") + fileName +
                                                  QStringLiteral("\r\r") + QStringLiteral("是否打开文档?"));
    if (askYesNo(question) == mrYes) form->OpenDocument(fileName);
    return true;
}

} // namespace kvx
