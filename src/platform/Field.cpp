#include "Field.h"

#include "ClientDataSet.h"
#include "CodePage.h"
#include "FieldFormat.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>

namespace kvx {

void Abort() {
    throw EAbort();
}

namespace {

// Length in bytes of the character that starts at `p` in code page `cp`.
qsizetype unitLength(const unsigned char* p, qsizetype left, int cp) {
    if (cp == 65001) {
        const qsizetype n = *p < 0xC0 ? 1 : *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
        return qMin(n, left);
    }
    return left > 1 && codepage::isLeadByte(*p, cp) ? 2 : 1;
}

// Cuts `text` to at most `size` bytes in code page `cp` without splitting a character. The text is
// encoded once; each character (code point) of it is one unit of the encoding (a lone byte, a lead byte
// with its trail, or a UTF-8 sequence; "?" for what the code page lacks), so counting units up to `size`
// counts the characters that fit.
QString fitBytes(const QString& text, int size, int cp) {
    const QByteArray bytes = codepage::encode(text, cp);
    if (bytes.size() <= size) return text;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    qsizetype pos = 0, units = 0, fitting = -1;
    while (pos < bytes.size()) {
        const qsizetype len = unitLength(p + pos, bytes.size() - pos, cp);
        if (fitting < 0 && pos + len > size) fitting = units;
        pos += len;
        ++units;
    }
    const QList<uint> chars = text.toUcs4();
    if (units == chars.size())
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), fitting);
    // A code page whose units do not follow the characters: measure character by character.
    qsizetype used = 0;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const char32_t c = char32_t(chars[i]);
        used += codepage::encode(QString::fromUcs4(&c, 1), cp).size();
        if (used > size) return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), i);
    }
    return text;
}

int codePageOf(const TField* f) {
    return f->DataSet() ? f->DataSet()->CodePage() : codepage::systemCodePage();
}

[[noreturn]] void convertError(const QString& text, const char* what) {
    throw EConvertError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

} // namespace

TField::TField(FieldType type, QObject* owner) : QObject(owner), dataType_(type) {}

TField::~TField() {
    if (dataSet_) dataSet_->detachField(this);
}

void TField::SetFieldName(const QString& name) {
    fieldName_ = name;
    if (dataSet_) dataSet_->fieldListChanged();
}

void TField::SetDisplayLabel(const QString& label) {
    QString stored = label == fieldName_ ? QString() : label;
    if (stored == displayLabel_) return; // same text: nothing to show anew
    displayLabel_ = std::move(stored);
    if (dataSet_) dataSet_->fieldListChanged();
}

int TField::DisplayWidth() const {
    return displayWidth_ > 0 ? displayWidth_ : defaultDisplayWidth();
}

void TField::SetDisplayWidth(int width) {
    if (width == displayWidth_) return;
    displayWidth_ = width;
    if (dataSet_) dataSet_->fieldListChanged();
}

int TField::defaultDisplayWidth() const {
    return 10;
}

int TField::Index() const {
    return dataSet_ ? int(dataSet_->Fields().indexOf(const_cast<TField*>(this))) : -1;
}

void TField::SetIndex(int index) {
    wantedIndex_ = index;
    if (dataSet_) dataSet_->moveField(this, index);
}

void TField::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (dataSet_) dataSet_->fieldListChanged();
}

void TField::SetSize(int size) {
    size_ = size;
}

void TField::SetDisplayFormat(const QString& format) {
    if (format == displayFormat_) return;
    displayFormat_ = format;
    if (dataSet_) dataSet_->fieldListChanged();
}

QString TField::DataTypeName() const {
    if (dataType_ == FieldType::LargeInt) return QStringLiteral("ftLargeint");
    return QStringLiteral("ft") + fieldTypeName(dataType_);
}

void TField::SetFieldKind(TFieldKind kind) {
    if (dataSet_ && dataSet_->Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    kind_ = kind;
}

TClientDataSet* TField::LookupDataSet() const {
    return qobject_cast<TClientDataSet*>(lookupDataSet_.data());
}

void TField::SetLookupDataSet(TClientDataSet* ds) {
    lookupDataSet_ = ds;
}

void TField::SetDataSet(TClientDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet && dataSet->Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    if (dataSet_) dataSet_->detachField(this);
    dataSet_ = nullptr;
    slot_ = -1;
    if (dataSet) {
        dataSet->attachField(this);
        dataSet_ = dataSet;
    }
}

bool TField::IsNumeric() const {
    switch (dataType_) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD:
    case FieldType::AutoInc:
        return true;
    default:
        return false;
    }
}

bool TField::IsStringKind() const {
    return dataType_ == FieldType::String || dataType_ == FieldType::FixedChar ||
           dataType_ == FieldType::WideString;
}

bool TField::IsBlob() const {
    return dataType_ == FieldType::Blob || dataType_ == FieldType::Memo;
}

Variant TField::rawValue() const {
    if (!dataSet_ || slot_ < 0) {
        if (dataSet_ && kind_ == fkLookup) return lookupValue();
        return Variant::null();
    }
    if (dataSet_->validating(this)) return dataSet_->validatingValue();
    if (kind_ == fkLookup) return lookupValue();
    if (kind_ == fkCalculated && !dataSet_->inCalcFields()) dataSet_->calculateFields();
    const Row* row = dataSet_->activeRow();
    if (!row || slot_ >= row->size()) return Variant::null();
    return (*row)[slot_];
}

Variant TField::lookupValue() const {
    TClientDataSet* ds = LookupDataSet();
    if (!ds || !ds->Active() || !dataSet_) return Variant::null();
    const QStringList names = keyFields_.split(';', Qt::SkipEmptyParts);
    if (names.isEmpty()) return Variant::null();
    VariantList keys;
    for (const QString& n : names) {
        const Variant v = dataSet_->FieldByName(n.trimmed())->Value();
        if (v.isNull()) return Variant::null();
        keys << v;
    }
    return ds->Lookup(lookupKeyFields_, keys.size() == 1 ? keys[0] : Variant::fromList(keys),
                      lookupResultField_);
}

Variant TField::Value() const {
    Variant v = rawValue();
    if (v.isUnassigned()) return Variant::null();
    return v;
}

const Variant* TField::storedValue() const {
    if (!dataSet_ || slot_ < 0 || kind_ == fkLookup || kind_ == fkCalculated || dataSet_->validating(this))
        return nullptr;
    const Row* row = dataSet_->activeRow();
    return row && slot_ < row->size() ? &(*row)[slot_] : nullptr;
}

const Variant& TField::readValue(Variant& scratch) const {
    if (const Variant* stored = storedValue(); stored && !stored->isUnassigned()) return *stored;
    scratch = Value();
    return scratch;
}

bool TField::IsNull() const {
    Variant scratch;
    return readValue(scratch).isEmptyOrNull();
}

Variant TField::OldValue() const {
    return dataSet_ ? dataSet_->oldValueOf(this) : Variant::null();
}

void TField::SetValue(const Variant& value) {
    if (!dataSet_) throw EDatabaseError(QStringLiteral("Field '%1' has no dataset").arg(DisplayName()));
    if (kind_ == fkLookup)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(DisplayName()));
    const Variant stored = value.isEmptyOrNull() ? Variant::null() : convertIn(value);
    dataSet_->writeField(this, stored);
}

Variant TField::convertIn(const Variant& v) const {
    return v;
}

QString TField::stringOf(const Variant& v) const {
    if (v.isEmptyOrNull()) return {};
    try {
        return v.toString();
    } catch (const VariantError&) {
        return {};
    }
}

QString TField::textOf(const Variant& v, bool) const {
    return stringOf(v);
}

Variant TField::parseText(const QString& text) const {
    return Variant(text);
}

QString TField::AsString() const {
    Variant scratch;
    return stringOf(readValue(scratch));
}

void TField::SetAsString(const QString& text) {
    SetValue(parseText(text));
}

qint64 TField::AsInteger() const {
    Variant scratch;
    const Variant& v = readValue(scratch);
    if (v.isNull()) return 0;
    try {
        return v.toInt();
    } catch (const VariantError&) {
        convertError(v.toString(), "integer value");
    }
}

double TField::AsFloat() const {
    Variant scratch;
    const Variant& v = readValue(scratch);
    if (v.isNull()) return 0;
    try {
        return v.toDouble();
    } catch (const VariantError&) {
        convertError(v.toString(), "floating point value");
    }
}

bool TField::AsBoolean() const {
    Variant scratch;
    const Variant& v = readValue(scratch);
    if (v.isNull()) return false;
    try {
        return v.toBool();
    } catch (const VariantError&) {
        convertError(v.toString(), "boolean value");
    }
}

Currency TField::AsCurrency() const {
    Variant scratch;
    const Variant& v = readValue(scratch);
    if (v.isNull()) return {};
    try {
        return v.toCurrency();
    } catch (const VariantError&) {
        convertError(v.toString(), "currency value");
    }
}

double TField::AsDateTime() const {
    Variant scratch;
    const Variant& v = readValue(scratch);
    if (v.isNull()) return 0;
    try {
        return v.toDate();
    } catch (const VariantError&) {
        convertError(v.toString(), "date and time");
    }
}

QString TField::getText(bool displayText) const {
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, displayText);
        return text;
    }
    const Variant v = Value();
    if (v.isNull()) return {};
    return textOf(v, displayText);
}

void TField::SetText(const QString& text) {
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

void TField::FocusControl() {
    emit focusRequested(this);
}

// --- strings ---------------------------------------------------------------------------------------

Variant TStringField::convertIn(const Variant& v) const {
    QString s;
    try {
        s = v.toString();
    } catch (const VariantError&) {
        throw EConvertError(QStringLiteral("Invalid value for field '%1'").arg(DisplayName()));
    }
    // Texts that fit whatever the code page leave it unasked (it is read from the environment): four
    // bytes a UTF-16 unit at most, and ASCII is one byte a character in every code page of a database.
    const int size = Size();
    if (size <= 0 || s.size() * 4 <= size) return Variant(s);
    if (s.size() <= size && codepage::isAscii(s)) return Variant(s);
    return Variant(fitBytes(s, size, codePageOf(this)));
}

Variant TWideStringField::convertIn(const Variant& v) const {
    QString s;
    try {
        s = v.toString();
    } catch (const VariantError&) {
        throw EConvertError(QStringLiteral("Invalid value for field '%1'").arg(DisplayName()));
    }
    if (Size() > 0 && s.size() > Size()) s.truncate(Size());
    return Variant(s);
}

// --- numbers ---------------------------------------------------------------------------------------

QString TNumericField::textOf(const Variant& v, bool displayText) const {
    const QString fmt = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    if (fmt.isEmpty()) return stringOf(v);
    try {
        return formatFloat(fmt, v.toDouble());
    } catch (const VariantError&) {
        return stringOf(v);
    }
}

Variant TIntegerField::convertIn(const Variant& v) const {
    qint64 x = 0;
    try {
        if (v.isString()) return parseText(v.toString());
        x = v.toInt();
    } catch (const VariantError&) {
        convertError(v.toString(), "integer value");
    }
    if (x < minValue() || x > maxValue())
        throw EDatabaseError(
            QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                .arg(x)
                .arg(DisplayName())
                .arg(minValue())
                .arg(maxValue()));
    return Variant(x);
}

Variant TIntegerField::parseText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return Variant::null();
    bool ok = false;
    const qint64 x = t.toLongLong(&ok);
    if (!ok) convertError(text, "integer value");
    return convertIn(Variant(x));
}

Variant TFloatField::convertIn(const Variant& v) const {
    try {
        if (v.isString()) return parseText(v.toString());
        return Variant(v.toDouble());
    } catch (const VariantError&) {
        convertError(v.toString(), "floating point value");
    }
}

Variant TFloatField::parseText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return Variant::null();
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok) convertError(text, "floating point value");
    return Variant(d);
}

QString TFloatField::textOf(const Variant& v, bool displayText) const {
    const QString fmt = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    if (!fmt.isEmpty()) return TNumericField::textOf(v, displayText);
    try {
        return QString::number(v.toDouble(), 'g', precision_);
    } catch (const VariantError&) {
        return stringOf(v);
    }
}

QString TCurrencyField::textOf(const Variant& v, bool displayText) const {
    const QString fmt = displayText || EditFormat().isEmpty() ? DisplayFormat() : EditFormat();
    if (!fmt.isEmpty() || !displayText) return TFloatField::textOf(v, displayText);
    try {
        return formatFloat(QStringLiteral("#,##0.00"), v.toDouble());
    } catch (const VariantError&) {
        return stringOf(v);
    }
}

Variant TBCDField::convertIn(const Variant& v) const {
    try {
        if (v.isString()) return parseText(v.toString());
        return Variant(v.toCurrency());
    } catch (const VariantError&) {
        convertError(v.toString(), "BCD value");
    }
}

Variant TBCDField::parseText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return Variant::null();
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok) convertError(text, "BCD value");
    return Variant(Currency::fromDouble(d));
}

// --- booleans --------------------------------------------------------------------------------------

Variant TBooleanField::convertIn(const Variant& v) const {
    if (v.isString()) return parseText(v.toString());
    try {
        return Variant(v.toBool());
    } catch (const VariantError&) {
        convertError(v.toString(), "boolean value");
    }
}

QString TBooleanField::stringOf(const Variant& v) const {
    if (v.isEmptyOrNull()) return {};
    const QStringList parts = displayValues_.split(';');
    bool b = false;
    try {
        b = v.toBool();
    } catch (const VariantError&) {
        return v.toString();
    }
    if (b) return parts.value(0);
    return parts.value(1);
}

Variant TBooleanField::parseText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return Variant::null();
    const QStringList parts = displayValues_.split(';');
    auto hit = [&](const QString& p) { return !p.isEmpty() && p.startsWith(t, Qt::CaseInsensitive); };
    if (hit(parts.value(0))) return Variant(true);
    if (hit(parts.value(1))) return Variant(false);
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return Variant(true);
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return Variant(false);
    convertError(text, "boolean value");
}

// --- dates -----------------------------------------------------------------------------------------

Variant TDateTimeField::convertIn(const Variant& v) const {
    if (v.isString()) return parseText(v.toString());
    try {
        double d = v.toDate();
        if (DataType() == FieldType::Date) d = std::floor(d);
        if (DataType() == FieldType::Time) d = d - std::trunc(d);
        return Variant::fromDate(d);
    } catch (const VariantError&) {
        convertError(v.toString(), "date and time");
    }
}

QString TDateTimeField::stringOf(const Variant& v) const {
    if (v.isEmptyOrNull()) return {};
    try {
        return formatDateTime(defaultFormat(), v.toDate());
    } catch (const VariantError&) {
        return v.toString();
    }
}

QString TDateTimeField::textOf(const Variant& v, bool displayText) const {
    if (displayText && !DisplayFormat().isEmpty()) {
        try {
            return formatDateTime(DisplayFormat(), v.toDate());
        } catch (const VariantError&) {
        }
    }
    return stringOf(v);
}

Variant TDateTimeField::parseText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return Variant::null();
    static const char* const dateTimeFormats[] = {"yyyy/M/d H:m:s", "yyyy-M-d H:m:s", "yyyy/M/d H:m",
                                                  "yyyy-M-dTH:m:s", "yyyy/M/d",       "yyyy-M-d",
                                                  "yyyyMMdd"};
    for (const char* f : dateTimeFormats) {
        const QDateTime dt = QDateTime::fromString(t, QLatin1String(f));
        if (dt.isValid()) return convertIn(Variant::fromDateTime(dt));
    }
    for (const char* f : {"H:m:s", "H:m"}) {
        const QTime tm = QTime::fromString(t, QLatin1String(f));
        if (tm.isValid()) return Variant::fromDate(tm.msecsSinceStartOfDay() / 86400000.0);
    }
    convertError(text, "date and time");
}

// --- binary, blobs, nested -------------------------------------------------------------------------

namespace {
// Bytes of an assigned value: a byte string as it is, anything else as its text in the database code page.
QByteArray bytesOf(const TField* f, const Variant& v) {
    if (v.isByteString()) return v.toBytes();
    try {
        return codepage::encode(v.toString(), codePageOf(f));
    } catch (const VariantError&) {
        throw EConvertError(QStringLiteral("Invalid value for field '%1'").arg(f->DisplayName()));
    }
}

QString textOfBytes(const TField* f, const Variant& v) {
    return v.isEmptyOrNull() ? QString() : codepage::decode(bytesOf(f, v), codePageOf(f));
}
} // namespace

QByteArray TField::AsBytes() const {
    const Variant v = Value();
    return v.isEmptyOrNull() ? QByteArray() : bytesOf(this, v);
}

Variant TBinaryField::convertIn(const Variant& v) const {
    QByteArray b = bytesOf(this, v);
    if (Size() > 0 && b.size() > Size()) b.truncate(Size());
    return Variant::fromBytes(b);
}

QString TBinaryField::stringOf(const Variant& v) const {
    return textOfBytes(this, v);
}

QString TBinaryField::textOf(const Variant& v, bool displayText) const {
    return displayText ? QStringLiteral("(BYTES)") : stringOf(v);
}

Variant TBlobField::convertIn(const Variant& v) const {
    return Variant::fromBytes(bytesOf(this, v));
}

QString TBlobField::stringOf(const Variant& v) const {
    return textOfBytes(this, v);
}

QString TBlobField::textOf(const Variant& v, bool displayText) const {
    return displayText ? QStringLiteral("(BLOB)") : stringOf(v);
}

Variant TMemoField::convertIn(const Variant& v) const {
    if (v.isByteString()) return Variant(codepage::decode(v.toBytes(), codePageOf(this)));
    try {
        return Variant(v.toString());
    } catch (const VariantError&) {
        throw EConvertError(QStringLiteral("Invalid value for field '%1'").arg(DisplayName()));
    }
}

QString TMemoField::stringOf(const Variant& v) const {
    return TField::stringOf(v);
}

QString TMemoField::textOf(const Variant& v, bool displayText) const {
    return displayText ? QStringLiteral("(MEMO)") : stringOf(v);
}

QString TDataSetField::textOf(const Variant&, bool) const {
    return QStringLiteral("(DATASET)");
}

TField* createField(FieldType type, QObject* owner) {
    switch (type) {
    case FieldType::FixedChar:
        return new TFixedCharField(owner);
    case FieldType::WideString:
        return new TWideStringField(owner);
    case FieldType::Memo:
        return new TMemoField(owner);
    case FieldType::Smallint:
        return new TSmallintField(owner);
    case FieldType::Integer:
        return new TIntegerField(owner);
    case FieldType::Word:
        return new TWordField(owner);
    case FieldType::LargeInt:
        return new TLargeintField(owner);
    case FieldType::AutoInc:
        return new TAutoIncField(owner);
    case FieldType::Float:
        return new TFloatField(owner);
    case FieldType::Currency:
        return new TCurrencyField(owner);
    case FieldType::BCD:
        return new TBCDField(owner);
    case FieldType::Boolean:
        return new TBooleanField(owner);
    case FieldType::Date:
        return new TDateField(owner);
    case FieldType::Time:
        return new TTimeField(owner);
    case FieldType::DateTime:
        return new TDateTimeField(owner);
    case FieldType::Bytes:
        return new TBytesField(owner);
    case FieldType::VarBytes:
        return new TVarBytesField(owner);
    case FieldType::Blob:
        return new TBlobField(owner);
    case FieldType::DataSet:
        return new TDataSetField(owner);
    case FieldType::String:
    case FieldType::Unknown:
        break;
    }
    return new TStringField(owner);
}

} // namespace kvx
