// TDataSetModel: a Qt table model over a data source's dataset, for grids.
//
// Columns are the dataset's visible fields in field order; rows are the fetched records in the
// dataset's current order. The current row is the dataset's current record both ways: setCurrentRow
// moves the cursor, and cursor moves are reported by currentRowChanged. canFetchMore/fetchMore fetch
// the next packet from the provider when the view reaches the end. The selection of several rows is
// kept as bookmarks, so it survives sorting and fetching.
#pragma once

#include "DataSource.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QSet>

namespace kvx {

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Extra roles: the row's bookmark and whether the row is selected.
    enum Roles { BookmarkRole = Qt::UserRole + 1, SelectedRole, FieldNameRole };

    explicit TDataSetModel(QObject* parent = nullptr);
    ~TDataSetModel() override;

    void setDataSource(TDataSource* ds);
    TDataSource* dataSource() const { return link_.DataSource(); }
    TClientDataSet* dataSet() const { return link_.DataSet(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes the cell's field through its text (OnSetText), putting the dataset into edit state.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    TField* fieldAt(int column) const;
    int columnOf(const TField* field) const;
    int currentRow() const;
    void setCurrentRow(int row);
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool v) { readOnly_ = v; }

    // Selection by bookmarks, in selection order.
    QList<TBookmark> selectedRows() const { return selected_; }
    bool isSelected(TBookmark b) const { return selectedSet_.contains(b); }
    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    void setSelected(TBookmark b, bool selected);
    bool currentRowSelected() const;
    void setCurrentRowSelected(bool selected);
    void selectAll();
    void clearSelection();

signals:
    void currentRowChanged(int row);
    void selectionChanged();

private:
    class Link;
    friend class Link;
    void rebuildColumns();
    void resetAll();
    // A reset the dataset asks for: while the dataset is open inside a field-layout batch it waits for
    // the batch's end, which then sends a layout change (one reset for an opening and its field set-up).
    void datasetReset();
    void recordChanged(TField* field);
    void scrolled();

    class Link : public TDataLink {
    public:
        explicit Link(TDataSetModel* m) : model_(m) {}

    protected:
        void ActiveChanged() override { model_->datasetReset(); }
        void DataSetChanged() override { model_->datasetReset(); }
        void LayoutChanged() override { model_->datasetReset(); }
        void DataSetScrolled(int) override { model_->scrolled(); }
        void RecordChanged(TField* field) override { model_->recordChanged(field); }
        void EditingChanged() override { model_->recordChanged(nullptr); }

    private:
        TDataSetModel* model_;
    };

    Link link_{this};
    QList<QPointer<TField>> columns_;
    int rows_ = 0;
    int lastRow_ = -1;
    bool readOnly_ = false;
    bool fetching_ = false;
    QList<TBookmark> selected_;
    QSet<TBookmark> selectedSet_;
};

} // namespace kvx
