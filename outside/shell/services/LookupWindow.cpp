#include "LookupWindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace pellan {

LookupWindow::LookupWindow(const QString& caption, const QStringList& headers, const QList<QStringList>& rows,
                           QWidget* parent)
    : QDialog(parent), rows_(rows), search_(new QLineEdit(this)), grid_(new QTableView(this)),
      status_(new QLabel(this)), model_(new QStandardItemModel(this)),
      filter_(new QSortFilterProxyModel(this)) {
    setObjectName(QStringLiteral("frmLookup"));
    setWindowTitle(caption);
    search_->setObjectName(QStringLiteral("edSearch"));
    search_->setPlaceholderText(QStringLiteral("查找"));
    grid_->setObjectName(QStringLiteral("gdLookup"));
    status_->setObjectName(QStringLiteral("lblCount"));

    int columns = int(headers.size());
    for (const QStringList& r : rows)
        columns = qMax(columns, int(r.size()));
    model_->setColumnCount(columns);
    for (int c = 0; c < columns; ++c)
        model_->setHeaderData(c, Qt::Horizontal, c < headers.size() ? headers[c] : QString::number(c + 1));
    for (int i = 0; i < rows.size(); ++i) {
        QList<QStandardItem*> items;
        for (int c = 0; c < columns; ++c) {
            auto* item = new QStandardItem(rows[i].value(c));
            item->setEditable(false);
            item->setData(i, Qt::UserRole);
            items.append(item);
        }
        model_->appendRow(items);
    }
    filter_->setSourceModel(model_);
    filter_->setFilterKeyColumn(-1);
    filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    grid_->setModel(filter_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(grid_, 1);
    layout->addWidget(status_);
    resize(520, 360);

    connect(search_, &QLineEdit::textChanged, this, &LookupWindow::applyFilter);
    connect(grid_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { pickRow(index.row()); });
    search_->installEventFilter(this);
    grid_->installEventFilter(this);
    applyFilter(QString());
    search_->setFocus();
}

void LookupWindow::setSearchText(const QString& text) {
    search_->setText(text);
}

QString LookupWindow::searchText() const {
    return search_->text();
}

int LookupWindow::visibleRowCount() const {
    return filter_->rowCount();
}

void LookupWindow::applyFilter(const QString& text) {
    filter_->setFilterFixedString(text.trimmed());
    if (filter_->rowCount() > 0) grid_->selectRow(0);
    status_->setText(QStringLiteral("%1 / %2").arg(filter_->rowCount()).arg(model_->rowCount()));
}

void LookupWindow::moveCurrent(int delta) {
    const int n = filter_->rowCount();
    if (n == 0) return;
    const QModelIndex cur = grid_->currentIndex();
    const int row = qBound(0, (cur.isValid() ? cur.row() : -1) + delta, n - 1);
    grid_->selectRow(row);
}

void LookupWindow::pickCurrent() {
    const QModelIndex cur = grid_->currentIndex();
    if (cur.isValid())
        pickRow(cur.row());
    else if (filter_->rowCount() == 1)
        pickRow(0);
}

void LookupWindow::pickRow(int proxyRow) {
    if (proxyRow < 0 || proxyRow >= filter_->rowCount()) return;
    chosenIndex_ = filter_->index(proxyRow, 0).data(Qt::UserRole).toInt();
    chosen_ = rows_.value(chosenIndex_);
    accept();
}

bool LookupWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            pickCurrent();
            return true;
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
            if (watched == search_) {
                const int step = (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) ? 10 : 1;
                moveCurrent((key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown) ? step : -step);
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pellan
