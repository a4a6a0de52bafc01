#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcData, "kvx.data")
}
