#include "Logging.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcPlatform, "kvx.platform")
}
