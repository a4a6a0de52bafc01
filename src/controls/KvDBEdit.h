// TKvDBEdit: a data-bound edit with a caption label of its own; TKvBtnDBEdit: the same with an embedded
// image button (GlyphIndex, ButtonHint) - the button and F2 open the lookup of the field.
// A control built with Parts::OnDemand (one hidden or on a page not shown at first) builds its label, line
// editor and button when first shown, with its page or by itself, or asked for them; until then its
// properties are kept and applied then, and its parts take their place in the focus chain right behind the
// control, where the parts of one built at once sit.
#pragma once

#include "FieldBinding.h"
#include "controls/Control.h"
#include "controls/EditMask.h"
#include "controls/ImageLibrary.h"

#include <optional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;

namespace kvx {

class TKvDBEdit : public TControl, public DataAwareControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(QString EditMask READ EditMaskText WRITE setEditMask)
    Q_PROPERTY(int LabelWidth READ LabelWidth WRITE setLabelWidth)
public:
    explicit TKvDBEdit(QWidget* parent = nullptr, Parts parts = Parts::Now);

    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    // The text as a field would receive it (masked text when a mask is set).
    QString Text() const;
    void setText(const QString& t);
    int MaxLength() const;
    void setMaxLength(int n);
    QString EditMaskText() const { return ownMask_; }
    void setEditMask(const QString& m);
    int LabelWidth() const { return labelWidth_; }
    void setLabelWidth(int w);

    QLineEdit* editor() const {
        ensureParts();
        return edit_;
    }
    QLabel* label() const {
        ensureParts();
        return label_;
    }
    // False while a control built on demand has not built its parts yet.
    bool partsBuilt() const { return edit_ != nullptr; }
    void setVisible(bool visible) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Writes a pending change into the field; false when the field refused the text.
    bool UpdateRecord();
    // Reloads the field's text, dropping a pending change.
    void Reset();

signals:
    void Change();

protected:
    void applyCaption() override;
    void applyColor() override;
    // The font and font colour show on the editor itself (disabled text keeps its own colour).
    void applyFont() override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    QHBoxLayout* rowLayout() const { return row_; }
    void ensureParts() const;
    // Builds the parts; a subclass adds its own after the inherited ones.
    virtual void buildParts();

private:
    void loadFromField();
    void effectiveMask();
    void updateReadOnly();
    void onEdited();
    void applyEditorFont();
    void applyEditorColor();

    QHBoxLayout* row_ = nullptr;
    QLabel* label_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QString ownMask_;
    kvx::EditMask mask_;
    bool readOnly_ = false;
    bool building_ = false;
    bool editorFontSet_ = false; // a font was given to the control: the editor shows it too
    int labelWidth_ = 70;
    int maxLength_ = 32767;
    bool loading_ = false;
    std::optional<QString> refused_; // the text the field last refused
};

class TKvBtnDBEdit : public TKvDBEdit {
    Q_OBJECT
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE setGlyphIndex)
    Q_PROPERTY(QString ButtonHint READ ButtonHint WRITE setButtonHint)
    Q_PROPERTY(int ButtonWidth READ ButtonWidth WRITE setButtonWidth)
    Q_PROPERTY(bool ButtonVisible READ ButtonVisible WRITE setButtonVisible)
    Q_PROPERTY(QPixmap Glyph READ Glyph WRITE setGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE setNumGlyphs)
public:
    explicit TKvBtnDBEdit(QWidget* parent = nullptr, Parts parts = Parts::Now);

    int GlyphIndex() const { return glyph_.index(); }
    void setGlyphIndex(int n) { glyph_.setIndex(n); }
    QString ButtonHint() const { return buttonHint_; }
    void setButtonHint(const QString& h);
    int ButtonWidth() const;
    void setButtonWidth(int w);
    bool ButtonVisible() const;
    void setButtonVisible(bool on);
    QPixmap Glyph() const { return glyph_.glyph(); }
    void setGlyph(const QPixmap& p) { glyph_.setGlyph(p); }
    int NumGlyphs() const { return glyph_.numGlyphs(); }
    void setNumGlyphs(int n) { glyph_.setNumGlyphs(n); }

    QToolButton* button() const {
        ensureParts();
        return button_;
    }
    // Opens the lookup: emits ButtonClick, or, when nothing is connected to it, posts the F2 lookup
    // message (WM_USER + 10) with this control to the window.
    void Click();

signals:
    void ButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void buildParts() override;

private:
    void buildButton();

    QToolButton* button_ = nullptr;
    ButtonGlyph glyph_;
    QString buttonHint_;
};

} // namespace kvx
