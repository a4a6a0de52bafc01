#include "controls/KvDBEdit.h"

#include "controls/FieldBinding.h"
#include "platform/WindowMessage.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QToolButton>
#include <QValidator>

namespace kvx {

namespace {

// Refuses an edit that the bound field could not hold (see FieldBinding::fits): the keystroke or paste
// is dropped instead of the text being cut or refused later.
class FieldTextValidator : public QValidator {
public:
    FieldTextValidator(FieldBinding* binding, QObject* parent) : QValidator(parent), binding_(binding) {}
    State validate(QString& input, int&) const override {
        if (!binding_->isBound() || !binding_->fits(input)) return binding_->isBound() ? Invalid : Acceptable;
        const QString t = input.trimmed();
        if (binding_->isIntegerField() && (t == QLatin1String("-") || t == QLatin1String("+")))
            return Intermediate;
        return Acceptable;
    }

private:
    FieldBinding* binding_;
};

// Keys that change an edit's text.
bool changesText(const QKeyEvent* k) {
    if (k->matches(QKeySequence::Paste) || k->matches(QKeySequence::Cut) || k->matches(QKeySequence::Undo))
        return true;
    if (k->key() == Qt::Key_Backspace || k->key() == Qt::Key_Delete) return true;
    return !k->text().isEmpty() && k->text().at(0).isPrint() && !(k->modifiers() & Qt::ControlModifier);
}
} // namespace

TKvDBEdit::TKvDBEdit(QWidget* parent, Parts parts)
    : TControl(parent), DataAwareControl(new FieldBinding(this)) {
    setDefaultColor(colors::clWindow);
    resize(200, 22);
    connect(binding_, &FieldBinding::dataChanged, this, &TKvDBEdit::loadFromField);
    connect(binding_, &FieldBinding::stateChanged, this, [this] {
        updateReadOnly();
        if (!binding_->editing()) loadFromField();
    });
    connect(binding_, &FieldBinding::updateData, this, [this] { UpdateRecord(); });
    if (parts == Parts::OnDemand) {
        setFocusPolicy(Qt::StrongFocus); // what the line editor gives the control
        return;
    }
    TKvDBEdit::buildParts();
    setFocusTarget(edit_);
}

void TKvDBEdit::buildParts() {
    row_ = new QHBoxLayout(this);
    label_ = new QLabel(this);
    edit_ = new QLineEdit(this);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(4);
    row_->addWidget(label_);
    row_->addWidget(edit_, 1);
    label_->setFixedWidth(labelWidth_);
    label_->hide();
    if (!TabStop()) edit_->setFocusPolicy(Qt::ClickFocus);
    if (maxLength_ != 32767) edit_->setMaxLength(maxLength_);
    edit_->installEventFilter(this);
    applyEditorColor();
    if (editorFontSet_) applyEditorFont();
    if (!Caption().isEmpty()) applyCaption();
    edit_->setValidator(new FieldTextValidator(binding_, edit_));
    connect(edit_, &QLineEdit::textEdited, this, &TKvDBEdit::onEdited);
    connect(edit_, &QLineEdit::editingFinished, this, [this] { UpdateRecord(); });
    connect(edit_, &QLineEdit::textChanged, this, [this] {
        if (!loading_) emit Change();
    });
    if (binding_->isBound()) loadFromField();
}

void TKvDBEdit::ensureParts() const {
    if (edit_ || building_) return;
    auto* self = const_cast<TKvDBEdit*>(this);
    self->building_ = true;
    self->buildParts();
    self->building_ = false;
    self->placePartsInFocusChain();
    self->setFocusTarget(edit_);
    self->updateReadOnly();
}

void TKvDBEdit::setVisible(bool visible) {
    if (visible) ensureParts();
    TControl::setVisible(visible);
}

QSize TKvDBEdit::sizeHint() const {
    ensureParts();
    return TControl::sizeHint();
}

QSize TKvDBEdit::minimumSizeHint() const {
    ensureParts();
    return TControl::minimumSizeHint();
}

void TKvDBEdit::setReadOnly(bool on) {
    readOnly_ = on;
    updateReadOnly();
}

void TKvDBEdit::updateReadOnly() {
    if (!edit_) return;
    // A bound edit follows its field: a field that cannot be modified keeps the edit read-only.
    edit_->setReadOnly(readOnly_ || (binding_->isBound() && !binding_->canModify()));
}

QString TKvDBEdit::Text() const {
    ensureParts();
    return mask_.isEmpty() ? edit_->text() : mask_.maskedText(edit_->displayText());
}

void TKvDBEdit::setText(const QString& t) {
    ensureParts();
    edit_->setText(t);
    if (binding_->isBound()) {
        if (binding_->edit()) {
            binding_->setModified(true);
            UpdateRecord();
        } else {
            loadFromField();
        }
    }
}

int TKvDBEdit::MaxLength() const {
    return edit_ ? edit_->maxLength() : maxLength_;
}
void TKvDBEdit::setMaxLength(int n) {
    maxLength_ = n > 0 ? n : 32767;
    if (edit_) edit_->setMaxLength(maxLength_);
}

void TKvDBEdit::setEditMask(const QString& m) {
    ownMask_ = m;
    effectiveMask();
}

void TKvDBEdit::effectiveMask() {
    if (!edit_) return; // applied when the parts are built
    // The control's own mask wins; otherwise the bound field's mask applies.
    const QString m = !ownMask_.isEmpty() ? ownMask_ : binding_->isBound() ? binding_->editMask() : QString();
    if (m == mask_.mask()) return;
    mask_ = kvx::EditMask(m);
    const QString keep = edit_->text();
    mask_.applyTo(edit_);
    edit_->setText(keep);
}

void TKvDBEdit::setLabelWidth(int w) {
    labelWidth_ = w;
    if (label_) label_->setFixedWidth(w);
}

void TKvDBEdit::applyCaption() {
    if (!label_) return;
    label_->setText(Caption());
    label_->setVisible(!Caption().isEmpty());
}

void TKvDBEdit::applyFont() {
    TControl::applyFont();
    editorFontSet_ = true;
    applyEditorFont();
}

void TKvDBEdit::applyEditorFont() {
    if (!edit_) return;
    edit_->setFont(Font()->font());
    QPalette pal = edit_->palette();
    const QColor text = toQColor(Font()->Color(), palette());
    if (text.isValid())
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, QPalette::Text, text);
        }
    edit_->setPalette(pal);
}

void TKvDBEdit::applyColor() {
    applyEditorColor();
}

void TKvDBEdit::applyEditorColor() {
    if (!edit_) return;
    QPalette pal = edit_->palette();
    const QColor c = qColor();
    if (c.isValid()) pal.setColor(QPalette::Base, c);
    edit_->setPalette(pal);
}

void TKvDBEdit::onEdited() {
    refused_.reset();
    if (loading_ || !binding_->isBound()) return;
    if (!binding_->edit()) {
        // The dataset cannot be edited: what was typed is dropped.
        loadFromField();
        return;
    }
    binding_->setModified(true);
}

bool TKvDBEdit::UpdateRecord() {
    if (!edit_ || !binding_->isBound() || !binding_->modified()) return true;
    const QString text = Text();
    // Enter, leaving the edit and posting all write the pending text: a text the field refused is
    // reported once, not again until it changes.
    if (refused_ && *refused_ == text) return false;
    if (binding_->write(text)) {
        refused_.reset();
        return true;
    }
    if (binding_->modified()) refused_ = text;
    return false;
}

void TKvDBEdit::Reset() {
    if (binding_->isBound()) {
        binding_->Reset();
        return;
    }
    loadFromField();
}

void TKvDBEdit::loadFromField() {
    if (!edit_) return; // loaded when the parts are built
    if (!binding_->isBound()) {
        effectiveMask();
        return;
    }
    effectiveMask();
    if (binding_->modified() && binding_->editing()) return; // keep what the user is typing
    const int size = binding_->size();
    if (size > 0 && edit_->maxLength() != size) edit_->setMaxLength(size); // setting it drops the selection
    loading_ = true;
    // The edit shows the edit text while it has the focus in an edited record, else the display text.
    const bool edit = edit_->hasFocus() || !mask_.isEmpty();
    const QString text = binding_->isNull() ? QString()
                         : edit             ? binding_->editText()
                                            : binding_->displayText();
    if (text != Text() && text != edit_->text()) {
        // The same text keeps the selection; a new one keeps the cursor where it was (a key that puts
        // the record into edit state reloads the text just before it is inserted).
        const int pos = edit_->cursorPosition();
        edit_->setText(text);
        edit_->setCursorPosition(qMin(pos, int(edit_->displayText().size())));
    }
    loading_ = false;
    updateReadOnly();
}

bool TKvDBEdit::eventFilter(QObject* watched, QEvent* e) {
    if (watched == edit_) {
        if (e->type() == QEvent::FocusIn && binding_->isBound() && !binding_->modified()) {
            loading_ = true;
            edit_->setText(binding_->isNull() ? QString() : binding_->editText());
            loading_ = false;
        } else if (e->type() == QEvent::FocusOut) {
            if (UpdateRecord() && binding_->isBound() && !binding_->modified()) loadFromField();
        } else if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
                UpdateRecord();
            } else if (k->key() == Qt::Key_Escape && binding_->modified()) {
                Reset(); // Esc drops the pending change first
                return true;
            } else if (binding_->isBound() && !edit_->isReadOnly() && changesText(k) && !binding_->edit()) {
                return true; // the record cannot be edited: the key is refused
            }
        }
    }
    return TControl::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------------------------------

TKvBtnDBEdit::TKvBtnDBEdit(QWidget* parent, Parts parts) : TKvDBEdit(parent, parts), glyph_(nullptr) {
    if (partsBuilt()) buildButton();
}

void TKvBtnDBEdit::buildParts() {
    TKvDBEdit::buildParts();
    buildButton();
}

void TKvBtnDBEdit::buildButton() {
    button_ = new QToolButton(this);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setFixedWidth(22);
    button_->setAutoRaise(false);
    rowLayout()->addWidget(button_);
    rowLayout()->setSpacing(2);
    if (!buttonHint_.isEmpty()) button_->setToolTip(buttonHint_);
    glyph_.attach(button_);
    connect(button_, &QToolButton::clicked, this, &TKvBtnDBEdit::Click);
}

void TKvBtnDBEdit::setButtonHint(const QString& h) {
    buttonHint_ = h;
    if (button_) button_->setToolTip(h);
}

int TKvBtnDBEdit::ButtonWidth() const {
    return button()->width();
}
void TKvBtnDBEdit::setButtonWidth(int w) {
    button()->setFixedWidth(w);
}
bool TKvBtnDBEdit::ButtonVisible() const {
    return !button()->isHidden();
}
void TKvBtnDBEdit::setButtonVisible(bool on) {
    button()->setVisible(on);
}

void TKvBtnDBEdit::Click() {
    if (!isEnabled()) return;
    if (isSignalConnected(QMetaMethod::fromSignal(&TKvBtnDBEdit::ButtonClick))) {
        emit ButtonClick();
        return;
    }
    postMessage(window(), WM_USER + 10, Qt::Key_F2, this);
}

bool TKvBtnDBEdit::eventFilter(QObject* watched, QEvent* e) {
    if (watched == editor() && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_F2 &&
        static_cast<QKeyEvent*>(e)->modifiers() == Qt::NoModifier) {
        Click();
        return true;
    }
    return TKvDBEdit::eventFilter(watched, e);
}

} // namespace kvx
