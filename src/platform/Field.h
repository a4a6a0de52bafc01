// Fields of a client dataset: typed views of one column of the dataset's current record.
//
// A field is a component (QObject) whose owner is the data module or the dataset itself (fields the
// dataset creates from a packet). It belongs to at most one dataset; its position there is `Index`.
// Values are kvx::Variant; a field reads the dataset's active record (the edit buffer while editing).
// Handlers are plain std::function members so that callers can take them off and put them back.
#pragma once

#include "DataPacket.h"
#include "Variant.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <stdexcept>

namespace kvx {

class TClientDataSet;
class TField;

// Errors of datasets and fields (the platform's EDatabaseError).
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// A text that does not convert to the field's type.
class EConvertError : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// The silent exception: stops an operation without a message (raised by handlers to refuse a post).
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
[[noreturn]] void Abort();

using TFieldNotifyEvent = std::function<void(TField* sender)>;
using TFieldGetTextEvent = std::function<void(TField* sender, QString& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField* sender, const QString& text)>;

class TField : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName WRITE SetFieldName)
    Q_PROPERTY(QString DisplayLabel READ DisplayLabel WRITE SetDisplayLabel)
    Q_PROPERTY(int DisplayWidth READ DisplayWidth WRITE SetDisplayWidth)
    Q_PROPERTY(int Index READ Index WRITE SetIndex)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool Required READ Required WRITE SetRequired)
    Q_PROPERTY(int Size READ Size WRITE SetSize)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QString DisplayFormat READ DisplayFormat WRITE SetDisplayFormat)
    Q_PROPERTY(QString EditFormat READ EditFormat WRITE SetEditFormat)
    Q_PROPERTY(QString DataType READ DataTypeName)
    Q_PROPERTY(TFieldKind FieldKind READ FieldKind WRITE SetFieldKind)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString KeyFields READ KeyFields WRITE SetKeyFields)
    Q_PROPERTY(QString LookupKeyFields READ LookupKeyFields WRITE SetLookupKeyFields)
    Q_PROPERTY(QString LookupResultField READ LookupResultField WRITE SetLookupResultField)

public:
    enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };
    Q_ENUM(TFieldKind)

    TField(FieldType type, QObject* owner);
    ~TField() override;

    // Identity and layout.
    QString FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name);
    QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const QString& label);
    QString DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const;
    void SetDisplayWidth(int width);
    int Index() const;
    void SetIndex(int index);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    int Size() const { return size_; }
    void SetSize(int size);
    QString EditMask() const { return editMask_; }
    void SetEditMask(const QString& mask) { editMask_ = mask; }
    QString DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& format);
    QString EditFormat() const { return editFormat_; }
    void SetEditFormat(const QString& format) { editFormat_ = format; }
    FieldType DataType() const { return dataType_; }
    QString DataTypeName() const; // "ftString", "ftInteger", ...
    TFieldKind FieldKind() const { return kind_; }
    void SetFieldKind(TFieldKind kind);
    int FieldNo() const { return slot_ + 1; } // 1-based slot in the record, 0 when unbound

    // Lookup fields: the value is LookupResultField of the LookupDataSet record whose LookupKeyFields
    // equal this dataset's KeyFields.
    QString KeyFields() const { return keyFields_; }
    void SetKeyFields(const QString& v) { keyFields_ = v; }
    QString LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const QString& v) { lookupKeyFields_ = v; }
    QString LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const QString& v) { lookupResultField_ = v; }
    TClientDataSet* LookupDataSet() const;
    void SetLookupDataSet(TClientDataSet* ds);

    // The dataset. Setting it appends the field to the dataset's field list.
    TClientDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TClientDataSet* dataSet);

    // Kind tests.
    bool IsDataField() const { return kind_ == fkData; }
    bool IsCalculated() const { return kind_ == fkCalculated || kind_ == fkLookup; }
    bool IsNumeric() const;
    bool IsStringKind() const;
    bool IsBlob() const;

    // Values of the active record.
    Variant Value() const;
    void SetValue(const Variant& value);
    bool IsNull() const;
    void Clear() { SetValue(Variant::null()); }
    QString AsString() const;
    void SetAsString(const QString& text);
    qint64 AsInteger() const;
    void SetAsInteger(qint64 v) { SetValue(Variant(v)); }
    double AsFloat() const;
    void SetAsFloat(double v) { SetValue(Variant(v)); }
    bool AsBoolean() const;
    void SetAsBoolean(bool v) { SetValue(Variant(v)); }
    Currency AsCurrency() const;
    void SetAsCurrency(Currency v) { SetValue(Variant(v)); }
    double AsDateTime() const; // days since 1899-12-30
    void SetAsDateTime(double days) { SetValue(Variant::fromDate(days)); }
    // The value as bytes: a byte string as it is, anything else as its text in the database code page.
    QByteArray AsBytes() const;
    void SetAsBytes(const QByteArray& bytes) { SetValue(Variant::fromBytes(bytes)); }
    Variant AsVariant() const { return Value(); }
    void SetAsVariant(const Variant& v) { SetValue(v); }
    // The value before the current edit (the value as fetched for a modified record).
    Variant OldValue() const;

    // Texts: DisplayText is what controls show, Text the edit text; both go through OnGetText.
    QString Text() const { return getText(false); }
    void SetText(const QString& text);
    QString DisplayText() const { return getText(true); }

    // Asks the controls bound to this field to take the focus (focusRequested).
    void FocusControl();

    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;
    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

    // Used by the dataset.
    void bind(int slot) { slot_ = slot; }
    int slot() const { return slot_; }
    QString getText(bool displayText) const;

signals:
    // Emitted by FocusControl: data links of controls bound to this field take the focus.
    void focusRequested(kvx::TField* field);

protected:
    // Converts an assigned value to the stored form (raising EConvertError); Null stays Null.
    virtual Variant convertIn(const Variant& v) const;
    // Text of a stored value: AsString form.
    virtual QString stringOf(const Variant& v) const;
    // Display (true) or edit (false) text of a stored, non-null value.
    virtual QString textOf(const Variant& v, bool displayText) const;
    // Parses an edit text into a value to store (empty text gives Null for non-strings).
    virtual Variant parseText(const QString& text) const;
    virtual int defaultDisplayWidth() const;

private:
    friend class TClientDataSet;
    Variant rawValue() const;
    Variant lookupValue() const;
    // The value in the active record, read in place; nullptr when it is computed (lookup, calculated,
    // being validated) or there is no record.
    const Variant* storedValue() const;
    // The value as Value() gives it, without a copy when it is stored; `scratch` holds a computed one.
    const Variant& readValue(Variant& scratch) const;

    FieldType dataType_;
    TFieldKind kind_ = fkData;
    QString fieldName_;
    QString displayLabel_;
    int displayWidth_ = 0; // 0: the type's default
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    int size_ = 0;
    QString editMask_, displayFormat_, editFormat_;
    QString keyFields_, lookupKeyFields_, lookupResultField_;
    QPointer<QObject> lookupDataSet_;
    TClientDataSet* dataSet_ = nullptr;
    int slot_ = -1;
    int wantedIndex_ = -1; // position asked for before the dataset created its packet fields
};

// Strings of at most Size bytes in the dataset's database code page; a double-byte character is never
// split at the limit.
class TStringField : public TField {
    Q_OBJECT
    Q_PROPERTY(bool FixedChar READ FixedChar WRITE SetFixedChar)
public:
    explicit TStringField(QObject* owner = nullptr) : TStringField(FieldType::String, owner) {}
    bool FixedChar() const { return DataType() == FieldType::FixedChar || fixedChar_; }
    void SetFixedChar(bool v) { fixedChar_ = v; }

protected:
    TStringField(FieldType type, QObject* owner) : TField(type, owner) { SetSize(20); }
    Variant convertIn(const Variant& v) const override;
    Variant parseText(const QString& text) const override { return Variant(text); }
    int defaultDisplayWidth() const override { return Size(); }

private:
    bool fixedChar_ = false;
};

class TFixedCharField : public TStringField {
    Q_OBJECT
public:
    explicit TFixedCharField(QObject* owner = nullptr) : TStringField(FieldType::FixedChar, owner) {}
};

// Unicode strings; Size counts characters.
class TWideStringField : public TStringField {
    Q_OBJECT
public:
    explicit TWideStringField(QObject* owner = nullptr) : TStringField(FieldType::WideString, owner) {}

protected:
    Variant convertIn(const Variant& v) const override;
};

class TNumericField : public TField {
    Q_OBJECT
protected:
    using TField::TField;
    QString textOf(const Variant& v, bool displayText) const override;
    int defaultDisplayWidth() const override { return 10; }
};

class TIntegerField : public TNumericField {
    Q_OBJECT
public:
    explicit TIntegerField(QObject* owner = nullptr) : TNumericField(FieldType::Integer, owner) {}

protected:
    TIntegerField(FieldType type, QObject* owner) : TNumericField(type, owner) {}
    Variant convertIn(const Variant& v) const override;
    Variant parseText(const QString& text) const override;
    virtual qint64 minValue() const { return INT32_MIN; }
    virtual qint64 maxValue() const { return INT32_MAX; }
};

class TSmallintField : public TIntegerField {
    Q_OBJECT
public:
    explicit TSmallintField(QObject* owner = nullptr) : TIntegerField(FieldType::Smallint, owner) {}

protected:
    qint64 minValue() const override { return -32768; }
    qint64 maxValue() const override { return 32767; }
};

class TWordField : public TIntegerField {
    Q_OBJECT
public:
    explicit TWordField(QObject* owner = nullptr) : TIntegerField(FieldType::Word, owner) {}

protected:
    qint64 minValue() const override { return 0; }
    qint64 maxValue() const override { return 65535; }
};

class TAutoIncField : public TIntegerField {
    Q_OBJECT
public:
    explicit TAutoIncField(QObject* owner = nullptr) : TIntegerField(FieldType::AutoInc, owner) {}
};

class TLargeintField : public TIntegerField {
    Q_OBJECT
public:
    explicit TLargeintField(QObject* owner = nullptr) : TIntegerField(FieldType::LargeInt, owner) {}

protected:
    qint64 minValue() const override { return INT64_MIN; }
    qint64 maxValue() const override { return INT64_MAX; }
};

class TFloatField : public TNumericField {
    Q_OBJECT
    Q_PROPERTY(int Precision READ Precision WRITE SetPrecision)
public:
    explicit TFloatField(QObject* owner = nullptr) : TNumericField(FieldType::Float, owner) {}
    int Precision() const { return precision_; }
    void SetPrecision(int p) { precision_ = p; }

protected:
    TFloatField(FieldType type, QObject* owner) : TNumericField(type, owner) {}
    Variant convertIn(const Variant& v) const override;
    Variant parseText(const QString& text) const override;
    QString textOf(const Variant& v, bool displayText) const override;

private:
    int precision_ = 15;
};

// Money: shown with two decimals unless a display format says otherwise.
class TCurrencyField : public TFloatField {
    Q_OBJECT
public:
    explicit TCurrencyField(QObject* owner = nullptr) : TFloatField(FieldType::Currency, owner) {}

protected:
    QString textOf(const Variant& v, bool displayText) const override;
};

// Fixed-point decimals, stored as the platform's currency (four decimals).
class TBCDField : public TNumericField {
    Q_OBJECT
public:
    explicit TBCDField(QObject* owner = nullptr) : TNumericField(FieldType::BCD, owner) {}

protected:
    Variant convertIn(const Variant& v) const override;
    Variant parseText(const QString& text) const override;
};

class TBooleanField : public TField {
    Q_OBJECT
    Q_PROPERTY(QString DisplayValues READ DisplayValues WRITE SetDisplayValues)
public:
    explicit TBooleanField(QObject* owner = nullptr) : TField(FieldType::Boolean, owner) {}
    QString DisplayValues() const { return displayValues_; }
    void SetDisplayValues(const QString& v) { displayValues_ = v; }

protected:
    Variant convertIn(const Variant& v) const override;
    QString stringOf(const Variant& v) const override;
    QString textOf(const Variant& v, bool) const override { return stringOf(v); }
    Variant parseText(const QString& text) const override;
    int defaultDisplayWidth() const override { return 5; }

private:
    QString displayValues_ = QStringLiteral("True;False");
};

// Date and time values as days since 1899-12-30.
class TDateTimeField : public TField {
    Q_OBJECT
public:
    explicit TDateTimeField(QObject* owner = nullptr) : TField(FieldType::DateTime, owner) {}

protected:
    TDateTimeField(FieldType type, QObject* owner) : TField(type, owner) {}
    Variant convertIn(const Variant& v) const override;
    QString stringOf(const Variant& v) const override;
    QString textOf(const Variant& v, bool displayText) const override;
    Variant parseText(const QString& text) const override;
    int defaultDisplayWidth() const override { return 18; }
    virtual QString defaultFormat() const { return QStringLiteral("yyyy/mm/dd hh:nn:ss"); }
};

class TDateField : public TDateTimeField {
    Q_OBJECT
public:
    explicit TDateField(QObject* owner = nullptr) : TDateTimeField(FieldType::Date, owner) {}

protected:
    QString defaultFormat() const override { return QStringLiteral("yyyy/mm/dd"); }
    int defaultDisplayWidth() const override { return 10; }
};

class TTimeField : public TDateTimeField {
    Q_OBJECT
public:
    explicit TTimeField(QObject* owner = nullptr) : TDateTimeField(FieldType::Time, owner) {}

protected:
    QString defaultFormat() const override { return QStringLiteral("hh:nn:ss"); }
    int defaultDisplayWidth() const override { return 8; }
};

// Raw bytes: the value is a byte string of at most Size bytes. Text assigned to it (AsString, Text) is
// encoded in the database code page, and AsString decodes it the same way.
class TBinaryField : public TField {
    Q_OBJECT
protected:
    using TField::TField;
    Variant convertIn(const Variant& v) const override;
    QString stringOf(const Variant& v) const override;
    QString textOf(const Variant& v, bool displayText) const override;
};

class TBytesField : public TBinaryField {
    Q_OBJECT
public:
    explicit TBytesField(QObject* owner = nullptr) : TBinaryField(FieldType::Bytes, owner) {}
};

class TVarBytesField : public TBinaryField {
    Q_OBJECT
public:
    explicit TVarBytesField(QObject* owner = nullptr) : TBinaryField(FieldType::VarBytes, owner) {}
};

// Bytes of any length, as TBinaryField without the size limit.
class TBlobField : public TField {
    Q_OBJECT
public:
    explicit TBlobField(QObject* owner = nullptr) : TField(FieldType::Blob, owner) {}

protected:
    TBlobField(FieldType type, QObject* owner) : TField(type, owner) {}
    Variant convertIn(const Variant& v) const override;
    QString stringOf(const Variant& v) const override;
    QString textOf(const Variant& v, bool displayText) const override;
    Variant parseText(const QString& text) const override { return Variant(text); }
};

// Long text: the value is text (a byte string assigned to it is decoded in the database code page); the
// display text is "(MEMO)" as grids show it; AsString and Text give the content.
class TMemoField : public TBlobField {
    Q_OBJECT
public:
    explicit TMemoField(QObject* owner = nullptr) : TBlobField(FieldType::Memo, owner) {}

protected:
    Variant convertIn(const Variant& v) const override;
    QString stringOf(const Variant& v) const override;
    QString textOf(const Variant& v, bool displayText) const override;
};

// A nested table: the value is an array of row arrays; NestedDataSet is the detail dataset that shows
// the rows of the master's current record.
class TDataSetField : public TField {
    Q_OBJECT
public:
    explicit TDataSetField(QObject* owner = nullptr) : TField(FieldType::DataSet, owner) {}
    TClientDataSet* NestedDataSet() const { return nested_; }
    // Field descriptions of the nested rows (from the packet, or set for a local dataset).
    QList<FieldDesc> childDefs;

protected:
    QString textOf(const Variant& v, bool displayText) const override;

private:
    friend class TClientDataSet;
    QPointer<TClientDataSet> nested_;
};

// Creates the field class for a data type (TStringField for String, ...), owned by `owner`.
TField* createField(FieldType type, QObject* owner);

} // namespace kvx
