// Linked into test programs that create windows, converters or language controllers without handing
// them settings: like the program's start, they take them from the configuration readers.
#include "server/StaveloINI.h"

namespace {
const bool installed = (kvx::InstallSettingsReader(), true);
}
