// TfrmSingle: the window every single-table program derives from. On top of the record-maintenance
// layer it lays out the two faces of such a program - edit pages and the browse grid gdHead in one page
// control pgHead - and completes the commands: save and cancel, query through the query form and saved
// conditions, printing with voucher formats, batch selection and printing, Excel export, options, a
// calculator, page navigation by keyboard, key and required-field colours and the host's run modes.
// The same class carries the user-defined fields (binding, F2, automatic values), drill-down links,
// colour filtering, attachments, the XML import of run mode 11 and numbering (SingleCFExt.cpp).
//
// Parts that other units supply are reached through virtual seams (colour rules, colour query form,
// options dialog, saved-scheme restore) that descendants and tests can replace. The colour query form
// reaches this window only through TColorQBEOwner.
#pragma once

#include "BaseCF.h"
#include "SingleCFSql.h"
#include "data/SingleModuleOwner.h"
#include "query/KVDialogCF.h"
#include "query/KvColorQBE.h"
#include "query/QBEOwner.h"

#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <functional>

namespace kvx {

class TColorComponents;
class TdmSingle;
class TExtPageControl;
class TFDBGrid;
class TField;
class TKvBtnDBEdit;
class TKvDBComboBox;
class TTabSheet;

// One colour condition of the grid entry of the colour rules, as the colour-filter menu shows it.
struct TColorMenuCondition {
    QString caption;
    QString value; // the condition text (may hold "$$" for the database prefix)
    QString fontColor, background;
    bool selected = false;
};

// An automatic user-defined-field rule: target field, server rule id, source names and their fields.
struct TUdfRule {
    QString target;
    QString ruleId;
    QStringList sources;
    QList<QPointer<TField>> sourceFields; // parallel to sources; null for a source outside cdsMain
};

// The values the options dialog hands back.
struct TSingleOptions {
    bool keepOnAdd = true, focusPageOne = true, colorManage = false;
    bool moneyAutoZero = true, moneyThousand = true, quantityAutoZero = true, quantityThousand = true;
};

class TfrmSingle;

// What the single-table data module asks of the window (its TSingleModuleOwner), kept as a member of the
// window and handed to the module: the window already is the module's TDataModuleOwner through the
// radical layer, so it cannot derive from this interface a second time.
class TSingleFormLink : public TSingleModuleOwner {
public:
    explicit TSingleFormLink(TfrmSingle& form) : form_(form) {}
    int EditingMode() const override;
    bool BeforePostCheck(TClientDataSet* dataSet) override;
    void RecordChanged(TClientDataSet* dataSet) override;
    QString CodePage() const override;
    QString DisplayConvert(const QString& text) const override;
    QString InputConvert(const QString& text) const override;
    QString PackageText(const QString& package, const QString& key, const QString& def) const override;
    bool ColorManagement() const override;
    void ResetColorRules() override;
    void ApplyColorRules(TClientDataSet* colorData) override;
    void ReloadColorData(bool newRecord) override;
    bool CellColors(TField* field, TCellColors& colors) override;
    bool GridRowSelected(TBookmark bookmark) const override;
    QStringList ControlTypes(TClientDataSet* dataSet) const override;
    void SetControlType(TClientDataSet* dataSet, const QString& field, const QString& control) override;
    void RefreshGridLayout() override;
    QStringList ComboItems(const QString& componentName) const override;
    void ApplyUserDefaults() override;
    QWidget* DialogParent() const override;
    std::unique_ptr<TExportProgress> CreateExportProgress() override;

private:
    TfrmSingle& form_;
};

class TfrmSingle : public TfrmBase, public TQBEOwner, public TKVDialogOwner, public TColorQBEOwner {
    Q_OBJECT
    friend class TSingleFormLink;

public:
    static constexpr int kSingleTag = 4000;
    // The browse grid's colour (red 251, green 255, blue 236) and the field colours of InitGrids.
    static constexpr TColor kGridColor = 15532027;
    static constexpr TColor kRequiredColor = 0xAFFFFF; // red 255, green 255, blue 175
    static constexpr TColor kKeyColor = 0xC8C800;      // red 0, green 200, blue 200
    static constexpr int kMaxEditPages = 16;

    explicit TfrmSingle(QWidget* parent = nullptr);
    ~TfrmSingle() override;

    // --- components (tag 4000) ---
    TToolButton* btnOK = nullptr;
    TToolButton* btnCancel = nullptr;
    TToolButton* btnColorQuery = nullptr; // created at run time after ToolButton6
    TToolButton* btnCalc = nullptr;
    TImageList* imgSingle = nullptr;
    QList<QPixmap> SortMapList; // 0 ascending, 1 descending
    QWidget* pnlHead = nullptr;
    TExtPageControl* pgHead = nullptr;
    TTabSheet* tbsHead1 = nullptr;
    TTabSheet* tbsUDF = nullptr;
    TTabSheet* tbsBrowse = nullptr;
    TFDBGrid* gdHead = nullptr;
    QList<TKvBtnDBEdit*> UdfEdits;   // edUDF01-06, 51-56, 07-12, 57-62
    QList<TKvDBComboBox*> UdfCombos; // cboUDF01-12

    QAction* miPreview = nullptr;
    QAction* miPrint = nullptr;
    QMenu* miVoucherFormats = nullptr;
    QAction* N1 = nullptr;
    QAction* miOK = nullptr;
    QAction* miCancel = nullptr;
    QMenu* miExport = nullptr;
    QAction* miTable2Excel = nullptr;
    QAction* miTable2Excel2 = nullptr;
    QMenu* P1 = nullptr;
    QAction* miBBPrint = nullptr;
    QAction* mmm = nullptr;
    QAction* miBBSelectAll = nullptr;
    QAction* miBBUnSelectAll = nullptr;
    QMenu* miTools = nullptr;
    QAction* miCacl = nullptr;
    QAction* miOptions = nullptr;
    QMenu* popPrint = nullptr;
    QAction* miDirectPrint = nullptr;
    QAction* miPriewPrint = nullptr;
    QAction* miBreak = nullptr;
    QMenu* miVoucherFormatsPrint = nullptr;
    QMenu* mnCondition = nullptr;
    QMenu* popOpenF2Window = nullptr;
    QAction* miOpenF2Window = nullptr;
    QAction* miOpenF3Window = nullptr;
    QAction* miOpenF4Window = nullptr;
    QMenu* pmMultiSelect = nullptr;
    QAction* miSelectAll = nullptr;
    QAction* miUnSelectAll = nullptr;
    QMenu* pmColorCondition = nullptr;

    // --- state ---
    QPointer<QWidget> FirstAddControl, FirstEditControl;
    QStringList PageEndNames; // per edit page: its last enabled, visible control
    QString LastControlName;  // the last such control of the last edit page
    int PreviousPage = 0;
    QString VoucherKeyField; // empty: the first key field
    bool ColorManage = false, FastInputEnabled = true;
    bool InitialCondition = false, CloseAfterShow = false;
    bool AttachmentsEnabled = false;
    QStringList AttachmentKeys; // sorted
    QString LastAttachmentKey;
    QString LinkFields; // names separated by the character 3
    bool LinkArmed = false;
    QList<TUdfRule> UdfRules;
    QList<TColorMenuCondition> ColorConditions;
    TColorComponents* ColorComponents() const;
    QString ColorDefinition; // NH003 of the program
    // Host values of run modes 1-11: the initial condition and the value of run modes 7 and 8.
    QString HostCondition;
    Variant HostValue;

    TdmSingle* SingleModule() const;
    TSingleFormLink& ModuleLink() { return moduleLink_; }
    // The sort direction of the data module's sort field: true when descending.
    bool SortDescending() const;

    // --- virtual operations, in slot order ---
    virtual void pgHeadChange();
    virtual TField* GetTableField(const QString& Table, const QString& Field);
    virtual void OpenAttachments();
    virtual bool HasAttachment();
    virtual void LoadAttachmentKeys();
    virtual void AddComboRequirements();
    virtual void UpdateBatchCommands();
    virtual QString QueryUdfValue(const TUdfRule& Rule, const QStringList& Values);
    virtual void UdfSourceChanged(TField* Field);
    virtual TField* FindUdfSourceField(const QString& Name);
    virtual void ApplyColorFilter();
    virtual void ColorMenuClick(int Item);
    virtual void AfterInitialCondition() {}
    virtual bool AddOne(const Variant& Values);
    virtual bool EditOne(const Variant& Values);
    virtual void FollowLink(TFDBGrid* Grid, TClientDataSet* DataSet);
    virtual void SavedConditionClick(int Item);
    virtual QStringList GetProgramRule(const QString& Program, const QString& Code);
    virtual QStringList GetProgramRuleTop(const QString& Program, const QString& Code);
    virtual QString GetLinkedData(const QString& P1, const QString& P2, const QString& Cond,
                                  const QString& P4, const QString& P5);
    virtual QString GetVoucherKey();
    virtual void FillVoucherFormats(QMenu* Menu, bool Force);
    virtual void ImportXml(const QString& Text);

    // --- overrides ---
    void AfterShow() override;
    void ApplyFieldRights() override;
    void ConnectDataModule() override;
    void InitSettings() override;
    void LoadRequiredFields() override;
    void AfterConnect() override;
    void UpdateCommands() override;
    void DoF2Key(int& Key, QObject* Control) override;
    bool DoAdd(bool Fresh) override;
    bool DoEdit() override;
    bool DoDelete(bool Ask) override;
    bool DoQuery() override;
    bool DoSave() override;
    bool DoCancel(bool Ask) override;
    bool KeepEditing() override { return false; }
    bool CheckRequired(TClientDataSet* DataSet) override;
    void SetStatusMode(int Mode) override;
    void InitGrids() override;
    bool OpenMainData(TClientDataSet* DataSet, const QString& Where, const QString& Order) override;

    // --- dynamic operation ---
    virtual QString GetNextNumber();

    // --- published handlers ---
    void pgHeadChanging(bool& AllowChange);
    void miOKClick() { DoSave(); }
    void miCancelClick() { DoCancel(true); }
    void miPrintClick();
    void miPreviewClick();
    void MenuItem1Click();
    void popPrintPopup();
    void MenuItemVoucherFormatClick(QAction* Item);
    void miTable2ExcelClick();
    void miTable2Excel2Click();
    void P1Click() { UpdateBatchCommands(); }
    void miBBPrintClick();
    void miBBSelectAllClick();
    void miBBUnSelectAllClick();
    void miOptionsClick();
    void miCaclClick() { RunCalculator(FocusedControl()); }
    void btnCalcClick() { RunCalculator(FocusedControl()); }
    void btnColorQueryClick();
    void FormResize();
    void gdHeadCalcCellColors(const QString& FieldName, int Row, bool Highlight, QFont& Font, QColor& Text,
                              QColor& Background);
    void gdHeadCalcTitleAttributes(const QString& FieldName, QFont& Font, QColor& Color,
                                   Qt::Alignment& Alignment);
    void gdHeadTitleButtonClick(const QString& FieldName);
    void gdHeadColEnter();
    void gdHeadDblClick();
    void gdHeadKeyDown(int& Key, Qt::KeyboardModifiers Modifiers);
    void gdHeadKeyUp(int Key);
    void gdHeadMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, const QPoint& Pos);
    void gdHeadMouseMove(const QPoint& Pos, Qt::KeyboardModifiers Modifiers);
    void gdHeadCalcTitleImage(const QString& FieldName, int& ImageIndex);

    // --- helpers for descendants and tests ---
    // The key string of the current record (key values joined by "||").
    QString CurrentKeyString() const;
    // Runs the calculator on a control (a data edit, the grid's selected field, a plain edit).
    void RunCalculator(QWidget* Control);
    // Rebuilds mnCondition from the saved conditions of this user and program.
    void BuildSavedConditionMenu();
    // Recomputes PageEndNames and LastControlName.
    void ComputePageEnds();
    // The edit pages: all pages but a trailing tbsBrowse and a trailing tbsUDF (at most 16).
    QList<TTabSheet*> EditPages() const;
    // SimpleSql through the broker: rows of the statement (empty on no rows).
    QList<QStringList> SimpleSqlRows(const QString& Sql, const QString& Fields);
    // A text of this class's language package with its default.
    QString SingleText(const QString& Key, const QString& Default) const;

    // The machine's default voucher format for (print identifier, key): "<New>" when none.
    virtual QString VoucherDefault(const QString& PrintId, const QString& Key);
    virtual bool SetVoucherDefault(const QString& PrintId, const QString& Key, const QString& Caption);
    virtual bool ClearVoucherDefault(const QString& PrintId, const QString& Key);

    // --- TKVDialogOwner (the options dialog) ---
    TBrokers* DialogBroker() const override { return Broker; }
    int DialogDateFormat() const override { return DateFormatKind; }
    QString DialogDateSeparator() const override { return DateSeparator; }
    bool UserSetting(const QString& section, const QString& key, bool def) const override;
    int MoneyDigits() const override;

    // --- TColorQBEOwner (the colour query form) ---
    TBrokers* ColorQBEBroker() const override { return Broker; }
    bool ColorQBEIsColorManage() const override;
    // The colour query form of the grid's conditions; null while the colour rules have no "gdHead" entry.
    TColorQBEForm* ColorQueryForm() const { return colorQueryForm_; }

    // --- TQBEOwner ---
    int QBESqlType() const override { return SqlType; }
    int QBEDateFormat() const override { return DateFormatKind; }
    QString QBEDateSeparator() const override { return DateSeparator; }
    QString QBEDatabaseName() const override;

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* event) override;
    bool FormKeyPress(QKeyEvent* event) override;
    void FormClose(TCloseAction& Action) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // --- seams to units wired later (defaults: the feature is off) ---
    // Colour components over ColorDefinition; SaveColors/ResetColors of the controls, a cell's paint,
    // the colours of the window from the current colour record.
    virtual void CreateColorComponents();
    virtual void SaveColors();
    virtual void ResetColors();
    virtual void ApplyColorRules(TClientDataSet* ColorData);
    // The colours of a cell of gdHead at a row (-1: the current record).
    virtual bool PaintGridCell(const QString& FieldName, int Row, QFont& Font, QColor& Text,
                               QColor& Background);
    // Whether a colour query form exists for the conditions; running it reports when colour management
    // was switched off there.
    virtual bool HasColorQueryForm() const { return colorQueryForm_ != nullptr; }
    virtual bool RunColorQueryForm(bool& ColorManageOff);
    // The options dialog; false when it was cancelled (or there is none).
    virtual bool RunOptionsDialog(TSingleOptions& Options);
    // Restores the query form from a saved scheme and gives its condition and order.
    virtual bool ApplySavedScheme(int Page, const QString& Text, QString& Condition, QString& Order);

private:
    void createSingleComponents();
    void createUdfControls();
    void rebuildColorMenu();
    // The colour query form over the conditions of the "gdHead" entry (none without the entry).
    void createColorQueryForm(const TColorConditions* gridConditions);
    // Colour management switched off from a dialog: colours reset, button hidden, toolbar re-laid out.
    void switchColorManageOff();
    void applyQueryResult(const QString& condition, const QString& order);
    // Re-initialises the query form when it exists. The form itself is built at its first use
    // (queryForm()): a window that is never queried does not pay for the dialog at start-up.
    void reinitQueryForm();
    // The query form, created and initialised on the main dataset on first use; nullptr without a data
    // module.
    TQBEForm* queryForm();
    void bindUdfFields();
    void loadUdfRules();
    void loadLinkFields();
    void setUdfButtonHints();
    bool isLinkField(const QString& name) const;
    QString sqlTypeCondition() const;
    bool isNumericControlField(QWidget* control, TField** field) const;
    void gotoPage(int step);
    void removeAttachmentsOf(const QString& keyString);
    TField* keyField(const QString& name) const;
    QStringList keyFieldNames() const;
    QString uiText(const QString& gbText) const { return ConvertUIString(gbText); }
    // An error box with the window caption.
    void ShowError(const QString& text);
    QString userDefFolder() const;

    TSingleFormLink moduleLink_{*this};
    QPointer<TColorComponents> colorComponents_; // the colour rules "head", created when shown
    QPointer<TColorQBEForm> colorQueryForm_;     // kept for the window's life once created
    QHash<TField*, std::function<void(TField*)>> udfPreviousHandlers_;
    bool udfErrorShown_ = false;
    bool udfLookupDone_ = false; // the ADMMD lookup ran (tests)
    int admmdLookups_ = 0;
    bool importing_ = false;
    QPoint lastMouse_;

public:
    int AdmmdLookups() const { return admmdLookups_; }
};

} // namespace kvx
