#include "controls/SelectPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace kvx {

TSelectPanel::TSelectPanel(QWidget* parent)
    : TControl(parent), hint_(new QLabel(this)), source_(new QListWidget(this)),
      chosen_(new QListWidget(this)), add_(new QToolButton(this)), remove_(new QToolButton(this)),
      clear_(new QToolButton(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->addWidget(hint_, 0, 0, 1, 3);
    grid->addWidget(source_, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    for (QToolButton* b : {add_, remove_, clear_}) {
        b->setFixedSize(26, 24);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(chosen_, 1, 2);
    hint_->hide();
    source_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    addGlyph_ = std::make_unique<ButtonGlyph>(add_);
    removeGlyph_ = std::make_unique<ButtonGlyph>(remove_);
    clearGlyph_ = std::make_unique<ButtonGlyph>(clear_);
    addGlyph_->setIndex(8);    // right arrow
    removeGlyph_->setIndex(7); // left arrow
    clearGlyph_->setIndex(21); // double left
    setFocusTarget(source_);
    resize(320, 160);
    connect(add_, &QToolButton::clicked, this, &TSelectPanel::AddSelected);
    connect(remove_, &QToolButton::clicked, this, &TSelectPanel::RemoveSelected);
    connect(clear_, &QToolButton::clicked, this, &TSelectPanel::ClearSelected);
    connect(source_, &QListWidget::itemDoubleClicked, this, &TSelectPanel::AddSelected);
    connect(chosen_, &QListWidget::itemDoubleClicked, this, &TSelectPanel::RemoveSelected);
}

TSelectPanel::~TSelectPanel() = default;

void TSelectPanel::setItems(const QStringList& items) {
    items_ = items;
    refill();
}

void TSelectPanel::setSelected(const QStringList& s) {
    selected_.clear();
    for (const QString& item : s)
        if (!selected_.contains(item)) selected_.append(item);
    refill();
    emit Change();
}

void TSelectPanel::setHintWord(const QString& w) {
    hintWord_ = w;
    hint_->setText(w);
    hint_->setVisible(!w.isEmpty());
}

QString TSelectPanel::SelectedText() const {
    return beginWords_.join(QString()) + selected_.join(separator_) + finalWords_.join(QString());
}

void TSelectPanel::AddSelected() {
    bool changed = false;
    for (int i = 0; i < source_->count(); ++i) {
        const QListWidgetItem* item = source_->item(i);
        if (item->isSelected() && !selected_.contains(item->text())) {
            selected_.append(item->text());
            changed = true;
        }
    }
    if (!changed) return;
    refill();
    emit Change();
}

void TSelectPanel::RemoveSelected() {
    const int row = chosen_->currentRow();
    if (row < 0 || row >= selected_.size()) return;
    selected_.removeAt(row);
    refill();
    chosen_->setCurrentRow(qMin(row, int(selected_.size()) - 1));
    emit Change();
}

void TSelectPanel::ClearSelected() {
    if (selected_.isEmpty()) return;
    selected_.clear();
    refill();
    emit Change();
}

void TSelectPanel::refill() {
    // Chosen items leave the source list; items no longer offered stay chosen.
    source_->clear();
    for (const QString& item : items_)
        if (!selected_.contains(item)) source_->addItem(item);
    chosen_->clear();
    chosen_->addItems(selected_);
}

} // namespace kvx
