#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcEntry, "kvx.entry")
}
