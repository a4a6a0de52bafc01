// Integer arguments of server methods: checked, never coerced.
#pragma once

#include "platform/Dispatch.h"
#include "platform/Variant.h"

namespace kvxsrv {

// An argument of the wrong type or out of range; over the socket it is answered as invalid params.
class ArgumentError : public kvx::AutomationError {
public:
    using kvx::AutomationError::AutomationError;
};

// Parameter i as an integer within [lo, hi]; raises ArgumentError otherwise (texts, fractions,
// out-of-range numbers are never coerced).
inline qint64 integerArg(const kvx::VariantList& p, int i, qint64 lo, qint64 hi, const char* what) {
    const kvx::Variant v = i < p.size() ? p[i] : kvx::Variant();
    bool ok = v.type() == kvx::VarType::Int;
    qint64 n = ok ? v.toInt() : 0;
    if (!ok && v.type() == kvx::VarType::Double) {
        const double d = v.toDouble();
        ok = d == double(qint64(d)) && d >= -9.2e18 && d <= 9.2e18;
        n = ok ? qint64(d) : 0;
    }
    if (!ok || n < lo || n > hi)
        throw ArgumentError(QStringLiteral("%1 must be an integer from %2 to %3")
                                .arg(QLatin1String(what))
                                .arg(lo)
                                .arg(hi)
                                .toStdString());
    return n;
}

} // namespace kvxsrv
