// TQBEForm: the modal query-by-example dialog "设置查询条件". The window that owns it prepares it with
// InitQuery, shows it with Execute and receives an SQL condition (the body of a WHERE clause), an ordering
// (the body of an ORDER BY clause) and a row limit. The dialog only writes SQL text; it reaches its owner
// window through TQBEOwner. Pages: the general grid of condition rows, the advanced line editor with the
// sort order, the detail editor (only for a window with detail inputs), and the unused key-filter page.
#pragma once

#include "QBECondition.h"
#include "QBEOwner.h"
#include "lang/KVForm.h"
#include "platform/ClientDataSet.h"

#include <QGroupBox>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QToolButton;
class QTreeWidget;

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
    QTreeWidget* lstCondition = nullptr;
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
    // The scheme panel's list is filled by the saved-schemes unit; this dialog only lays out its columns.
    virtual void LoadSchemes() {}

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

    void buildPages();
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
