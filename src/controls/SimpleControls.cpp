#include "controls/SimpleControls.h"

#include "controls/FieldBinding.h"
#include "platform/WindowMessage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaMethod>
#include <QPushButton>
#include <QToolButton>

namespace kvx {

TDBLabel::TDBLabel(QWidget* parent)
    : TControl(parent), DataAwareControl(new FieldBinding(this)), label_(new QLabel(this)) {
    tightRow()->addWidget(label_);
    resize(100, 18);
    connect(binding_, &FieldBinding::dataChanged, this, &TDBLabel::refresh);
    connect(binding_, &FieldBinding::stateChanged, this, &TDBLabel::refresh);
    setAlignment(taLeftJustify);
}

void TDBLabel::setAlignment(TAlignment a) {
    alignment_ = a;
    const Qt::Alignment h = a == taRightJustify ? Qt::AlignRight
                            : a == taCenter     ? Qt::AlignHCenter
                                                : Qt::AlignLeft;
    label_->setAlignment(h | Qt::AlignVCenter);
}

bool TDBLabel::WordWrap() const {
    return label_->wordWrap();
}
void TDBLabel::setWordWrap(bool on) {
    label_->setWordWrap(on);
}

void TDBLabel::setTransparent(bool on) {
    transparent_ = on;
    applyColor();
}

void TDBLabel::applyColor() {
    if (transparent_) {
        setAutoFillBackground(false);
        return;
    }
    TControl::applyColor();
    setAutoFillBackground(true);
}

QString TDBLabel::shownText() const {
    return label_->text();
}

void TDBLabel::refresh() {
    label_->setText(binding_->isBound() ? binding_->displayText() : Caption());
}

// ---------------------------------------------------------------------------------------------------

TGSpeedButton::TGSpeedButton(QWidget* parent)
    : TControl(parent), button_(new QToolButton(this)), glyph_(button_) {
    tightRow()->addWidget(button_);
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setAutoRaise(false);
    button_->setFocusPolicy(Qt::NoFocus);
    setFocusTarget(button_);
    resize(25, 25);
    connect(button_, &QToolButton::clicked, this, &TGSpeedButton::clicked);
}

void TGSpeedButton::setGlyphIndex(int n) {
    glyph_.setIndex(n);
    // A loaded image replaces the caption; without one the caption (or the number) shows.
    if (glyph_.glyph().isNull() && !Caption().isEmpty() && n <= 0) button_->setText(Caption());
}

bool TGSpeedButton::Flat() const {
    return button_->autoRaise();
}
void TGSpeedButton::setFlat(bool on) {
    button_->setAutoRaise(on);
}
bool TGSpeedButton::Down() const {
    return button_->isChecked();
}
QString TGSpeedButton::buttonText() const {
    return button_->text();
}

void TGSpeedButton::setDown(bool on) {
    if (groupIndex_ == 0) return;
    button_->setChecked(on);
    if (on && parentWidget())
        for (auto* other : parentWidget()->findChildren<TGSpeedButton*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->groupIndex_ == groupIndex_) other->button_->setChecked(false);
}

void TGSpeedButton::setGroupIndex(int g) {
    groupIndex_ = g;
    button_->setCheckable(g != 0);
}

void TGSpeedButton::clicked() {
    if (groupIndex_ != 0) {
        // Grouped buttons stay down; the down button of a group pops up only when all may be up.
        if (!button_->isChecked() && !allowAllUp_)
            button_->setChecked(true);
        else
            setDown(button_->isChecked());
    }
    emit Click();
}

void TGSpeedButton::applyCaption() {
    if (glyph_.glyph().isNull()) button_->setText(Caption());
}

TF2Button::TF2Button(QWidget* parent) : TControl(parent), button_(new QPushButton(this)), glyph_(button_) {
    tightRow()->addWidget(button_);
    button_->setFocusPolicy(Qt::NoFocus);
    setFocusTarget(button_);
    setCaption("F2");
    resize(30, 22);
    connect(button_, &QPushButton::clicked, this, &TF2Button::press);
}

void TF2Button::press() {
    if (!isEnabled()) return;
    if (isSignalConnected(QMetaMethod::fromSignal(&TF2Button::Click))) {
        emit Click();
        return;
    }
    postMessage(window(), WM_USER + 10, Qt::Key_F2, control_ ? control_.data() : this);
}

void TF2Button::applyCaption() {
    button_->setText(Caption());
}

// ---------------------------------------------------------------------------------------------------

TFCheckListBox::TFCheckListBox(QWidget* parent) : TControl(parent), list_(new QListWidget(this)) {
    tightRow()->addWidget(list_);
    setFocusTarget(list_);
    setDefaultColor(colors::clWindow);
    resize(150, 120);
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!filling_) emit ClickCheck(list_->row(item));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { emit DblClick(); });
}

QStringList TFCheckListBox::Items() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        out << list_->item(i)->text();
    return out;
}

void TFCheckListBox::setItems(const QStringList& items) {
    // Lines that stay keep their check marks.
    const int keep = list_->currentRow();
    QList<bool> checks;
    for (int i = 0; i < list_->count(); ++i)
        checks << isChecked(i);
    filling_ = true;
    list_->clear();
    for (int i = 0; i < items.size(); ++i)
        addItem(items[i], checks.value(i, false));
    filling_ = false;
    if (keep >= 0 && keep < list_->count()) list_->setCurrentRow(keep);
}

void TFCheckListBox::addItem(const QString& text, bool checked) {
    const bool was = filling_;
    filling_ = true;
    auto* item = new QListWidgetItem(text, list_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    filling_ = was;
}

void TFCheckListBox::deleteItem(int i) {
    delete list_->takeItem(i);
}

void TFCheckListBox::moveItem(int from, int to) {
    if (from < 0 || from >= list_->count()) return;
    to = qBound(0, to, list_->count() - 1);
    filling_ = true;
    QListWidgetItem* item = list_->takeItem(from);
    list_->insertItem(to, item);
    filling_ = false;
    list_->setCurrentRow(to);
}

int TFCheckListBox::ItemIndex() const {
    return list_->currentRow();
}
void TFCheckListBox::setItemIndex(int i) {
    list_->setCurrentRow(i);
}
bool TFCheckListBox::MultiSelect() const {
    return list_->selectionMode() == QAbstractItemView::ExtendedSelection;
}
void TFCheckListBox::setMultiSelect(bool on) {
    list_->setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

bool TFCheckListBox::isChecked(int i) const {
    const QListWidgetItem* item = list_->item(i);
    return item && item->checkState() == Qt::Checked;
}

void TFCheckListBox::setItemChecked(int i, bool on) {
    if (QListWidgetItem* item = list_->item(i)) {
        filling_ = true;
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        filling_ = false;
    }
}

bool TFCheckListBox::isSelected(int i) const {
    const QListWidgetItem* item = list_->item(i);
    return item && item->isSelected();
}

void TFCheckListBox::setItemSelected(int i, bool on) {
    if (QListWidgetItem* item = list_->item(i)) item->setSelected(on);
}

int TFCheckListBox::count() const {
    return list_->count();
}

void TFCheckListBox::applyColor() {
    QPalette pal = list_->palette();
    const QColor c = qColor();
    if (c.isValid()) pal.setColor(QPalette::Base, c);
    list_->setPalette(pal);
}

} // namespace kvx
