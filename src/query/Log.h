// The logging category of the query layer (kvx.query): failures that are not shown to the user.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcQuery)
}
