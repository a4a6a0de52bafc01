// TStatusBar: a status bar of panels (Panels, a collection of TStatusPanel: Text, Width, Alignment),
// or one simple text (SimplePanel, SimpleText).
#pragma once

#include "controls/Control.h"
#include "platform/Collection.h"

class QLabel;

namespace kvx {

class TStatusPanel : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    explicit TStatusPanel(TCollection* owner) : TCollectionItem(owner) {}
    QString Text() const { return text_; }
    void setText(const QString& t);
    int Width() const { return width_; }
    void setWidth(int w);
    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment a);

private:
    QString text_;
    int width_ = 50;
    TAlignment alignment_ = taLeftJustify;
};

class TStatusBar : public TControl {
    Q_OBJECT
    Q_PROPERTY(kvx::TCollection* Panels READ Panels)
    Q_PROPERTY(bool SimplePanel READ SimplePanel WRITE setSimplePanel)
    Q_PROPERTY(QString SimpleText READ SimpleText WRITE setSimpleText)
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    TCollection* Panels() const { return panels_; }
    TStatusPanel* panel(int i) const { return panels_->itemAs<TStatusPanel>(i); }
    TStatusPanel* addPanel(const QString& text = {}, int width = 50);
    bool SimplePanel() const { return simplePanel_; }
    void setSimplePanel(bool on);
    QString SimpleText() const { return simpleText_; }
    void setSimpleText(const QString& t);
    // The text shown in panel i (for checks and screenshots).
    QString shownText(int i) const;

protected:
    void changeEvent(QEvent* e) override;

private:
    void rebuild();
    void refresh(int i);

    TCollection* panels_;
    QList<QLabel*> labels_;
    QLabel* simple_;
    bool simplePanel_ = false;
    QString simpleText_;
};

} // namespace kvx
