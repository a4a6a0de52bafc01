#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcProgram, "kvx.program")
}
