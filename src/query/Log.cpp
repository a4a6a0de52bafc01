#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcQuery, "kvx.query")
}
