// Variant: the one dynamically typed value of the platform.
//
// Unassigned, Null and the empty string are three different values. Arrays have bounds in one or two
// dimensions and are copied by value (copy on write underneath); rows travel as arrays of arrays.
// Dates are days since 1899-12-30 with the time of day as the fraction.
// Text is Unicode (String); a ByteString holds encoded bytes (an 8-bit "ANSI" string) and reads as text
// in the system code page, so no caller has to guess whether a QString carries bytes.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <memory>
#include <stdexcept>
#include <variant>

namespace kvx {

class Dispatch; // late-bound automation object (Dispatch.h)

enum class VarType {
    Unassigned,
    Null,
    Bool,
    Int,
    Double,
    Currency,
    Date,
    String,
    Array,
    Dispatch,
    ByteString
};

// Raised by conversions that have no sensible result ("abc" to an integer, Null to a number, ...).
class VariantError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fixed-point money with four decimals, as the platform's currency type.
struct Currency {
    qint64 scaled = 0; // value * 10000
    static Currency fromDouble(double v);
    double toDouble() const { return double(scaled) / 10000.0; }
    QString toString() const; // shortest decimal text, "12.5", "-0.0001", "3"
    bool operator==(const Currency&) const = default;
};

class Variant;
using VariantList = QList<Variant>;

// Array payload: one or two dimensions with inclusive bounds, row-major storage.
struct VarArray {
    int dims = 1;
    int lo[2] = {0, 0};
    int hi[2] = {-1, -1};
    QList<Variant> items;

    int count(int dim) const { return hi[dim] - lo[dim] + 1; }
    int offset(int i, int j) const;
};

class Variant {
public:
    Variant() = default; // Unassigned
    Variant(bool b) : v_(b) {}
    Variant(int i) : v_(qint64(i)) {}
    Variant(unsigned int i) : v_(qint64(i)) {}
    Variant(qint64 i) : v_(i) {}
    Variant(double d) : v_(d) {}
    Variant(Currency c) : v_(c) {}
    Variant(const QString& s) : v_(s) {}
    Variant(const char* s) : v_(QString::fromUtf8(s)) {}
    // Bytes are never text by accident: use fromBytes, or decode them first.
    Variant(const QByteArray&) = delete;
    Variant(std::shared_ptr<Dispatch> d) : v_(std::move(d)) {}

    static Variant null();
    // A byte string (encoded text or raw bytes).
    static Variant fromBytes(const QByteArray& bytes);
    static Variant fromDate(double days);
    static Variant fromDateTime(const QDateTime& dt);
    // One-dimensional array [lo..hi] of Unassigned items.
    static Variant array(int lo, int hi);
    // Two-dimensional array [lo1..hi1, lo2..hi2].
    static Variant array2(int lo1, int hi1, int lo2, int hi2);
    // One-dimensional array [0..n-1] holding the given items.
    static Variant fromList(const VariantList& items);

    // The storage alternatives follow VarType's order.
    VarType type() const {
        return v_.index() <= size_t(VarType::ByteString) ? VarType(v_.index()) : VarType::ByteString;
    }
    bool isUnassigned() const { return type() == VarType::Unassigned; }
    bool isNull() const { return type() == VarType::Null; }
    bool isEmptyOrNull() const { return isUnassigned() || isNull(); }
    bool isArray() const { return type() == VarType::Array; }
    bool isNumeric() const;                                     // Int, Double, Currency
    bool isString() const { return type() == VarType::String; } // Unicode text only
    bool isByteString() const { return type() == VarType::ByteString; }
    bool isDispatch() const { return type() == VarType::Dispatch; }
    QString typeName() const;

    // Conversions with the usual variant rules. toString of Unassigned and Null is ""; a byte string
    // reads in the system code page, and converts to numbers, dates and booleans through that text.
    QString toString() const;
    // The bytes of a byte string; any other value as its text encoded in the system code page.
    QByteArray toBytes() const;
    // Raise VariantError when there is no value (Null, Unassigned for toInt is 0) or the text is no number.
    qint64 toInt() const;
    double toDouble() const;
    bool toBool() const;
    Currency toCurrency() const;
    double toDate() const;
    QDateTime toDateTime() const;
    std::shared_ptr<Dispatch> toDispatch() const;
    // Lenient forms that return the default instead of raising.
    qint64 toIntDef(qint64 def) const;
    double toDoubleDef(double def) const;

    // Arrays. Dimensions: 0 for a non-array.
    int dimCount() const;
    int lowBound(int dim = 1) const; // dim is 1-based as in the platform's VarArrayLowBound
    int highBound(int dim = 1) const;
    const Variant& at(int i) const;        // one dimension
    const Variant& at(int i, int j) const; // two dimensions
    Variant& operator[](int i);            // one dimension, detaches
    Variant& item(int i, int j);           // two dimensions, detaches
    void redim(int newHigh);               // keeps items, one dimension only
    VariantList toList() const;            // items of a one-dimensional array in order
    const VarArray* arrayData() const;

    // Variant comparison: numbers by value across kinds, strings by code point (two byte strings by
    // bytes, a byte string and a text by text), Null equals Null only.
    bool operator==(const Variant& o) const;
    bool operator!=(const Variant& o) const { return !(*this == o); }
    // Total order for sorting: Unassigned < Null < numbers/dates < strings.
    int compare(const Variant& o) const;
    // Same type and same value (arrays item by item); 1 and 1.0 are not identical.
    bool identical(const Variant& o) const;

    // The shared heap block of a text or byte string (its header with the reference count), null for
    // other values and for literals: what a copy of the value touches besides the variant itself.
    const void* sharedBlock() const {
        // (reading the header pointer only; Qt offers it on non-const data pointers alone)
        if (const QString* t = std::get_if<QString>(&v_)) return const_cast<QString*>(t)->data_ptr().d_ptr();
        if (const QByteArray* b = std::get_if<QByteArray>(&v_))
            return const_cast<QByteArray*>(b)->data_ptr().d_ptr();
        return nullptr;
    }

    // Lossless wire form used by the socket protocol.
    QJsonValue toJson() const;
    static Variant fromJson(const QJsonValue& j);

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct DateTag {
        double days;
    };
    using ArrayPtr = std::shared_ptr<VarArray>;
    using Storage = std::variant<std::monostate, NullTag, bool, qint64, double, Currency, DateTag, QString,
                                 ArrayPtr, std::shared_ptr<Dispatch>, QByteArray>;
    Storage v_;
    static_assert(
        std::is_same_v<std::variant_alternative_t<size_t(VarType::String), Storage>, QString> &&
        std::is_same_v<std::variant_alternative_t<size_t(VarType::ByteString), Storage>, QByteArray> &&
        std::variant_size_v<Storage> == size_t(VarType::ByteString) + 1);

    VarArray& mutableArray();
};

// Date helpers: days since 1899-12-30.
double dateToDays(const QDateTime& dt);
QDateTime daysToDate(double days);

} // namespace kvx
