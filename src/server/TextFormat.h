// Formatting of message templates with variant arguments.
//
// Placeholders follow the classic format layout "%" [index ":"] ["-"] [width] ["." precision] type with the
// types d, u, x, e, f, g, n, m, p and s, "*" taking a width or precision from the arguments and "%%" for a
// percent sign. Message templates come from the server's catalogue, so the formatting is lenient: a
// placeholder without an argument formats as empty text, a value that does not fit its type is shown as
// its text, a malformed placeholder is copied as it stands, and surplus arguments are ignored.
#pragma once

#include "platform/Variant.h"

namespace server {

QString FormatVariants(const QString& format, const kvx::VariantList& args);

} // namespace server
