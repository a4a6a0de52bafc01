// TFDBGrid: the browse grid. Columns (a collection of TColumn) follow the visible fields of the grid's
// source in field order, titled by their display labels and sized by their display widths; the grid
// offers title buttons with click events, title attributes and images by event, row and cell colours by
// event, multi-selection of rows, read-only except chosen columns, in-grid editors taken from controls
// named in ControlType ("FIELD;CustomEdit;cboName", "FIELD;CheckBox;Y;N"), the currency display style
// and saved column layouts.
#pragma once

#include "controls/Control.h"
#include "platform/Collection.h"

#include <QAbstractItemModel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <functional>

class QTableView;
class QHeaderView;

namespace kvx {

class IniFile;
class TDataSetModel;
class TFDBGrid;

class TColumnTitle : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    explicit TColumnTitle(QObject* parent);
    QString Caption() const { return caption_; }
    void setCaption(const QString& c);
    TColor Color() const { return color_; }
    void setColor(TColor c);
    TFont* Font() const { return font_; }
    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment a);
    bool captionSet() const { return captionSet_; }
    // The caption a column takes from its field (not counted as set).
    void setDefaultCaption(const QString& c);

signals:
    void changed();

private:
    QString caption_;
    bool captionSet_ = false;
    TColor color_ = colors::clBtnFace;
    TFont* font_;
    TAlignment alignment_ = taCenter;
};

class TColumn : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName WRITE setFieldName)
    Q_PROPERTY(kvx::TColumnTitle* Title READ Title)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(QStringList PickList READ PickList WRITE setPickList)
    Q_PROPERTY(QString DisplayLabel READ DisplayLabel WRITE setDisplayLabel)
public:
    explicit TColumn(TCollection* owner);

    QString FieldName() const { return fieldName_; }
    void setFieldName(const QString& f);
    TColumnTitle* Title() const { return title_; }
    int Width() const { return width_; }
    void setWidth(int w);
    bool Visible() const { return visible_; }
    void setVisible(bool on);
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    TColor Color() const { return color_; }
    void setColor(TColor c);
    TFont* Font() const { return font_; }
    QStringList PickList() const { return pickList_; }
    void setPickList(const QStringList& l);
    // The title caption (what a screen setting or package calls the column's display label).
    QString DisplayLabel() const { return title_->Caption(); }
    void setDisplayLabel(const QString& l) { title_->setCaption(l); }

private:
    QString fieldName_;
    TColumnTitle* title_;
    TFont* font_;
    int width_ = 64;
    bool visible_ = true, readOnly_ = false;
    TColor color_ = colors::clWindow;
    QStringList pickList_;
};

// What the grid knows of one field of its source.
struct GridField {
    QString name, label;
    int sourceColumn = -1;
    int displayWidth = 10; // characters
    bool visible = true, readOnly = false, numeric = false, currency = false;
    int decimals = 2;
};

class TFDBGrid : public TControl {
    Q_OBJECT
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(kvx::TCollection* Columns READ Columns)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE setMultiSelect)
    Q_PROPERTY(bool TitleButtons READ TitleButtons WRITE setTitleButtons)
    Q_PROPERTY(int TitleColor READ TitleColor WRITE setTitleColor)
    Q_PROPERTY(kvx::TFont* TitleFont READ TitleFont)
    Q_PROPERTY(TTitleAlignment TitleAlignment READ TitleAlignment WRITE setTitleAlignment)
    Q_PROPERTY(int TitleLines READ TitleLines WRITE setTitleLines)
    Q_PROPERTY(bool Indicator READ Indicator WRITE setIndicator)
    Q_PROPERTY(bool CurrencyDisplay READ CurrencyDisplay WRITE setCurrencyDisplay)
    Q_PROPERTY(QStringList ControlType READ ControlType WRITE setControlType)
    Q_PROPERTY(QString LayoutDelimiter READ LayoutDelimiter WRITE setLayoutDelimiter)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE setFixedCols)
    Q_PROPERTY(int SelectedCount READ SelectedCount)
public:
    enum TTitleAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TTitleAlignment)

    explicit TFDBGrid(QWidget* parent = nullptr);
    ~TFDBGrid() override;

    // The grid's source: a data source (DataSource), or directly a model with a description of its fields.
    QObject* DataSource() const { return dataSource_; }
    void setDataSource(QObject* s);
    void setSource(QAbstractItemModel* model, std::function<QList<GridField>()> fields);
    QAbstractItemModel* sourceModel() const { return source_; }

    TCollection* Columns() const { return columns_; }
    TColumn* column(int i) const { return columns_->itemAs<TColumn>(i); }
    TColumn* columnByField(const QString& field) const;
    // Rebuilds the columns from the visible fields (field order, labels, widths).
    void RebuildColumns();
    // Widens the display width of each field shown through a drop-down or pick list to its widest
    // item text, upright or italic (translated items may be longer than the width designed for them).
    void FitMappedColumns();
    // The items a field's cells are shown through (its drop-down's or its column's pick list).
    QStringList MappedItemsOf(const QString& field, bool* mapList) const;

    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on) { readOnly_ = on; }
    bool MultiSelect() const { return multiSelect_; }
    void setMultiSelect(bool on);
    bool TitleButtons() const { return titleButtons_; }
    void setTitleButtons(bool on);
    TColor TitleColor() const { return titleColor_; }
    void setTitleColor(TColor c);
    TFont* TitleFont() const { return titleFont_; }
    TTitleAlignment TitleAlignment() const { return titleAlignment_; }
    void setTitleAlignment(TTitleAlignment a);
    int TitleLines() const { return titleLines_; }
    void setTitleLines(int n);
    bool Indicator() const { return indicator_; }
    void setIndicator(bool on);
    bool CurrencyDisplay() const { return currencyDisplay_; }
    void setCurrencyDisplay(bool on);
    QStringList ControlType() const { return controlType_; }
    void setControlType(const QStringList& l);
    QString LayoutDelimiter() const { return delimiter_; }
    void setLayoutDelimiter(const QString& d) { delimiter_ = d; }
    int FixedCols() const { return fixedCols_; }
    void setFixedCols(int n) { fixedCols_ = n; }
    // Images shown in titles by CalcTitleImage (index into this list).
    void setTitleImages(const QList<QPixmap>& images);

    // Rows and columns as the view shows them.
    int rowCount() const;
    int columnCount() const;
    int currentRow() const;
    void setCurrentRow(int row);
    int currentColumn() const;
    void setCurrentColumn(int col);
    // The field of the current column ("" when none).
    QString SelectedField() const;
    // Text shown in a cell, the column's field.
    QString cellText(int row, int col) const;
    // Reads the text a cell of the field shows for the dataset's current record (in-grid combos, pick
    // lists and currency display included). Resolved once, so that a loop over many records pays only
    // for the field's own text; empty texts when the grid shows no dataset or the field is missing.
    std::function<QString()> CurrentTextReader(const QString& fieldName) const;

    // Multi-selection of rows (kept as bookmarks when the grid shows a dataset).
    QList<qint64> SelectedBookmarks() const;
    int SelectedCount() const;
    QList<int> SelectedRows() const;
    bool IsSelected(int row) const;
    void SetSelected(int row, bool on);
    void ToggleSelected(int row) { SetSelected(row, !IsSelected(row)); }
    void SelectAll();
    void UnselectAll();

    // Whether a cell may be edited: grid and column not read-only, field writable.
    bool canEditColumn(int col) const;
    // The embedded control an in-grid editor comes from, for a field (null when none).
    QWidget* editorControlFor(const QString& field) const;
    // "CustomEdit", "CheckBox" or "" for a field, with the parameters that follow.
    QString controlKind(const QString& field, QStringList* params = nullptr) const;

    // Saved column layouts: one key per column (position) with field, width, title and visibility
    // joined by LayoutDelimiter.
    void SaveLayout(IniFile& ini, const QString& section) const;
    void LoadLayout(const IniFile& ini, const QString& section);

    QTableView* view() const { return view_; }
    // The dataset model when the grid is bound to a data source.
    TDataSetModel* dataSetModel() const { return dsModel_; }
    QHeaderView* titles() const;

    // Title and cell geometry (view coordinates), for tests and owner code.
    QRect titleRect(int col) const;
    QRect cellRect(int row, int col) const;

signals:
    void TitleButtonClick(const QString& fieldName);
    void CalcTitleAttributes(const QString& fieldName, QFont& font, QColor& color, Qt::Alignment& alignment);
    void CalcTitleImage(const QString& fieldName, int& imageIndex);
    void CalcCellColors(const QString& fieldName, int row, bool highlight, QFont& font, QColor& text,
                        QColor& background);
    void ColEnter();
    void RowChanged(int row);
    void DblClick();
    void KeyDown(int& key, Qt::KeyboardModifiers modifiers);
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& pos);
    void SelectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void applyColor() override;

private:
    friend class GridModel;
    friend class GridDelegate;
    friend class GridTitleHeader;
    class GridModel* model_;
    QTableView* view_;
    QPointer<QObject> dataSource_;
    QPointer<QAbstractItemModel> source_;
    std::function<QList<GridField>()> fields_;
    QList<GridField> fieldCache_;
    TCollection* columns_;
    TFont* titleFont_;
    QList<QPixmap> titleImages_;
    QStringList controlType_;
    QString delimiter_ = ";;";
    TColor titleColor_ = colors::clBtnFace;
    TTitleAlignment titleAlignment_ = taCenter;
    int titleLines_ = 1, fixedCols_ = 0, lastColumn_ = -1;
    bool readOnly_ = false, multiSelect_ = false, titleButtons_ = false, indicator_ = true,
         currencyDisplay_ = false, rebuilding_ = false;

    QList<QPersistentModelIndex> selected_;
    TDataSetModel* dsModel_ = nullptr;
    QList<int> resized_;
    bool syncing_ = false;

    void sourceReset();
    void restoreWidths();
    void bindDataSource();
    void syncCurrentFromSource();
    void storeResizedWidths();
    void moveField(const QString& field, const QString& before);
    void columnsChanged();
    const GridField* fieldOf(const QString& name) const;
    int pixelWidth(int chars) const;
};

} // namespace kvx
