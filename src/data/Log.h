// The logging category of the data layer (kvx.data): failures that are not shown to the user.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcData)
}
