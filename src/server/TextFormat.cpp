#include "TextFormat.h"

#include <QLocale>
#include <cmath>

namespace server {

namespace {

struct Spec {
    bool leftAlign = false;
    int width = -1;
    int precision = -1;
    QChar type;
};

// Reads digits or "*" at pos; returns -1 when there is neither.
int readNumber(const QString& f, int& pos, const kvx::VariantList& args, int& argIndex) {
    if (pos < f.size() && f[pos] == QLatin1Char('*')) {
        ++pos;
        const kvx::Variant v = argIndex < args.size() ? args[argIndex] : kvx::Variant();
        ++argIndex;
        return int(v.toIntDef(0));
    }
    int start = pos;
    while (pos < f.size() && f[pos].isDigit())
        ++pos;
    return pos == start ? -1 : f.mid(start, pos - start).toInt();
}

QString zeroPadded(QString digits, int precision) {
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative) digits.remove(0, 1);
    if (precision > digits.size()) digits = QString(precision - digits.size(), QLatin1Char('0')) + digits;
    return negative ? QLatin1Char('-') + digits : digits;
}

bool asInteger(const kvx::Variant& v, qint64& out) {
    if (v.isEmptyOrNull() || v.isArray() || v.isDispatch()) return false;
    if (v.type() == kvx::VarType::Double) {
        const double d = v.toDouble();
        if (d != std::trunc(d)) return false;
    }
    try {
        out = v.toInt();
        return true;
    } catch (const kvx::VariantError&) {
        return false;
    }
}

bool asFloat(const kvx::Variant& v, double& out) {
    if (v.isEmptyOrNull() || v.isArray() || v.isDispatch() || v.type() == kvx::VarType::Bool) return false;
    try {
        out = v.toDouble();
        return true;
    } catch (const kvx::VariantError&) {
        return false;
    }
}

QString textOf(const kvx::Variant& v) {
    if (v.isArray() || v.isDispatch()) return {};
    return v.toString();
}

// Scientific form with a signed three-digit exponent: 1.5E+003.
QString scientific(double d, int precision) {
    if (precision < 1 || precision > 18) precision = 15;
    QString s = QString::number(d, 'E', precision - 1);
    const int e = s.indexOf(QLatin1Char('E'));
    if (e < 0) return s;
    QString exp = s.mid(e + 2);
    while (exp.size() < 3)
        exp.prepend(QLatin1Char('0'));
    return s.left(e + 2) + exp;
}

QString withThousands(double d, int precision) {
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(d, 'f', precision);
}

QString formatOne(const Spec& s, const kvx::Variant& v) {
    const QChar t = s.type.toLower();
    qint64 i = 0;
    double d = 0;
    if (t == QLatin1Char('d') || t == QLatin1Char('u')) {
        if (!asInteger(v, i)) return textOf(v);
        return zeroPadded(QString::number(i), s.precision);
    }
    if (t == QLatin1Char('x')) {
        if (!asInteger(v, i)) return textOf(v);
        return zeroPadded(QString::number(quint64(i), 16).toUpper(), s.precision);
    }
    if (t == QLatin1Char('p')) {
        if (!asInteger(v, i)) return textOf(v);
        return QStringLiteral("%1").arg(quint64(i), 8, 16, QLatin1Char('0')).toUpper();
    }
    if (t == QLatin1Char('s')) {
        QString text = textOf(v);
        if (s.precision >= 0 && text.size() > s.precision) text.truncate(s.precision);
        return text;
    }
    if (!asFloat(v, d)) return textOf(v);
    if (t == QLatin1Char('e')) return scientific(d, s.precision);
    if (t == QLatin1Char('f')) return QString::number(d, 'f', s.precision < 0 ? 2 : qMin(s.precision, 18));
    if (t == QLatin1Char('n') || t == QLatin1Char('m'))
        return withThousands(d, s.precision < 0 ? 2 : qMin(s.precision, 18));
    // g: general form with up to `precision` significant digits.
    return QString::number(d, 'g', s.precision < 1 ? 15 : qMin(s.precision, 18));
}

} // namespace

QString FormatVariants(const QString& f, const kvx::VariantList& args) {
    static const QString kTypes = QStringLiteral("duxefgnmpsDUXEFGNMPS");
    QString out;
    out.reserve(f.size() + 16);
    int argIndex = 0;
    int pos = 0;
    while (pos < f.size()) {
        const QChar c = f[pos];
        if (c != QLatin1Char('%')) {
            out += c;
            ++pos;
            continue;
        }
        const int start = pos++;
        if (pos < f.size() && f[pos] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++pos;
            continue;
        }
        Spec s;
        int n = readNumber(f, pos, args, argIndex);
        if (n >= 0 && pos < f.size() && f[pos] == QLatin1Char(':')) {
            argIndex = n; // explicit argument index
            ++pos;
            n = -1;
        }
        if (n < 0) {
            if (pos < f.size() && f[pos] == QLatin1Char('-')) {
                s.leftAlign = true;
                ++pos;
            }
            n = readNumber(f, pos, args, argIndex);
        }
        s.width = n;
        if (pos < f.size() && f[pos] == QLatin1Char('.')) {
            ++pos;
            s.precision = readNumber(f, pos, args, argIndex);
        }
        if (pos >= f.size() || !kTypes.contains(f[pos])) {
            // Not a placeholder: copy it as it stands.
            const int end = pos < f.size() ? pos + 1 : pos;
            out += QStringView(f).mid(start, end - start);
            pos = end;
            continue;
        }
        s.type = f[pos++];
        const kvx::Variant v = argIndex < args.size() ? args[argIndex] : kvx::Variant();
        ++argIndex;
        QString text = formatOne(s, v);
        if (s.width > text.size()) {
            const QString fill(s.width - text.size(), QLatin1Char(' '));
            text = s.leftAlign ? text + fill : fill + text;
        }
        out += text;
    }
    return out;
}

} // namespace server
