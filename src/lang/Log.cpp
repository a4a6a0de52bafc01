#include "Log.h"

namespace kvx {
Q_LOGGING_CATEGORY(lcLang, "kvx.lang")
}
