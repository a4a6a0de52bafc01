// TKvDBComboBox: a data-bound drop-down with a caption label. Items are "display\tvalue" lines; with
// MapList on the list shows the display part and the field stores the value part. Built with
// Parts::OnDemand it builds its label and box when first shown or asked for them.
#pragma once

#include "FieldBinding.h"
#include "controls/Control.h"

#include <QComboBox>

class QLabel;

namespace kvx {

// Display/value pairs of "display\tvalue" items.
struct MappedItems {
    static QString displayPart(const QString& item);
    static QString valuePart(const QString& item); // the display part when there is no tab
    // The display text for a stored value ("" when none matches); with mapList off the value itself.
    static QString displayOf(const QStringList& items, const QString& value, bool mapList = true);
    // The stored value for a display text (the text itself when no display part matches).
    static QString valueOf(const QStringList& items, const QString& display, bool mapList = true);
};

class TKvDBComboBox : public TControl, public DataAwareControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(bool MapList READ MapList WRITE setMapList)
    Q_PROPERTY(TComboStyle Style READ Style WRITE setStyle)
    Q_PROPERTY(bool ShowButton READ ShowButton WRITE setShowButton)
    Q_PROPERTY(bool AllowClearKey READ AllowClearKey WRITE setAllowClearKey)
    Q_PROPERTY(bool ShowMatchText READ ShowMatchText WRITE setShowMatchText)
    Q_PROPERTY(int DropDownCount READ DropDownCount WRITE setDropDownCount)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(QString Value READ Value WRITE setValue)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(int LabelWidth READ LabelWidth WRITE setLabelWidth)
public:
    enum TComboStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
    Q_ENUM(TComboStyle)

    explicit TKvDBComboBox(QWidget* parent = nullptr);
    // Built in the given style from the start: a drop-down list never builds the line editor (and the
    // pop-up list that changing the editability prepares) that setStyle would then throw away.
    TKvDBComboBox(QWidget* parent, TComboStyle style, Parts parts = Parts::Now);

    QStringList Items() const { return items_; }
    void setItems(const QStringList& items);
    bool MapList() const { return mapList_; }
    void setMapList(bool on);
    TComboStyle Style() const { return style_; }
    void setStyle(TComboStyle s);
    bool ShowButton() const { return showButton_; }
    void setShowButton(bool on);
    bool AllowClearKey() const { return allowClearKey_; }
    void setAllowClearKey(bool on) { allowClearKey_ = on; }
    bool ShowMatchText() const { return showMatchText_; }
    void setShowMatchText(bool on);
    int DropDownCount() const { return combo()->maxVisibleItems(); }
    void setDropDownCount(int n) { combo()->setMaxVisibleItems(qMax(1, n)); }
    // Until the parts are built nothing is selected.
    int ItemIndex() const { return combo_ ? combo_->currentIndex() : -1; }
    void setItemIndex(int i);
    // The text shown; the value a field receives for it.
    QString Text() const { return combo_ ? combo_->currentText() : QString(); }
    void setText(const QString& t);
    QString Value() const;
    void setValue(const QString& v);
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on) { readOnly_ = on; }
    int LabelWidth() const { return labelWidth_; }
    void setLabelWidth(int w);

    QComboBox* combo() const {
        ensureParts();
        return combo_;
    }
    QLabel* label() const {
        ensureParts();
        return label_;
    }
    bool partsBuilt() const { return combo_ != nullptr; }
    void setVisible(bool visible) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool isEditable() const { return style_ == csDropDown || style_ == csSimple; }

    bool UpdateRecord();

signals:
    void Change();

protected:
    void applyCaption() override;
    void applyColor() override;
    // The font and font colour show on the editor itself (disabled text keeps its own colour).
    void applyFont() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ensureParts() const;
    void buildParts();
    void applyComboFont();
    void applyComboColor();
    void rebuild();
    void loadFromField();
    void userPicked(int index);
    void matchTyped(const QString& typed);
    bool writeValue(const QString& value);

    QLabel* label_ = nullptr;
    QComboBox* combo_ = nullptr;
    QStringList items_;
    QString lastTyped_;
    TComboStyle style_ = csDropDown;
    bool mapList_ = false, showButton_ = true, allowClearKey_ = false, showMatchText_ = true;
    bool readOnly_ = false, loading_ = false, comboFontSet_ = false;
    int labelWidth_ = 70;
};

} // namespace kvx
