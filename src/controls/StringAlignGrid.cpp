#include "controls/StringAlignGrid.h"

#include "controls/EditMask.h"
#include "controls/KvDBComboBox.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace kvx {

namespace {
enum Role { AlignRole = Qt::UserRole + 1, MaskRole, PickRole, CheckRole, NumberRole };

Qt::Alignment toQt(TStringAlignGrid::TAlignment a) {
    switch (a) {
    case TStringAlignGrid::taRightJustify:
        return Qt::AlignRight | Qt::AlignVCenter;
    case TStringAlignGrid::taCenter:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}
} // namespace

class AlignGridDelegate : public QStyledItemDelegate {
public:
    explicit AlignGridDelegate(TStringAlignGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    QPointer<QWidget> current;

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.displayAlignment = toQt(grid_->cellAlignment(index.column(), index.row()));
        const QString check = grid_->cellCheckBox(index.column(), index.row());
        if (check.isEmpty()) {
            QStyledItemDelegate::paint(p, opt, index);
            return;
        }
        opt.text.clear();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        QStyleOptionButton box;
        box.rect = QApplication::style()->subElementRect(QStyle::SE_CheckBoxIndicator, &box, opt.widget);
        box.rect.moveCenter(opt.rect.center());
        box.state =
            QStyle::State_Enabled |
            (grid_->isCellChecked(index.column(), index.row()) ? QStyle::State_On : QStyle::State_Off);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, opt.widget);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const int c = index.column(), r = index.row();
        QWidget* ed = nullptr;
        if (!grid_->cellCheckBox(c, r).isEmpty()) return nullptr;
        const QStringList pick = grid_->cellPickList(c, r);
        if (!pick.isEmpty()) {
            auto* combo = new QComboBox(parent);
            for (const QString& it : pick)
                combo->addItem(MappedItems::displayPart(it));
            ed = combo;
        } else {
            auto* line = new QLineEdit(parent);
            line->setFrame(false);
            const QString mask = grid_->cellEditMask(c, r);
            if (!mask.isEmpty()) EditMask(mask).applyTo(line);
            if (grid_->isCellNumber(c, r))
                line->setValidator(
                    new QRegularExpressionValidator(QRegularExpression(R"(-?\d*\.?\d*)"), line));
            ed = line;
        }
        Q_UNUSED(option);
        const_cast<AlignGridDelegate*>(this)->current = ed;
        return ed;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const QString text = index.data(Qt::EditRole).toString();
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            combo->setCurrentIndex(combo->findText(text));
        } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setText(text);
            line->selectAll();
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        QString text;
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            text = combo->currentText();
        } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            const QString mask = grid_->cellEditMask(index.column(), index.row());
            text = mask.isEmpty() ? line->text() : EditMask(mask).maskedText(line->displayText());
        }
        if (text == index.data(Qt::EditRole).toString()) return;
        model->setData(index, text, Qt::EditRole);
        emit grid_->SetEditText(index.column(), index.row(), text);
    }

    bool editorEvent(QEvent* e, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const int c = index.column(), r = index.row();
        if (!grid_->cellCheckBox(c, r).isEmpty() && grid_->Options().testFlag(TStringAlignGrid::goEditing)) {
            const bool click = e->type() == QEvent::MouseButtonRelease &&
                               static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
            const bool space =
                e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space;
            if (click || space) {
                grid_->toggleCheckBox(c, r);
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(e, model, option, index);
    }

private:
    TStringAlignGrid* grid_;
};

TStringAlignGrid::TStringAlignGrid(QWidget* parent) : TControl(parent), table_(new QTableWidget(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(table_);
    table_->horizontalHeader()->hide();
    table_->verticalHeader()->hide();
    table_->setItemDelegate(new AlignGridDelegate(this));
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->installEventFilter(this);
    setFocusTarget(table_);
    setDefaultColor(colors::clWindow);
    table_->setColumnCount(5);
    table_->setRowCount(5);
    setDefaultRowHeight(defaultRowHeight_);
    setDefaultColWidth(defaultColWidth_);
    styleFixed();
    updateEditTriggers();
    resize(320, 150);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int r, int c, int pr, int pc) {
        if (settingCurrent_) return;
        if (r < fixedRows_ && r >= 0 && table_->rowCount() > fixedRows_) {
            // Titles are never current.
            settingCurrent_ = true;
            table_->setCurrentCell(pr >= fixedRows_ ? pr : fixedRows_, pc >= 0 ? pc : c);
            settingCurrent_ = false;
            return;
        }
        bool can = true;
        emit SelectCell(c, r, can);
        if (!can) {
            settingCurrent_ = true;
            table_->setCurrentCell(pr, pc);
            settingCurrent_ = false;
            return;
        }
        lastCol_ = c;
        lastRow_ = r;
    });
    connect(table_, &QTableWidget::cellChanged, this, [this](int r, int c) {
        if (!filling_) emit CellChanged(c, r);
    });
}

int TStringAlignGrid::ColCount() const {
    return table_->columnCount();
}
void TStringAlignGrid::setColCount(int n) {
    table_->setColumnCount(qMax(1, n));
    for (int c = 0; c < table_->columnCount(); ++c)
        if (table_->columnWidth(c) == 100) table_->setColumnWidth(c, defaultColWidth_);
    styleFixed();
}
int TStringAlignGrid::RowCount() const {
    return table_->rowCount();
}
void TStringAlignGrid::setRowCount(int n) {
    const int old = table_->rowCount();
    table_->setRowCount(qMax(1, n));
    for (int r = old; r < table_->rowCount(); ++r)
        table_->setRowHeight(r, defaultRowHeight_);
    styleFixed();
}

void TStringAlignGrid::setFixedRows(int n) {
    fixedRows_ = qMax(0, n);
    styleFixed();
}

void TStringAlignGrid::setFixedCols(int n) {
    fixedCols_ = qMax(0, n);
    styleFixed();
}

void TStringAlignGrid::setDefaultRowHeight(int h) {
    defaultRowHeight_ = h;
    table_->verticalHeader()->setDefaultSectionSize(h);
    for (int r = 0; r < table_->rowCount(); ++r)
        table_->setRowHeight(r, h);
}

void TStringAlignGrid::setDefaultColWidth(int w) {
    defaultColWidth_ = w;
    table_->horizontalHeader()->setDefaultSectionSize(w);
}

int TStringAlignGrid::Col() const {
    return table_->currentColumn();
}
void TStringAlignGrid::setCol(int c) {
    table_->setCurrentCell(qMax(Row(), fixedRows_), c);
}
int TStringAlignGrid::Row() const {
    return table_->currentRow();
}
void TStringAlignGrid::setRow(int r) {
    table_->setCurrentCell(r, qMax(Col(), fixedCols_));
}

void TStringAlignGrid::setAlignment(TAlignment a) {
    alignment_ = a;
    table_->viewport()->update();
}

void TStringAlignGrid::setOptions(TGridOptions o) {
    options_ = o;
    updateEditTriggers();
}

void TStringAlignGrid::updateEditTriggers() {
    if (options_.testFlag(goEditing)) {
        QAbstractItemView::EditTriggers t =
            QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
            QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed;
        if (options_.testFlag(goAlwaysShowEditor)) t |= QAbstractItemView::CurrentChanged;
        table_->setEditTriggers(t);
    } else {
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    table_->setTabKeyNavigation(options_.testFlag(goTabs));
    table_->setSelectionBehavior(options_.testFlag(goRowSelect) ? QAbstractItemView::SelectRows
                                                                : QAbstractItemView::SelectItems);
    table_->setShowGrid(options_.testFlag(goVertLine) || options_.testFlag(goHorzLine));
}

QTableWidgetItem* TStringAlignGrid::item(int col, int row) const {
    return table_->item(row, col);
}

QTableWidgetItem* TStringAlignGrid::ensureItem(int col, int row) {
    QTableWidgetItem* it = table_->item(row, col);
    if (!it && row >= 0 && col >= 0 && row < table_->rowCount() && col < table_->columnCount()) {
        const bool was = filling_;
        filling_ = true;
        it = new QTableWidgetItem;
        table_->setItem(row, col, it);
        filling_ = was;
        if (row < fixedRows_ || col < fixedCols_) styleFixed();
    }
    return it;
}

void TStringAlignGrid::styleFixed() {
    const bool was = filling_;
    filling_ = true;
    const QColor face = palette().color(QPalette::Button);
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = 0; c < table_->columnCount(); ++c) {
            const bool fixed = r < fixedRows_ || c < fixedCols_;
            QTableWidgetItem* it = table_->item(r, c);
            if (!it) {
                if (!fixed) continue;
                it = new QTableWidgetItem;
                table_->setItem(r, c, it);
            }
            if (fixed) {
                it->setFlags(Qt::ItemIsEnabled);
                it->setBackground(face);
            } else {
                it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            }
        }
    filling_ = was;
}

QString TStringAlignGrid::Cells(int col, int row) const {
    const QTableWidgetItem* it = item(col, row);
    return it ? it->text() : QString();
}

void TStringAlignGrid::setCells(int col, int row, const QString& text) {
    if (QTableWidgetItem* it = ensureItem(col, row)) it->setText(text);
}

int TStringAlignGrid::ColWidths(int col) const {
    return table_->columnWidth(col);
}
void TStringAlignGrid::setColWidths(int col, int w) {
    table_->setColumnWidth(col, w);
}
int TStringAlignGrid::RowHeights(int row) const {
    return table_->rowHeight(row);
}
void TStringAlignGrid::setRowHeights(int row, int h) {
    table_->setRowHeight(row, h);
}

void TStringAlignGrid::setAlignCell(int col, int row, TAlignment a) {
    if (QTableWidgetItem* it = ensureItem(col, row)) it->setData(AlignRole, int(a));
}
void TStringAlignGrid::setAlignRow(int row, TAlignment a) {
    rowAlign_[row] = a;
    table_->viewport()->update();
}
void TStringAlignGrid::setAlignCol(int col, TAlignment a) {
    colAlign_[col] = a;
    table_->viewport()->update();
}

TStringAlignGrid::TAlignment TStringAlignGrid::cellAlignment(int col, int row) const {
    if (const QTableWidgetItem* it = item(col, row); it && it->data(AlignRole).isValid())
        return TAlignment(it->data(AlignRole).toInt());
    if (auto i = rowAlign_.constFind(row); i != rowAlign_.constEnd()) return *i;
    if (auto i = colAlign_.constFind(col); i != colAlign_.constEnd()) return *i;
    return alignment_;
}

void TStringAlignGrid::setCellEditMask(int col, int row, const QString& mask) {
    if (QTableWidgetItem* it = ensureItem(col, row)) it->setData(MaskRole, mask);
}
QString TStringAlignGrid::cellEditMask(int col, int row) const {
    const QTableWidgetItem* it = item(col, row);
    return it ? it->data(MaskRole).toString() : QString();
}

void TStringAlignGrid::setCellPickList(int col, int row, const QStringList& items) {
    if (QTableWidgetItem* it = ensureItem(col, row)) it->setData(PickRole, items);
}
void TStringAlignGrid::setRowPickList(int row, const QStringList& items) {
    rowPick_[row] = items;
}
void TStringAlignGrid::setColPickList(int col, const QStringList& items) {
    colPick_[col] = items;
}

QStringList TStringAlignGrid::cellPickList(int col, int row) const {
    if (const QTableWidgetItem* it = item(col, row); it && it->data(PickRole).isValid())
        return it->data(PickRole).toStringList();
    if (auto i = rowPick_.constFind(row); i != rowPick_.constEnd()) return *i;
    return colPick_.value(col);
}

void TStringAlignGrid::setCellCheckBox(int col, int row, const QString& values) {
    if (QTableWidgetItem* it = ensureItem(col, row)) {
        it->setData(CheckRole, values);
        table_->viewport()->update();
    }
}

QString TStringAlignGrid::cellCheckBox(int col, int row) const {
    const QTableWidgetItem* it = item(col, row);
    return it ? it->data(CheckRole).toString() : QString();
}

bool TStringAlignGrid::isCellChecked(int col, int row) const {
    const QString values = cellCheckBox(col, row);
    return !values.isEmpty() && Cells(col, row) == values.section(';', 0, 0);
}

void TStringAlignGrid::toggleCheckBox(int col, int row) {
    const QString values = cellCheckBox(col, row);
    if (values.isEmpty()) return;
    const QString next = isCellChecked(col, row) ? values.section(';', 1, 1) : values.section(';', 0, 0);
    setCells(col, row, next);
    emit SetEditText(col, row, next);
}

void TStringAlignGrid::setCellNumber(int col, int row, bool on) {
    if (QTableWidgetItem* it = ensureItem(col, row))
        it->setData(NumberRole, on ? QVariant(true) : QVariant());
}
bool TStringAlignGrid::isCellNumber(int col, int row) const {
    const QTableWidgetItem* it = item(col, row);
    return it && it->data(NumberRole).toBool();
}

void TStringAlignGrid::setCellHint(int col, int row, const QString& hint) {
    if (QTableWidgetItem* it = ensureItem(col, row)) it->setToolTip(hint);
}
QString TStringAlignGrid::cellHint(int col, int row) const {
    const QTableWidgetItem* it = item(col, row);
    return it ? it->toolTip() : QString();
}

void TStringAlignGrid::setCellColor(int col, int row, const QColor& background, const QColor& text) {
    if (QTableWidgetItem* it = ensureItem(col, row)) {
        const bool was = filling_;
        filling_ = true;
        it->setBackground(background.isValid() ? QBrush(background) : QBrush());
        it->setForeground(text.isValid() ? QBrush(text) : QBrush());
        filling_ = was;
    }
}

void TStringAlignGrid::resetCell(int col, int row) {
    if (QTableWidgetItem* it = item(col, row)) {
        for (int role : {int(AlignRole), int(MaskRole), int(PickRole), int(CheckRole), int(NumberRole)})
            it->setData(role, QVariant());
        it->setToolTip(QString());
        table_->viewport()->update();
    }
}

void TStringAlignGrid::InsertRow(int row) {
    row = qBound(fixedRows_, row, table_->rowCount());
    table_->insertRow(row);
    table_->setRowHeight(row, defaultRowHeight_);
    styleFixed();
}

void TStringAlignGrid::DeleteRow(int row) {
    if (row < fixedRows_ || row >= table_->rowCount()) return;
    table_->removeRow(row);
}

QString TStringAlignGrid::editText() const {
    auto* d = static_cast<AlignGridDelegate*>(table_->itemDelegate());
    if (d->current) {
        if (auto* combo = qobject_cast<QComboBox*>(d->current.data())) return combo->currentText();
        if (auto* line = qobject_cast<QLineEdit*>(d->current.data())) {
            const QString mask = cellEditMask(Col(), Row());
            return mask.isEmpty() ? line->text() : EditMask(mask).maskedText(line->displayText());
        }
    }
    return Cells(Col(), Row());
}

void TStringAlignGrid::commitEditor() {
    auto* d = static_cast<AlignGridDelegate*>(table_->itemDelegate());
    if (QWidget* ed = d->current) {
        emit d->commitData(ed);
        emit d->closeEditor(ed, QAbstractItemDelegate::NoHint);
    }
}

bool TStringAlignGrid::eventFilter(QObject* watched, QEvent* e) {
    return TControl::eventFilter(watched, e);
}

void TStringAlignGrid::applyColor() {
    QPalette pal = table_->palette();
    const QColor c = qColor();
    if (c.isValid()) pal.setColor(QPalette::Base, c);
    table_->setPalette(pal);
}

} // namespace kvx
