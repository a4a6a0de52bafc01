// FieldFormat: the number and date format strings that fields use for display and edit texts.
//
// formatFloat understands "0" (digit), "#" (optional digit), "." (decimal point), "," (thousands
// separator anywhere before the decimal point), "E+"/"E-" exponents, quoted literals and up to three
// ";"-separated sections (positive;negative;zero). Any other character is copied as it stands.
// formatDateTime understands yyyy yy mm m dd d hh h nn n ss s zzz and quoted literals.
#pragma once

#include <QString>

namespace kvx {

QString formatFloat(const QString& format, double value);
// `days` is days since 1899-12-30 with the time of day as the fraction.
QString formatDateTime(const QString& format, double days);

} // namespace kvx
