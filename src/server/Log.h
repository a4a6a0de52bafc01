// The logging category of the server layer (kvx.server): failures that are not shown to the user.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcServer)
}
