#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcServer, "kvx.server")
}
