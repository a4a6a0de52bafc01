// Small controls: TDBLabel (a label showing a field), TGSpeedButton (image speed button with images by
// number), TF2Button (a button that opens the F2 lookup of its control) and TFCheckListBox.
#pragma once

#include "FieldBinding.h"
#include "controls/Control.h"
#include "controls/ImageLibrary.h"

class QLabel;
class QListWidget;
class QToolButton;
class QPushButton;

namespace kvx {

class TDBLabel : public TControl, public DataAwareControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE setWordWrap)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    explicit TDBLabel(QWidget* parent = nullptr);

    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment a);
    bool WordWrap() const;
    void setWordWrap(bool on);
    bool Transparent() const { return transparent_; }
    void setTransparent(bool on);
    // What the label shows: the field's display text when bound, else the caption.
    QString shownText() const;

protected:
    void applyCaption() override { refresh(); }
    void applyColor() override;

private:
    void refresh();
    QLabel* label_;
    TAlignment alignment_ = taLeftJustify;
    bool transparent_ = true;
};

class TGSpeedButton : public TControl {
    Q_OBJECT
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE setGlyphIndex)
    Q_PROPERTY(QPixmap Glyph READ Glyph WRITE setGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE setNumGlyphs)
    Q_PROPERTY(bool Flat READ Flat WRITE setFlat)
    Q_PROPERTY(bool Down READ Down WRITE setDown)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE setGroupIndex)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE setAllowAllUp)
public:
    explicit TGSpeedButton(QWidget* parent = nullptr);

    int GlyphIndex() const { return glyph_.index(); }
    void setGlyphIndex(int n);
    QPixmap Glyph() const { return glyph_.glyph(); }
    void setGlyph(const QPixmap& p) { glyph_.setGlyph(p); }
    int NumGlyphs() const { return glyph_.numGlyphs(); }
    void setNumGlyphs(int n) { glyph_.setNumGlyphs(n); }
    bool Flat() const;
    void setFlat(bool on);
    bool Down() const;
    void setDown(bool on);
    int GroupIndex() const { return groupIndex_; }
    void setGroupIndex(int g);
    bool AllowAllUp() const { return allowAllUp_; }
    void setAllowAllUp(bool on) { allowAllUp_ = on; }
    QToolButton* button() const { return button_; }
    // The text the button shows (the glyph number until an image is loaded).
    QString buttonText() const;

signals:
    void Click();

protected:
    void applyCaption() override;

private:
    void clicked();
    QToolButton* button_;
    ButtonGlyph glyph_;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
};

class TF2Button : public TControl {
    Q_OBJECT
    Q_PROPERTY(QObject* Control READ Control WRITE setControl)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE setGlyphIndex)
public:
    explicit TF2Button(QWidget* parent = nullptr);
    QObject* Control() const { return control_; }
    void setControl(QObject* c) { control_ = c; }
    int GlyphIndex() const { return glyph_.index(); }
    void setGlyphIndex(int n) { glyph_.setIndex(n); }
    QPushButton* button() const { return button_; }
    // Opens the lookup of the control: emits Click, or, when nothing is connected to it, posts the F2
    // lookup message (WM_USER + 10) with the control to the window.
    void press();

signals:
    void Click();

protected:
    void applyCaption() override;

private:
    QPushButton* button_;
    ButtonGlyph glyph_;
    QPointer<QObject> control_;
};

class TFCheckListBox : public TControl {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)
    Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE setMultiSelect)
public:
    explicit TFCheckListBox(QWidget* parent = nullptr);

    QStringList Items() const;
    void setItems(const QStringList& items);
    int ItemIndex() const;
    void setItemIndex(int i);
    bool MultiSelect() const;
    void setMultiSelect(bool on);
    Q_INVOKABLE bool isChecked(int i) const;
    Q_INVOKABLE void setItemChecked(int i, bool on);
    Q_INVOKABLE bool isSelected(int i) const;
    Q_INVOKABLE void setItemSelected(int i, bool on);
    Q_INVOKABLE int count() const;
    void addItem(const QString& text, bool checked = false);
    void deleteItem(int i);
    void moveItem(int from, int to);
    QListWidget* list() const { return list_; }

signals:
    void ClickCheck(int index);
    void DblClick();

protected:
    void applyColor() override;

private:
    QListWidget* list_;
    bool filling_ = false;
};

} // namespace kvx
