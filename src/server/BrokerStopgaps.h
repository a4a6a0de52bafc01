// Stop-gap helpers of the broker, standing in until the lang layer lands:
//  - TableGBToBig5 / TableBig5ToGB: the table-driven GB/Big5 conversion, here without the mapping
//    tables, i.e. only its code-page route 936 <-> 950 (to be replaced by the lang layer's table-driven
//    converter, which maps Simplified to Traditional script through the "Language" file).
#pragma once

#include <QString>

namespace server::stopgap {

// Unicode in, Unicode out: characters the target code page lacks become '?'.
QString TableGBToBig5(const QString& text);
QString TableBig5ToGB(const QString& text);

} // namespace server::stopgap
