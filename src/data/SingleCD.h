// TdmSingle: the data module of single-table maintenance programs, between TdmBase and the program's
// own module. It carries values from one added record to the next, fills new records with the host's,
// the user's and the user-defined fields' defaults, keeps an auto-numbered key, sorts by clicked grid
// titles, adds the selection column, checks body permissions before editing, reports reconcile errors
// with the values involved, and exports the main data to spreadsheet workbooks (.xlsx through the
// spreadsheet automation object, .xls through the platform's writer), streaming with a progress window.
// The window is reached only through TSingleModuleOwner.
#pragma once

#include "BaseCD.h"
#include "SingleModuleOwner.h"
#include "libUDF.h"

#include <QStringList>

namespace kvx {

class XlsWriter;

// The spreadsheet-file filter of the exports without the application: data items by kind, row and
// column (0-based) into a .xls workbook. Rows must come in order; a full sheet continues on the next
// one with the header row repeated. The file exists only after a successful Close.
class TXLSExport {
public:
    enum TDataKind { dkNumber = 2, dkText = 3 };

    // Creates the output stream; throws XlsWriteError when the file cannot be created.
    TXLSExport(const QString& fileName, const QString& sheetName);
    ~TXLSExport();
    TXLSExport(const TXLSExport&) = delete;
    TXLSExport& operator=(const TXLSExport&) = delete;

    void WriteData(TDataKind kind, int row, const QString& text, int column);
    void WriteNumber(int row, double value, int column);
    void StorePage();
    // Writes the workbook (throws XlsWriteError); without it nothing is left behind.
    void Close();
    void Discard();
    int SheetCount() const;

private:
    void moveTo(int row);
    std::unique_ptr<XlsWriter> writer_;
    QStringList header_;
    int row_ = -1;
};

class TdmSingle : public TdmBase {
    Q_OBJECT
public:
    explicit TdmSingle(QObject* owner = nullptr);
    ~TdmSingle() override;

    // --- components ---
    // The spreadsheet application ("Excel.Application") while an export runs, and afterwards while the
    // user looks at the workbook.
    Variant OLEExcel1;

    // --- state ---
    QStringList CarryOverValues; // FieldName=value
    QString NumberingDateField;
    Variant HostDefaults; // [0, i] field names, [1, i] values
    TField* SortField = nullptr;
    QString DefaultIndexFields;
    TField* SelectionField = nullptr;
    // Whether the exports write the colour rules' fills and font colours.
    bool ExportColors = false;

    bool AutoNumberMode() const { return autoNumberMode_; }
    int KeyCount() const { return keyCount_; }

    // --- overrides ---
    void NewRecordDefaults(TClientDataSet* dataSet) override;
    void SetKeyFields(const QString& keys) override;
    bool CanModify() override;
    bool ApplyMain(TClientDataSet* dataSet) override;

    // --- virtual operations, in slot order ---
    virtual void SetAutoNumberMode(bool flag);
    virtual void ApplyHostDefaults();
    virtual QString GetAutoNumberField();
    virtual bool ExportToXlsFile(TClientDataSet* dataSet, QObject* form, bool format);
    virtual void BeforeSaveNew();
    virtual bool ExportToExcel(TClientDataSet* dataSet, QObject* form, bool format);
    virtual bool ExportToExcelText(TClientDataSet* dataSet, QObject* form, bool unused);
    virtual void FetchAllPackets(TClientDataSet* dataSet);
    virtual int DigitsByRuleKey(const QString& fieldName, int def);
    virtual void ComboDisplayText(TClientDataSet* dataSet, QObject* form, QString& outText,
                                  const QString& displayText, const QString& fieldName);
    virtual void ApplyBaseCurrencyDigits();

    // --- published handlers ---
    void DataModuleCreate();
    void DataModuleDestroy();
    void cdsMainBeforeOpen(TDataSet* dataSet);
    void cdsMainAfterScroll(TDataSet* dataSet);
    void cdsMainReconcileError(TClientDataSet* dataSet, EReconcileError& error, TUpdateKind kind,
                               TReconcileAction& action);
    void SelectionFieldGetText(TField* Sender, QString& Text, bool DisplayText);

    // --- other public operations ---
    void SaveCarryOver();
    void RestoreCarryOver();
    void ClearCarryOver();
    void SortByField(const QString& fieldName);
    void SetSelectionVisible(bool flag);
    bool SelectionVisible() const { return selectionVisible_; }
    void RefreshColorMark();
    // Fetches colour packets until cdsMainColor holds as many records as cdsMain (or has no more), so that
    // every record the grid can show has its colours. Runs whenever cdsMain's data changes (a packet
    // fetched on demand or all at once), with colour management on.
    void FollowMainPackets();
    void QueryUdfDefaults(TClientDataSet* dataSet, const QList<TUdfDefault>& fields);
    void QueryUdfDefaults(TClientDataSet* dataSet, const TUDFFields& fields);
    // The user-defined-field collection as the module's defaults list (for TSingleModuleOwner::UdfDefaults).
    static QList<TUdfDefault> UdfDefaultsOf(const TUDFFields& fields);

    // The window as this module sees it (the defaults when it has none).
    TSingleModuleOwner* SingleOwner() const;
    // The folder exports are written to: client working directory, "c_data/", user.
    QString ExportFolder() const;
    // The reconcile report: the message, then per changed field its fetched, tried and current value.
    static QString ReconcileReport(const QString& message, const TReconcileRecord& record);

private:
    enum class ExportKind { Typed, Text, File };
    bool exportThroughApplication(TClientDataSet* dataSet, bool format, ExportKind kind);
    QString text(const QString& key, const QString& def) const;
    QString exportFileName(const QString& folder, const QString& extension) const;
    bool ensureFolder(const QString& folder) const;
    int showError(const QString& message) const;
    int askYesNo(const QString& message) const;

    bool autoNumberMode_ = false;
    QString autoNumberField_;
    int keyCount_ = 0;
    bool selectionVisible_ = false;
    TSingleModuleOwner defaultSingleOwner_;
};

} // namespace kvx
