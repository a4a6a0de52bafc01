// TQBEForm: the modal query-by-example dialog "设置查询条件". The window that owns it prepares it with
// InitQuery, shows it with Execute and receives an SQL condition (the body of a WHERE clause), an ordering
// (the body of an ORDER BY clause) and a row limit. The dialog only writes SQL text; it reaches its owner
// window through TQBEOwner. Pages: the general grid of condition rows, the advanced line editor with the
// sort order, the detail editor (only for a window with detail inputs), and the unused key-filter page.
#pragma once

#include "KvListView.h"
#include "QBECondition.h"
#include "QBEOwner.h"
#include "QBESchemes.h"
#include "lang/KVForm.h"
#include "platform/ClientDataSet.h"

#include <QGroupBox>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QToolButton;

namespace kvx {

class TClientDataSet;
class TDataSource;
class TExtPageControl;
class TFCheckListBox;
class TFDbCheckBox;
class TKvDBComboBox;
class TStringAlignGrid;
class TTabSheet;

// One query field of the general page.
class TRecordInfo {
public:
    QString Caption;
    QString Expression;
    QString FieldName;
    FieldType DataType = FieldType::String;
    bool CheckBox = false;
    QString EditMask;
    QStringList PickList;
};

// Catalogue entries keyed "FIELD=Caption", each owning its TRecordInfo.
class TRecordInfoList {
public:
    void Clear() { entries_.clear(); }
    void Add(const QString& key, std::unique_ptr<TRecordInfo> info);
    int Count() const { return int(entries_.size()); }
    QString Strings(int i) const { return entries_[i].first; }
    TRecordInfo* Objects(int i) const { return entries_[i].second.get(); }
    // First entry whose caption matches without regard to case; null when none.
    TRecordInfo* FindByCaption(const QString& caption) const;

private:
    std::vector<std::pair<QString, std::unique_ptr<TRecordInfo>>> entries_;
};

// A radio group "条件关系" of the items AND and OR.
class TQBERadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ title WRITE setTitle)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
public:
    TQBERadioGroup(const QString& caption, const QStringList& items, QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int i);
    QString ItemText() const;
    QList<QRadioButton*> buttons;
};

class TQBEForm : public TKVForm {
    Q_OBJECT
public:
    // The owner window is the Qt parent; `qbeOwner` is the same window seen through TQBEOwner.
    TQBEForm(QWidget* owner, TQBEOwner* qbeOwner);
    ~TQBEForm() override;

    // Prepares the dialog for a main dataset; called again whenever the window re-initialises its data.
    void InitQuery(TClientDataSet* mainDataSet, const QString& tableName, bool hideRowLimit,
                   const QString& selectColumns, const QString& keyFields);
    // Selects n in the row-limit box, inserting it as the first item when it is not there.
    void SetRowLimit(int n);
    // Shows the dialog modally; on OK returns true with the condition (in the database's code page) and
    // the ordering. Other results leave the outputs alone.
    bool Execute(QString& condition, QString& ordering);
    // The row-limit text as a number; 500 when it is not one.
    int RowLimit() const;
    // The condition of the last DoCondition, unconverted (the combined one with the detail filter).
    QString CurrentCondition() const;
    QString SortText() const { return sortText_; }

    // --- saved schemes ---
    // Restores the dialog from a scheme text of a page (0 general, 1 advanced, 2 detail); false when
    // the text could not be applied (the dialog stays as far as it was restored).
    bool ApplyScheme(int page, const QString& text);
    // The condition (in the database's code page) and the sort text of the active page, without the
    // fallback to the key fields: an empty ordering when no sort field was chosen.
    void SchemeCondition(QString& condition, QString& ordering);
    // The scheme text of the active page as it would be saved (screen code page).
    QString SchemeText() const;
    // Applies a loaded scheme by name and owner and returns its condition and ordering (the window's
    // scheme menu); false when there is no such scheme or it cannot be applied.
    bool RunScheme(const QString& name, const QString& creator, QString& condition, QString& ordering);
    // The loaded schemes, as the server holds them (own and shared with the user's group).
    const QList<TQBEScheme>& Schemes() const { return schemes_; }
    // The user's default scheme of this program among the loaded ones.
    std::optional<TQBEScheme> DefaultScheme() const;
    // The caption a scheme has in the list and in the window's menu (converted for the screen; a
    // scheme shared by another user carries its owner).
    QString SchemeCaption(const TQBEScheme& scheme) const;
    // Re-reads the schemes and fills the list.
    void LoadSchemes();

    // Scheme panel handlers. They raise the server's reason where a failure is not a message line.
    void btnInsertClick();
    void btnOpenClick();
    void btnDeleteClick();
    bool lstConditionEdited(QStandardItem* item, const QString& newCaption);
    void ToolButton1Click();
    Q_INVOKABLE void ViewIconExecute();
    Q_INVOKABLE void ViewSmallIconExecute();
    Q_INVOKABLE void ViewListExecute();
    Q_INVOKABLE void ViewReportExecute();
    void miShareClick();
    void miDefaultClick();
    int ViewCounter() const { return viewCounter_; }

    // Computes condition and sort text from the active page (also the OK button's action).
    Q_INVOKABLE void DoCondition();

    // The general grid's condition as it stands.
    QString GridCondition() const;
    QString RowCondition(int row) const;
    const TRecordInfoList& Catalogue() const { return catalogue_; }
    // Advanced page field lists: "label\tname" items and the dataset field of each.
    const QStringList& AdvancedFieldNames() const { return advancedFieldNames_; }
    // Messages 0-11 (replaceable by the language package).
    QString Msg(int line) const { return messages_.value(line); }
    static QString PaddedLabel(const QString& label, const QString& uiCodePage);

    // Advanced page handlers.
    void cboFieldChange();
    void BbAssignClick();
    void BBClearClick();
    void Memo1Change();
    void ListBox1DblClick();
    void ListBox2DblClick();
    // Moves the dragged item of ListBox2 to the item under pos (viewport coordinates), or to the end
    // below the last item.
    void ListBox2DragDrop(int sourceIndex, const QPoint& pos);
    void chkBodyClick();
    void cboField2Change();
    void BbAssign2Click();
    void BBClear2Click();

    // Components (documented names).
    QWidget* pnlTopRow = nullptr;
    QLabel* lblTopRow = nullptr;
    TKvDBComboBox* cbTopRow = nullptr;
    QSplitter* splMain = nullptr;
    QWidget* pnlScheme = nullptr;
    QLabel* lblCondition = nullptr;
    QToolButton* btnInsert = nullptr;
    QToolButton* btnOpen = nullptr;
    QToolButton* btnDelete = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QMenu* mnList = nullptr;
    QAction* miViewIcon = nullptr;
    QAction* miViewSmallIcon = nullptr;
    QAction* miViewList = nullptr;
    QAction* miViewReport = nullptr;
    QMenu* mnScheme = nullptr; // context menu of the list
    QAction* miShare = nullptr;
    QAction* miDefault = nullptr;
    TKvListView* lstCondition = nullptr;
    TExtPageControl* pgQBE = nullptr;
    TTabSheet* tbsGeneral = nullptr;
    TTabSheet* tbsAdvanced = nullptr;
    TTabSheet* tbsDetail = nullptr;
    TTabSheet* tbsKey = nullptr;
    TStringAlignGrid* sg1 = nullptr;
    QComboBox* cboField = nullptr;
    QComboBox* CbOperator = nullptr;
    TKvDBComboBox* cboValue = nullptr;
    TFDbCheckBox* ckbValue = nullptr;
    TQBERadioGroup* rgLogic = nullptr;
    QPushButton* BBClear = nullptr;
    QPushButton* BbAssign = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QCheckBox* chkBody = nullptr;
    QLabel* Label1 = nullptr;
    TFCheckListBox* ListBox1 = nullptr;
    TFCheckListBox* ListBox2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QComboBox* cboField2 = nullptr;
    QComboBox* CbOperator2 = nullptr;
    TKvDBComboBox* cboValue2 = nullptr;
    TFDbCheckBox* ckbValue2 = nullptr;
    TQBERadioGroup* rgLogic2 = nullptr;
    QPushButton* BBClear2 = nullptr;
    QPushButton* BbAssign2 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    TClientDataSet* cdsTemp = nullptr;
    TClientDataSet* cdsTemp2 = nullptr;
    QLabel* hintWindow = nullptr;

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TQBEOwner* owner_;
    QPointer<TClientDataSet> main_;
    QString tableName_, selectColumns_, keyFields_;
    bool hideRowLimit_ = false;
    TRecordInfoList catalogue_;
    QStringList operators_;
    QStringList messages_;
    QStringList advancedFieldNames_, detailFieldNames_;
    QString lastField_;
    bool built_ = false;
    bool numberRow_ = false;
    int prevRow_ = -1, prevCol_ = -1;
    bool translated_ = false;
    bool firstActivation_ = true;
    QString condition_, sortText_, combined_;
    TDataSource* dsTemp_ = nullptr;
    TDataSource* dsTemp2_ = nullptr;
    int designedHeight_ = 0;
    QList<TQBEScheme> schemes_;
    int viewCounter_ = 0;

    void buildPages();
    void buildSchemePanel();
    // Runs a panel handler; a failure is shown with its message and logged.
    void guarded(void (TQBEForm::*handler)());
    QString schemeText(const char* key, const char* fallback) const;
    TQBESchemeStore* store() const;
    const TQBEScheme* schemeOf(const QStandardItem* item) const;
    bool ownScheme(const TQBEScheme& s) const;
    void setViewStyle(int style, QAction* item);
    void schemesChanged();
    QString toData(const QString& s) const;
    QString fromData(const QString& s) const;
    QWidget* buildEditor(QWidget* page, int n);
    void buildFieldLists();
    void buildCatalogue();
    void initialRows();
    void fillFieldList(QComboBox* box, TFCheckListBox* list, QStringList& names, TClientDataSet* ds,
                       const QString& table, const QString& select);
    void prepareValueEditor(QComboBox* fieldBox, const QStringList& names, TClientDataSet* ds,
                            TClientDataSet* temp, TKvDBComboBox* valueBox, TFDbCheckBox* checkBox);
    void assign(QComboBox* fieldBox, const QStringList& names, TClientDataSet* ds, const QString& table,
                const QString& select, TClientDataSet* temp, TKvDBComboBox* valueBox, TFDbCheckBox* checkBox,
                QComboBox* opBox, TQBERadioGroup* logic, QPlainTextEdit* memo);
    TField* datasetField(TClientDataSet* ds, const QString& name) const;
    TQBEEditKind editKindOf(const TField* field) const;

    // General grid rules.
    void gridSelectCell(int col, int row, bool& canSelect);
    void gridEditText(int col, int row, const QString& text);
    void fieldPicked(int row, const QString& caption);
    bool leaveValueCell(int col, int row);
    bool rowEmpty(int row) const;
    bool removeEmptyRows();
    bool mayAddRow() const;
    void appendRow(bool withDefaults);
    void clearRow(int row);
    void paintRows();
    void reopenEditor();
    int dataRows() const;

    void pageChanged();
    void showHintFor(TFCheckListBox* list, const QPoint& pos);
    void fitDropDowns();
};

} // namespace kvx
