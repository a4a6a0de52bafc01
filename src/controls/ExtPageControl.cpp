#include "controls/ExtPageControl.h"

#include <QEvent>
#include <QMetaMethod>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QVBoxLayout>

namespace kvx {

namespace {
class PageTabBar : public QTabBar {
public:
    explicit PageTabBar(TExtPageControl* owner) : QTabBar(owner), owner_(owner) {}
    int fixedWidth = 0, fixedHeight = 0;
    bool ownerDraw = false;

protected:
    QSize tabSizeHint(int index) const override {
        QSize s = QTabBar::tabSizeHint(index);
        if (fixedWidth > 0) s.setWidth(fixedWidth);
        if (fixedHeight > 0) s.setHeight(fixedHeight);
        return s;
    }
    void paintEvent(QPaintEvent* e) override {
        if (!ownerDraw) {
            QTabBar::paintEvent(e);
            return;
        }
        // The tab shapes come from the style; the labels from the DrawTab handler.
        QStylePainter p(this);
        for (int i = 0; i < count(); ++i) {
            if (!isTabVisible(i)) continue;
            QStyleOptionTab opt;
            initStyleOption(&opt, i);
            p.drawControl(QStyle::CE_TabBarTabShape, opt);
            p.save();
            emit owner_->DrawTab(&p, i, tabRect(i), i == currentIndex());
            p.restore();
        }
    }

private:
    TExtPageControl* owner_;
};
} // namespace

TTabSheet::TTabSheet(TExtPageControl* pageControl) : TControl(nullptr) {
    if (pageControl) pageControl->AddPage(this);
}

void TTabSheet::setTabVisible(bool on) {
    tabVisible_ = on;
    if (pageControl_) pageControl_->syncTab(this);
}

int TTabSheet::PageIndex() const {
    return pageControl_ ? pageControl_->indexOf(this) : -1;
}

void TTabSheet::setPageIndex(int i) {
    if (pageControl_) pageControl_->MovePage(this, i);
}

QObject* TTabSheet::pageControlObject() const {
    return pageControl_;
}

void TTabSheet::applyCaption() {
    if (pageControl_) pageControl_->syncTab(this);
}

void TTabSheet::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && pageControl_) pageControl_->syncTab(this);
    TControl::changeEvent(e);
}

// ---------------------------------------------------------------------------------------------------

TExtPageControl::TExtPageControl(QWidget* parent)
    : TControl(parent), bar_(new PageTabBar(this)), stack_(new QStackedWidget(this)) {
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);
    col->addWidget(bar_);
    col->addWidget(stack_, 1);
    bar_->setExpanding(false);
    bar_->setDrawBase(true);
    stack_->setFrameShape(QFrame::StyledPanel);
    setFocusTarget(bar_);
    resize(300, 200);
    connect(bar_, &QTabBar::currentChanged, this, &TExtPageControl::barChanged);
}

void TExtPageControl::InsertPage(int index, TTabSheet* page) {
    if (!page || pages_.contains(page)) return;
    if (page->pageControl_ && page->pageControl_ != this) page->pageControl_->RemovePage(page);
    index = qBound(0, index, int(pages_.size()));
    page->pageControl_ = this;
    pages_.insert(index, page);
    stack_->insertWidget(index, page);
    reverting_ = true; // adding the first tab selects it without asking
    bar_->insertTab(index, page->Caption());
    reverting_ = false;
    current_ = bar_->currentIndex();
    if (current_ >= 0) stack_->setCurrentIndex(current_);
    syncTab(page);
    // A hidden bar defers its layout; the page control's layout must still learn its new height.
    bar_->updateGeometry();
}

void TExtPageControl::RemovePage(TTabSheet* page) {
    const int i = pages_.indexOf(page);
    if (i < 0) return;
    pages_.removeAt(i);
    stack_->removeWidget(page);
    reverting_ = true;
    bar_->removeTab(i);
    reverting_ = false;
    current_ = bar_->currentIndex();
    if (current_ >= 0) stack_->setCurrentIndex(current_);
    page->pageControl_ = nullptr;
    page->setParent(nullptr);
}

void TExtPageControl::MovePage(TTabSheet* page, int index) {
    const int from = pages_.indexOf(page);
    if (from < 0) return;
    index = qBound(0, index, int(pages_.size()) - 1);
    if (from == index) return;
    TTabSheet* active = ActivePage();
    pages_.move(from, index);
    reverting_ = true;
    bar_->moveTab(from, index);
    stack_->removeWidget(page);
    stack_->insertWidget(index, page);
    reverting_ = false;
    if (active) {
        current_ = pages_.indexOf(active);
        stack_->setCurrentWidget(active);
    }
}

void TExtPageControl::syncTab(TTabSheet* page) {
    const int i = pages_.indexOf(page);
    if (i < 0) return;
    bar_->setTabText(i, page->Caption());
    bar_->setTabEnabled(i, page->Enabled());
    reverting_ = true;
    bar_->setTabVisible(i, page->TabVisible());
    reverting_ = false;
    // Hiding the active tab moves the bar to another tab; the pages follow without asking.
    if (bar_->currentIndex() != current_) {
        current_ = bar_->currentIndex();
        if (current_ >= 0) stack_->setCurrentIndex(current_);
        emit Change();
    }
}

int TExtPageControl::ActivePageIndex() const {
    return current_;
}

bool TExtPageControl::setActivePageIndex(int i) {
    if (i < 0 || i >= pages_.size()) return false;
    if (i == current_) return true;
    bar_->setCurrentIndex(i);
    return current_ == i;
}

QObject* TExtPageControl::activePageObject() const {
    return ActivePage();
}

void TExtPageControl::setActivePageObject(QObject* p) {
    setActivePage(qobject_cast<TTabSheet*>(p));
}

void TExtPageControl::barChanged(int index) {
    if (reverting_) return;
    bool allow = true;
    emit Changing(allow);
    if (!allow) {
        reverting_ = true;
        bar_->setCurrentIndex(current_);
        reverting_ = false;
        return;
    }
    current_ = index;
    if (index >= 0) stack_->setCurrentIndex(index);
    emit Change();
}

void TExtPageControl::setTabHeight(int h) {
    tabHeight_ = h;
    static_cast<PageTabBar*>(bar_)->fixedHeight = h;
    bar_->updateGeometry();
    bar_->update();
}

void TExtPageControl::setTabWidth(int w) {
    tabWidth_ = w;
    static_cast<PageTabBar*>(bar_)->fixedWidth = w;
    bar_->updateGeometry();
    bar_->update();
}

void TExtPageControl::setOwnerDraw(bool on) {
    ownerDraw_ = on;
    static_cast<PageTabBar*>(bar_)->ownerDraw = on;
    bar_->update();
}

QRect TExtPageControl::tabRect(int i) const {
    return bar_->tabRect(i);
}

} // namespace kvx
