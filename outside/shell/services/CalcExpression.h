// CalcExpression: the calculator behind the lookup service's GetCalcValue. Evaluates an arithmetic
// expression of decimal numbers with + - * / (also the signs × ÷ and the full-width forms), unary signs,
// parentheses and a postfix percent (50% = 0.5; "200+10%" is 200 + 0.1, as written).
#pragma once

#include <QString>

namespace pellan {

struct CalcResult {
    bool ok = false;
    double value = 0;
    QString text;  // the value as text when ok
    QString error; // a readable reason when not ok, naming the position (1-based)
};

class CalcExpression {
public:
    static CalcResult evaluate(const QString& expression);
    // Shortest decimal text of a value: at most 10 decimals, no trailing zeros, no exponent.
    static QString format(double value);
};

} // namespace pellan
