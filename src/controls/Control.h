// TControl: the base of the controls library. A control is a QWidget with the published properties the
// windows, screen settings and language packages set by name: Name, Caption, Hint, ShowHint, Color,
// Font (an object: Font.Name, Font.Size, ...), ParentFont, Enabled, Visible, TabStop, TabOrder, Left,
// Top, Width, Height, Tag and ImeName. Controls that wrap a Qt widget make it their focus proxy.
#pragma once

#include "platform/Color.h"
#include "platform/Font.h"

#include <QPointer>

class QHBoxLayout;
#include <QWidget>

namespace kvx {

class TControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Name READ objectName WRITE setObjectName)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE setParentFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabledProp)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisibleProp)
    Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)
    Q_PROPERTY(int TabOrder READ TabOrder WRITE setTabOrder)
    Q_PROPERTY(int Left READ Left WRITE setLeft)
    Q_PROPERTY(int Top READ Top WRITE setTop)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(QString ImeName READ ImeName WRITE setImeName)
public:
    // How a control wrapping Qt widgets builds them: at construction, or (for a control hidden or on a
    // page not shown at first) when first shown, with its parent or by itself, or asked for them.
    enum class Parts { Now, OnDemand };

    explicit TControl(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool on);
    TColor Color() const { return color_; }
    void setColor(TColor c);
    TFont* Font() const { return font_; }
    bool ParentFont() const { return parentFont_; }
    void setParentFont(bool on);
    bool Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }
    void setEnabledProp(bool on) { setEnabled(on); }
    bool Visible() const { return !isHidden(); }
    void setVisibleProp(bool on) { setVisible(on); }
    bool TabStop() const { return tabStop_; }
    void setTabStop(bool on);
    int TabOrder() const { return tabOrder_; }
    void setTabOrder(int order);
    int Left() const { return x(); }
    void setLeft(int v) { move(v, y()); }
    int Top() const { return y(); }
    void setTop(int v) { move(x(), v); }
    int Width() const { return width(); }
    void setWidth(int v) { resize(v, height()); }
    int Height() const { return height(); }
    void setHeight(int v) { resize(width(), v); }
    int Tag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    QString ImeName() const { return imeName_; }
    void setImeName(const QString& v) { imeName_ = v; }

    // The widget that takes the focus and the keys (the control itself when it wraps none).
    QWidget* focusTarget() const { return focusTarget_ ? focusTarget_ : const_cast<TControl*>(this); }

protected:
    // A margin-free horizontal layout filling the control with its inner widget.
    QHBoxLayout* tightRow();
    // Subclasses react to these; the defaults fill the background and set the tool tip.
    virtual void applyCaption() {}
    virtual void applyColor();
    virtual void applyFont();
    void setFocusTarget(QWidget* w);
    // Moves the widgets inside the control, built after it, to directly behind it in the focus chain;
    // call before setFocusTarget.
    void placePartsInFocusChain();
    // The colour the control has until one is set (clWindow for edits, clBtnFace for the rest).
    void setDefaultColor(TColor c);
    QColor qColor() const { return toQColor(color_, palette()); }
    void changeEvent(QEvent* e) override;

private:
    void fontChanged();
    void reorderTabs();

    QString caption_, hint_, imeName_;
    bool showHint_ = true, parentFont_ = true, tabStop_ = true, applyingParentFont_ = false;
    TColor color_ = colors::clBtnFace;
    bool colorSet_ = false;
    int tabOrder_ = -1, tag_ = 0;
    TFont* font_;
    QWidget* focusTarget_ = nullptr;
};

} // namespace kvx
