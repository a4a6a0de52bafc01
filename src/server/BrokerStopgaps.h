// Stop-gap helpers of the broker, standing in until the shared units land:
//  - ButtonCaption: the Chinese button-caption table (to be replaced by LibStrs' GetCHTButtonCaption);
//  - TableGBToBig5 / TableBig5ToGB: the table-driven GB/Big5 conversion, here without the mapping
//    tables, i.e. only its code-page route 936 <-> 950 (to be replaced by the lang layer's table-driven
//    converter, which maps Simplified to Traditional script through the "Language" file).
#pragma once

#include <QString>

namespace server::stopgap {

// Caption of a message-box button by its name ("Yes", "OK", ...); other names are returned unchanged.
QString ButtonCaption(const QString& name);

// Unicode in, Unicode out: characters the target code page lacks become '?'.
QString TableGBToBig5(const QString& text);
QString TableBig5ToGB(const QString& text);

} // namespace server::stopgap
