#include "controls/FDBGrid.h"

#include "controls/FieldBinding.h"
#include "controls/KvDBComboBox.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSetModel.h"
#include "platform/Field.h"
#include "platform/FontSubstitution.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTableView>
#include <optional>
#include <utility>

namespace kvx {

// ---------------------------------------------------------------------------------------------------
// Columns

TColumnTitle::TColumnTitle(QObject* parent) : QObject(parent), font_(new TFont(this)) {
    connect(font_, &TFont::changed, this, &TColumnTitle::changed);
}

void TColumnTitle::setCaption(const QString& c) {
    caption_ = c;
    captionSet_ = true;
    emit changed();
}

void TColumnTitle::setDefaultCaption(const QString& c) {
    caption_ = c;
    captionSet_ = false;
    emit changed();
}

void TColumnTitle::setColor(TColor c) {
    color_ = c;
    emit changed();
}

void TColumnTitle::setAlignment(TAlignment a) {
    alignment_ = a;
    emit changed();
}

TColumn::TColumn(TCollection* owner)
    : TCollectionItem(owner), title_(new TColumnTitle(this)), font_(new TFont(this)) {
    title_->setObjectName("Title");
    connect(title_, &TColumnTitle::changed, this, &TColumn::notifyChanged);
    connect(font_, &TFont::changed, this, &TColumn::notifyChanged);
}

void TColumn::setFieldName(const QString& f) {
    fieldName_ = f;
    notifyChanged();
}

void TColumn::setWidth(int w) {
    if (w == width_) return;
    width_ = w;
    notifyChanged();
}

void TColumn::setVisible(bool on) {
    visible_ = on;
    if (Collection()) emit Collection()->changed();
}

void TColumn::setReadOnly(bool on) {
    readOnly_ = on;
    notifyChanged();
}

void TColumn::setColor(TColor c) {
    color_ = c;
    notifyChanged();
}

void TColumn::setPickList(const QStringList& l) {
    pickList_ = l;
    notifyChanged();
}

// ---------------------------------------------------------------------------------------------------
// The view's model: the grid's visible columns over the source's fields.

class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(TFDBGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

    QList<TColumn*> visible;
    int current = -1;

    void relist() {
        beginResetModel();
        visible.clear();
        for (int i = 0; i < grid_->columns_->Count(); ++i)
            if (TColumn* c = grid_->column(i); c->Visible()) visible.append(c);
        endResetModel();
    }

    int sourceColumn(int col) const {
        const TColumn* c = visible.value(col);
        const GridField* f = c ? grid_->fieldOf(c->FieldName()) : nullptr;
        return f ? f->sourceColumn : -1;
    }

    QModelIndex sourceIndex(const QModelIndex& index) const {
        const int sc = sourceColumn(index.column());
        if (!grid_->source_ || sc < 0) return {};
        return grid_->source_->index(index.row(), sc);
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !grid_->source_ ? 0 : grid_->source_->rowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : visible.size();
    }

    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && grid_->source_ && grid_->source_->canFetchMore({});
    }
    void fetchMore(const QModelIndex& parent) override {
        if (!parent.isValid() && grid_->source_) grid_->source_->fetchMore({});
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const TColumn* col = visible.value(index.column());
        const QModelIndex src = sourceIndex(index);
        if (!col || !src.isValid()) return {};
        const GridField* f = grid_->fieldOf(col->FieldName());
        switch (role) {
        case Qt::DisplayRole: {
            QStringList params;
            const QString kind = grid_->controlKind(col->FieldName(), &params);
            if (kind == "CheckBox") return {};
            if (kind == "CustomEdit" || kind.isEmpty()) {
                if (auto* combo = qobject_cast<TKvDBComboBox*>(grid_->editorControlFor(col->FieldName())))
                    return MappedItems::displayOf(combo->Items(), src.data(Qt::EditRole).toString(),
                                                  combo->MapList());
            }
            if (!col->PickList().isEmpty())
                return MappedItems::displayOf(col->PickList(), src.data(Qt::EditRole).toString());
            if (grid_->currencyDisplay_ && f && f->currency) {
                const QVariant v = src.data(Qt::EditRole);
                bool ok = false;
                const double d = v.toString().toDouble(&ok);
                if (ok) return QLocale(QLocale::English).toString(d, 'f', f->decimals);
            }
            return src.data(Qt::DisplayRole);
        }
        case Qt::EditRole:
            return src.data(Qt::EditRole);
        case Qt::TextAlignmentRole:
            if (f && f->numeric) return int(Qt::AlignRight | Qt::AlignVCenter);
            return src.data(role);
        default:
            return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || !grid_->canEditColumn(index.column())) return false;
        const QModelIndex src = sourceIndex(index);
        if (!src.isValid()) return false;
        bool ok = false;
        FieldBinding::guarded(grid_, [&] { ok = grid_->source_->setData(src, value, Qt::EditRole); });
        return ok;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (grid_->canEditColumn(index.column())) f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal) {
            const TColumn* col = visible.value(section);
            if (!col) return {};
            if (role == Qt::DisplayRole) return col->Title()->Caption();
            return {};
        }
        if (role == Qt::DisplayRole) {
            // The indicator: the current row, and the selected rows of a multi-selecting grid.
            if (section == current) return QStringLiteral("▶");
            if (grid_->IsSelected(section)) return QStringLiteral("✓");
            return QString();
        }
        return {};
    }

    void beginRows(bool insert, int first, int last) {
        if (insert)
            beginInsertRows({}, first, last);
        else
            beginRemoveRows({}, first, last);
    }
    void endRows(bool insert) {
        if (insert)
            endInsertRows();
        else
            endRemoveRows();
    }

    void sourceDataChanged(const QModelIndex& tl, const QModelIndex& br) {
        if (!visible.isEmpty()) emit dataChanged(index(tl.row(), 0), index(br.row(), visible.size() - 1));
    }

private:
    TFDBGrid* grid_;
};

// ---------------------------------------------------------------------------------------------------
// Titles: colours, fonts and alignment by event, images by event, click as title button.

class GridTitleHeader : public QHeaderView {
public:
    explicit GridTitleHeader(TFDBGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
        setSectionsClickable(true);
        setHighlightSections(false);
        setSectionsMovable(true);
    }

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        const TColumn* col = grid_->model_->visible.value(logical);
        if (!col) return;
        QFont font = grid_->titleFont_->font();
        if (col->Title()->Font()->Name() != grid_->titleFont_->Name() &&
            col->Title()->Font()->font() != QFont())
            font = col->Title()->Font()->font();
        QColor color =
            toQColor(col->Title()->Color() != colors::clBtnFace ? col->Title()->Color() : grid_->titleColor_,
                     palette());
        const auto align = [](int a) {
            return a == TColumnTitle::taRightJustify ? Qt::AlignRight
                   : a == TColumnTitle::taCenter     ? Qt::AlignHCenter
                                                     : Qt::AlignLeft;
        };
        Qt::Alignment alignment =
            align(col->Title()->Alignment() != TColumnTitle::taCenter ? int(col->Title()->Alignment())
                                                                      : int(grid_->titleAlignment_)) |
            Qt::AlignVCenter;
        emit grid_->CalcTitleAttributes(col->FieldName(), font, color, alignment);
        int image = -1;
        emit grid_->CalcTitleImage(col->FieldName(), image);

        QStyleOptionHeader opt;
        initStyleOption(&opt);
        opt.rect = rect;
        opt.section = logical;
        opt.text.clear();
        p->save();
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        if (color.isValid()) p->fillRect(rect.adjusted(1, 1, -1, -1), color);
        QRect textRect = rect.adjusted(3, 1, -3, -1);
        if (image >= 0 && image < grid_->titleImages_.size()) {
            const QPixmap& img = grid_->titleImages_[image];
            const QRect ir(textRect.right() - img.width(), textRect.center().y() - img.height() / 2,
                           img.width(), img.height());
            p->drawPixmap(ir, img);
            textRect.setRight(ir.left() - 2);
        }
        p->setFont(font);
        p->setPen(toQColor(grid_->titleFont_->Color(), palette()));
        if (grid_->titleLines_ > 1) {
            p->drawText(textRect, int(alignment) | Qt::TextWordWrap, col->Title()->Caption());
        } else {
            const QString text =
                QFontMetrics(font).elidedText(col->Title()->Caption(), Qt::ElideRight, textRect.width());
            p->drawText(textRect, int(alignment), text);
        }
        p->restore();
    }

    QSize sectionSizeFromContents(int logical) const override {
        QSize s = QHeaderView::sectionSizeFromContents(logical);
        s.setHeight(titleHeight());
        return s;
    }

    // The view reads only the height of the header's size hint, and every title is as high as the title
    // font's lines: QHeaderView's own hint would measure up to 200 titles in its bold font for a width
    // nothing reads. The width is the titles' length.
    QSize sizeHint() const override {
        if (count() == hiddenSectionCount()) return QHeaderView::sizeHint();
        return {length(), titleHeight()};
    }

private:
    TFDBGrid* grid_;

    int titleHeight() const {
        return QFontMetrics(grid_->titleFont_->font()).height() * grid_->titleLines_ + 8;
    }
};

// The row indicator: a header of fixed width, to which the view clamps the size hint. QHeaderView's own
// hint would measure the text of up to 200 rows in a bold font first.
class GridIndicatorHeader : public QHeaderView {
public:
    explicit GridIndicatorHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
        // As the view's own vertical header.
        setSectionsClickable(true);
        setHighlightSections(true);
    }

    QSize sizeHint() const override {
        if (minimumWidth() != maximumWidth()) return QHeaderView::sizeHint();
        return {minimumWidth(), length()};
    }
};

// ---------------------------------------------------------------------------------------------------
// Cells: colours by event, check boxes, drop-down editors.

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TFDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const TColumn* col = grid_->model_->visible.value(index.column());
        const QString field = col ? col->FieldName() : QString();
        const bool highlight = grid_->IsSelected(index.row()) || (opt.state & QStyle::State_Selected);
        QFont font = col && col->Font()->font() != QFont() ? col->Font()->font() : grid_->font();
        QColor text = highlight ? opt.palette.color(QPalette::HighlightedText)
                                : toQColor(grid_->Font()->Color(), opt.palette);
        QColor back = highlight
                          ? opt.palette.color(QPalette::Highlight)
                          : toQColor(col && col->Color() != colors::clWindow ? col->Color() : grid_->Color(),
                                     opt.palette);
        const QVariant v = index.data(Qt::EditRole);
        if (grid_->currencyDisplay_ && col) {
            const GridField* f = grid_->fieldOf(field);
            if (f && f->currency && v.toString().toDouble() < 0 && !highlight) text = QColor(Qt::red);
        }
        emit grid_->CalcCellColors(field, index.row(), highlight, font, text, back);
        opt.font = font;
        opt.palette.setColor(QPalette::Text, text);
        opt.palette.setColor(QPalette::HighlightedText, text);
        opt.backgroundBrush = back;
        opt.state &= ~QStyle::State_Selected;
        if (opt.state & QStyle::State_HasFocus) opt.state &= ~QStyle::State_HasFocus;
        p->fillRect(opt.rect, back);
        QStringList params;
        if (grid_->controlKind(field, &params) == "CheckBox") {
            QStyleOptionButton box;
            box.rect = QApplication::style()->subElementRect(QStyle::SE_CheckBoxIndicator, &box, opt.widget);
            box.rect.moveCenter(opt.rect.center());
            const bool on = v.toString() == params.value(0, "Y");
            box.state = QStyle::State_Enabled | (on ? QStyle::State_On : QStyle::State_Off);
            QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, opt.widget);
            return;
        }
        opt.backgroundBrush = QBrush();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        if (index.row() == grid_->currentRow() && index.column() == grid_->currentColumn() &&
            grid_->view_->hasFocus()) {
            p->setPen(QPen(opt.palette.color(QPalette::Text), 1, Qt::DotLine));
            p->drawRect(opt.rect.adjusted(0, 0, -1, -1));
        }
    }

    QStringList itemsFor(const QString& field, bool* mapList) const {
        return grid_->MappedItemsOf(field, mapList);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const TColumn* col = grid_->model_->visible.value(index.column());
        if (!col) return nullptr;
        if (grid_->controlKind(col->FieldName()) == "CheckBox") return nullptr;
        bool mapList = false;
        const QStringList items = itemsFor(col->FieldName(), &mapList);
        if (!items.isEmpty()) {
            auto* combo = new QComboBox(parent);
            for (const QString& it : items)
                combo->addItem(mapList ? MappedItems::displayPart(it) : it);
            return combo;
        }
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            const TColumn* col = grid_->model_->visible.value(index.column());
            bool mapList = false;
            const QStringList items = itemsFor(col->FieldName(), &mapList);
            const QString value = index.data(Qt::EditRole).toString();
            int found = -1;
            for (int i = 0; i < items.size(); ++i)
                if ((mapList ? MappedItems::valuePart(items[i]) : items[i]) == value) found = i;
            combo->setCurrentIndex(found);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            const TColumn* col = grid_->model_->visible.value(index.column());
            bool mapList = false;
            const QStringList items = itemsFor(col->FieldName(), &mapList);
            const int i = combo->currentIndex();
            if (i < 0 || i >= items.size()) return;
            model->setData(index, mapList ? MappedItems::valuePart(items[i]) : items[i], Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    bool editorEvent(QEvent* e, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const TColumn* col = grid_->model_->visible.value(index.column());
        QStringList params;
        if (col && grid_->controlKind(col->FieldName(), &params) == "CheckBox" &&
            grid_->canEditColumn(index.column())) {
            const bool click = e->type() == QEvent::MouseButtonRelease &&
                               static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
            const bool space =
                e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space;
            if (click || space) {
                const QString on = params.value(0, "Y"), off = params.value(1, "N");
                model->setData(index, index.data(Qt::EditRole).toString() == on ? off : on, Qt::EditRole);
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(e, model, option, index);
    }

private:
    TFDBGrid* grid_;
};

// ---------------------------------------------------------------------------------------------------

TFDBGrid::TFDBGrid(QWidget* parent)
    : TControl(parent), model_(new GridModel(this)), view_(new QTableView(this)),
      columns_(new TCollection([](TCollection* c) { return new TColumn(c); }, this)),
      titleFont_(new TFont(this)) {
    columns_->setObjectName("Columns");
    titleFont_->setObjectName("TitleFont");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(view_);
    view_->setModel(model_);
    view_->setHorizontalHeader(new GridTitleHeader(this));
    view_->setItemDelegate(new GridDelegate(this));
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    view_->setSelectionMode(QAbstractItemView::NoSelection);
    view_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
    view_->setVerticalHeader(new GridIndicatorHeader(view_));
    view_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    view_->verticalHeader()->setFixedWidth(14);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->viewport()->installEventFilter(this);
    view_->installEventFilter(this);
    view_->horizontalHeader()->viewport()->installEventFilter(this);
    {
        QSignalBlocker block(titleFont_);
        titleFont_->setFont(font());
    }
    setFocusTarget(view_);
    setDefaultColor(colors::clWindow);
    resize(400, 200);

    connect(titleFont_, &TFont::changed, this, [this] { view_->horizontalHeader()->viewport()->update(); });
    connect(columns_, &TCollection::changed, this, &TFDBGrid::columnsChanged);
    connect(columns_, &TCollection::itemChanged, this, [this](int i) {
        const TColumn* c = column(i);
        const int vis = model_->visible.indexOf(const_cast<TColumn*>(c));
        if (vis < 0) return;
        if (view_->columnWidth(vis) != c->Width()) view_->setColumnWidth(vis, c->Width());
        emit model_->headerDataChanged(Qt::Horizontal, vis, vis);
        view_->viewport()->update();
    });
    auto* header = view_->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, [this](int logical) {
        const TColumn* c = model_->visible.value(logical);
        if (c && titleButtons_) emit TitleButtonClick(c->FieldName());
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (rebuilding_) return;
        if (TColumn* c = model_->visible.value(logical)) {
            rebuilding_ = true;
            c->setWidth(size);
            rebuilding_ = false;
            if (!resized_.contains(logical)) resized_.append(logical);
        }
    });
    connect(header, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        // Dragging a title moves the column in the collection.
        if (rebuilding_) return;
        TColumn* moved = model_->visible.value(view_->horizontalHeader()->logicalIndex(to));
        TColumn* target = model_->visible.value(view_->horizontalHeader()->logicalIndex(from));
        if (!moved || !target) return;
        const int dest = target->Index();
        const QString movedField = moved->FieldName(), targetField = target->FieldName();
        rebuilding_ = true;
        QSignalBlocker block(view_->horizontalHeader());
        view_->horizontalHeader()->moveSection(to, from);
        rebuilding_ = false;
        moved->setIndex(dest);
        // A dataset's field order follows (after the header has finished its move).
        QMetaObject::invokeMethod(
            this, [this, movedField, targetField] { moveField(movedField, targetField); },
            Qt::QueuedConnection);
    });
    connect(view_, &QTableView::doubleClicked, this, [this] { emit DblClick(); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now, const QModelIndex& before) {
                const int old = model_->current;
                model_->current = now.isValid() ? now.row() : -1;
                // A view that had no current cell (after a reset) follows the dataset: the cell it picks
                // by itself must not move the dataset's cursor.
                bool follow = false;
                if (dsModel_ && !syncing_ && now.isValid() && now.row() != dsModel_->currentRow()) {
                    if (!before.isValid()) {
                        follow = true;
                    } else {
                        syncing_ = true;
                        FieldBinding::guarded(this, [&] { dsModel_->setCurrentRow(now.row()); });
                        syncing_ = false;
                    }
                }
                if (old != model_->current) {
                    if (old >= 0 && old < rowCount()) emit model_->headerDataChanged(Qt::Vertical, old, old);
                    if (model_->current >= 0)
                        emit model_->headerDataChanged(Qt::Vertical, model_->current, model_->current);
                    emit RowChanged(model_->current);
                }
                if (now.column() != before.column() || !before.isValid()) emit ColEnter();
                if (follow) syncCurrentFromSource();
            });
}

TFDBGrid::~TFDBGrid() {
    view_->setModel(nullptr);
}

void TFDBGrid::setSource(QAbstractItemModel* model, std::function<QList<GridField>()> fields) {
    if (source_) source_->disconnect(this);
    source_ = model;
    fields_ = std::move(fields);
    if (model) {
        connect(model, &QAbstractItemModel::modelReset, this, &TFDBGrid::sourceReset);
        connect(model, &QAbstractItemModel::layoutChanged, this, &TFDBGrid::sourceReset);
        connect(model, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation o) {
            if (o == Qt::Horizontal) sourceReset();
        });
        // Rows arriving (the next packet) and leaving are passed on as such, so that the current row and
        // the selected rows stay on their records.
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex& p, int first, int last) {
                    if (!p.isValid()) model_->beginRows(true, first, last);
                });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& p) {
            if (!p.isValid()) model_->endRows(true);
        });
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex& p, int first, int last) {
                    if (!p.isValid()) model_->beginRows(false, first, last);
                });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex& p) {
            if (!p.isValid()) model_->endRows(false);
        });
        connect(model, &QAbstractItemModel::columnsInserted, this, &TFDBGrid::sourceReset);
        connect(model, &QAbstractItemModel::columnsRemoved, this, &TFDBGrid::sourceReset);
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& tl, const QModelIndex& br) { model_->sourceDataChanged(tl, br); });
    }
    sourceReset();
}

void TFDBGrid::setDataSource(QObject* s) {
    dataSource_ = s;
    bindDataSource();
}

void TFDBGrid::bindDataSource() {
    auto* ds = qobject_cast<TDataSource*>(dataSource_.data());
    if (!ds) {
        if (dsModel_) dsModel_->setDataSource(nullptr);
        setSource(nullptr, {});
        return;
    }
    if (!dsModel_) {
        dsModel_ = new TDataSetModel(this);
        connect(dsModel_, &TDataSetModel::currentRowChanged, this, [this] { syncCurrentFromSource(); });
        connect(dsModel_, &TDataSetModel::selectionChanged, this, [this] {
            view_->viewport()->update();
            view_->verticalHeader()->viewport()->update();
            emit SelectionChanged();
        });
    }
    dsModel_->setDataSource(ds);
    setSource(dsModel_, [this] {
        QList<GridField> out;
        for (int i = 0; i < dsModel_->columnCount(); ++i) {
            const TField* f = dsModel_->fieldAt(i);
            if (!f) continue;
            GridField g;
            g.name = f->FieldName();
            g.label = f->DisplayLabel();
            g.sourceColumn = i;
            g.displayWidth = f->DisplayWidth();
            g.readOnly =
                f->ReadOnly() || f->FieldKind() == TField::fkCalculated || f->FieldKind() == TField::fkLookup;
            g.numeric = f->IsNumeric();
            g.currency = f->DataType() == FieldType::Currency;
            out << g;
        }
        return out;
    });
}

void TFDBGrid::syncCurrentFromSource() {
    if (syncing_ || !dsModel_) return;
    const int row = dsModel_->currentRow();
    if (row < 0 || row >= rowCount() || row == currentRow()) return;
    syncing_ = true;
    view_->setCurrentIndex(model_->index(row, qMax(0, currentColumn())));
    // A hidden view has no layout to scroll in (scrolling would lay it out for nothing); the view
    // scrolls to a current cell set while it was hidden when it is shown.
    if (view_->isVisible()) view_->scrollTo(model_->index(row, qMax(0, currentColumn())));
    syncing_ = false;
}

void TFDBGrid::storeResizedWidths() {
    // A column the user resized gives its field the display width in characters, so that the saved
    // grid views keep it.
    const QList<int> cols = std::exchange(resized_, {});
    if (!dsModel_ || !dsModel_->dataSet()) return;
    const int ch = qMax(1, QFontMetrics(font()).horizontalAdvance('0'));
    QList<QPair<TField*, int>> changes;
    for (int col : cols)
        if (const TColumn* c = model_->visible.value(col))
            if (TField* f = dsModel_->dataSet()->FindField(c->FieldName()))
                changes.append({f, qMax(1, qRound((c->Width() - 8) / double(ch)))});
    for (const auto& [f, w] : changes)
        if (f->DisplayWidth() != w) f->SetDisplayWidth(w);
}

void TFDBGrid::moveField(const QString& field, const QString& before) {
    if (!dsModel_ || !dsModel_->dataSet()) return;
    TField* f = dsModel_->dataSet()->FindField(field);
    TField* t = dsModel_->dataSet()->FindField(before);
    if (f && t && f != t) f->SetIndex(t->Index());
}

void TFDBGrid::sourceReset() {
    fieldCache_ = fields_ ? fields_() : QList<GridField>();
    RebuildColumns();
    if (dsModel_) syncCurrentFromSource();
}

const GridField* TFDBGrid::fieldOf(const QString& name) const {
    for (const GridField& f : fieldCache_)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return &f;
    return nullptr;
}

QStringList TFDBGrid::MappedItemsOf(const QString& field, bool* mapList) const {
    if (auto* combo = qobject_cast<TKvDBComboBox*>(editorControlFor(field))) {
        *mapList = combo->MapList();
        return combo->Items();
    }
    if (const TColumn* c = columnByField(field); c && !c->PickList().isEmpty()) {
        *mapList = true;
        return c->PickList();
    }
    return {};
}

void TFDBGrid::FitMappedColumns() {
    TClientDataSet* ds = dsModel_ ? dsModel_->dataSet() : nullptr;
    if (!ds) return;
    QFont italic = font();
    italic.setItalic(true);
    const QFontMetrics upright(font());
    // Made at the first text that needs it: a face without an italic is slanted, as wide as upright, and
    // measuring it would load an italic engine and its glyphs for nothing.
    std::optional<QFontMetrics> slanted;
    const int ch = qMax(1, upright.horizontalAdvance('0'));
    TFieldUpdate batch(ds);
    for (const TColumn* c : model_->visible) {
        bool mapList = false;
        int widest = 0;
        for (const QString& item : MappedItemsOf(c->FieldName(), &mapList)) {
            const QString shown = mapList ? MappedItems::displayPart(item) : item;
            widest = qMax(widest, upright.horizontalAdvance(shown));
            if (fonts::italicKeepsAdvances(font(), shown)) continue;
            if (!slanted) slanted.emplace(italic);
            widest = qMax(widest, slanted->horizontalAdvance(shown));
        }
        // pixelWidth adds 8 pixels to the characters; the cell's text margins take 6 of them, so 4 more
        // keep the widest item clear of the edge.
        const int chars = (widest + 4 + ch - 1) / ch;
        TField* f = widest ? ds->FindField(c->FieldName()) : nullptr;
        if (f && f->DisplayWidth() < chars) f->SetDisplayWidth(chars);
    }
}

int TFDBGrid::pixelWidth(int chars) const {
    const QFontMetrics fm(font());
    return qMax(20, chars * fm.horizontalAdvance('0') + 8);
}

void TFDBGrid::RebuildColumns() {
    // What was set on a column by name (title caption, colours, read-only, pick list) survives the
    // rebuild; order, labels and widths come from the fields.
    struct Custom {
        QString caption;
        bool captionSet;
        TColor color, titleColor;
        bool readOnly;
        QStringList pickList;
    };
    QHash<QString, Custom> custom;
    for (int i = 0; i < columns_->Count(); ++i) {
        const TColumn* c = column(i);
        custom.insert(c->FieldName().toUpper(), {c->Title()->Caption(), c->Title()->captionSet(), c->Color(),
                                                 c->Title()->Color(), c->ReadOnly(), c->PickList()});
    }
    rebuilding_ = true;
    {
        QSignalBlocker block(columns_);
        columns_->Clear();
        for (const GridField& f : fieldCache_) {
            if (!f.visible) continue;
            auto* c = static_cast<TColumn*>(columns_->Add());
            c->setFieldName(f.name);
            c->Title()->setDefaultCaption(f.label.isEmpty() ? f.name : f.label);
            if (auto it = custom.constFind(f.name.toUpper()); it != custom.constEnd()) {
                if (it->captionSet) c->Title()->setCaption(it->caption);
                c->setColor(it->color);
                c->Title()->setColor(it->titleColor);
                c->setReadOnly(it->readOnly);
                c->setPickList(it->pickList);
            }
            // Never narrower than its title: a one-character field keeps a readable heading. A title that
            // certainly fits the field's width is not measured (the grid may not be shown for a while).
            const int width = pixelWidth(f.displayWidth);
            const QString caption = c->Title()->Caption();
            const bool fits = fonts::fitsUnmeasured(titleFont_->font(), caption, width - 10);
            c->setWidth(fits ? width
                             : qMax(width, QFontMetrics(titleFont_->font()).horizontalAdvance(caption) + 10));
        }
    }
    rebuilding_ = false;
    columnsChanged();
}

void TFDBGrid::columnsChanged() {
    if (rebuilding_) return;
    const int row = currentRow(), col = currentColumn();
    model_->relist();
    restoreWidths();
    if (row >= 0 && row < rowCount()) setCurrentRow(row);
    if (col >= 0 && col < columnCount()) setCurrentColumn(col);
}

void TFDBGrid::restoreWidths() {
    rebuilding_ = true;
    for (int i = 0; i < model_->visible.size(); ++i)
        view_->setColumnWidth(i, model_->visible[i]->Width());
    rebuilding_ = false;
}

TColumn* TFDBGrid::columnByField(const QString& field) const {
    for (int i = 0; i < columns_->Count(); ++i)
        if (column(i)->FieldName().compare(field, Qt::CaseInsensitive) == 0) return column(i);
    return nullptr;
}

void TFDBGrid::setMultiSelect(bool on) {
    multiSelect_ = on;
    if (!on) UnselectAll();
}

void TFDBGrid::setTitleButtons(bool on) {
    titleButtons_ = on;
    view_->horizontalHeader()->setSectionsClickable(true);
}

void TFDBGrid::setTitleColor(TColor c) {
    titleColor_ = c;
    view_->horizontalHeader()->viewport()->update();
}

void TFDBGrid::setTitleAlignment(TTitleAlignment a) {
    titleAlignment_ = a;
    view_->horizontalHeader()->viewport()->update();
}

void TFDBGrid::setTitleLines(int n) {
    titleLines_ = qMax(1, n);
    view_->horizontalHeader()->resizeSections(QHeaderView::Interactive);
    view_->horizontalHeader()->updateGeometry();
}

void TFDBGrid::setIndicator(bool on) {
    indicator_ = on;
    view_->verticalHeader()->setVisible(on);
}

void TFDBGrid::setCurrencyDisplay(bool on) {
    currencyDisplay_ = on;
    view_->viewport()->update();
}

void TFDBGrid::setControlType(const QStringList& l) {
    controlType_ = l;
    view_->viewport()->update();
}

void TFDBGrid::setTitleImages(const QList<QPixmap>& images) {
    titleImages_ = images;
    view_->horizontalHeader()->viewport()->update();
}

int TFDBGrid::rowCount() const {
    return model_->rowCount();
}
int TFDBGrid::columnCount() const {
    return model_->columnCount();
}
int TFDBGrid::currentRow() const {
    return view_->currentIndex().isValid() ? view_->currentIndex().row() : -1;
}
int TFDBGrid::currentColumn() const {
    return view_->currentIndex().isValid() ? view_->currentIndex().column() : -1;
}

void TFDBGrid::setCurrentRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    view_->setCurrentIndex(model_->index(row, qMax(0, currentColumn())));
}

void TFDBGrid::setCurrentColumn(int col) {
    if (col < 0 || col >= columnCount()) return;
    view_->setCurrentIndex(model_->index(qMax(0, currentRow()), col));
}

QString TFDBGrid::SelectedField() const {
    const TColumn* c = model_->visible.value(currentColumn());
    return c ? c->FieldName() : QString();
}

QString TFDBGrid::cellText(int row, int col) const {
    return model_->index(row, col).data(Qt::DisplayRole).toString();
}

std::function<QString()> TFDBGrid::CurrentTextReader(const QString& fieldName) const {
    TClientDataSet* ds = dsModel_ ? dsModel_->dataSet() : nullptr;
    TField* f = ds ? ds->FindField(fieldName) : nullptr;
    if (!f) return [] { return QString(); };
    QPointer<TField> field = f;
    QStringList params;
    const QString kind = controlKind(fieldName, &params);
    if (kind == "CheckBox") return [] { return QString(); };
    if (kind == "CustomEdit" || kind.isEmpty()) {
        if (auto* combo = qobject_cast<TKvDBComboBox*>(editorControlFor(fieldName))) {
            QPointer<TKvDBComboBox> c = combo;
            return [field, c] {
                if (!field) return QString();
                return c ? MappedItems::displayOf(c->Items(), field->Text(), c->MapList())
                         : field->DisplayText();
            };
        }
    }
    if (const TColumn* col = columnByField(fieldName); col && !col->PickList().isEmpty()) {
        const QStringList pick = col->PickList();
        return [field, pick] { return field ? MappedItems::displayOf(pick, field->Text()) : QString(); };
    }
    const GridField* gf = fieldOf(fieldName);
    if (currencyDisplay_ && gf && gf->currency) {
        const int decimals = gf->decimals;
        return [field, decimals] {
            if (!field) return QString();
            bool ok = false;
            const double d = field->Text().toDouble(&ok);
            return ok ? QLocale(QLocale::English).toString(d, 'f', decimals) : field->DisplayText();
        };
    }
    return [field] { return field ? field->DisplayText() : QString(); };
}

bool TFDBGrid::canEditColumn(int col) const {
    const TColumn* c = model_->visible.value(col);
    if (readOnly_ || !c || c->ReadOnly()) return false;
    const GridField* f = fieldOf(c->FieldName());
    return f && !f->readOnly;
}

QWidget* TFDBGrid::editorControlFor(const QString& field) const {
    QStringList params;
    const QString kind = controlKind(field, &params);
    if (kind == "CustomEdit" && !params.isEmpty()) return findChild<QWidget*>(params.first());
    if (!kind.isEmpty()) return nullptr;
    // Without a setting, a drop-down placed in the grid and bound to the field is its editor.
    for (auto* combo : findChildren<TKvDBComboBox*>(Qt::FindDirectChildrenOnly))
        if (combo->DataField().trimmed().compare(field, Qt::CaseInsensitive) == 0) return combo;
    return nullptr;
}

QString TFDBGrid::controlKind(const QString& field, QStringList* params) const {
    for (const QString& entry : controlType_) {
        const QStringList parts = entry.split(';');
        if (parts.size() >= 2 && parts[0].trimmed().compare(field, Qt::CaseInsensitive) == 0) {
            if (params) *params = parts.mid(2);
            return parts[1].trimmed();
        }
    }
    if (params) params->clear();
    return {};
}

// Multi-selection is kept as persistent indexes into the grid's model, so that inserted and deleted
// rows keep the others selected.
QList<qint64> TFDBGrid::SelectedBookmarks() const {
    if (dsModel_) return dsModel_->selectedRows();
    return {};
}

QList<int> TFDBGrid::SelectedRows() const {
    QList<int> rows;
    if (dsModel_) {
        if (TClientDataSet* ds = dsModel_->dataSet())
            for (TBookmark b : dsModel_->selectedRows())
                if (const int r = ds->positionOf(b); r >= 0) rows.append(r);
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    for (const QPersistentModelIndex& i : selected_)
        if (i.isValid()) rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TFDBGrid::SelectedCount() const {
    return SelectedRows().size();
}

bool TFDBGrid::IsSelected(int row) const {
    if (dsModel_) return row >= 0 && row < rowCount() && dsModel_->isRowSelected(row);
    for (const QPersistentModelIndex& i : selected_)
        if (i.isValid() && i.row() == row) return true;
    return false;
}

void TFDBGrid::SetSelected(int row, bool on) {
    if (row < 0 || row >= rowCount() || IsSelected(row) == on) return;
    if (dsModel_) {
        if (on && !multiSelect_) dsModel_->clearSelection();
        dsModel_->setRowSelected(row, on);
        return;
    }
    if (on) {
        if (!multiSelect_) selected_.clear();
        selected_.append(QPersistentModelIndex(model_->index(row, 0)));
    } else {
        selected_.erase(
            std::remove_if(selected_.begin(), selected_.end(),
                           [row](const QPersistentModelIndex& i) { return !i.isValid() || i.row() == row; }),
            selected_.end());
    }
    view_->viewport()->update();
    view_->verticalHeader()->viewport()->update();
    emit SelectionChanged();
}

void TFDBGrid::SelectAll() {
    if (!multiSelect_) return;
    if (dsModel_) {
        FieldBinding::guarded(this, [&] { dsModel_->selectAll(); });
        return;
    }
    while (model_->canFetchMore({}))
        model_->fetchMore({});
    selected_.clear();
    for (int r = 0; r < rowCount(); ++r)
        selected_.append(QPersistentModelIndex(model_->index(r, 0)));
    view_->viewport()->update();
    view_->verticalHeader()->viewport()->update();
    emit SelectionChanged();
}

void TFDBGrid::UnselectAll() {
    if (dsModel_) {
        dsModel_->clearSelection();
        return;
    }
    if (selected_.isEmpty()) return;
    selected_.clear();
    view_->viewport()->update();
    view_->verticalHeader()->viewport()->update();
    emit SelectionChanged();
}

void TFDBGrid::SaveLayout(IniFile& ini, const QString& section) const {
    ini.eraseSection(section);
    for (int i = 0; i < columns_->Count(); ++i) {
        const TColumn* c = column(i);
        const QStringList parts = {c->FieldName(), QString::number(c->Width()), c->Title()->Caption(),
                                   c->Visible() ? "T" : "F"};
        ini.writeString(section, QString::number(i), parts.join(delimiter_));
    }
}

void TFDBGrid::LoadLayout(const IniFile& ini, const QString& section) {
    // Columns named in the layout come first, in its order, with its widths, titles and visibility;
    // fields the layout does not name keep their columns after them. Unknown fields are skipped.
    const QStringList keys = ini.readSection(section);
    int pos = 0;
    rebuilding_ = true;
    {
        QSignalBlocker block(columns_);
        for (const QString& key : keys) {
            const QStringList parts = ini.readString(section, key).split(delimiter_);
            if (parts.size() < 2) continue;
            TColumn* c = columnByField(parts[0].trimmed());
            if (!c) continue;
            bool ok = false;
            const int w = parts[1].toInt(&ok);
            if (ok && w > 0) c->setWidth(w);
            if (parts.size() > 2 && !parts[2].isEmpty()) c->Title()->setCaption(parts[2]);
            if (parts.size() > 3) c->setVisible(parts[3].trimmed().compare("F", Qt::CaseInsensitive) != 0);
            columns_->Move(c->Index(), pos++);
        }
    }
    rebuilding_ = false;
    columnsChanged();
}

QHeaderView* TFDBGrid::titles() const {
    return view_->horizontalHeader();
}

QRect TFDBGrid::titleRect(int col) const {
    const QHeaderView* h = view_->horizontalHeader();
    return QRect(h->sectionViewportPosition(col), 0, h->sectionSize(col), h->height());
}

QRect TFDBGrid::cellRect(int row, int col) const {
    return view_->visualRect(model_->index(row, col));
}

bool TFDBGrid::eventFilter(QObject* watched, QEvent* e) {
    if (watched == view_->horizontalHeader()->viewport() && e->type() == QEvent::MouseButtonRelease &&
        !resized_.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { storeResizedWidths(); }, Qt::QueuedConnection);
    if (watched == view_ && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        int key = k->key();
        emit KeyDown(key, k->modifiers());
        if (key == 0) return true; // the handler consumed the key
    } else if (watched == view_->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* m = static_cast<QMouseEvent*>(e);
        emit MouseDown(m->button(), m->modifiers(), m->position().toPoint());
        const QModelIndex at = view_->indexAt(m->position().toPoint());
        if (at.isValid() && multiSelect_ && (m->modifiers() & Qt::ControlModifier)) {
            ToggleSelected(at.row());
        } else if (at.isValid() && multiSelect_ && (m->modifiers() & Qt::ShiftModifier) &&
                   currentRow() >= 0) {
            const int a = qMin(currentRow(), at.row()), b = qMax(currentRow(), at.row());
            for (int r = a; r <= b; ++r)
                SetSelected(r, true);
        }
    }
    return TControl::eventFilter(watched, e);
}

void TFDBGrid::applyColor() {
    QPalette pal = view_->palette();
    const QColor c = qColor();
    if (c.isValid()) pal.setColor(QPalette::Base, c);
    view_->setPalette(pal);
}

} // namespace kvx
