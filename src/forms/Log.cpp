#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcForms, "kvx.forms")
}
