// The saved-scheme side of TQBEForm: the scheme panel, applying a scheme, and the scheme texts.
#include "DocuConditionCF.h"
#include "KvQBE.h"
#include "Log.h"

#include "controls/ExtPageControl.h"
#include "controls/KvDBComboBox.h"
#include "controls/SimpleControls.h"
#include "controls/StringAlignGrid.h"
#include "lang/CodeConverter.h"
#include "platform/DialogService.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace kvx {

namespace {
const char* const kPackage = "TQBEForm";

// Scheme images: 0 a scheme, 1 a shared scheme.
QIcon schemeIcon(bool shared) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        p.setPen(QPen(QColor(70, 90, 130), u));
        p.setBrush(QColor(255, 255, 240));
        p.drawRect(QRectF(2.5 * u, 1.5 * u, 10 * u, 13 * u));
        p.setPen(QPen(QColor(110, 130, 170), u));
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(4.5 * u, (4.5 + 2.5 * i) * u), QPointF(10.5 * u, (4.5 + 2.5 * i) * u));
        if (shared) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 140, 60));
            p.drawEllipse(QRectF(9 * u, 8 * u, 4 * u, 4 * u));
            p.drawEllipse(QRectF(11.5 * u, 10 * u, 4 * u, 4 * u));
        }
        icon.addPixmap(pm);
    }
    return icon;
}

QString shownDate(const QString& stored) {
    QDate d = QDate::fromString(stored.trimmed(), QStringLiteral("yyyyMMdd"));
    if (!d.isValid()) d = QDate(1899, 12, 30);
    return QLocale::system().toString(d, QLocale::ShortFormat);
}
} // namespace

// --- construction ---------------------------------------------------------------------------------

void TQBEForm::buildSchemePanel() {
    pnlScheme = new QWidget(splMain);
    pnlScheme->setObjectName(QStringLiteral("pnlScheme"));
    pnlScheme->setMinimumWidth(160);
    auto* sl = new QVBoxLayout(pnlScheme);
    sl->setContentsMargins(0, 0, 0, 0);
    sl->setSpacing(2);

    auto* head = new QHBoxLayout;
    head->setContentsMargins(0, 0, 0, 0);
    lblCondition = new QLabel(QStringLiteral(" 查询方案"), pnlScheme);
    lblCondition->setObjectName(QStringLiteral("lblCondition"));
    head->addWidget(lblCondition, 1);

    mnList = new QMenu(this);
    mnList->setObjectName(QStringLiteral("mnList"));
    auto* views = new QActionGroup(mnList);
    auto viewItem = [&](const char* name, const char* caption, void (TQBEForm::*handler)()) {
        QAction* a = mnList->addAction(QString::fromUtf8(caption));
        a->setObjectName(QLatin1String(name));
        a->setCheckable(true);
        views->addAction(a);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    miViewIcon = viewItem("miViewIcon", "大型图标(&G)", &TQBEForm::ViewIconExecute);
    miViewSmallIcon = viewItem("miViewSmallIcon", "小型图标(&M)", &TQBEForm::ViewSmallIconExecute);
    miViewList = viewItem("miViewList", "清单(&L)", &TQBEForm::ViewListExecute);
    miViewReport = viewItem("miViewReport", "详细信息(&D)", &TQBEForm::ViewReportExecute);
    miViewIcon->setChecked(true);

    ToolButton1 = new QToolButton(pnlScheme);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton1->setText(QStringLiteral("ViewIcon"));
    ToolButton1->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ToolButton1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolButton1->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButton1->setMenu(mnList);
    ToolButton1->setAutoRaise(true);
    connect(ToolButton1, &QToolButton::clicked, this, &TQBEForm::ToolButton1Click);
    head->addWidget(ToolButton1);
    sl->addLayout(head);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(1);
    auto button = [&](const char* name, const char* caption, const char* hint, void (TQBEForm::*handler)()) {
        auto* b = new QToolButton(pnlScheme);
        b->setObjectName(QLatin1String(name));
        b->setText(QString::fromUtf8(caption));
        b->setToolTip(QString::fromUtf8(hint));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(b, &QToolButton::clicked, this, [this, handler] { guarded(handler); });
        buttons->addWidget(b);
        return b;
    };
    btnInsert = button("btnInsert", "保存(&N)", "保存", &TQBEForm::btnInsertClick);
    btnOpen = button("btnOpen", "开启(&O)", "开启", &TQBEForm::btnOpenClick);
    btnDelete = button("btnDelete", "删除(&D)", "删除", &TQBEForm::btnDeleteClick);
    sl->addLayout(buttons);

    lstCondition = new TKvListView(pnlScheme);
    lstCondition->setObjectName(QStringLiteral("lstCondition"));
    lstCondition->SetImages({schemeIcon(false), schemeIcon(true)});
    lstCondition->OnEdited = [this](QStandardItem* item, const QString& caption) {
        bool accepted = false;
        try {
            accepted = lstConditionEdited(item, caption);
        } catch (const std::exception& e) {
            qCWarning(lcQuery) << "renaming a scheme failed:" << e.what();
            MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, MsgDlgButtons(mbOK));
        }
        return accepted;
    };
    connect(lstCondition, &TKvListView::DoubleClicked, this, [this] { guarded(&TQBEForm::btnOpenClick); });
    sl->addWidget(lstCondition, 1);

    mnScheme = new QMenu(this);
    mnScheme->setObjectName(QStringLiteral("mnScheme"));
    miShare = mnScheme->addAction(QStringLiteral("共享给本组(&S)"));
    miShare->setObjectName(QStringLiteral("miShare"));
    miShare->setCheckable(true);
    miDefault = mnScheme->addAction(QStringLiteral("设为默认方案(&F)"));
    miDefault->setObjectName(QStringLiteral("miDefault"));
    miDefault->setCheckable(true);
    connect(miShare, &QAction::triggered, this, [this] { guarded(&TQBEForm::miShareClick); });
    connect(miDefault, &QAction::triggered, this, [this] { guarded(&TQBEForm::miDefaultClick); });
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(lstCondition->IconView()),
                                 static_cast<QAbstractItemView*>(lstCondition->ReportView())}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) {
            const QStandardItem* item = lstCondition->Selected();
            const TQBEScheme* s = schemeOf(item);
            const bool own = s && ownScheme(*s);
            miShare->setEnabled(own);
            miDefault->setEnabled(own);
            miShare->setChecked(s && s->shared);
            miDefault->setChecked(s && s->isDefault);
            mnScheme->popup(v->viewport()->mapToGlobal(pos));
        });
    }
}

void TQBEForm::guarded(void (TQBEForm::*handler)()) {
    try {
        (this->*handler)();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        qCWarning(lcQuery) << "scheme panel:" << e.what();
        MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, MsgDlgButtons(mbOK));
    }
}

QString TQBEForm::schemeText(const char* key, const char* fallback) const {
    QString text;
    return const_cast<TQBEForm*>(this)->GetMessage(QLatin1String(kPackage), QLatin1String(key), text, true,
                                                   QString::fromUtf8(fallback));
}

TQBESchemeStore* TQBEForm::store() const {
    return owner_ ? owner_->QBESchemeStore() : nullptr;
}

QString TQBEForm::toData(const QString& s) const {
    return KvConverter()->RecoverDataString(Variant(s)).toString();
}

QString TQBEForm::fromData(const QString& s) const {
    return KvConverter()->ConvertDataString(Variant(s)).toString();
}

bool TQBEForm::ownScheme(const TQBEScheme& s) const {
    const TQBESchemeStore* st = store();
    return st && s.creator.compare(st->UserID(), Qt::CaseInsensitive) == 0;
}

const TQBEScheme* TQBEForm::schemeOf(const QStandardItem* item) const {
    if (!item) return nullptr;
    const int i = item->data(TKvListView::kDataRole).toInt();
    return i >= 0 && i < schemes_.size() ? &schemes_[i] : nullptr;
}

QString TQBEForm::SchemeCaption(const TQBEScheme& s) const {
    const QString name = fromData(s.name);
    return ownScheme(s) ? name : QStringLiteral("%1 (%2)").arg(name, s.creator);
}

std::optional<TQBEScheme> TQBEForm::DefaultScheme() const {
    for (const TQBEScheme& s : schemes_)
        if (s.isDefault && ownScheme(s)) return s;
    return std::nullopt;
}

// --- loading ---------------------------------------------------------------------------------------

void TQBEForm::LoadSchemes() {
    // The selected scheme stays selected across the reload.
    const TQBEScheme* was = schemeOf(lstCondition->Selected());
    const QString selName = was ? was->name : QString(), selCreator = was ? was->creator : QString();
    lstCondition->setUpdatesEnabled(false);
    const int style = lstCondition->ViewStyle();
    lstCondition->SetViewStyle(TKvListView::vsList);
    lstCondition->Clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto restore = qScopeGuard([&] {
        lstCondition->SetViewStyle(style);
        lstCondition->setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    });
    schemes_.clear();
    TQBESchemeStore* st = store();
    if (!st) return;
    const QString answer = st->Load(schemes_);
    if (!answer.isEmpty()) qCWarning(lcQuery) << "loading the saved schemes:" << answer;
    const QString sharedBy = schemeText("sSharedBy", "由 %s 共享，只读");
    for (int i = 0; i < schemes_.size(); ++i) {
        const TQBEScheme& s = schemes_[i];
        const bool own = ownScheme(s);
        QStandardItem* item =
            lstCondition->AddItem(SchemeCaption(s), {shownDate(s.createDate)}, s.shared || !own ? 1 : 0);
        item->setData(i, TKvListView::kDataRole);
        item->setEditable(own);
        if (!own) {
            QFont f = item->font();
            f.setItalic(true);
            item->setFont(f);
            item->setToolTip(QString(sharedBy).replace(QLatin1String("%s"), s.creator));
        } else {
            item->setToolTip(item->text()); // icon views elide long names
        }
        if (own && s.isDefault) {
            QFont f = item->font();
            f.setBold(true);
            item->setFont(f);
        }
    }
    lstCondition->Sort();
    for (int i = 0; i < lstCondition->Count(); ++i)
        if (const TQBEScheme* s = schemeOf(lstCondition->Item(i));
            s && s->name == selName && s->creator == selCreator)
            lstCondition->SetSelected(lstCondition->Item(i));
}

void TQBEForm::schemesChanged() {
    LoadSchemes();
    if (TQBESchemeMenu* menu = owner_ ? owner_->QBESchemeMenu() : nullptr) menu->SchemeMenuRebuild();
}

// --- scheme texts ----------------------------------------------------------------------------------

QString TQBEForm::SchemeText() const {
    const QString limit = cbTopRow->Text();
    if (pgQBE->ActivePage() == tbsGeneral || !pgQBE->ActivePage()) {
        QList<qbe::SchemeGridRow> rows;
        for (int r = 1; r < sg1->RowCount(); ++r)
            rows << qbe::SchemeGridRow{sg1->Cells(0, r), sg1->Cells(1, r), sg1->Cells(2, r),
                                       sg1->Cells(3, r)};
        return qbe::encodeGridScheme(limit, rows);
    }
    qbe::AdvancedScheme a;
    a.rowLimit = limit;
    a.memo = Memo1->toPlainText();
    const QStringList items = ListBox2->Items();
    for (int i = 0; i < items.size(); ++i)
        a.sort << qbe::SchemeSortItem{items[i], ListBox2->isChecked(i)};
    a.detail = chkBody->isChecked();
    a.detailMemo = Memo2->toPlainText();
    return qbe::encodeAdvancedScheme(a);
}

bool TQBEForm::ApplyScheme(int page, const QString& text) {
    try {
        const auto convert = [this](const QString& s) { return fromData(s); };
        if (page == 0) {
            pgQBE->setActivePage(tbsGeneral);
            sg1->commitEditor();
            while (sg1->RowCount() > 2)
                sg1->DeleteRow(sg1->RowCount() - 1);
            clearRow(1);
            lastField_.clear();
            const qbe::GridScheme g = qbe::decodeGridScheme(text, convert);
            cbTopRow->setText(g.rowLimit);
            int row = 1;
            for (const qbe::SchemeGridRow& r : g.rows) {
                if (row > 1) sg1->setRowCount(row + 1);
                sg1->setCells(0, row, r.field);
                fieldPicked(row, r.field);
                sg1->setCells(0, row, r.field);
                sg1->setCells(1, row, r.op);
                sg1->setCells(2, row, r.value);
                sg1->setCells(3, row, r.connector);
                ++row;
            }
            for (int r = 1; r < sg1->RowCount(); ++r)
                if (sg1->Cells(2, r).trimmed().isEmpty()) sg1->setCells(2, r, QString());
            paintRows();
            return true;
        }
        pgQBE->setActivePage(tbsAdvanced);
        ListBox2->setItems({});
        const qbe::AdvancedScheme a = qbe::decodeAdvancedScheme(text, convert);
        cbTopRow->setText(a.rowLimit);
        Memo1->setPlainText(a.memo);
        for (const qbe::SchemeSortItem& item : a.sort)
            ListBox2->addItem(item.item, item.descending);
        // The detail filter exists only for a window with detail inputs.
        const bool detail = a.detail && owner_ && owner_->QBEDetail();
        chkBody->setChecked(detail);
        chkBodyClick();
        Memo2->setPlainText(a.detailMemo);
        if (page == 1) pgQBE->setActivePage(tbsAdvanced);
        return true;
    } catch (const std::exception& e) {
        qCWarning(lcQuery) << "applying a scheme failed:" << e.what();
        return false;
    }
}

void TQBEForm::SchemeCondition(QString& condition, QString& ordering) {
    DoCondition();
    const bool general = pgQBE->ActivePage() == tbsGeneral || !pgQBE->ActivePage();
    const QString text = general ? condition_ : (chkBody->isChecked() ? combined_ : condition_);
    condition = KvConverter()->RecoverUIString(Variant(text)).toString();
    ordering = sortText_;
}

bool TQBEForm::RunScheme(const QString& name, const QString& creator, QString& condition, QString& ordering) {
    TQBESchemeStore* st = store();
    if (!st) return false;
    const std::optional<TQBEScheme> s = st->Find(name, creator);
    if (!s || !ApplyScheme(s->activePage, s->text)) return false;
    SchemeCondition(condition, ordering);
    return true;
}

// --- panel handlers --------------------------------------------------------------------------------

void TQBEForm::btnInsertClick() {
    TQBESchemeStore* st = store();
    if (!st) return;
    // A value the grid refuses keeps the focus in the grid: nothing is saved.
    sg1->commitEditor();
    if (pgQBE->ActivePage() == tbsGeneral && sg1->Col() == 2 && sg1->Row() >= 1 &&
        !leaveValueCell(2, sg1->Row()))
        return;
    lstCondition->ActiveView()->setFocus();
    auto* naming = TKVForm::Create<TfrmDocuCondition>(this);
    auto free = qScopeGuard([naming] { delete naming; });
    naming->Exists = [this, st](const QString& typed) { return st->Exists(toData(typed)); };
    QString name;
    bool replace = false;
    if (!naming->Execute(name, replace)) return;
    const int page = pgQBE->ActivePage() == tbsAdvanced ? 1 : pgQBE->ActivePage() == tbsDetail ? 2 : 0;
    QString answer;
    try {
        answer = st->Insert(toData(name), toData(SchemeText()), page, replace);
    } catch (const std::exception& e) {
        answer = QString::fromUtf8(e.what());
    }
    if (!answer.isEmpty()) {
        qCWarning(lcQuery) << "saving scheme" << name << "failed:" << answer;
        MessageDlg(Msg(1), MsgDlgType::Error, MsgDlgButtons(mbOK));
        return;
    }
    schemesChanged();
}

void TQBEForm::btnOpenClick() {
    const TQBEScheme* listed = schemeOf(lstCondition->Selected());
    TQBESchemeStore* st = store();
    if (!listed || !st) return;
    const std::optional<TQBEScheme> s = st->Find(listed->name, listed->creator);
    if (!s) return;
    if (!ApplyScheme(s->activePage, s->text)) MessageDlg(Msg(4), MsgDlgType::Error, MsgDlgButtons(mbOK));
}

void TQBEForm::btnDeleteClick() {
    QStandardItem* item = lstCondition->Selected();
    const TQBEScheme* s = schemeOf(item);
    TQBESchemeStore* st = store();
    if (!s || !st) return;
    if (!ownScheme(*s)) {
        MessageDlg(QString(schemeText("sSharedReadOnly", "此方案由 %s 共享，只有创建者可以更改或删除!"))
                       .replace(QLatin1String("%s"), s->creator),
                   MsgDlgType::Error, MsgDlgButtons(mbOK));
        return;
    }
    if (MessageDlg(Msg(5) + item->text(), MsgDlgType::Confirmation, MsgDlgButtons(mbYes | mbNo)) != mrYes)
        return;
    const QString answer = st->Delete(s->name);
    if (!answer.isEmpty()) throw std::runtime_error(answer.toStdString());
    schemesChanged();
}

bool TQBEForm::lstConditionEdited(QStandardItem* item, const QString& newCaption) {
    const TQBEScheme* s = schemeOf(item);
    TQBESchemeStore* st = store();
    if (!s || !st || !ownScheme(*s)) return false;
    const QString oldCaption = item->text();
    if (newCaption.trimmed().isEmpty()) {
        MessageDlg(Msg(8), MsgDlgType::Error, MsgDlgButtons(mbOK));
        return false;
    }
    if (newCaption.size() >= 21) {
        MessageDlg(Msg(9), MsgDlgType::Error, MsgDlgButtons(mbOK));
        return false;
    }
    for (int i = 0; i < lstCondition->Count(); ++i) {
        QStandardItem* other = lstCondition->Item(i);
        const TQBEScheme* o = schemeOf(other);
        if (other != item && o && ownScheme(*o) && other->text() == newCaption) {
            MessageDlg(Msg(10), MsgDlgType::Error, MsgDlgButtons(mbOK));
            return false;
        }
    }
    if (newCaption == oldCaption) return false;
    const QString newName = toData(newCaption);
    const QString answer = st->Rename(s->name, newName);
    if (!answer.isEmpty()) {
        MessageDlg(Msg(11), MsgDlgType::Error, MsgDlgButtons(mbOK));
        throw std::runtime_error(answer.toStdString());
    }
    schemes_[item->data(TKvListView::kDataRole).toInt()].name = newName;
    if (TQBESchemeMenu* menu = owner_ ? owner_->QBESchemeMenu() : nullptr)
        menu->SchemeMenuRename(oldCaption, newCaption);
    return true;
}

void TQBEForm::miShareClick() {
    const TQBEScheme* s = schemeOf(lstCondition->Selected());
    TQBESchemeStore* st = store();
    if (!s || !st || !ownScheme(*s)) return;
    const QString answer = st->Share(s->name, !s->shared);
    if (!answer.isEmpty()) throw std::runtime_error(answer.toStdString());
    schemesChanged();
}

void TQBEForm::miDefaultClick() {
    const TQBEScheme* s = schemeOf(lstCondition->Selected());
    TQBESchemeStore* st = store();
    if (!s || !st || !ownScheme(*s)) return;
    const QString answer = st->SetDefault(s->name, !s->isDefault);
    if (!answer.isEmpty()) throw std::runtime_error(answer.toStdString());
    schemesChanged();
}

// --- view styles -----------------------------------------------------------------------------------

void TQBEForm::setViewStyle(int style, QAction* item) {
    lstCondition->SetViewStyle(style);
    item->setChecked(true);
}

void TQBEForm::ToolButton1Click() {
    static const char* const handlers[] = {"ViewIconExecute", "ViewSmallIconExecute", "ViewListExecute",
                                           "ViewReportExecute"};
    viewCounter_ = (viewCounter_ + 1) % 4;
    QMetaObject::invokeMethod(this, handlers[viewCounter_], Qt::DirectConnection);
}

void TQBEForm::ViewIconExecute() {
    setViewStyle(TKvListView::vsIcon, miViewIcon);
}

void TQBEForm::ViewSmallIconExecute() {
    setViewStyle(TKvListView::vsSmallIcon, miViewSmallIcon);
}

void TQBEForm::ViewListExecute() {
    setViewStyle(TKvListView::vsList, miViewList);
}

void TQBEForm::ViewReportExecute() {
    setViewStyle(TKvListView::vsReport, miViewReport);
}

} // namespace kvx
