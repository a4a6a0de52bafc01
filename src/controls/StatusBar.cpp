#include "controls/StatusBar.h"
#include "platform/FontSubstitution.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

namespace kvx {

void TStatusPanel::setText(const QString& t) {
    text_ = t;
    notifyChanged();
}

void TStatusPanel::setWidth(int w) {
    width_ = w;
    notifyChanged();
}

void TStatusPanel::setAlignment(TAlignment a) {
    alignment_ = a;
    notifyChanged();
}

TStatusBar::TStatusBar(QWidget* parent)
    : TControl(parent), panels_(new TCollection([](TCollection* c) { return new TStatusPanel(c); }, this)),
      simple_(new QLabel(this)) {
    panels_->setObjectName("Panels");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(2);
    simple_->hide();
    row->addWidget(simple_, 1);
    setMinimumHeight(20);
    connect(panels_, &TCollection::changed, this, &TStatusBar::rebuild);
    connect(panels_, &TCollection::itemChanged, this, &TStatusBar::refresh);
}

TStatusPanel* TStatusBar::addPanel(const QString& text, int width) {
    panels_->BeginUpdate(); // one layout for the new panel with its text and width
    auto* p = static_cast<TStatusPanel*>(panels_->Add());
    p->setText(text);
    p->setWidth(width);
    panels_->EndUpdate();
    return p;
}

void TStatusBar::setSimplePanel(bool on) {
    simplePanel_ = on;
    rebuild();
}

void TStatusBar::setSimpleText(const QString& t) {
    simpleText_ = t;
    simple_->setText(t);
}

QString TStatusBar::shownText(int i) const {
    const QLabel* l = labels_.value(i);
    return l ? l->text() : QString();
}

void TStatusBar::rebuild() {
    // The labels of panels that stay are kept: a window adding its panels one by one builds each label once.
    auto* row = static_cast<QHBoxLayout*>(layout());
    simple_->setVisible(simplePanel_);
    const int count = panels_->Count();
    while (labels_.size() > count)
        delete labels_.takeLast();
    for (int i = 0; i < count; ++i) {
        QLabel* l = labels_.value(i);
        if (!l) {
            l = new QLabel(this);
            l->setFrameShape(QFrame::Panel);
            l->setFrameShadow(QFrame::Sunken);
            row->insertWidget(i, l);
            labels_.append(l);
        }
        const bool last = i == count - 1;
        row->setStretchFactor(l, last ? 1 : 0);
        if (last) { // the last panel takes the rest of the bar, whatever width it had before
            l->setMinimumWidth(0);
            l->setMaximumWidth(QWIDGETSIZE_MAX);
        }
        l->setVisible(!simplePanel_);
        refresh(i);
    }
}

void TStatusBar::refresh(int i) {
    QLabel* l = labels_.value(i);
    const TStatusPanel* p = panel(i);
    if (!l || !p) return;
    l->setText(p->Text());
    // A panel is never narrower than its text in the bar's current font (texts and fonts change with the
    // interface language after the widths were designed). A text that certainly fits its designed width
    // is not measured.
    if (i < panels_->Count() - 1) {
        const bool fits = fonts::fitsUnmeasured(l->font(), p->Text(), p->Width() - 8);
        l->setFixedWidth(fits ? p->Width()
                              : std::max(p->Width(), l->fontMetrics().horizontalAdvance(p->Text()) + 8));
    }
    const Qt::Alignment h = p->Alignment() == TStatusPanel::taRightJustify ? Qt::AlignRight
                            : p->Alignment() == TStatusPanel::taCenter     ? Qt::AlignHCenter
                                                                           : Qt::AlignLeft;
    l->setAlignment(h | Qt::AlignVCenter);
}

void TStatusBar::changeEvent(QEvent* e) {
    TControl::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        for (int i = 0; i < labels_.size(); ++i)
            refresh(i);
}

} // namespace kvx
