// The code pages a converter works with and the two conversion kinds derived from them: one side (client
// or server) of the settings value.
#pragma once

#include "platform/Settings.h"

namespace kvx::lang {

using CodePageSettings = kvx::CodePages;

} // namespace kvx::lang
