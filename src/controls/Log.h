// The logging category of the controls layer (kvx.controls): failures that are not shown to the user.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcControls)
}
