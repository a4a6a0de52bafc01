// TStringAlignGrid: a string grid whose cells carry their own settings - alignment (per cell, row or
// column), edit mask, pick list ("display\tvalue" items; the cell keeps the display text), check box
// ("Y;N": the checked and unchecked texts), number cells (only numbers may be typed), hint and colours.
// Fixed rows and columns are ordinary cells drawn as titles; Cells(col, row) addresses every cell.
#pragma once

#include "controls/Control.h"

#include <QHash>

class QTableWidget;
class QTableWidgetItem;

namespace kvx {

class TStringAlignGrid : public TControl {
    Q_OBJECT
    Q_PROPERTY(int ColCount READ ColCount WRITE setColCount)
    Q_PROPERTY(int RowCount READ RowCount WRITE setRowCount)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE setFixedRows)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE setFixedCols)
    Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE setDefaultRowHeight)
    Q_PROPERTY(int DefaultColWidth READ DefaultColWidth WRITE setDefaultColWidth)
    Q_PROPERTY(int Col READ Col WRITE setCol)
    Q_PROPERTY(int Row READ Row WRITE setRow)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(TGridOptions Options READ Options WRITE setOptions)
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    enum TGridOption {
        goFixedVertLine = 0x1,
        goFixedHorzLine = 0x2,
        goVertLine = 0x4,
        goHorzLine = 0x8,
        goRangeSelect = 0x10,
        goDrawFocusSelected = 0x20,
        goRowSizing = 0x40,
        goColSizing = 0x80,
        goRowMoving = 0x100,
        goColMoving = 0x200,
        goEditing = 0x400,
        goTabs = 0x800,
        goRowSelect = 0x1000,
        goAlwaysShowEditor = 0x2000,
        goThumbTracking = 0x4000,
    };
    Q_DECLARE_FLAGS(TGridOptions, TGridOption)
    Q_FLAG(TGridOptions)

    explicit TStringAlignGrid(QWidget* parent = nullptr);

    int ColCount() const;
    void setColCount(int n);
    int RowCount() const;
    void setRowCount(int n);
    int FixedRows() const { return fixedRows_; }
    void setFixedRows(int n);
    int FixedCols() const { return fixedCols_; }
    void setFixedCols(int n);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void setDefaultRowHeight(int h);
    int DefaultColWidth() const { return defaultColWidth_; }
    void setDefaultColWidth(int w);
    int Col() const;
    void setCol(int c);
    int Row() const;
    void setRow(int r);
    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment a);
    TGridOptions Options() const { return options_; }
    void setOptions(TGridOptions o);

    Q_INVOKABLE QString Cells(int col, int row) const;
    Q_INVOKABLE void setCells(int col, int row, const QString& text);
    int ColWidths(int col) const;
    void setColWidths(int col, int w);
    int RowHeights(int row) const;
    void setRowHeights(int row, int h);

    // Alignment of one cell, row or column; a cell's own setting wins over its row's, a row's over
    // its column's, and the grid's Alignment applies to the rest.
    void setAlignCell(int col, int row, TAlignment a);
    void setAlignRow(int row, TAlignment a);
    void setAlignCol(int col, TAlignment a);
    TAlignment cellAlignment(int col, int row) const;

    void setCellEditMask(int col, int row, const QString& mask);
    QString cellEditMask(int col, int row) const;
    // Pick lists of "display\tvalue" items for a cell, a row or a column (the same precedence).
    void setCellPickList(int col, int row, const QStringList& items);
    void setRowPickList(int row, const QStringList& items);
    void setColPickList(int col, const QStringList& items);
    QStringList cellPickList(int col, int row) const;
    // "Y;N": the cell is a check box showing checked for the first text and unchecked for the second.
    void setCellCheckBox(int col, int row, const QString& values);
    QString cellCheckBox(int col, int row) const;
    bool isCellChecked(int col, int row) const;
    void toggleCheckBox(int col, int row);
    void setCellNumber(int col, int row, bool on);
    bool isCellNumber(int col, int row) const;
    void setCellHint(int col, int row, const QString& hint);
    QString cellHint(int col, int row) const;
    void setCellColor(int col, int row, const QColor& background, const QColor& text = {});
    // Drops mask, pick list, check box, number marking and hint of the cell (its text stays).
    void resetCell(int col, int row);

    void InsertRow(int row);
    void DeleteRow(int row);
    // The editor's current text while a cell is being edited, else the cell's text.
    QString editText() const;
    // Ends editing, storing the editor's text in the cell.
    void commitEditor();
    QTableWidget* table() const { return table_; }

signals:
    // Before a cell becomes current; a handler may refuse it.
    void SelectCell(int col, int row, bool& canSelect);
    // A cell's text changed (by editing or by program).
    void CellChanged(int col, int row);
    // The user changed a cell's text through its editor.
    void SetEditText(int col, int row, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void applyColor() override;

private:
    QTableWidgetItem* item(int col, int row) const;
    QTableWidgetItem* ensureItem(int col, int row);
    void styleFixed();
    void updateEditTriggers();

    QTableWidget* table_;
    int fixedRows_ = 1, fixedCols_ = 1, defaultRowHeight_ = 24, defaultColWidth_ = 64;
    TAlignment alignment_ = taLeftJustify;
    TGridOptions options_ =
        TGridOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect);
    QHash<int, TAlignment> rowAlign_, colAlign_;
    QHash<int, QStringList> rowPick_, colPick_;
    bool settingCurrent_ = false, filling_ = false;
    int lastCol_ = -1, lastRow_ = -1;

    friend class AlignGridDelegate;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TStringAlignGrid::TGridOptions)

} // namespace kvx
