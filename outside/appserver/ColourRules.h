// ColourRules: the program's colour rules (ADMNH.NH003) turned into computed columns of the colour
// provider pvdColor. Each enabled component of the "head" section becomes one column named after it whose
// value, per record, is the settings text of the first condition the record meets:
// "bkcolor=N;colorx=N;bold=Y|N;italic=Y|N;" ("'" for a colour not given), '' when none matches. The
// conditions are SQL text written by administrators and are treated like client conditions: each one is
// checked alone (text scan, then prepared under the read-only guard with only the program's table
// readable, then run on one record under the time limit); a refused condition is left out with its reason and
// the other rules still apply.
#pragma once

#include "Providers.h"
#include "Storage.h"

#include <QStringList>

namespace kvxsrv {

struct ColourRuleSet {
    QList<TableProvider::Computed> columns;
    // "component #n (condition): reason" for every condition or component left out.
    QStringList refused;
};

// `table` is the program's table; `takenNames` are the provider's own columns (a component may not
// shadow one). A text that is no XML document gives no columns and one refusal.
ColourRuleSet compileColourRules(Storage& storage, const QString& table, const QStringList& takenNames,
                                 const QString& xml);

} // namespace kvxsrv
