#include "controls/CheckBoxes.h"

#include "controls/FieldBinding.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QRadioButton>

namespace kvx {

TKVCheckBox::TKVCheckBox(QWidget* parent) : TControl(parent), box_(new QCheckBox(this)) {
    tightRow()->addWidget(box_);
    setFocusTarget(box_);
    resize(120, 20);
    connect(box_, &QCheckBox::clicked, this, [this] {
        userToggled();
        emit Click();
    });
}

bool TKVCheckBox::Checked() const {
    return box_->checkState() == Qt::Checked;
}
void TKVCheckBox::setChecked(bool on) {
    setState(on ? cbChecked : cbUnchecked);
}

TKVCheckBox::TCheckBoxState TKVCheckBox::State() const {
    switch (box_->checkState()) {
    case Qt::Checked:
        return cbChecked;
    case Qt::PartiallyChecked:
        return cbGrayed;
    default:
        return cbUnchecked;
    }
}

void TKVCheckBox::setState(TCheckBoxState s) {
    settingState_ = true;
    box_->setCheckState(s == cbChecked ? Qt::Checked : s == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
    settingState_ = false;
}

bool TKVCheckBox::AllowGrayed() const {
    return box_->isTristate();
}
void TKVCheckBox::setAllowGrayed(bool on) {
    box_->setTristate(on);
}
void TKVCheckBox::applyCaption() {
    box_->setText(Caption());
}

TKvRadioButton::TKvRadioButton(QWidget* parent) : TControl(parent), button_(new QRadioButton(this)) {
    tightRow()->addWidget(button_);
    setFocusTarget(button_);
    resize(120, 20);
    connect(button_, &QRadioButton::clicked, this, &TKvRadioButton::Click);
}

bool TKvRadioButton::Checked() const {
    return button_->isChecked();
}

void TKvRadioButton::setChecked(bool on) {
    // Radio buttons with the same parent exclude each other.
    if (on && parentWidget())
        for (auto* other : parentWidget()->findChildren<TKvRadioButton*>(Qt::FindDirectChildrenOnly))
            if (other != this) other->button_->setChecked(false);
    button_->setAutoExclusive(false);
    button_->setChecked(on);
    button_->setAutoExclusive(true);
}

void TKvRadioButton::applyCaption() {
    button_->setText(Caption());
}

// ---------------------------------------------------------------------------------------------------

TFDbCheckBox::TFDbCheckBox(QWidget* parent) : TKVCheckBox(parent), DataAwareControl(new FieldBinding(this)) {
    connect(binding_, &FieldBinding::dataChanged, this, &TFDbCheckBox::loadFromField);
    connect(binding_, &FieldBinding::stateChanged, this, &TFDbCheckBox::loadFromField);
}

void TFDbCheckBox::setValueChecked(const QString& v) {
    valueChecked_ = v;
    loadFromField();
}

void TFDbCheckBox::setValueUnchecked(const QString& v) {
    valueUnchecked_ = v;
    loadFromField();
}

TKVCheckBox::TCheckBoxState TFDbCheckBox::stateFor(const QString& text) const {
    const auto matches = [&](const QString& list) {
        for (const QString& v : list.split(';'))
            if (v.compare(text, Qt::CaseInsensitive) == 0) return true;
        return false;
    };
    if (matches(valueChecked_)) return cbChecked;
    if (matches(valueUnchecked_)) return cbUnchecked;
    return cbGrayed;
}

void TFDbCheckBox::loadFromField() {
    if (!binding_->isBound()) return;
    setState(binding_->isNull() ? cbGrayed : stateFor(binding_->editText()));
}

void TFDbCheckBox::userToggled() {
    if (!binding_->isBound()) return;
    const bool want = Checked(); // putting the record into edit state reloads the box
    if (readOnly_ || !binding_->edit()) {
        loadFromField();
        return;
    }
    const QString& list = want ? valueChecked_ : valueUnchecked_;
    if (!binding_->write(list.section(';', 0, 0))) loadFromField();
}

// ---------------------------------------------------------------------------------------------------

TBitCheckBox::TBitCheckBox(QWidget* parent) : TKVCheckBox(parent), DataAwareControl(new FieldBinding(this)) {
    connect(binding_, &FieldBinding::dataChanged, this, &TBitCheckBox::loadFromField);
    connect(binding_, &FieldBinding::stateChanged, this, &TBitCheckBox::loadFromField);
}

void TBitCheckBox::setBit(int b) {
    bit_ = qBound(0, b, 30);
    setValue(value_);
}

void TBitCheckBox::setValue(int v) {
    value_ = v;
    setChecked((value_ >> bit_) & 1);
}

void TBitCheckBox::loadFromField() {
    if (!binding_->isBound()) return;
    setValue(binding_->isNull() ? 0 : binding_->editText().toInt());
}

void TBitCheckBox::userToggled() {
    const int mask = 1 << bit_;
    const int next = Checked() ? (value_ | mask) : (value_ & ~mask);
    if (binding_->isBound()) {
        if (!binding_->edit() || !binding_->write(QString::number(next))) {
            loadFromField();
            return;
        }
    }
    value_ = next;
}

} // namespace kvx
