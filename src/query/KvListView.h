// TKvListView: a list of captioned items with sub-item columns, shown in one of four view styles (large
// icons, small icons, list, details) over one item model, sorted by caption. Items are edited in place
// through an edit check: the new caption is taken only when the check accepts it.
#pragma once

#include <QIcon>
#include <QStandardItemModel>
#include <QWidget>
#include <functional>

class QAbstractItemView;
class QListView;
class QStackedLayout;
class QTreeView;

namespace kvx {

class TKvListView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ViewStyle READ ViewStyle WRITE SetViewStyle)
public:
    enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
    static constexpr int kDataRole = Qt::UserRole + 1;

    explicit TKvListView(QWidget* parent = nullptr);

    int ViewStyle() const { return style_; }
    void SetViewStyle(int style);
    // Column captions; the first column is right-aligned, the others left-aligned.
    void SetColumns(const QStringList& captions);
    // Large and small images by index.
    void SetImages(const QList<QIcon>& images) { images_ = images; }

    void Clear();
    QStandardItem* AddItem(const QString& caption, const QStringList& subItems, int imageIndex);
    void Sort();
    int Count() const { return model_.rowCount(); }
    QStandardItem* Item(int i) const { return model_.item(i, 0); }
    QString SubItem(int i, int column) const;
    QStandardItem* Selected() const;
    void SetSelected(QStandardItem* item);
    // Starts editing the caption of an item in the active view.
    void EditCaption(QStandardItem* item);
    // Called before an edited caption is stored; false keeps the old caption.
    std::function<bool(QStandardItem* item, const QString& newCaption)> OnEdited;

    QAbstractItemView* ActiveView() const;
    QListView* IconView() const { return icons_; }
    QTreeView* ReportView() const { return report_; }
    QStandardItemModel* Model() { return &model_; }

signals:
    void DoubleClicked(QStandardItem* item);

private:
    QStandardItemModel model_;
    QListView* icons_ = nullptr;
    QTreeView* report_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QList<QIcon> images_;
    int style_ = vsIcon;
};

} // namespace kvx
