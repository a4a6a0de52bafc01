#include "FieldFormat.h"

#include "Variant.h"

#include <QStringList>
#include <cmath>

namespace kvx {

namespace {

// Splits a format into sections at ";" outside quotes.
QStringList sections(const QString& fmt) {
    QStringList out;
    QString cur;
    QChar quote;
    for (QChar c : fmt) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            cur += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            cur += c;
        } else if (c == ';') {
            out << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    out << cur;
    return out;
}

struct Layout {
    int intZeros = 0;   // '0' before the point
    int intDigits = 0;  // '0' or '#' before the point
    int fracZeros = 0;  // '0' after the point
    int fracDigits = 0; // '0' or '#' after the point
    bool point = false;
    bool thousands = false;
    bool exponent = false;
    bool expSign = false; // E+ (always a sign) rather than E-
    int expDigits = 0;
};

Layout analyse(const QString& fmt) {
    Layout l;
    QChar quote;
    bool afterPoint = false;
    for (int i = 0; i < fmt.size(); ++i) {
        QChar c = fmt[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (l.exponent) {
            if (c == '0') ++l.expDigits;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++l.fracDigits;
                if (c == '0') l.fracZeros = l.fracDigits;
            } else {
                ++l.intDigits;
                if (c == '0' || l.intZeros > 0) ++l.intZeros;
            }
        } else if (c == '.') {
            if (!afterPoint) afterPoint = l.point = true;
        } else if (c == ',') {
            if (!afterPoint) l.thousands = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < fmt.size() && (fmt[i + 1] == '+' || fmt[i + 1] == '-')) {
            l.exponent = true;
            l.expSign = fmt[i + 1] == '+';
            ++i;
        }
    }
    return l;
}

QString groupThousands(const QString& digits) {
    QString out;
    int n = digits.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// Formats |value| by one section; the sign is handled by the caller.
QString formatSection(const QString& fmt, double value) {
    const Layout l = analyse(fmt);
    if (l.intDigits == 0 && l.fracDigits == 0 && !l.exponent) {
        // No digit placeholders: literal text only.
        QString out;
        QChar quote;
        for (QChar c : fmt) {
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
                else
                    out += c;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else {
                out += c;
            }
        }
        return out;
    }
    QString intPart, fracPart, expPart;
    if (l.exponent) {
        int exp = value == 0 ? 0 : int(std::floor(std::log10(value))) - std::max(l.intDigits, 1) + 1;
        double mant = value / std::pow(10.0, exp);
        QString m = QString::number(mant, 'f', l.fracDigits);
        if (m.startsWith(QString::number(std::pow(10.0, std::max(l.intDigits, 1)), 'f', 0))) {
            ++exp;
            m = QString::number(value / std::pow(10.0, exp), 'f', l.fracDigits);
        }
        int dot = m.indexOf('.');
        intPart = dot < 0 ? m : m.left(dot);
        fracPart = dot < 0 ? QString() : m.mid(dot + 1);
        QString e = QString::number(std::abs(exp)).rightJustified(std::max(l.expDigits, 1), '0');
        expPart = QStringLiteral("E") + (exp < 0 ? "-" : (l.expSign ? "+" : "")) + e;
    } else {
        QString m = QString::number(value, 'f', l.fracDigits);
        int dot = m.indexOf('.');
        intPart = dot < 0 ? m : m.left(dot);
        fracPart = dot < 0 ? QString() : m.mid(dot + 1);
    }
    while (fracPart.size() > l.fracZeros && fracPart.endsWith('0'))
        fracPart.chop(1);
    if (intPart == QLatin1String("0") && l.intZeros == 0) intPart.clear();
    if (intPart.size() < l.intZeros) intPart = intPart.rightJustified(l.intZeros, '0');
    if (l.thousands) intPart = groupThousands(intPart);
    QString number = intPart;
    if (!fracPart.isEmpty()) number += '.' + fracPart;
    number += expPart;

    // Place the number where the first digit placeholder stands; copy literals around it.
    QString out;
    QChar quote;
    bool placed = false;
    bool inExp = false;
    for (int i = 0; i < fmt.size(); ++i) {
        QChar c = fmt[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                out += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (inExp) {
            if (c != '0') out += c;
        } else if (c == '0' || c == '#' || c == '.' || c == ',') {
            if (!placed) {
                out += number;
                placed = true;
            }
        } else if ((c == 'E' || c == 'e') && i + 1 < fmt.size() && (fmt[i + 1] == '+' || fmt[i + 1] == '-')) {
            ++i;
            inExp = true;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString formatFloat(const QString& format, double value) {
    if (std::isnan(value) || std::isinf(value)) return QString::number(value);
    if (format.isEmpty()) return Variant(value).toString();
    const QStringList s = sections(format);
    if (value == 0 && s.size() >= 3 && !s[2].isEmpty()) return formatSection(s[2], 0);
    if (value < 0 && s.size() >= 2 && !s[1].isEmpty()) return formatSection(s[1], -value);
    QString text = formatSection(s[0], std::abs(value));
    if (value < 0) {
        // "-0.00" after rounding is shown without the sign.
        bool nonZero = false;
        for (QChar c : text)
            if (c.isDigit() && c != '0') nonZero = true;
        if (nonZero) text.prepend('-');
    }
    return text;
}

QString formatDateTime(const QString& format, double days) {
    const QDateTime dt = daysToDate(days);
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString out;
    for (int i = 0; i < format.size();) {
        QChar c = format[i];
        auto run = [&](QChar ch) {
            int n = 0;
            while (i + n < format.size() && format[i + n].toLower() == ch)
                ++n;
            return n;
        };
        if (c == '"' || c == '\'') {
            int end = format.indexOf(c, i + 1);
            if (end < 0) end = format.size();
            out += format.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        QChar lc = c.toLower();
        int n = run(lc);
        if (lc == 'y') {
            out += n <= 2 ? QString::number(d.year() % 100).rightJustified(2, '0')
                          : QString::number(d.year()).rightJustified(4, '0');
        } else if (lc == 'm') {
            out += n >= 2 ? QString::number(d.month()).rightJustified(2, '0') : QString::number(d.month());
        } else if (lc == 'd') {
            out += n >= 2 ? QString::number(d.day()).rightJustified(2, '0') : QString::number(d.day());
        } else if (lc == 'h') {
            out += n >= 2 ? QString::number(t.hour()).rightJustified(2, '0') : QString::number(t.hour());
        } else if (lc == 'n') {
            out += n >= 2 ? QString::number(t.minute()).rightJustified(2, '0') : QString::number(t.minute());
        } else if (lc == 's') {
            out += n >= 2 ? QString::number(t.second()).rightJustified(2, '0') : QString::number(t.second());
        } else if (lc == 'z') {
            out += n >= 3 ? QString::number(t.msec()).rightJustified(3, '0') : QString::number(t.msec());
        } else {
            out += QString(n, c);
        }
        i += n;
    }
    return out;
}

} // namespace kvx
