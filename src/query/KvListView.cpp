#include "KvListView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace kvx {

namespace {
// Hands an edited caption to the view's edit check before the model takes it.
class CaptionDelegate : public QStyledItemDelegate {
public:
    explicit CaptionDelegate(TKvListView* view) : QStyledItemDelegate(view), view_(view) {}
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        QString text;
        if (auto* le = qobject_cast<QLineEdit*>(editor))
            text = le->text();
        else
            text = editor->property("text").toString();
        QStandardItem* item = view_->Model()->itemFromIndex(index);
        if (!item || text == item->text()) return;
        if (view_->OnEdited && !view_->OnEdited(item, text)) return;
        model->setData(index, text, Qt::EditRole);
        view_->Sort();
    }

private:
    TKvListView* view_;
};
} // namespace

TKvListView::TKvListView(QWidget* parent) : QWidget(parent) {
    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    icons_ = new QListView(this);
    icons_->setObjectName(QStringLiteral("IconView"));
    report_ = new QTreeView(this);
    report_->setObjectName(QStringLiteral("ReportView"));
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setSortingEnabled(false);
    report_->header()->setSectionsClickable(false);
    report_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    report_->header()->setStretchLastSection(false);
    auto* delegate = new CaptionDelegate(this);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(icons_), static_cast<QAbstractItemView*>(report_)}) {
        v->setModel(&model_);
        v->setItemDelegate(delegate);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
            if (QStandardItem* item = model_.item(i.row(), 0)) emit DoubleClicked(item);
        });
        stack_->addWidget(v);
    }
    report_->setSelectionModel(icons_->selectionModel());
    report_->setSelectionBehavior(QAbstractItemView::SelectRows);
    SetViewStyle(vsIcon);
}

void TKvListView::SetViewStyle(int style) {
    style_ = qBound(int(vsIcon), style, int(vsReport));
    if (style_ == vsReport) {
        stack_->setCurrentWidget(report_);
        report_->setIconSize(QSize(16, 16));
        return;
    }
    stack_->setCurrentWidget(icons_);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    icons_->setWordWrap(style_ == vsIcon);
    switch (style_) {
    case vsIcon:
        icons_->setViewMode(QListView::IconMode);
        icons_->setIconSize(QSize(32, 32));
        icons_->setFlow(QListView::LeftToRight);
        icons_->setGridSize(QSize(72, 64));
        break;
    case vsSmallIcon:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::LeftToRight);
        icons_->setGridSize(QSize());
        break;
    default:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::TopToBottom);
        icons_->setGridSize(QSize());
        break;
    }
}

void TKvListView::SetColumns(const QStringList& captions) {
    model_.setColumnCount(captions.size());
    for (int c = 0; c < captions.size(); ++c) {
        auto* head = new QStandardItem(captions[c]);
        head->setTextAlignment((c == 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        model_.setHorizontalHeaderItem(c, head);
    }
}

void TKvListView::Clear() {
    model_.removeRows(0, model_.rowCount());
}

QStandardItem* TKvListView::AddItem(const QString& caption, const QStringList& subItems, int imageIndex) {
    QList<QStandardItem*> row;
    auto* item = new QStandardItem(caption);
    if (imageIndex >= 0 && imageIndex < images_.size()) item->setIcon(images_[imageIndex]);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row << item;
    for (const QString& s : subItems) {
        auto* sub = new QStandardItem(s);
        sub->setEditable(false);
        row << sub;
    }
    while (row.size() < model_.columnCount())
        row << new QStandardItem();
    model_.appendRow(row);
    return item;
}

void TKvListView::Sort() {
    model_.sort(0, Qt::AscendingOrder);
}

QString TKvListView::SubItem(int i, int column) const {
    const QStandardItem* s = model_.item(i, column);
    return s ? s->text() : QString();
}

QStandardItem* TKvListView::Selected() const {
    const QModelIndexList rows = icons_->selectionModel()->selectedIndexes();
    for (const QModelIndex& i : rows)
        if (QStandardItem* item = model_.item(i.row(), 0)) return item;
    return nullptr;
}

void TKvListView::SetSelected(QStandardItem* item) {
    if (!item) {
        icons_->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex i = item->index();
    icons_->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
}

void TKvListView::EditCaption(QStandardItem* item) {
    if (!item) return;
    SetSelected(item);
    ActiveView()->setFocus();
    ActiveView()->edit(item->index());
}

QAbstractItemView* TKvListView::ActiveView() const {
    return style_ == vsReport ? static_cast<QAbstractItemView*>(report_)
                              : static_cast<QAbstractItemView*>(icons_);
}

} // namespace kvx
