#include "CalcExpression.h"

#include <QCoreApplication>
#include <cmath>
#include <stdexcept>

namespace pellan {

namespace {

struct CalcError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Full-width digits, signs and parentheses become their ASCII forms; × and ÷ become * and /.
QString normalise(const QString& in) {
    QString out;
    out.reserve(in.size());
    for (QChar c : in) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(u - 0xFEE0);
        else if (u == 0x00D7 || u == 0x2715 || u == 0x2716)
            c = QLatin1Char('*');
        else if (u == 0x00F7 || u == 0x2215)
            c = QLatin1Char('/');
        else if (u == 0x2212)
            c = QLatin1Char('-');
        else if (u == 0x3000)
            c = QLatin1Char(' ');
        out += c;
    }
    return out;
}

class Parser {
public:
    explicit Parser(QString text) : s_(std::move(text)) {}

    double parse() {
        skip();
        if (pos_ >= s_.size()) throw CalcError("the expression is empty");
        const double v = sum();
        skip();
        if (pos_ < s_.size()) fail(QStringLiteral("unexpected \"%1\"").arg(s_.at(pos_)));
        return v;
    }

private:
    QString s_;
    int pos_ = 0;
    int depth_ = 0;

    [[noreturn]] void fail(const QString& what) const {
        throw CalcError(QStringLiteral("%1 at position %2").arg(what).arg(pos_ + 1).toStdString());
    }
    void skip() {
        while (pos_ < s_.size() && s_.at(pos_).isSpace())
            ++pos_;
    }
    bool take(QChar c) {
        skip();
        if (pos_ < s_.size() && s_.at(pos_) == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    double sum() {
        double v = product();
        for (;;) {
            if (take(QLatin1Char('+')))
                v += product();
            else if (take(QLatin1Char('-')))
                v -= product();
            else
                return v;
        }
    }
    double product() {
        double v = unary();
        for (;;) {
            if (take(QLatin1Char('*')))
                v *= unary();
            else if (take(QLatin1Char('/'))) {
                const int at = pos_;
                const double d = unary();
                if (d == 0) {
                    pos_ = at;
                    fail(QStringLiteral("division by zero"));
                }
                v /= d;
            } else
                return v;
        }
    }
    double unary() {
        if (take(QLatin1Char('-'))) return -unary();
        if (take(QLatin1Char('+'))) return unary();
        return postfix();
    }
    double postfix() {
        double v = primary();
        while (take(QLatin1Char('%')))
            v /= 100.0;
        return v;
    }
    double primary() {
        skip();
        if (pos_ >= s_.size()) fail(QStringLiteral("a number is missing"));
        if (take(QLatin1Char('('))) {
            if (++depth_ > 200) fail(QStringLiteral("too many nested parentheses"));
            const double v = sum();
            if (!take(QLatin1Char(')'))) fail(QStringLiteral("\")\" is missing"));
            --depth_;
            return v;
        }
        return number();
    }
    bool groupFollows(int at) const {
        for (int i = 0; i < 3; ++i)
            if (at + i >= s_.size() || !s_.at(at + i).isDigit()) return false;
        return at + 3 >= s_.size() || !s_.at(at + 3).isDigit();
    }
    double number() {
        const int start = pos_;
        bool digits = false, point = false;
        QString text;
        while (pos_ < s_.size()) {
            const QChar c = s_.at(pos_);
            if (c.isDigit() && c.unicode() < 128) {
                digits = true;
                text += c;
            } else if (c == QLatin1Char('.') && !point) {
                point = true;
                text += c;
            } else if (c == QLatin1Char(',') && digits && !point && groupFollows(pos_ + 1)) {
                // thousands separator inside the integer part: exactly three digits follow
            } else
                break;
            ++pos_;
        }
        if (!digits) {
            pos_ = start;
            fail(pos_ < s_.size() ? QStringLiteral("unexpected \"%1\"").arg(s_.at(pos_))
                                  : QStringLiteral("a number is missing"));
        }
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (!ok) {
            pos_ = start;
            fail(QStringLiteral("\"%1\" is not a number").arg(text));
        }
        return v;
    }
};

} // namespace

QString CalcExpression::format(double value) {
    if (value == 0) return QStringLiteral("0"); // also -0
    // 15 significant digits (what a double holds exactly), at most 10 of them decimals.
    const int intDigits = std::fabs(value) >= 1 ? int(std::floor(std::log10(std::fabs(value)))) + 1 : 1;
    QString t = QString::number(value, 'f', qBound(0, 15 - intDigits, 10));
    if (t.contains(QLatin1Char('.'))) {
        while (t.endsWith(QLatin1Char('0')))
            t.chop(1);
        if (t.endsWith(QLatin1Char('.'))) t.chop(1);
    }
    if (t == QLatin1String("-0")) t = QStringLiteral("0");
    return t;
}

CalcResult CalcExpression::evaluate(const QString& expression) {
    CalcResult r;
    try {
        r.value = Parser(normalise(expression)).parse();
        if (!std::isfinite(r.value)) throw CalcError("the result is too large");
        r.ok = true;
        r.text = format(r.value);
    } catch (const CalcError& e) {
        r.error = QString::fromUtf8(e.what());
    }
    return r;
}

} // namespace pellan
