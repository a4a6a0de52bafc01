// TfrmBase: the record-maintenance layer of the windows. On top of the connected, rights-aware radical
// window it owns the edit state (Browse, Edit, Add), the standard toolbar, main menu and status bar with
// their enabling rules, the required-field check before a post, record-level rights by the record's
// creator, the field-rights lists, navigation over the main dataset, the find dialog, the grid views,
// the view-document command and the hooks through which descendants refresh the colour dataset.
// Saving is abstract here; the single-table layer supplies it.
//
// The window works on one data module derived from TdmBase (the descendant sets DataModule before
// FormCreate) and its main dataset cdsMain; every operation does nothing, or returns its "failed" value,
// when there is none.
#pragma once

#include "RadicalCF.h"
#include "query/KvSearch.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolButton>
#include <memory>

class QVBoxLayout;

namespace kvx {

class TClientDataSet;
class TdmBase;
class TField;
class TMT_Doc;
class TQBEForm;
class TStatusBar;

// The images of the standard commands: one icon per image number, each with its disabled look.
class TImageList : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Width READ Width)
    Q_PROPERTY(int Height READ Height)
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
public:
    explicit TImageList(QObject* parent = nullptr) : QObject(parent) {}
    int Width() const { return 18; }
    int Height() const { return 18; }
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    int Count() const { return int(icons_.size()); }
    QIcon Icon(int index) const { return index >= 0 && index < Count() ? icons_.at(index) : QIcon(); }
    // Adds the controls library's image `libraryNumber` (normal and disabled); false when it cannot be
    // loaded (an empty icon takes its place so that the indexes stay in order).
    bool AddLibraryImage(int libraryNumber, const QPalette& palette);
    // Adds image `index` of another list (shared, not read again).
    void AddImageOf(const TImageList& other, int index) { icons_.append(other.Icon(index)); }

private:
    QList<QIcon> icons_;
    int tag_ = 0;
};

// A button of the flat toolbar (25x25, raised only under the mouse); a separator is 8 wide, disabled,
// and draws an etched vertical line.
class TToolButton : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(int ImageIndex READ ImageIndex)
public:
    TToolButton(QWidget* toolBar, const QString& name, bool separator = false);
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    bool IsSeparator() const { return separator_; }
    int ImageIndex() const { return imageIndex_; }
    void SetImage(const TImageList& images, int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int tag_ = 0;
    int imageIndex_ = -1;
    bool separator_ = false;
};

// The main menu, its menus and items, carrying the framework's Tag (and a menu's GroupIndex).
class TMainMenu : public QMenuBar {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
public:
    using QMenuBar::QMenuBar;
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }

private:
    int tag_ = 0;
};

class TPopupMenu : public QMenu {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE setGroupIndex)
public:
    using QMenu::QMenu;
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    int GroupIndex() const { return group_; }
    void setGroupIndex(int v) { group_ = v; }

private:
    int tag_ = 0;
    int group_ = 0;
};

class TMenuItem : public QAction {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Caption READ text WRITE setText)
public:
    using QAction::QAction;
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }

private:
    int tag_ = 0;
};

// The flat toolbar: buttons left to right in creation order, one pixel of border.
class TToolBar : public QFrame {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
public:
    explicit TToolBar(QWidget* parent = nullptr);
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    // Places the visible buttons without gaps (ArrangeToolButtons) and fits the height to them.
    void Arrange();
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    int tag_ = 0;
};

class TfrmBase : public TfrmRadical, public TSearchOwner {
    Q_OBJECT
public:
    enum TEditState : quint8 { esBrowse = 0, esEdit = 1, esAdd = 2 };
    // Modes of SetStatusMode.
    enum TStatusMode { smBrowse = 1, smEdit = 2, smInsert = 3 };
    // The tag of the framework's components.
    static constexpr int kFrameworkTag = 2000;
    // Image indexes of ImageList1, in command order, and the library image of each.
    enum TCommandImage {
        imAdd = 0,
        imQuery,
        imEdit,
        imDelete,
        imPrint,
        imFirst,
        imPrior,
        imNext,
        imLast,
        imReFresh
    };
    static int LibraryImageOf(int imageIndex);

    explicit TfrmBase(QWidget* parent = nullptr);
    ~TfrmBase() override;

    // --- components (tag 2000) ---
    QMenuBar* MainMenu = nullptr;
    QMenu* MenuItem1 = nullptr;  // "资料(&D)"
    QMenu* MenuItem11 = nullptr; // "功能(&F)"
    QMenu* MenuItem16 = nullptr; // "退出(&X)"
    QAction* miAdd = nullptr;
    QAction* miQuery = nullptr;
    QAction* miEdit = nullptr;
    QAction* miDelete = nullptr;
    QAction* miViewItem = nullptr;
    QAction* shit = nullptr; // separator after miViewItem
    QAction* miFirst = nullptr;
    QAction* miPrior = nullptr;
    QAction* miNext = nullptr;
    QAction* miLast = nullptr;
    QAction* miToolBar = nullptr;
    QAction* miManager = nullptr;
    QAction* N9 = nullptr; // separator before NG
    QAction* NG = nullptr;
    QAction* mnSp = nullptr; // separator before mnSearch
    QAction* mnSearch = nullptr;
    QAction* miExit = nullptr;

    TToolBar* ToolBar1 = nullptr;
    TToolButton* btnAdd = nullptr;
    TToolButton* btnQuery = nullptr;
    TToolButton* btnEdit = nullptr;
    TToolButton* btnDelete = nullptr;
    TToolButton* btnPrint = nullptr;
    TToolButton* ToolButton1 = nullptr; // separator after btnPrint
    TToolButton* btnFirst = nullptr;
    TToolButton* btnPrior = nullptr;
    TToolButton* btnNext = nullptr;
    TToolButton* btnLast = nullptr;
    TToolButton* btnReFresh = nullptr;
    TToolButton* ToolButton6 = nullptr; // separator after btnReFresh

    TImageList* ImageList1 = nullptr;
    TStatusBar* Status = nullptr;
    TkvSearchDialog* kvSearchDialog1 = nullptr;

    // Where descendants place their pages: between the toolbar and the status bar.
    QWidget* ClientArea = nullptr;
    QVBoxLayout* ClientLayout = nullptr;

    // --- state ---
    TEditState EditState = esBrowse;
    bool CanAdd = false, CanQuery = false, CanEdit = false, CanDelete = false, CanPrint = false;
    // Rights kept for descendants (positions 4, 5, 7Y, 7R, 8Y, 8R, 10, 11, 12).
    bool Right4 = false, Right5 = false, Right7Y = false, Right7R = false, Right8Y = false, Right8R = false,
         Right10 = false, Right11 = false, Right12 = false;
    QString FieldListA, FieldListB, FieldListC, FieldListD;
    QString DocumentField; // dataset:field of the document identifier
    bool ItemDocument = false;
    bool FocusPageOne = true; // user default IsFocusPageOne
    bool KeepOnAdd = true;    // user default IsKeepOnAdd
    bool OneShot = false;     // run modes 7 and 8: close after one save or cancel
    bool SaveFailed = false;  // the last save did not succeed; reset by UpdateCommands
    bool PrintPreview = false;
    QString LastWhere, LastOrder;
    QPointer<TQBEForm> QueryForm; // created by the single-table layer with this window as owner

    // The data module as the base layer sees it (null when none or of another kind).
    TdmBase* BaseModule() const;
    TClientDataSet* MainDataSet() const;

    // --- virtual operations, in slot order (after those of TfrmRadical) ---
    virtual bool DoAdd(bool Fresh);
    virtual bool DoEdit();
    virtual bool DoDelete(bool Ask);
    virtual bool DoQuery();
    virtual bool DoPrint();
    virtual bool DoSave() = 0;
    virtual bool DoCancel(bool Ask);
    virtual bool DoExit();
    virtual bool DoViewDocument();
    using TfrmRadical::LoadRights;
    virtual void LoadRights();
    virtual void ApplyQBE();
    virtual bool KeepEditing();
    virtual bool CheckRequired(TClientDataSet* DataSet);
    virtual void SetStatusMode(int Mode);
    virtual void UpdateRecordInfo(TClientDataSet* DataSet);
    virtual void SaveGridViews();
    virtual void LoadGridViews();
    virtual void InitGrids();
    virtual QString AdjustCondition(const QString& Condition);
    virtual bool ApplyColorCondition(const QString& Where, const QString& Order);
    virtual bool RefreshColorRecord();
    virtual void AfterColorCondition();

    // The current record's key as RefreshColorRecord selects it: table.field=value terms joined by " and ".
    QString ColorKeyCondition() const;

    // --- dynamic operations ---
    // Stores LastWhere/LastOrder for cdsMain, refreshes the colour dataset and reopens the dataset;
    // false when the reopen failed.
    virtual bool OpenMainData(TClientDataSet* DataSet, const QString& Where, const QString& Order);
    QString GetHelpKey(const QString& Base) override;

    // --- overrides of TfrmRadical ---
    void DoF2Key(int& Key, QObject* Control) override;
    void DoF3Key(int& Key, QObject* Control) override;
    void DoF4Key(int& Key, QObject* Control) override;
    void DoF11Key(int& Key, QObject* Control) override;
    void AfterShow() override;
    void ApplyFieldRights() override;
    void ConnectDataModule() override;
    void InitSettings() override;
    void LoadRequiredFields() override;
    void UpdateCommands() override;

    // --- state and fields ---
    void SetState(TEditState State);
    const QString& RequiredFields() const { return requiredFields_; }
    void SetRequiredFields(const QString& List);
    void AddRequiredFields(const QString& List);
    // Applies a field list read-only (or disabled when readOnly is false).
    void ApplyFieldList(const QString& List, bool ReadOnly);
    // A boolean user default of the server (section's XML, element `Name` holding "True"); `Default`
    // when it cannot be read.
    bool GetUserDefine(const QString& Section, const QString& Name, bool Default);
    // The per-user settings document, created on first use.
    TMT_Doc* SettingsDocument();

    // --- published handlers ---
    void FormActivate() {}
    void FormCloseQuery(bool& CanClose);
    void miAddClick();
    void miQueryClick();
    void miEditClick();
    void miDeleteClick();
    void miFirstClick();
    void miPriorClick();
    void miNextClick();
    void miLastClick();
    void miExitClick();
    void miToolBarClick();
    void miManagerClick();
    void miViewItemClick();
    void NGClick();
    void DateFieldDBComboDlgExit(QObject* Sender);
    void kvSearchDialog1SelectField(TfrmSearchDlg* Dialog, const QString& FieldName,
                                    const QString& DisplayLabel);
    void kvSearchDialog1InitDialog(TfrmSearchDlg* Dialog);
    void kvSearchDialog1BeforeSearch(TfrmSearchDlg* Dialog);
    void kvSearchDialog1AfterSearch(TfrmSearchDlg* Dialog, bool& Found);
    void mnSearchClick();
    void MenuItem11Click();

    // --- TDataModuleOwner ---
    int EditingMode() const override { return EditState; }
    bool BeforePostCheck(TClientDataSet* dataSet) override { return CheckRequired(dataSet); }
    void RecordChanged(TClientDataSet* dataSet) override;

    // --- TSearchOwner ---
    TBrokers* SearchBroker() const override { return Broker; }
    QString SearchUIText(const QString& text) const override;
    QFont SearchDialogFont() const override;

protected:
    void FormCreate() override;
    // Status panels too narrow for their text in the window's font are widened first.
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* event) override;
    void FormClose(TCloseAction& Action) override;
    void closeEvent(QCloseEvent* event) override;
    // A lookup key refused by a read-only control ends there.
    bool event(QEvent* event) override;

    // Whether cdsMain has rows (not both at its beginning and its end) and whether it is being edited.
    bool HasRows() const;
    bool IsEditing() const;
    // Whether the user changed the current record (the audit stamp of an edit does not count).
    static bool HasUserChanges(const TClientDataSet* ds);
    // Sets a command's menu item and toolbar button.
    static void EnableCommand(QAction* item, QAbstractButton* button, bool on);
    // EX_POWER: "name=Y" enables, any other value disables the window's component of that name.
    void ApplyExtraRights();
    // The command rights from the own group (or, by a record's creator, from the same or other group).
    void SetRecordRights(int group);

private:
    void createComponents();
    // The find dialog kvSearchDialog1 with the window's handlers (only with the find command).
    void createSearchDialog();
    // Runs a menu or toolbar command; a failure is shown and the command states are recomputed.
    void runCommand(void (TfrmBase::*handler)());
    void bringIntoView(TClientDataSet* dataSet, TField* field);
    QString requiredFields_;
    std::unique_ptr<TMT_Doc> settingsDoc_;
    bool closing_ = false;
    QMetaObject::Connection focusConnection_;
    // The find handlers SetupWindowSearch configured; the window's handlers run them.
    TkvSearchDialog::TKvNotifyEvent searchInit_, searchBefore_;
    TkvSearchDialog::TKvAfterExecuteEvent searchAfter_;
    TkvSearchDialog::TKvSelectFieldEvent searchSelect_;
};

} // namespace kvx
