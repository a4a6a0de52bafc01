// Check boxes and radio buttons: TKVCheckBox (plain), TKvRadioButton, TFDbCheckBox (bound to a field
// with ValueChecked/ValueUnchecked texts) and TBitCheckBox (one bit of an integer, or of an integer field).
#pragma once

#include "FieldBinding.h"
#include "controls/Control.h"

class QCheckBox;
class QRadioButton;

namespace kvx {

class TKVCheckBox : public TControl {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ Checked WRITE setChecked)
    Q_PROPERTY(TCheckBoxState State READ State WRITE setState)
    Q_PROPERTY(bool AllowGrayed READ AllowGrayed WRITE setAllowGrayed)
public:
    enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
    Q_ENUM(TCheckBoxState)

    explicit TKVCheckBox(QWidget* parent = nullptr);

    bool Checked() const;
    void setChecked(bool on);
    TCheckBoxState State() const;
    void setState(TCheckBoxState s);
    bool AllowGrayed() const;
    void setAllowGrayed(bool on);
    QCheckBox* box() const { return box_; }

signals:
    void Click();

protected:
    void applyCaption() override;
    // Called when the user toggled the box.
    virtual void userToggled() {}
    bool settingState_ = false;

private:
    QCheckBox* box_;
};

class TKvRadioButton : public TControl {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ Checked WRITE setChecked)
public:
    explicit TKvRadioButton(QWidget* parent = nullptr);
    bool Checked() const;
    void setChecked(bool on);
    QRadioButton* button() const { return button_; }

signals:
    void Click();

protected:
    void applyCaption() override;

private:
    QRadioButton* button_;
};

class TFDbCheckBox : public TKVCheckBox, public DataAwareControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(QString ValueChecked READ ValueChecked WRITE setValueChecked)
    Q_PROPERTY(QString ValueUnchecked READ ValueUnchecked WRITE setValueUnchecked)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
public:
    explicit TFDbCheckBox(QWidget* parent = nullptr);

    // Several accepted texts may be given separated by ";"; the first is the one written.
    QString ValueChecked() const { return valueChecked_; }
    void setValueChecked(const QString& v);
    QString ValueUnchecked() const { return valueUnchecked_; }
    void setValueUnchecked(const QString& v);
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on) { readOnly_ = on; }

    // The state a field text gives: checked, unchecked, or grayed when it matches neither.
    TCheckBoxState stateFor(const QString& text) const;

protected:
    void userToggled() override;

private:
    void loadFromField();

    QString valueChecked_ = "Y", valueUnchecked_ = "N";
    bool readOnly_ = false;
};

class TBitCheckBox : public TKVCheckBox, public DataAwareControl {
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource)
    Q_PROPERTY(int Bit READ Bit WRITE setBit)
    Q_PROPERTY(int Value READ Value WRITE setValue)
public:
    explicit TBitCheckBox(QWidget* parent = nullptr);

    int Bit() const { return bit_; }
    void setBit(int b);
    // The integer the box shows one bit of (the field's value when bound).
    int Value() const { return value_; }
    void setValue(int v);

protected:
    void userToggled() override;

private:
    void loadFromField();

    int bit_ = 0, value_ = 0;
};

} // namespace kvx
