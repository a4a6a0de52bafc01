// Argument helpers shared by the server objects' methods.
#pragma once

#include "ArgumentError.h"
#include "platform/Dispatch.h"

namespace kvxsrv {

using kvx::refuse;
using kvx::textArg;

// Parameter i as trimmed text; empty when missing, Null/Unassigned or an array.
inline QString text(const kvx::VariantList& p, int i) {
    return i < p.size() && !p[i].isEmptyOrNull() && !p[i].isArray() ? p[i].toString().trimmed() : QString();
}

} // namespace kvxsrv
