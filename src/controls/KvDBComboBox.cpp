#include "controls/KvDBComboBox.h"

#include "controls/FieldBinding.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace kvx {

QString MappedItems::displayPart(const QString& item) {
    const int tab = item.indexOf('\t');
    return tab < 0 ? item : item.left(tab);
}

QString MappedItems::valuePart(const QString& item) {
    const int tab = item.indexOf('\t');
    return tab < 0 ? item : item.mid(tab + 1);
}

QString MappedItems::displayOf(const QStringList& items, const QString& value, bool mapList) {
    if (!mapList) return value;
    for (const QString& it : items)
        if (valuePart(it) == value) return displayPart(it);
    return {};
}

QString MappedItems::valueOf(const QStringList& items, const QString& display, bool mapList) {
    if (!mapList) return display;
    for (const QString& it : items)
        if (displayPart(it) == display) return valuePart(it);
    return display;
}

namespace {
// A combo box that can hide its drop-down button.
class ComboInner : public QComboBox {
public:
    using QComboBox::QComboBox;
    bool showButton = true;

    // The pop-up list is built when first needed. However the box was made, a long list scrolls with a
    // scroll bar (a list built while the box is not editable would get the style's scroll arrows).
    void showPopup() override {
        if (!popupPrepared_) {
            popupPrepared_ = true;
            view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        }
        QComboBox::showPopup();
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        if (showButton) {
            QComboBox::paintEvent(e);
            return;
        }
        QStylePainter p(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.subControls &= ~QStyle::SC_ComboBoxArrow;
        opt.subControls |= QStyle::SC_ComboBoxFrame | QStyle::SC_ComboBoxEditField;
        p.drawComplexControl(QStyle::CC_ComboBox, opt);
        p.drawControl(QStyle::CE_ComboBoxLabel, opt);
    }

private:
    bool popupPrepared_ = false;
};
} // namespace

TKvDBComboBox::TKvDBComboBox(QWidget* parent) : TKvDBComboBox(parent, csDropDown) {}

TKvDBComboBox::TKvDBComboBox(QWidget* parent, TComboStyle style, Parts parts)
    : TControl(parent), DataAwareControl(new FieldBinding(this)), style_(style) {
    setDefaultColor(colors::clWindow);
    resize(200, 22);
    connect(binding_, &FieldBinding::dataChanged, this, &TKvDBComboBox::loadFromField);
    connect(binding_, &FieldBinding::stateChanged, this, [this] {
        if (!binding_->editing()) loadFromField();
    });
    connect(binding_, &FieldBinding::updateData, this, [this] { UpdateRecord(); });
    if (parts == Parts::OnDemand) {
        setFocusPolicy(Qt::StrongFocus); // what the box gives the control
        return;
    }
    buildParts();
    setFocusTarget(combo_);
}

void TKvDBComboBox::buildParts() {
    label_ = new QLabel(this);
    auto* inner = new ComboInner(this);
    combo_ = inner;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(label_);
    row->addWidget(combo_, 1);
    label_->setFixedWidth(labelWidth_);
    label_->hide();
    if (isEditable()) combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setMaxVisibleItems(8);
    if (!TabStop()) combo_->setFocusPolicy(Qt::ClickFocus);
    inner->showButton = showButton_;
    combo_->installEventFilter(this);
    applyComboColor();
    if (comboFontSet_) applyComboFont();
    if (!Caption().isEmpty()) applyCaption();
    setShowMatchText(showMatchText_);
    connect(combo_, qOverload<int>(&QComboBox::activated), this, &TKvDBComboBox::userPicked);
    connect(combo_, &QComboBox::currentTextChanged, this, [this] {
        if (!loading_) emit Change();
    });
    if (!items_.isEmpty())
        rebuild();
    else if (binding_->isBound())
        loadFromField();
}

void TKvDBComboBox::ensureParts() const {
    if (combo_) return;
    auto* self = const_cast<TKvDBComboBox*>(this);
    self->buildParts();
    self->placePartsInFocusChain();
    self->setFocusTarget(combo_);
}

void TKvDBComboBox::setVisible(bool visible) {
    if (visible) ensureParts();
    TControl::setVisible(visible);
}

QSize TKvDBComboBox::sizeHint() const {
    ensureParts();
    return TControl::sizeHint();
}

QSize TKvDBComboBox::minimumSizeHint() const {
    ensureParts();
    return TControl::minimumSizeHint();
}

void TKvDBComboBox::setItems(const QStringList& items) {
    items_ = items;
    rebuild();
}

void TKvDBComboBox::setMapList(bool on) {
    mapList_ = on;
    rebuild();
}

void TKvDBComboBox::rebuild() {
    if (!combo_) return; // filled when the parts are built
    // The selected index survives a change of the list when it still exists.
    const int keep = combo_->currentIndex();
    const QString text = combo_->currentText();
    loading_ = true;
    combo_->clear();
    for (const QString& it : items_)
        combo_->addItem(mapList_ ? MappedItems::displayPart(it) : it);
    if (keep >= 0 && keep < combo_->count())
        combo_->setCurrentIndex(keep);
    else if (isEditable())
        combo_->setEditText(text);
    else
        combo_->setCurrentIndex(-1);
    loading_ = false;
    if (binding_->isBound()) loadFromField();
}

void TKvDBComboBox::setStyle(TComboStyle s) {
    style_ = s;
    if (!combo_) return; // built in this style
    const int keep = combo_->currentIndex();
    combo_->setEditable(isEditable());
    combo_->setCurrentIndex(keep);
    setShowMatchText(showMatchText_);
}

void TKvDBComboBox::setShowButton(bool on) {
    showButton_ = on;
    if (!combo_) return;
    static_cast<ComboInner*>(combo_)->showButton = on;
    combo_->update();
}

void TKvDBComboBox::setShowMatchText(bool on) {
    showMatchText_ = on;
    if (!combo_) return;
    if (combo_->isEditable()) combo_->setCompleter(nullptr); // matching is done here (matchTyped)
    if (QLineEdit* line = combo_->lineEdit(); line && !line->property("kvxMatching").isValid()) {
        line->setProperty("kvxMatching", true);
        connect(line, &QLineEdit::textEdited, this, &TKvDBComboBox::matchTyped);
    }
}

void TKvDBComboBox::matchTyped(const QString& typed) {
    // The first item that starts with what was typed completes it; the added part stays selected so that
    // typing on replaces it.
    QLineEdit* line = combo_->lineEdit();
    const bool grew = typed.size() > lastTyped_.size();
    lastTyped_ = typed;
    if (!showMatchText_ || !line || !grew || line->cursorPosition() != typed.size()) return;
    for (int i = 0; i < combo_->count(); ++i) {
        const QString item = combo_->itemText(i);
        if (item.size() > typed.size() && item.startsWith(typed, Qt::CaseInsensitive)) {
            line->setText(typed + item.mid(typed.size()));
            line->setSelection(item.size(), typed.size() - item.size());
            return;
        }
    }
}

void TKvDBComboBox::setItemIndex(int i) {
    if (!combo_ && (i < 0 || i >= items_.size())) {
        emit Change(); // nothing selected, nothing to build
        return;
    }
    ensureParts();
    loading_ = true;
    combo_->setCurrentIndex(i >= 0 && i < combo_->count() ? i : -1);
    loading_ = false;
    emit Change();
}

void TKvDBComboBox::setText(const QString& t) {
    ensureParts();
    const int i = combo_->findText(t, Qt::MatchExactly);
    if (i >= 0)
        setItemIndex(i);
    else if (isEditable())
        combo_->setEditText(t);
}

QString TKvDBComboBox::Value() const {
    if (!combo_) return MappedItems::valueOf(items_, QString(), mapList_);
    const int i = combo_->currentIndex();
    if (i >= 0 && i < items_.size() && combo_->currentText() == combo_->itemText(i))
        return mapList_ ? MappedItems::valuePart(items_[i]) : items_[i];
    return MappedItems::valueOf(items_, combo_->currentText(), mapList_);
}

void TKvDBComboBox::setValue(const QString& v) {
    ensureParts();
    loading_ = true;
    int found = -1;
    for (int i = 0; i < items_.size(); ++i)
        if ((mapList_ ? MappedItems::valuePart(items_[i]) : items_[i]) == v) {
            found = i;
            break;
        }
    combo_->setCurrentIndex(found);
    if (found < 0 && isEditable()) combo_->setEditText(v);
    loading_ = false;
}

void TKvDBComboBox::setLabelWidth(int w) {
    labelWidth_ = w;
    if (label_) label_->setFixedWidth(w);
}

void TKvDBComboBox::applyCaption() {
    if (!label_) return;
    label_->setText(Caption());
    label_->setVisible(!Caption().isEmpty());
}

void TKvDBComboBox::applyFont() {
    TControl::applyFont();
    comboFontSet_ = true;
    applyComboFont();
}

void TKvDBComboBox::applyComboFont() {
    if (!combo_) return;
    combo_->setFont(Font()->font());
    QPalette pal = combo_->palette();
    const QColor text = toQColor(Font()->Color(), palette());
    if (text.isValid())
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, QPalette::Text, text);
            pal.setColor(group, QPalette::ButtonText, text);
        }
    combo_->setPalette(pal);
}

void TKvDBComboBox::applyColor() {
    applyComboColor();
}

void TKvDBComboBox::applyComboColor() {
    if (!combo_) return;
    QPalette pal = combo_->palette();
    const QColor c = qColor();
    if (c.isValid()) {
        pal.setColor(QPalette::Base, c);
        pal.setColor(QPalette::Button, c);
    }
    combo_->setPalette(pal);
}

void TKvDBComboBox::loadFromField() {
    if (!combo_ || !binding_->isBound()) return; // loaded when the parts are built
    setValue(binding_->isNull() ? QString() : binding_->editText());
}

bool TKvDBComboBox::writeValue(const QString& value) {
    if (!binding_->isBound()) return true;
    if (readOnly_ || !binding_->edit()) {
        loadFromField();
        return false;
    }
    const bool ok = value.isEmpty() ? binding_->clear() : binding_->write(value);
    if (!ok) loadFromField();
    return ok;
}

void TKvDBComboBox::userPicked(int index) {
    if (index < 0 || index >= items_.size()) return;
    writeValue(mapList_ ? MappedItems::valuePart(items_[index]) : items_[index]);
    emit Change();
}

bool TKvDBComboBox::UpdateRecord() {
    if (!combo_ || !binding_->isBound() || !isEditable()) return true;
    const QString value = Value();
    const QString current = binding_->isNull() ? QString() : binding_->editText();
    if (value == current) return true;
    return writeValue(value);
}

bool TKvDBComboBox::eventFilter(QObject* watched, QEvent* e) {
    if (watched == combo_) {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (readOnly_ && k->key() != Qt::Key_Tab && k->key() != Qt::Key_Backtab) return true;
            if (allowClearKey_ && !isEditable() &&
                (k->key() == Qt::Key_Delete || k->key() == Qt::Key_Backspace)) {
                loading_ = true;
                combo_->setCurrentIndex(-1);
                loading_ = false;
                writeValue(QString());
                emit Change();
                return true;
            }
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) UpdateRecord();
        } else if (e->type() == QEvent::FocusOut) {
            UpdateRecord();
        }
    }
    return TControl::eventFilter(watched, e);
}

} // namespace kvx
