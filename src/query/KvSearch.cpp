#include "KvSearch.h"

#include "Log.h"

#include "controls/CheckBoxes.h"
#include "controls/FDBGrid.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"
#include "server/Brokers.h"
#include "server/LibStrs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace kvx {

namespace {

// Rows of the field list one text line plus two pixels high.
class FieldItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(option.fontMetrics.boundingRect(QStringLiteral("A")).height() + 2);
        return s;
    }
};

QString formatted(const QString& pattern, const QString& arg) {
    QString out = pattern;
    const qsizetype at = out.indexOf(QLatin1String("%s"));
    if (at >= 0) out.replace(at, 2, arg);
    return out;
}

} // namespace

// --- TKvUserMessages, TKvUserDialogInfo, TKvUserIntl --------------------------------------------------

void TKvUserMessages::Assign(const TKvUserMessages& other) {
    NoActiveDataSet = other.NoActiveDataSet;
    SearchedTextBlank = other.SearchedTextBlank;
    SearchedTextNotFound = other.SearchedTextNotFound;
}

void TKvUserDialogInfo::Assign(const TKvUserDialogInfo& other) {
    const QMetaObject* mo = metaObject();
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
        mo->property(i).write(this, mo->property(i).read(&other));
}

TKvUserIntl::TKvUserIntl(QObject* parent)
    : QObject(parent), font_(new TFont(this)), messages_(new TKvUserMessages(this)),
      info_(new TKvUserDialogInfo(this)) {
    font_->setName(QStringLiteral("MS Sans Serif"));
    font_->setSize(9);
}

void TKvUserIntl::Assign(const TKvUserIntl& other) {
    font_->Assign(*other.font_);
    messages_->Assign(*other.messages_);
    info_->Assign(*other.info_);
}

// --- TkvSearchDialog -------------------------------------------------------------------------------

TkvSearchDialog::TkvSearchDialog(QObject* owner) : QObject(owner), messages_(new TKvUserMessages(this)) {}

TkvSearchDialog::~TkvSearchDialog() {
    delete dialog_.data();
}

TClientDataSet* TkvSearchDialog::SearchedDataSet() const {
    auto* source = grid_ ? qobject_cast<TDataSource*>(grid_->DataSource()) : nullptr;
    return source ? source->DataSet() : nullptr;
}

void TkvSearchDialog::Check() const {
    const TClientDataSet* ds = SearchedDataSet();
    if (!ds || !ds->Active()) throw ESearchError(Messages().NoActiveDataSet.toStdString());
}

const TKvUserMessages& TkvSearchDialog::Messages() const {
    return userIntl_ ? *userIntl_->UserMessages() : *messages_;
}

bool TkvSearchDialog::Execute() {
    Check();
    auto* dlg = TKVForm::Create<TfrmSearchDlg>(this, grid_.data());
    dialog_ = dlg;
    auto cleanup = qScopeGuard([this, dlg] {
        lastText_ = dlg->cbbText->currentText();
        dialog_ = nullptr;
        delete dlg;
    });
    dlg->cbbText->setEditText(lastText_);
    dlg->setCaption(Caption);
    dlg->chkCase->setChecked(CaseSensitive);
    dlg->chkWholeWords->setChecked(WholeWordsOnly);
    (Direction == sdBackward ? dlg->rbBackward : dlg->rbForward)->setChecked(true);
    (Origin == soFromBeginning ? dlg->rbBeginning : dlg->rbCursor)->setChecked(true);
    dlg->FillFields(SortFields);
    dlg->ShowModal();
    return false;
}

bool TkvSearchDialog::Search(TFDBGrid* grid, const QString& fieldName, const QString& text,
                             TSearchOrigin origin, TSearchDirection direction, bool wholeWords,
                             bool caseSensitive) {
    auto* source = grid ? qobject_cast<TDataSource*>(grid->DataSource()) : nullptr;
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (!ds || !ds->Active()) return false;
    if (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert) {
        if (ds->Modified())
            ds->Post();
        else
            ds->Cancel();
    }
    const bool forward = direction == sdForward;
    ds->DisableControls();
    auto enable = qScopeGuard([ds] { ds->EnableControls(); });
    const TBookmark start = ds->Bookmark();

    // A search from the cursor never tests the current record; one from the beginning tests the first
    // (or, backwards, the last) record.
    if (forward)
        ds->Next();
    else
        ds->Prior();
    if (origin == soFromBeginning) {
        if (forward)
            ds->First();
        else
            ds->Last();
    }

    const std::function<QString()> cellText = grid->CurrentTextReader(fieldName);
    const QString wanted = caseSensitive ? text : text.toUpper();
    for (;;) {
        if (forward ? ds->Eof() : ds->Bof()) {
            if (ds->BookmarkValid(start)) ds->GotoBookmark(start);
            return false;
        }
        QString cell = cellText();
        qsizetype end = cell.size();
        while (end > 0 && cell.at(end - 1) == u' ')
            --end;
        cell.truncate(end);
        if (!caseSensitive) cell = cell.toUpper();
        if (wholeWords ? cell == wanted : cell.contains(wanted)) return true;
        if (forward)
            ds->Next();
        else
            ds->Prior();
    }
}

// --- TfrmSearchDlg ---------------------------------------------------------------------------------

TfrmSearchDlg::TfrmSearchDlg(TkvSearchDialog* search, TFDBGrid* grid, QWidget* parent)
    : TKVForm(parent), search_(search), grid_(grid) {
    setObjectName(QStringLiteral("frmSearchDlg"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setCaption(QStringLiteral("Find text"));

    lblSearchText = new QLabel(QStringLiteral("&Text to find"), this);
    lblSearchText->setObjectName(QStringLiteral("lblSearchText"));
    cbbText = new QComboBox(this);
    cbbText->setObjectName(QStringLiteral("cbbText"));
    cbbText->setEditable(true);
    cbbText->setInsertPolicy(QComboBox::NoInsert);
    cbbText->setMinimumWidth(220);
    lblSearchText->setBuddy(cbbText);

    auto group = [this](const char* name, const char* title) {
        auto* g = new QGroupBox(QString::fromLatin1(title), this);
        g->setObjectName(QString::fromLatin1(name));
        new QVBoxLayout(g);
        return g;
    };
    grpOptions = group("grpOptions", "Options");
    chkCase = new TKVCheckBox(grpOptions);
    chkCase->setObjectName(QStringLiteral("chkCase"));
    chkCase->setCaption(QStringLiteral("&Case sentitive"));
    chkWholeWords = new TKVCheckBox(grpOptions);
    chkWholeWords->setObjectName(QStringLiteral("chkWholeWords"));
    chkWholeWords->setCaption(QStringLiteral("&Whole words only"));
    grpOptions->layout()->addWidget(chkCase);
    grpOptions->layout()->addWidget(chkWholeWords);

    grpFields = group("grpFields", "&Search Field");
    cbbFields = new QComboBox(grpFields);
    cbbFields->setObjectName(QStringLiteral("cbbFields"));
    cbbFields->setItemDelegate(new FieldItemDelegate(cbbFields));
    grpFields->layout()->addWidget(cbbFields);
    static_cast<QVBoxLayout*>(grpFields->layout())->addStretch();

    auto radio = [](QGroupBox* g, const char* name, const char* caption) {
        auto* r = new TKvRadioButton(g);
        r->setObjectName(QString::fromLatin1(name));
        r->setCaption(QString::fromLatin1(caption));
        g->layout()->addWidget(r);
        // Buttons of one group exclude each other.
        QObject::connect(r, &TKvRadioButton::Click, r, [r] { r->setChecked(true); });
        return r;
    };
    grpDirection = group("grpDirection", "Direction");
    rbForward = radio(grpDirection, "rbForward", "Forwar&d");
    rbBackward = radio(grpDirection, "rbBackward", "&Backward");
    grpOrigin = group("grpOrigin", "Origin");
    rbCursor = radio(grpOrigin, "rbCursor", "&From cursor");
    rbBeginning = radio(grpOrigin, "rbBeginning", "From b&eginning");

    btnNext = new QPushButton(QStringLiteral("&Next"), this);
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setDefault(true);
    btnClose = new QPushButton(QStringLiteral("Cl&ose"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    auto* grid2 = new QGridLayout;
    grid2->addWidget(grpOptions, 0, 0);
    grid2->addWidget(grpFields, 0, 1);
    grid2->addWidget(grpDirection, 1, 0);
    grid2->addWidget(grpOrigin, 1, 1);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(lblSearchText);
    textRow->addWidget(cbbText, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(textRow);
    left->addLayout(grid2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnNext);
    buttons->addWidget(btnClose);
    buttons->addStretch();
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addLayout(buttons);

    setTabOrder(cbbText, chkCase->focusTarget());
    setTabOrder(chkCase->focusTarget(), chkWholeWords->focusTarget());
    setTabOrder(chkWholeWords->focusTarget(), cbbFields);
    setTabOrder(cbbFields, rbForward->focusTarget());
    setTabOrder(rbForward->focusTarget(), rbBackward->focusTarget());
    setTabOrder(rbBackward->focusTarget(), rbCursor->focusTarget());
    setTabOrder(rbCursor->focusTarget(), rbBeginning->focusTarget());
    setTabOrder(rbBeginning->focusTarget(), btnNext);
    setTabOrder(btnNext, btnClose);

    connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    connect(cbbFields, &QComboBox::activated, this, [this] { cbbFieldsChange(); });
    connect(rbBeginning, &TKvRadioButton::Click, this, [this] { rbBeginningClick(); });
}

QString TfrmSearchDlg::SelectedFieldName() const {
    return fieldNames_.value(cbbFields->currentIndex());
}

void TfrmSearchDlg::FillFields(TkvSearchDialog::TSearchSortFields order) {
    cbbFields->clear();
    fieldNames_.clear();
    TClientDataSet* ds = search_->SearchedDataSet();
    if (!ds) return;
    QStringList entries;
    for (TField* f : ds->Fields())
        if (f->Visible()) entries << QStringLiteral("%1\t%2").arg(f->DisplayLabel(), f->FieldName());
    if (order == TkvSearchDialog::sfSortByFieldName) std::sort(entries.begin(), entries.end());
    for (const QString& e : entries) {
        const qsizetype tab = e.indexOf(u'\t');
        cbbFields->addItem(e.left(tab));
        fieldNames_ << e.mid(tab + 1);
    }
    if (cbbFields->count() > 0) cbbFields->setCurrentIndex(0);
}

void TfrmSearchDlg::applyUserIntl(const TKvUserIntl& intl) {
    Font()->Assign(*intl.DialogFont());
    setFont(intl.DialogFont()->font());
    const TKvUserDialogInfo& i = *intl.UserDialogInfo();
    lblSearchText->setText(i.LblSearchText);
    grpOptions->setTitle(i.GrpOptions);
    chkCase->setCaption(i.ChkCaseSentitive);
    chkWholeWords->setCaption(i.ChkWholeWords);
    grpFields->setTitle(i.GrpFields);
    grpDirection->setTitle(i.GrpDirection);
    rbForward->setCaption(i.RbForward);
    rbBackward->setCaption(i.RbBackward);
    grpOrigin->setTitle(i.GrpOrigin);
    rbCursor->setCaption(i.RbFromCursor);
    rbBeginning->setCaption(i.RbFromBeginning);
    btnNext->setText(i.BtnNext);
    btnClose->setText(i.BtnClose);
}

void TfrmSearchDlg::FormShow() {
    TKVForm::FormShow();
    if (search_->UserIntl()) applyUserIntl(*search_->UserIntl());
    cbbFields->view()->reset();
    if (search_->OnInitDialog) search_->OnInitDialog(this);
}

void TfrmSearchDlg::showEvent(QShowEvent* e) {
    TKVForm::showEvent(e);
    adjustSize();
    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    activateWindow();
    cbbText->setFocus();
}

void TfrmSearchDlg::hideEvent(QHideEvent* e) {
    TKVForm::hideEvent(e);
    if (loop_) loop_->quit();
}

void TfrmSearchDlg::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    loop_ = &loop;
    auto forget = qScopeGuard([this] { loop_ = nullptr; });
    show();
    if (isVisible()) loop.exec(QEventLoop::DialogExec);
}

bool TfrmSearchDlg::FormKeyDown(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        btnCloseClick();
        return true;
    }
    return TKVForm::FormKeyDown(e);
}

bool TfrmSearchDlg::eventFilter(QObject* watched, QEvent* e) {
    // Keys of the text box (seen through the window's key preview): Enter presses Next, Escape presses
    // Close; neither reaches the box.
    if (cbbText && (watched == cbbText || watched == cbbText->lineEdit()) && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnNextClick();
            return true;
        }
        if (key == Qt::Key_Escape) {
            btnCloseClick();
            return true;
        }
    }
    return TKVForm::eventFilter(watched, e);
}

void TfrmSearchDlg::btnCloseClick() {
    close();
}

void TfrmSearchDlg::cbbFieldsChange() {
    if (search_->OnSelectField) search_->OnSelectField(this, SelectedFieldName(), cbbFields->currentText());
}

void TfrmSearchDlg::rbBeginningClick() {
    if (!rbBeginning->Checked()) rbCursor->setChecked(true);
}

void TfrmSearchDlg::btnNextClick() {
    try {
        if (search_->BeforeSearch) search_->BeforeSearch(this);
        const QString text = cbbText->currentText();
        if (search_->ShowMessages && text.isEmpty()) {
            MessageDlg(search_->Messages().SearchedTextBlank, MsgDlgType::Error, mbOK);
            cbbText->setFocus();
            return;
        }
        search_->Check();
        const QString field = SelectedFieldName();
        const bool whole = chkWholeWords->Checked(), caseSensitive = chkCase->Checked();
        const auto direction =
            rbBackward->Checked() ? TkvSearchDialog::sdBackward : TkvSearchDialog::sdForward;
        if (rbBeginning->Checked()) {
            const bool found = TkvSearchDialog::Search(grid_, field, text, TkvSearchDialog::soFromBeginning,
                                                       direction, whole, caseSensitive);
            // The next press continues from the record found.
            rbCursor->setChecked(true);
            if (found) return;
        }
        bool found = TkvSearchDialog::Search(grid_, field, text, TkvSearchDialog::soFromCursor, direction,
                                             whole, caseSensitive);
        if (search_->AfterSearch) search_->AfterSearch(this, found);
        if (search_->ShowMessages && !found)
            MessageDlg(formatted(search_->Messages().SearchedTextNotFound, text), MsgDlgType::Information,
                       mbOK);
    } catch (const EAbort&) {
        // A handler refused the search silently.
    } catch (const std::exception& e) {
        qCWarning(lcQuery) << "find failed:" << e.what();
        MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, mbOK);
    }
}

// --- the maintenance windows' configuration ----------------------------------------------------------

void SetupWindowSearch(TkvSearchDialog& search, TSearchOwner& owner) {
    search.Caption = QStringLiteral("快速定位");
    search.ShowMessages = false;
    search.SortFields = TkvSearchDialog::sfSortByFieldName;
    search.Direction = TkvSearchDialog::sdForward;
    search.Origin = TkvSearchDialog::soFromCursor;
    auto* intl = search.findChild<TKvUserIntl*>(QStringLiteral("kvUserIntl1"), Qt::FindDirectChildrenOnly);
    if (!intl) {
        intl = new TKvUserIntl(&search);
        intl->setObjectName(QStringLiteral("kvUserIntl1"));
    }
    intl->DialogFont()->setName(QStringLiteral("宋体"));
    intl->DialogFont()->setHeight(-13);
    TKvUserMessages& m = *intl->UserMessages();
    m.SearchedTextBlank = QStringLiteral("查找的值不可为空。");
    m.SearchedTextNotFound = QStringLiteral("\"%s\"没有找到");
    TKvUserDialogInfo& i = *intl->UserDialogInfo();
    i.BtnClose = QStringLiteral("关闭(&O)");
    i.BtnNext = QStringLiteral("下一个(&N)");
    i.ChkCaseSentitive = QStringLiteral("区分大小写(&C)");
    i.ChkWholeWords = QStringLiteral("全字匹配(&W)");
    i.GrpDirection = QStringLiteral("方向");
    i.GrpFields = QStringLiteral("字段(&S)");
    i.GrpOptions = QStringLiteral("选项");
    i.GrpOrigin = QStringLiteral("区域");
    i.LblSearchText = QStringLiteral("查找的值(&T)");
    i.RbBackward = QStringLiteral("向上(&B)");
    i.RbForward = QStringLiteral("向下(&D)");
    i.RbFromCursor = QStringLiteral("从当前位置查找(&F)");
    i.RbFromBeginning = QStringLiteral("从头开始查找(&E)");
    search.SetUserIntl(intl);

    TSearchOwner* o = &owner;
    auto report = [o](const QString& text) {
        TBrokers* broker = o->SearchBroker();
        if (!broker) {
            qCWarning(lcQuery) << "find message without a broker:" << text;
            return;
        }
        if (!WriteToAlertFile(broker->ProgID, text, QStringLiteral("D")))
            qCWarning(lcQuery) << "alert log not written:" << text;
        broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000032"), {Variant(text)});
    };
    TkvSearchDialog* s = &search;
    search.OnInitDialog = [o, s](TfrmSearchDlg* dlg) {
        dlg->setFont(o->SearchDialogFont());
        dlg->setCaption(o->SearchUIText(s->Caption));
        for (QLabel* l : {dlg->lblSearchText})
            l->setText(o->SearchUIText(l->text()));
        for (QGroupBox* g : {dlg->grpOptions, dlg->grpFields, dlg->grpDirection, dlg->grpOrigin})
            g->setTitle(o->SearchUIText(g->title()));
        for (TControl* c : std::initializer_list<TControl*>{dlg->chkCase, dlg->chkWholeWords, dlg->rbForward,
                                                            dlg->rbBackward, dlg->rbCursor, dlg->rbBeginning})
            c->setCaption(o->SearchUIText(c->Caption()));
        for (QPushButton* b : {dlg->btnNext, dlg->btnClose})
            b->setText(o->SearchUIText(b->text()));
        // Preselect the grid's selected column.
        TFDBGrid* grid = s->SearchGrid();
        TClientDataSet* ds = s->SearchedDataSet();
        const TField* f = grid && ds ? ds->FindField(grid->SelectedField()) : nullptr;
        if (!f) return;
        const int at = dlg->FieldNames().indexOf(f->FieldName());
        if (at < 0) return;
        dlg->cbbFields->setCurrentIndex(at);
        try {
            dlg->cbbFieldsChange();
        } catch (const std::exception& e) {
            qCDebug(lcQuery) << "field preselection:" << e.what();
        }
    };
    search.OnSelectField = [s](TfrmSearchDlg*, const QString& fieldName, const QString&) {
        TFDBGrid* grid = s->SearchGrid();
        if (!grid) return;
        // The position among the columns as shown.
        int shown = 0;
        for (int c = 0; c < grid->Columns()->Count(); ++c) {
            const TColumn* col = grid->column(c);
            if (!col || !col->Visible()) continue;
            if (col->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0) {
                grid->setCurrentColumn(shown);
                return;
            }
            ++shown;
        }
    };
    search.BeforeSearch = [o, s, report](TfrmSearchDlg* dlg) {
        if (!dlg->cbbText->currentText().isEmpty()) return;
        report(o->SearchUIText(s->Messages().SearchedTextBlank));
        Abort();
    };
    search.AfterSearch = [o, s, report](TfrmSearchDlg* dlg, bool& found) {
        if (!found)
            report(
                formatted(o->SearchUIText(s->Messages().SearchedTextNotFound), dlg->cbbText->currentText()));
    };
}

} // namespace kvx
