#include "controls/Control.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

namespace kvx {

TControl::TControl(QWidget* parent) : QWidget(parent), font_(new TFont(this)) {
    font_->setObjectName("Font");
    {
        const QSignalBlocker block(font_);
        font_->setFont(font());
    }
    connect(font_, &TFont::changed, this, &TControl::fontChanged);
}

void TControl::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    applyCaption();
}

void TControl::setHint(const QString& hint) {
    hint_ = hint;
    setToolTip(showHint_ ? hint : QString());
    if (focusTarget_) focusTarget_->setToolTip(toolTip());
}

void TControl::setShowHint(bool on) {
    showHint_ = on;
    setHint(hint_);
}

void TControl::setColor(TColor c) {
    colorSet_ = true;
    if (c == color_) return;
    color_ = c;
    applyColor();
}

void TControl::setDefaultColor(TColor c) {
    if (colorSet_) return;
    color_ = c;
    applyColor();
}

void TControl::applyColor() {
    const QColor c = qColor();
    QPalette pal = palette();
    if (c.isValid()) pal.setColor(QPalette::Window, c);
    setPalette(pal);
    setAutoFillBackground(color_ != colors::clBtnFace);
}

void TControl::setParentFont(bool on) {
    parentFont_ = on;
    if (on && parentWidget()) {
        applyingParentFont_ = true;
        font_->setFont(parentWidget()->font());
        applyingParentFont_ = false;
    }
}

void TControl::fontChanged() {
    if (!applyingParentFont_) parentFont_ = false;
    applyFont();
}

void TControl::applyFont() {
    setFont(font_->font());
    const QColor text = toQColor(font_->Color(), palette());
    QPalette pal = palette();
    if (text.isValid()) {
        pal.setColor(QPalette::WindowText, text);
        pal.setColor(QPalette::Text, text);
        pal.setColor(QPalette::ButtonText, text);
    }
    setPalette(pal);
}

void TControl::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ParentChange && parentFont_ && parentWidget()) setParentFont(true);
    QWidget::changeEvent(e);
}

void TControl::setTabStop(bool on) {
    tabStop_ = on;
    focusTarget()->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
}

void TControl::setFocusTarget(QWidget* w) {
    focusTarget_ = w;
    if (w && w != this) {
        setFocusProxy(w);
        setFocusPolicy(w->focusPolicy());
        w->setToolTip(toolTip());
    }
}

void TControl::setTabOrder(int order) {
    tabOrder_ = order;
    reorderTabs();
}

void TControl::reorderTabs() {
    QWidget* p = parentWidget();
    if (!p) return;
    QList<TControl*> siblings;
    for (QObject* o : p->children())
        if (auto* c = qobject_cast<TControl*>(o); c && c->tabOrder_ >= 0) siblings.append(c);
    std::stable_sort(siblings.begin(), siblings.end(),
                     [](const TControl* a, const TControl* b) { return a->tabOrder_ < b->tabOrder_; });
    for (int i = 1; i < siblings.size(); ++i)
        QWidget::setTabOrder(siblings[i - 1], siblings[i]);
}

void TControl::placePartsInFocusChain() {
    // Widgets created after the control joined the end of the window's focus chain. They move, in the
    // order they stand there, to directly behind the control, as if created with it. QWidget::setTabOrder
    // moves one widget behind another when neither refuses the focus and neither has a focus proxy, so
    // the proxy is set afterwards and the widgets refusing the focus take it for the moves only.
    QList<QWidget*> parts;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
        if (isAncestorOf(w)) parts << w;
    QList<QPair<QWidget*, Qt::FocusPolicy>> refusing;
    for (QWidget* w : QList<QWidget*>{this} + parts)
        if (w->focusPolicy() == Qt::NoFocus) {
            refusing.append({w, Qt::NoFocus});
            w->setFocusPolicy(Qt::TabFocus);
        }
    QWidget* prev = this;
    for (QWidget* w : parts) {
        if (prev->nextInFocusChain() != w) QWidget::setTabOrder(prev, w);
        prev = w;
    }
    for (const auto& [w, policy] : refusing)
        w->setFocusPolicy(policy);
}

QHBoxLayout* TControl::tightRow() {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    return row;
}

} // namespace kvx
