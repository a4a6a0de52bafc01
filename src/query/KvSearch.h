// KvSearch: the find component. TkvSearchDialog runs the modal TfrmSearchDlg, in which each press of
// Next moves the search grid's dataset to the next record whose cell text in the chosen column matches;
// a failed search leaves the dataset where it was. Nothing is sent to the server.
//
// TKvUserIntl carries the dialog's font, captions and messages so that a window presents the dialog in
// its own language. A maintenance window reaches the find through TSearchOwner: SetupWindowSearch gives
// the component the window's Chinese texts and handlers that report through the window's broker.
#pragma once

#include "controls/FDBGrid.h"
#include "lang/KVForm.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <stdexcept>

class QComboBox;
class QEventLoop;
class TBrokers;
class QGroupBox;
class QLabel;
class QPushButton;

namespace kvx {

class TClientDataSet;
class TKVCheckBox;
class TKvRadioButton;
class TfrmSearchDlg;

// No searched dataset, or an inactive one.
class ESearchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TKvUserMessages : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString SearchedTextBlank MEMBER SearchedTextBlank)
    Q_PROPERTY(QString SearchedTextNotFound MEMBER SearchedTextNotFound)
public:
    explicit TKvUserMessages(QObject* parent = nullptr) : QObject(parent) {}
    void Assign(const TKvUserMessages& other);

    QString NoActiveDataSet = QStringLiteral("DataSource does not reference an active DataSet");
    QString SearchedTextBlank = QStringLiteral("The search string cannot be blank.");
    QString SearchedTextNotFound = QStringLiteral("Search string \"%s\" not found");
};

class TKvUserDialogInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString LblSearchText MEMBER LblSearchText)
    Q_PROPERTY(QString GrpOptions MEMBER GrpOptions)
    Q_PROPERTY(QString ChkCaseSentitive MEMBER ChkCaseSentitive)
    Q_PROPERTY(QString ChkWholeWords MEMBER ChkWholeWords)
    Q_PROPERTY(QString GrpFields MEMBER GrpFields)
    Q_PROPERTY(QString GrpDirection MEMBER GrpDirection)
    Q_PROPERTY(QString RbForward MEMBER RbForward)
    Q_PROPERTY(QString RbBackward MEMBER RbBackward)
    Q_PROPERTY(QString GrpOrigin MEMBER GrpOrigin)
    Q_PROPERTY(QString RbFromCursor MEMBER RbFromCursor)
    Q_PROPERTY(QString RbFromBeginning MEMBER RbFromBeginning)
    Q_PROPERTY(QString BtnNext MEMBER BtnNext)
    Q_PROPERTY(QString BtnClose MEMBER BtnClose)
public:
    explicit TKvUserDialogInfo(QObject* parent = nullptr) : QObject(parent) {}
    void Assign(const TKvUserDialogInfo& other);

    QString LblSearchText = QStringLiteral("&Text to find");
    QString GrpOptions = QStringLiteral("Options");
    QString ChkCaseSentitive = QStringLiteral("&Case sentitive");
    QString ChkWholeWords = QStringLiteral("&Whole words only");
    QString GrpFields = QStringLiteral("&Search Field");
    QString GrpDirection = QStringLiteral("Direction");
    QString RbForward = QStringLiteral("Forwar&d");
    QString RbBackward = QStringLiteral("&Backward");
    QString GrpOrigin = QStringLiteral("Origin");
    QString RbFromCursor = QStringLiteral("&From cursor");
    QString RbFromBeginning = QStringLiteral("From b&eginning");
    QString BtnNext = QStringLiteral("&Next");
    QString BtnClose = QStringLiteral("Cl&ose");
};

class TKvUserIntl : public QObject {
    Q_OBJECT
    Q_PROPERTY(kvx::TFont* DialogFont READ DialogFont)
    Q_PROPERTY(kvx::TKvUserMessages* UserMessages READ UserMessages)
    Q_PROPERTY(kvx::TKvUserDialogInfo* UserDialogInfo READ UserDialogInfo)
public:
    explicit TKvUserIntl(QObject* parent = nullptr);
    TFont* DialogFont() const { return font_; }
    TKvUserMessages* UserMessages() const { return messages_; }
    TKvUserDialogInfo* UserDialogInfo() const { return info_; }
    // Copies font, messages and captions.
    void Assign(const TKvUserIntl& other);

private:
    TFont* font_;
    TKvUserMessages* messages_;
    TKvUserDialogInfo* info_;
};

class TkvSearchDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(bool CaseSensitive MEMBER CaseSensitive)
    Q_PROPERTY(bool WholeWordsOnly MEMBER WholeWordsOnly)
    Q_PROPERTY(TSearchDirection Direction MEMBER Direction)
    Q_PROPERTY(TSearchOrigin Origin MEMBER Origin)
    Q_PROPERTY(TSearchSortFields SortFields MEMBER SortFields)
    Q_PROPERTY(bool ShowMessages MEMBER ShowMessages)
public:
    enum TSearchDirection { sdForward, sdBackward };
    Q_ENUM(TSearchDirection)
    enum TSearchOrigin { soFromCursor, soFromBeginning };
    Q_ENUM(TSearchOrigin)
    enum TSearchSortFields { sfSortByFieldName, sfSortByFieldNo };
    Q_ENUM(TSearchSortFields)

    using TKvNotifyEvent = std::function<void(TfrmSearchDlg* dialog)>;
    using TKvAfterExecuteEvent = std::function<void(TfrmSearchDlg* dialog, bool& found)>;
    using TKvOnInitSearchDlgEvent = std::function<void(TfrmSearchDlg* dialog)>;
    using TKvSelectFieldEvent =
        std::function<void(TfrmSearchDlg* dialog, const QString& fieldName, const QString& displayLabel)>;

    explicit TkvSearchDialog(QObject* owner = nullptr);
    ~TkvSearchDialog() override;

    // Runs the dialog modally; the effect is the moved record of the grid's dataset (the result is
    // false: the window ends only through Close or Escape).
    virtual bool Execute();
    // The dataset of the search grid's data source, or none.
    virtual TClientDataSet* SearchedDataSet() const;
    // Raises ESearchError when there is no searched dataset or it is not active.
    virtual void Check() const;
    // The messages in force: those of UserIntl when it is set, else the component's own.
    const TKvUserMessages& Messages() const;

    TFDBGrid* SearchGrid() const { return grid_; }
    void SetSearchGrid(TFDBGrid* grid) { grid_ = grid; }
    TKvUserIntl* UserIntl() const { return userIntl_; }
    void SetUserIntl(TKvUserIntl* intl) { userIntl_ = intl; }
    QString LastSearchText() const { return lastText_; }
    // The dialog window while Execute runs, else null.
    TfrmSearchDlg* Dialog() const { return dialog_; }

    // One search over the grid's records (see the unit's description); true when a record matched.
    static bool Search(TFDBGrid* grid, const QString& fieldName, const QString& text, TSearchOrigin origin,
                       TSearchDirection direction, bool wholeWords, bool caseSensitive);

    QString Caption = QStringLiteral("Search text");
    bool CaseSensitive = false;
    bool WholeWordsOnly = false;
    TSearchDirection Direction = sdForward;
    TSearchOrigin Origin = soFromCursor;
    TSearchSortFields SortFields = sfSortByFieldName;
    bool ShowMessages = true;

    TKvNotifyEvent BeforeSearch;
    TKvAfterExecuteEvent AfterSearch;
    TKvOnInitSearchDlgEvent OnInitDialog;
    TKvSelectFieldEvent OnSelectField;

private:
    friend class TfrmSearchDlg;
    QPointer<TFDBGrid> grid_;
    QPointer<TKvUserIntl> userIntl_;
    TKvUserMessages* messages_;
    QString lastText_;
    QPointer<TfrmSearchDlg> dialog_;
};

// The modal find window.
class TfrmSearchDlg : public TKVForm {
    Q_OBJECT
public:
    TfrmSearchDlg(TkvSearchDialog* search, TFDBGrid* grid, QWidget* parent = nullptr);

    QComboBox* cbbText = nullptr;
    QLabel* lblSearchText = nullptr;
    QGroupBox* grpOptions = nullptr;
    TKVCheckBox* chkCase = nullptr;
    TKVCheckBox* chkWholeWords = nullptr;
    QGroupBox* grpFields = nullptr;
    QComboBox* cbbFields = nullptr;
    QGroupBox* grpDirection = nullptr;
    TKvRadioButton* rbForward = nullptr;
    TKvRadioButton* rbBackward = nullptr;
    QGroupBox* grpOrigin = nullptr;
    TKvRadioButton* rbCursor = nullptr;
    TKvRadioButton* rbBeginning = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnClose = nullptr;

    // Field names parallel to the items of cbbFields.
    const QStringList& FieldNames() const { return fieldNames_; }
    // The field name of the selected item ("" when none).
    QString SelectedFieldName() const;
    // Fills cbbFields from the searched dataset's visible fields.
    void FillFields(TkvSearchDialog::TSearchSortFields order);
    // Shows the window and returns when it is closed.
    void ShowModal();

    void btnNextClick();
    void btnCloseClick();
    void cbbFieldsChange();
    void rbBeginningClick();

protected:
    void FormShow() override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool FormKeyDown(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void applyUserIntl(const TKvUserIntl& intl);
    TkvSearchDialog* search_;
    QPointer<TFDBGrid> grid_;
    QStringList fieldNames_;
    QEventLoop* loop_ = nullptr;
};

// What the find needs of the maintenance window that owns it.
class TSearchOwner {
public:
    virtual ~TSearchOwner() = default;
    // The broker that shows "E" "000032" and whose program code names the alert log.
    virtual TBrokers* SearchBroker() const = 0;
    // Converts a text for the interface language.
    virtual QString SearchUIText(const QString& text) const = 0;
    // The font the dialog is shown in (the window's toolbar font).
    virtual QFont SearchDialogFont() const = 0;
};

// Configures a find component as the maintenance windows use it: caption "快速定位", no messages of its
// own, fields by name, forward from the cursor, the Chinese texts (in an intl object the component owns),
// and handlers that convert the dialog's texts, preselect and follow the grid's selected column, and
// report a blank text (aborting the search) and a failed search through the owner's broker.
void SetupWindowSearch(TkvSearchDialog& search, TSearchOwner& owner);

} // namespace kvx
