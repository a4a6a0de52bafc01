#include "DataSetModel.h"

#include <QScopeGuard>

namespace kvx {

TDataSetModel::TDataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

TDataSetModel::~TDataSetModel() = default;

void TDataSetModel::setDataSource(TDataSource* ds) {
    link_.SetDataSource(ds);
    resetAll();
}

void TDataSetModel::rebuildColumns() {
    columns_.clear();
    TClientDataSet* ds = dataSet();
    if (!ds || !link_.Active()) return;
    for (TField* f : ds->Fields())
        if (f->Visible()) columns_ << f;
}

void TDataSetModel::resetAll() {
    if (fetching_) return;
    beginResetModel();
    rebuildColumns();
    TClientDataSet* ds = dataSet();
    rows_ = ds && link_.Active() ? ds->RecordCount() : 0;
    // Bookmarks of records that are gone leave the selection.
    if (ds && link_.Active()) {
        for (int i = int(selected_.size()) - 1; i >= 0; --i)
            if (!ds->BookmarkValid(selected_[i])) {
                selectedSet_.remove(selected_[i]);
                selected_.removeAt(i);
            }
    }
    endResetModel();
    scrolled();
}

void TDataSetModel::datasetReset() {
    TClientDataSet* ds = dataSet();
    if (ds && ds->Active() && ds->InFieldUpdate()) {
        ds->fieldListChanged(); // noted for the end of the batch
        return;
    }
    resetAll();
}

void TDataSetModel::scrolled() {
    const int row = currentRow();
    if (row != lastRow_) {
        lastRow_ = row;
        emit currentRowChanged(row);
    }
}

void TDataSetModel::recordChanged(TField* field) {
    const int row = currentRow();
    if (row < 0 || row >= rows_) return;
    const int col = field ? columnOf(field) : -1;
    if (field && col < 0) return;
    emit dataChanged(index(row, col < 0 ? 0 : col), index(row, col < 0 ? columnCount() - 1 : col));
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

TField* TDataSetModel::fieldAt(int column) const {
    return column >= 0 && column < columns_.size() ? columns_[column].data() : nullptr;
}

int TDataSetModel::columnOf(const TField* field) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i] == field) return i;
    return -1;
}

QVariant TDataSetModel::data(const QModelIndex& idx, int role) const {
    TClientDataSet* ds = dataSet();
    TField* f = fieldAt(idx.column());
    if (!ds || !f || idx.row() < 0 || idx.row() >= rows_ || idx.row() >= ds->RecordCount()) return {};
    const bool current =
        idx.row() == ds->RecNo() - 1 || (ds->State() == TDataSetState::dsEdit && idx.row() == currentRow());
    QVariant out;
    auto read = [&] {
        switch (role) {
        case Qt::DisplayRole:
            out = f->DisplayText();
            break;
        case Qt::EditRole:
            out = f->Text();
            break;
        case Qt::TextAlignmentRole:
            out = QVariant::fromValue(
                Qt::Alignment((f->IsNumeric() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
            break;
        case BookmarkRole:
            out = QVariant::fromValue(qint64(ds->activeBookmark()));
            break;
        case SelectedRole:
            out = selectedSet_.contains(ds->activeBookmark());
            break;
        case FieldNameRole:
            out = f->FieldName();
            break;
        default:
            break;
        }
    };
    // The current record reads through the dataset (so an edit in progress shows); others are peeked.
    if (current)
        read();
    else
        ds->withRecordAt(idx.row(), read);
    return out;
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        TField* f = fieldAt(section);
        if (!f) return {};
        if (role == Qt::DisplayRole) return f->DisplayLabel();
        if (role == FieldNameRole) return f->FieldName();
        return {};
    }
    if (role == Qt::DisplayRole) return section == currentRow() ? QStringLiteral("▶") : QString();
    return {};
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& idx) const {
    Qt::ItemFlags fl = QAbstractTableModel::flags(idx);
    TField* f = fieldAt(idx.column());
    if (!readOnly_ && f && !f->ReadOnly() && f->FieldKind() != TField::fkCalculated &&
        f->FieldKind() != TField::fkLookup && dataSet() && dataSet()->CanModify())
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool TDataSetModel::setData(const QModelIndex& idx, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(idx) & Qt::ItemIsEditable)) return false;
    TClientDataSet* ds = dataSet();
    TField* f = fieldAt(idx.column());
    if (!ds || !f) return false;
    if (currentRow() != idx.row()) setCurrentRow(idx.row());
    if (currentRow() != idx.row()) return false;
    ds->Edit();
    f->SetText(value.toString());
    return true;
}

bool TDataSetModel::canFetchMore(const QModelIndex& parent) const {
    TClientDataSet* ds = dataSet();
    return !parent.isValid() && ds && link_.Active() && ds->HasMorePackets();
}

void TDataSetModel::fetchMore(const QModelIndex& parent) {
    TClientDataSet* ds = dataSet();
    if (parent.isValid() || !ds || !ds->HasMorePackets()) return;
    const bool sorted = !ds->IndexFieldNames().isEmpty() || !ds->IndexName().isEmpty();
    if (sorted) {
        ds->GetNextPacket(); // merged into the order: the change notice resets the model
        return;
    }
    // Natural order: the new records are appended, so only rows are inserted.
    fetching_ = true;
    int added = 0;
    {
        const auto done = qScopeGuard([this] { fetching_ = false; });
        added = ds->GetNextPacket();
    }
    const int now = ds->RecordCount();
    if (added > 0 && now > rows_) {
        beginInsertRows({}, rows_, now - 1);
        rows_ = now;
        endInsertRows();
    }
    scrolled();
}

int TDataSetModel::currentRow() const {
    TClientDataSet* ds = dataSet();
    if (!ds || !link_.Active()) return -1;
    if (ds->State() == TDataSetState::dsEdit) return ds->positionOf(ds->Bookmark());
    return ds->RecNo() - 1;
}

void TDataSetModel::setCurrentRow(int row) {
    TClientDataSet* ds = dataSet();
    if (!ds || !link_.Active() || row < 0 || row >= ds->RecordCount()) return;
    if (row == currentRow()) return;
    ds->MoveBy(row - currentRow());
    scrolled();
}

bool TDataSetModel::isRowSelected(int row) const {
    TClientDataSet* ds = dataSet();
    return ds && selectedSet_.contains(ds->bookmarkAt(row));
}

void TDataSetModel::setSelected(TBookmark b, bool selected) {
    if (b < 0 || selectedSet_.contains(b) == selected) return;
    if (selected) {
        selected_ << b;
        selectedSet_.insert(b);
    } else {
        selected_.removeAll(b);
        selectedSet_.remove(b);
    }
    if (TClientDataSet* ds = dataSet()) {
        const int row = ds->positionOf(b);
        if (row >= 0 && row < rows_ && columnCount() > 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
    emit selectionChanged();
}

void TDataSetModel::setRowSelected(int row, bool selected) {
    if (TClientDataSet* ds = dataSet()) setSelected(ds->bookmarkAt(row), selected);
}

bool TDataSetModel::currentRowSelected() const {
    TClientDataSet* ds = dataSet();
    return ds && selectedSet_.contains(ds->Bookmark());
}

void TDataSetModel::setCurrentRowSelected(bool selected) {
    if (TClientDataSet* ds = dataSet()) setSelected(ds->Bookmark(), selected);
}

void TDataSetModel::selectAll() {
    TClientDataSet* ds = dataSet();
    if (!ds || !link_.Active()) return;
    for (int row = 0; row < ds->RecordCount(); ++row) {
        const TBookmark b = ds->bookmarkAt(row);
        if (!selectedSet_.contains(b)) {
            selected_ << b;
            selectedSet_.insert(b);
        }
    }
    if (rows_ > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
    emit selectionChanged();
}

void TDataSetModel::clearSelection() {
    if (selected_.isEmpty()) return;
    selected_.clear();
    selectedSet_.clear();
    if (rows_ > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
    emit selectionChanged();
}

} // namespace kvx
