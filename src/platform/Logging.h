// The logging category of the platform layer. Every layer declares its own in <layer>/Log.h
// (kvx.lang, kvx.controls, kvx.server, kvx.entry, ...): failures that are not shown to the user go there.
#pragma once

#include <QLoggingCategory>

namespace kvx {
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
}
