#include "Variant.h"

#include "CodePage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace kvx {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;
constexpr double kMaxExactJson = 9007199254740992.0;      // 2^53
constexpr qsizetype kMaxWireArrayItems = 4 * 1024 * 1024; // most items of one array read from the wire

QString shortestDouble(double d) {
    if (std::isnan(d)) return QStringLiteral("NAN");
    if (std::isinf(d)) return d > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    return QString::number(d, 'g', 15);
}

bool parseNumber(const QString& text, double& out) {
    bool ok = false;
    out = text.trimmed().toDouble(&ok);
    return ok;
}
} // namespace

// --- dates -------------------------------------------------------------------------------------------

double dateToDays(const QDateTime& dt) {
    if (!dt.isValid()) return 0;
    qint64 days = kEpoch.daysTo(dt.date());
    double frac = double(dt.time().msecsSinceStartOfDay()) / double(kMsPerDay);
    // Before the epoch the fraction counts forward from the negative whole day, as the platform does.
    return days >= 0 ? double(days) + frac : double(days) - frac;
}

QDateTime daysToDate(double days) {
    double whole = std::trunc(days);
    double frac = std::fabs(days - whole);
    qint64 ms = qint64(std::llround(frac * double(kMsPerDay)));
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;
    QDate d = kEpoch.addDays(qint64(whole));
    return QDateTime(d, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

// --- currency -----------------------------------------------------------------------------------------

Currency Currency::fromDouble(double v) {
    Currency c;
    c.scaled = qint64(std::llround(v * 10000.0));
    return c;
}

QString Currency::toString() const {
    qint64 a = scaled < 0 ? -scaled : scaled;
    QString s = QString::number(a / 10000);
    qint64 frac = a % 10000;
    if (frac) {
        QString f = QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        while (f.endsWith(QLatin1Char('0')))
            f.chop(1);
        s += QLatin1Char('.') + f;
    }
    return scaled < 0 ? QLatin1Char('-') + s : s;
}

// --- arrays -------------------------------------------------------------------------------------------

int VarArray::offset(int i, int j) const {
    if (i < lo[0] || i > hi[0] || (dims == 2 && (j < lo[1] || j > hi[1])))
        throw VariantError("Variant array index out of bounds");
    return dims == 1 ? i - lo[0] : (i - lo[0]) * count(1) + (j - lo[1]);
}

Variant Variant::null() {
    Variant v;
    v.v_ = NullTag{};
    return v;
}

Variant Variant::fromBytes(const QByteArray& bytes) {
    Variant v;
    v.v_ = bytes;
    return v;
}

Variant Variant::fromDate(double days) {
    Variant v;
    v.v_ = DateTag{days};
    return v;
}

Variant Variant::fromDateTime(const QDateTime& dt) {
    return fromDate(dateToDays(dt));
}

namespace {
// Items of a dimension; bounds whose count does not fit an int are refused before anything is allocated.
qint64 checkedCount(int lo, int hi) {
    const qint64 n = qint64(hi) - qint64(lo) + 1;
    if (n > std::numeric_limits<int>::max()) throw VariantError("Array bounds too large");
    return n < 0 ? 0 : n;
}
} // namespace

Variant Variant::array(int lo, int hi) {
    checkedCount(lo, hi);
    auto a = std::make_shared<VarArray>();
    a->dims = 1;
    a->lo[0] = lo;
    a->hi[0] = qint64(hi) < qint64(lo) - 1 ? lo - 1 : hi;
    a->items.resize(a->count(0));
    Variant v;
    v.v_ = a;
    return v;
}

Variant Variant::array2(int lo1, int hi1, int lo2, int hi2) {
    if (checkedCount(lo1, hi1) * checkedCount(lo2, hi2) > std::numeric_limits<int>::max())
        throw VariantError("Array bounds too large");
    auto a = std::make_shared<VarArray>();
    a->dims = 2;
    a->lo[0] = lo1;
    a->hi[0] = qint64(hi1) < qint64(lo1) - 1 ? lo1 - 1 : hi1;
    a->lo[1] = lo2;
    a->hi[1] = qint64(hi2) < qint64(lo2) - 1 ? lo2 - 1 : hi2;
    a->items.resize(qsizetype(a->count(0)) * a->count(1));
    Variant v;
    v.v_ = a;
    return v;
}

Variant Variant::fromList(const VariantList& items) {
    Variant v = array(0, int(items.size()) - 1);
    std::get<ArrayPtr>(v.v_)->items = items;
    return v;
}

VarArray& Variant::mutableArray() {
    auto* p = std::get_if<ArrayPtr>(&v_);
    if (!p) throw VariantError("Variant is not an array");
    if (p->use_count() > 1) *p = std::make_shared<VarArray>(**p);
    return **p;
}

const VarArray* Variant::arrayData() const {
    auto* p = std::get_if<ArrayPtr>(&v_);
    return p ? p->get() : nullptr;
}

int Variant::dimCount() const {
    const VarArray* a = arrayData();
    return a ? a->dims : 0;
}

int Variant::lowBound(int dim) const {
    const VarArray* a = arrayData();
    if (!a || dim < 1 || dim > a->dims) throw VariantError("Variant array dimension out of range");
    return a->lo[dim - 1];
}

int Variant::highBound(int dim) const {
    const VarArray* a = arrayData();
    if (!a || dim < 1 || dim > a->dims) throw VariantError("Variant array dimension out of range");
    return a->hi[dim - 1];
}

const Variant& Variant::at(int i) const {
    const VarArray* a = arrayData();
    if (!a || a->dims != 1) throw VariantError("Variant is not a one-dimensional array");
    return a->items[a->offset(i, 0)];
}

const Variant& Variant::at(int i, int j) const {
    const VarArray* a = arrayData();
    if (!a || a->dims != 2) throw VariantError("Variant is not a two-dimensional array");
    return a->items[a->offset(i, j)];
}

Variant& Variant::operator[](int i) {
    VarArray& a = mutableArray();
    if (a.dims != 1) throw VariantError("Variant is not a one-dimensional array");
    return a.items[a.offset(i, 0)];
}

Variant& Variant::item(int i, int j) {
    VarArray& a = mutableArray();
    if (a.dims != 2) throw VariantError("Variant is not a two-dimensional array");
    return a.items[a.offset(i, j)];
}

void Variant::redim(int newHigh) {
    VarArray& a = mutableArray();
    if (a.dims != 1) throw VariantError("Only one-dimensional arrays can be resized");
    a.hi[0] = newHigh < a.lo[0] - 1 ? a.lo[0] - 1 : newHigh;
    a.items.resize(a.count(0));
}

VariantList Variant::toList() const {
    const VarArray* a = arrayData();
    if (!a) return {};
    return a->items;
}

// --- type queries -------------------------------------------------------------------------------------

bool Variant::isNumeric() const {
    VarType t = type();
    return t == VarType::Int || t == VarType::Double || t == VarType::Currency;
}

QString Variant::typeName() const {
    static const char* names[] = {"Unassigned", "Null",   "Boolean", "Int64",    "Double",    "Currency",
                                  "Date",       "String", "Array",   "Dispatch", "ByteString"};
    return QString::fromLatin1(names[v_.index()]);
}

// --- conversions --------------------------------------------------------------------------------------

QString Variant::toString() const {
    switch (type()) {
    case VarType::Unassigned:
    case VarType::Null:
        return {};
    case VarType::Bool:
        return std::get<bool>(v_) ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::Int:
        return QString::number(std::get<qint64>(v_));
    case VarType::Double:
        return shortestDouble(std::get<double>(v_));
    case VarType::Currency:
        return std::get<Currency>(v_).toString();
    case VarType::Date: {
        double d = std::get<DateTag>(v_).days;
        QDateTime dt = daysToDate(d);
        if (d == std::trunc(d)) return dt.date().toString(QStringLiteral("yyyy/MM/dd"));
        if (std::trunc(d) == 0) return dt.time().toString(QStringLiteral("hh:mm:ss"));
        return dt.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    }
    case VarType::String:
        return std::get<QString>(v_);
    case VarType::ByteString:
        return codepage::decode(std::get<QByteArray>(v_), codepage::systemCodePage());
    case VarType::Array:
        throw VariantError("Could not convert variant of type (Array) into type (String)");
    case VarType::Dispatch:
        throw VariantError("Could not convert variant of type (Dispatch) into type (String)");
    }
    return {};
}

QByteArray Variant::toBytes() const {
    if (const auto* b = std::get_if<QByteArray>(&v_)) return *b;
    return codepage::encode(toString(), codepage::systemCodePage());
}

double Variant::toDouble() const {
    switch (type()) {
    case VarType::Unassigned:
        return 0;
    case VarType::Bool:
        return std::get<bool>(v_) ? -1 : 0;
    case VarType::Int:
        return double(std::get<qint64>(v_));
    case VarType::Double:
        return std::get<double>(v_);
    case VarType::Currency:
        return std::get<Currency>(v_).toDouble();
    case VarType::Date:
        return std::get<DateTag>(v_).days;
    case VarType::ByteString:
        return Variant(toString()).toDouble();
    case VarType::String: {
        double d;
        if (parseNumber(std::get<QString>(v_), d)) return d;
        throw VariantError(
            QStringLiteral("Could not convert variant of type (String) into type (Double): \"%1\"")
                .arg(std::get<QString>(v_))
                .toStdString());
    }
    default:
        throw VariantError(QStringLiteral("Could not convert variant of type (%1) into type (Double)")
                               .arg(typeName())
                               .toStdString());
    }
}

qint64 Variant::toInt() const {
    switch (type()) {
    case VarType::Int:
        return std::get<qint64>(v_);
    case VarType::ByteString:
        return Variant(toString()).toInt();
    case VarType::Bool:
        return std::get<bool>(v_) ? -1 : 0;
    case VarType::String: {
        const QString s = std::get<QString>(v_).trimmed();
        bool ok = false;
        qint64 i = s.toLongLong(&ok);
        if (ok) return i;
        double d;
        if (parseNumber(s, d) && std::isfinite(d)) return qint64(std::llround(d));
        throw VariantError(
            QStringLiteral("Could not convert variant of type (String) into type (Int64): \"%1\"")
                .arg(s)
                .toStdString());
    }
    default: {
        double d = toDouble();
        if (!std::isfinite(d)) throw VariantError("Floating point value out of integer range");
        return qint64(std::llround(d)); // banker's rounding is not needed by any caller
    }
    }
}

bool Variant::toBool() const {
    switch (type()) {
    case VarType::Bool:
        return std::get<bool>(v_);
    case VarType::ByteString:
        return Variant(toString()).toBool();
    case VarType::String: {
        const QString s = std::get<QString>(v_).trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
        double d;
        if (parseNumber(s, d)) return d != 0;
        throw VariantError(
            QStringLiteral("Could not convert variant of type (String) into type (Boolean): \"%1\"")
                .arg(s)
                .toStdString());
    }
    default:
        return toDouble() != 0;
    }
}

Currency Variant::toCurrency() const {
    if (type() == VarType::Currency) return std::get<Currency>(v_);
    if (type() == VarType::Int) return Currency{std::get<qint64>(v_) * 10000};
    return Currency::fromDouble(toDouble());
}

double Variant::toDate() const {
    if (type() == VarType::ByteString) return Variant(toString()).toDate();
    if (type() == VarType::String) {
        const QString s = std::get<QString>(v_).trimmed();
        for (const char* fmt :
             {"yyyy/MM/dd hh:mm:ss", "yyyy-MM-dd hh:mm:ss", "yyyy/MM/dd", "yyyy-MM-dd", "yyyyMMdd"}) {
            QDateTime dt = QDateTime::fromString(s, QString::fromLatin1(fmt));
            if (dt.isValid()) return dateToDays(dt);
        }
        throw VariantError(
            QStringLiteral("Could not convert variant of type (String) into type (Date): \"%1\"")
                .arg(s)
                .toStdString());
    }
    return toDouble();
}

QDateTime Variant::toDateTime() const {
    return daysToDate(toDate());
}

std::shared_ptr<Dispatch> Variant::toDispatch() const {
    if (auto* p = std::get_if<std::shared_ptr<Dispatch>>(&v_)) return *p;
    if (isEmptyOrNull()) return nullptr;
    throw VariantError(QStringLiteral("Could not convert variant of type (%1) into type (Dispatch)")
                           .arg(typeName())
                           .toStdString());
}

qint64 Variant::toIntDef(qint64 def) const {
    if (isEmptyOrNull()) return def;
    try {
        return toInt();
    } catch (const VariantError&) {
        return def;
    }
}

double Variant::toDoubleDef(double def) const {
    if (isEmptyOrNull()) return def;
    try {
        return toDouble();
    } catch (const VariantError&) {
        return def;
    }
}

// --- comparison ---------------------------------------------------------------------------------------

bool Variant::operator==(const Variant& o) const {
    VarType a = type(), b = o.type();
    if (a == VarType::Unassigned || b == VarType::Unassigned) {
        // Unassigned equals Unassigned and the empty string, as variant comparisons treat it.
        if (a == b) return true;
        const Variant& other = a == VarType::Unassigned ? o : *this;
        if (other.isByteString()) return std::get<QByteArray>(other.v_).isEmpty();
        return other.isString() && other.toString().isEmpty();
    }
    if (a == VarType::Null || b == VarType::Null) return a == b;
    if (a == VarType::Array || b == VarType::Array) return identical(o);
    if (a == VarType::Dispatch || b == VarType::Dispatch) return a == b && toDispatch() == o.toDispatch();
    if (a == VarType::String && b == VarType::String) return std::get<QString>(v_) == std::get<QString>(o.v_);
    if (a == VarType::ByteString && b == VarType::ByteString)
        return std::get<QByteArray>(v_) == std::get<QByteArray>(o.v_);
    if ((a == VarType::ByteString || a == VarType::String) &&
        (b == VarType::ByteString || b == VarType::String))
        return toString() == o.toString();
    if (a == VarType::Currency && b == VarType::Currency)
        return std::get<Currency>(v_) == std::get<Currency>(o.v_);
    if (a == VarType::Int && b == VarType::Int) return std::get<qint64>(v_) == std::get<qint64>(o.v_);
    try {
        return toDouble() == o.toDouble();
    } catch (const VariantError&) {
        return toString() == o.toString();
    }
}

int Variant::compare(const Variant& o) const {
    auto rank = [](VarType t) {
        switch (t) {
        case VarType::Unassigned:
            return 0;
        case VarType::Null:
            return 1;
        case VarType::String:
        case VarType::ByteString:
            return 3;
        case VarType::Array:
        case VarType::Dispatch:
            return 4;
        default:
            return 2;
        }
    };
    int ra = rank(type()), rb = rank(o.type());
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 2) {
        if (type() == VarType::Int && o.type() == VarType::Int) {
            qint64 x = std::get<qint64>(v_), y = std::get<qint64>(o.v_);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        double x = toDouble(), y = o.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ra == 3) {
        int c = 0;
        if (isByteString() && o.isByteString())
            c = std::get<QByteArray>(v_).compare(std::get<QByteArray>(o.v_));
        else if (isString() && o.isString())
            c = std::get<QString>(v_).compare(std::get<QString>(o.v_));
        else
            c = toString().compare(o.toString());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return 0;
}

bool Variant::identical(const Variant& o) const {
    if (v_.index() != o.v_.index()) return false;
    switch (type()) {
    case VarType::Unassigned:
    case VarType::Null:
        return true;
    case VarType::Bool:
        return std::get<bool>(v_) == std::get<bool>(o.v_);
    case VarType::Int:
        return std::get<qint64>(v_) == std::get<qint64>(o.v_);
    case VarType::Double: {
        double x = std::get<double>(v_), y = std::get<double>(o.v_);
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    case VarType::Currency:
        return std::get<Currency>(v_) == std::get<Currency>(o.v_);
    case VarType::Date:
        return std::get<DateTag>(v_).days == std::get<DateTag>(o.v_).days;
    case VarType::String:
        return std::get<QString>(v_) == std::get<QString>(o.v_);
    case VarType::ByteString:
        return std::get<QByteArray>(v_) == std::get<QByteArray>(o.v_);
    case VarType::Dispatch:
        return toDispatch() == o.toDispatch();
    case VarType::Array: {
        const VarArray *a = arrayData(), *b = o.arrayData();
        if (a == b) return true;
        if (a->dims != b->dims || a->lo[0] != b->lo[0] || a->hi[0] != b->hi[0] || a->lo[1] != b->lo[1] ||
            a->hi[1] != b->hi[1])
            return false;
        for (qsizetype i = 0; i < a->items.size(); ++i)
            if (!a->items[i].identical(b->items[i])) return false;
        return true;
    }
    }
    return false;
}

// --- wire form ----------------------------------------------------------------------------------------
//
// JSON strings, booleans and null map to themselves; integers within 2^53 are JSON numbers; everything
// else is a tagged object {"t": tag, ...}: "u" Unassigned, "i" large integer (decimal text), "f" double
// (number, or "NAN"/"INF"/"-INF"), "c" currency (scaled integer as text), "d" date (days), "b" byte
// string (base64 text), "a" array with "lo", "hi" and row-major "v". A plain JSON array reads as a
// one-dimensional array from 0.

QJsonValue Variant::toJson() const {
    auto tagged = [](const char* t, const QJsonValue& v) {
        QJsonObject o;
        o.insert(QStringLiteral("t"), QString::fromLatin1(t));
        o.insert(QStringLiteral("v"), v);
        return QJsonValue(o);
    };
    switch (type()) {
    case VarType::Unassigned: {
        QJsonObject o;
        o.insert(QStringLiteral("t"), QStringLiteral("u"));
        return o;
    }
    case VarType::Null:
        return QJsonValue(QJsonValue::Null);
    case VarType::Bool:
        return std::get<bool>(v_);
    case VarType::Int: {
        qint64 i = std::get<qint64>(v_);
        if (double(i) > -kMaxExactJson && double(i) < kMaxExactJson) return QJsonValue(i);
        return tagged("i", QString::number(i));
    }
    case VarType::Double: {
        double d = std::get<double>(v_);
        return tagged("f", std::isfinite(d) ? QJsonValue(d) : QJsonValue(shortestDouble(d)));
    }
    case VarType::Currency:
        return tagged("c", QString::number(std::get<Currency>(v_).scaled));
    case VarType::Date:
        return tagged("d", std::get<DateTag>(v_).days);
    case VarType::String:
        return std::get<QString>(v_);
    case VarType::ByteString:
        return tagged("b", QString::fromLatin1(std::get<QByteArray>(v_).toBase64()));
    case VarType::Array: {
        const VarArray* a = arrayData();
        QJsonArray items;
        for (const Variant& it : a->items)
            items.append(it.toJson());
        QJsonObject o;
        o.insert(QStringLiteral("t"), QStringLiteral("a"));
        QJsonArray lo, hi;
        for (int d = 0; d < a->dims; ++d) {
            lo.append(a->lo[d]);
            hi.append(a->hi[d]);
        }
        o.insert(QStringLiteral("lo"), lo);
        o.insert(QStringLiteral("hi"), hi);
        o.insert(QStringLiteral("v"), items);
        return o;
    }
    case VarType::Dispatch:
        throw VariantError("An automation object cannot be sent over the wire");
    }
    return {};
}

Variant Variant::fromJson(const QJsonValue& j) {
    switch (j.type()) {
    case QJsonValue::Null:
        return null();
    case QJsonValue::Undefined:
        return {};
    case QJsonValue::Bool:
        return j.toBool();
    case QJsonValue::Double: {
        double d = j.toDouble();
        if (d == std::trunc(d) && std::fabs(d) < kMaxExactJson) return qint64(d);
        return d;
    }
    case QJsonValue::String:
        return j.toString();
    case QJsonValue::Array: {
        if (j.toArray().size() > kMaxWireArrayItems) throw VariantError("Array has too many items");
        VariantList items;
        for (const QJsonValue& it : j.toArray())
            items.append(fromJson(it));
        return fromList(items);
    }
    case QJsonValue::Object:
        break;
    }
    const QJsonObject o = j.toObject();
    const QString t = o.value(QStringLiteral("t")).toString();
    const QJsonValue v = o.value(QStringLiteral("v"));
    if (t == QLatin1String("u")) return {};
    if (t == QLatin1String("i")) {
        bool ok = false;
        qint64 i = v.toString().toLongLong(&ok);
        if (!ok) throw VariantError("Malformed integer in wire value");
        return i;
    }
    if (t == QLatin1String("f")) {
        if (v.isDouble()) return v.toDouble();
        const QString s = v.toString();
        if (s == QLatin1String("NAN")) return std::nan("");
        if (s == QLatin1String("INF")) return HUGE_VAL;
        if (s == QLatin1String("-INF")) return -HUGE_VAL;
        throw VariantError("Malformed double in wire value");
    }
    if (t == QLatin1String("c")) {
        bool ok = false;
        Currency c{v.toString().toLongLong(&ok)};
        if (!ok) throw VariantError("Malformed currency in wire value");
        return c;
    }
    if (t == QLatin1String("d")) {
        if (!v.isDouble() || !std::isfinite(v.toDouble())) throw VariantError("Malformed date in wire value");
        return fromDate(v.toDouble());
    }
    if (t == QLatin1String("b")) {
        const auto decoded =
            QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!v.isString() || !decoded) throw VariantError("Malformed byte string in wire value");
        return fromBytes(*decoded);
    }
    if (t == QLatin1String("a")) {
        const QJsonArray lo = o.value(QStringLiteral("lo")).toArray();
        const QJsonArray hi = o.value(QStringLiteral("hi")).toArray();
        if (!v.isArray()) throw VariantError("Malformed array items");
        const QJsonArray items = v.toArray();
        if (lo.size() != hi.size() || lo.isEmpty() || lo.size() > 2)
            throw VariantError("Malformed array bounds");
        // Bounds are integers within int range, and their item count must be the count sent: checked
        // before anything is allocated.
        int b[4] = {0, 0, 0, 0};
        for (qsizetype i = 0; i < lo.size() * 2; ++i) {
            const QJsonValue x = i % 2 == 0 ? lo[i / 2] : hi[i / 2];
            const double d = x.toDouble(0.5);
            if (!x.isDouble() || std::trunc(d) != d || d < std::numeric_limits<int>::min() ||
                d > std::numeric_limits<int>::max())
                throw VariantError("Malformed array bounds");
            b[i] = int(d);
        }
        if (items.size() > kMaxWireArrayItems) throw VariantError("Array has too many items");
        qint64 expected = checkedCount(b[0], b[1]);
        if (lo.size() == 2) expected *= checkedCount(b[2], b[3]);
        if (expected != items.size()) throw VariantError("Array item count does not match its bounds");
        Variant a = lo.size() == 1 ? array(b[0], b[1]) : array2(b[0], b[1], b[2], b[3]);
        VarArray& arr = a.mutableArray();
        if (items.size() != arr.items.size())
            throw VariantError("Array item count does not match its bounds");
        for (qsizetype i = 0; i < items.size(); ++i)
            arr.items[i] = fromJson(items[i]);
        return a;
    }
    throw VariantError(QStringLiteral("Unknown wire value tag \"%1\"").arg(t).toStdString());
}

} // namespace kvx
