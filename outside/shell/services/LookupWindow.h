// LookupWindow: the F2 lookup window. A search box above a grid of rows; typing narrows the grid to the
// rows that contain the text in any column (case-insensitive). Up/Down in the search box move through
// the grid; Enter or a double-click picks the current row; Esc cancels. The document picker is the same
// window over the document list.
#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QTableView;
class QLabel;
class QStandardItemModel;
class QSortFilterProxyModel;

namespace pellan {

class LookupWindow : public QDialog {
    Q_OBJECT
public:
    LookupWindow(const QString& caption, const QStringList& headers, const QList<QStringList>& rows,
                 QWidget* parent = nullptr);

    void setSearchText(const QString& text);
    QString searchText() const;
    // Rows currently shown (after filtering).
    int visibleRowCount() const;
    // The picked row (all columns) and its index among the given rows; empty / -1 until a row is picked.
    QStringList chosenRow() const { return chosen_; }
    int chosenIndex() const { return chosenIndex_; }

    QLineEdit* searchBox() const { return search_; }
    QTableView* grid() const { return grid_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QStringList> rows_;
    QStringList chosen_;
    int chosenIndex_ = -1;
    QLineEdit* search_;
    QTableView* grid_;
    QLabel* status_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* filter_;

    void applyFilter(const QString& text);
    void moveCurrent(int delta);
    void pickCurrent();
    void pickRow(int proxyRow);
};

} // namespace pellan
