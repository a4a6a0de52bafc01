// TExtPageControl: pages (TTabSheet) with tabs that can be hidden (TabVisible), disabled and
// owner-drawn; Changing may refuse a page change, Change reports one.
#pragma once

#include "controls/Control.h"

class QStackedWidget;
class QTabBar;

namespace kvx {

class TExtPageControl;

class TTabSheet : public TControl {
    Q_OBJECT
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE setTabVisible)
    Q_PROPERTY(int PageIndex READ PageIndex WRITE setPageIndex)
    Q_PROPERTY(int ImageIndex READ ImageIndex WRITE setImageIndex)
    Q_PROPERTY(QObject* PageControl READ pageControlObject)
public:
    // A sheet created with a page control is added as its last page.
    explicit TTabSheet(TExtPageControl* pageControl = nullptr);

    bool TabVisible() const { return tabVisible_; }
    void setTabVisible(bool on);
    int PageIndex() const;
    void setPageIndex(int i);
    int ImageIndex() const { return imageIndex_; }
    void setImageIndex(int i) { imageIndex_ = i; }
    TExtPageControl* pageControl() const { return pageControl_; }
    QObject* pageControlObject() const;

protected:
    void applyCaption() override;
    void changeEvent(QEvent* e) override;

private:
    friend class TExtPageControl;
    TExtPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
    int imageIndex_ = -1;
};

class TExtPageControl : public TControl {
    Q_OBJECT
    Q_PROPERTY(int ActivePageIndex READ ActivePageIndex WRITE setActivePageIndex)
    Q_PROPERTY(QObject* ActivePage READ activePageObject WRITE setActivePageObject)
    Q_PROPERTY(int PageCount READ PageCount)
    Q_PROPERTY(int TabHeight READ TabHeight WRITE setTabHeight)
    Q_PROPERTY(int TabWidth READ TabWidth WRITE setTabWidth)
    Q_PROPERTY(bool OwnerDraw READ OwnerDraw WRITE setOwnerDraw)
public:
    explicit TExtPageControl(QWidget* parent = nullptr);

    int PageCount() const { return pages_.size(); }
    Q_INVOKABLE QObject* page(int i) const { return Pages(i); }
    TTabSheet* Pages(int i) const { return pages_.value(i); }
    int indexOf(const TTabSheet* p) const { return pages_.indexOf(const_cast<TTabSheet*>(p)); }
    void AddPage(TTabSheet* page) { InsertPage(pages_.size(), page); }
    void InsertPage(int index, TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void MovePage(TTabSheet* page, int index);

    int ActivePageIndex() const;
    // Selecting a page by program asks Changing as a click would; false when it was refused.
    bool setActivePageIndex(int i);
    TTabSheet* ActivePage() const { return Pages(ActivePageIndex()); }
    bool setActivePage(TTabSheet* p) { return setActivePageIndex(indexOf(p)); }
    QObject* activePageObject() const;
    void setActivePageObject(QObject* p);
    int TabHeight() const { return tabHeight_; }
    void setTabHeight(int h);
    int TabWidth() const { return tabWidth_; }
    void setTabWidth(int w);
    bool OwnerDraw() const { return ownerDraw_; }
    void setOwnerDraw(bool on);

    QTabBar* tabBar() const { return bar_; }
    // Tabs as shown: the tab of page i (hidden tabs included, for indexes).
    QRect tabRect(int i) const;

signals:
    void Change();
    // Before the active page changes; a handler sets allowChange to false to keep the page.
    void Changing(bool& allowChange);
    // Owner-drawn tabs: the handler paints the tab's label into rect.
    void DrawTab(QPainter* painter, int index, const QRect& rect, bool active);

private:
    friend class TTabSheet;
    void barChanged(int index);
    void syncTab(TTabSheet* page);

    QTabBar* bar_;
    QStackedWidget* stack_;
    QList<TTabSheet*> pages_;
    int current_ = -1, tabHeight_ = 0, tabWidth_ = 0;
    bool ownerDraw_ = false, reverting_ = false;
};

} // namespace kvx
