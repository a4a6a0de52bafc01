// The logging category of the lang layer (kvx.lang): failures that are not shown to the user.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcLang)
}
