#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcControls, "kvx.controls")
}
