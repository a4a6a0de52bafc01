// Byte-string conversions offered to Unicode text: encode in the source code page, convert, decode from
// the target code page. Characters the source code page cannot encode, and those the target cannot hold
// (the conversion gives '?' for them), are kept as they are instead of becoming '?'.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace kvx::lang {

QString convertEncodable(const QString& text, int fromCodePage, int toCodePage,
                         const std::function<QByteArray(const QByteArray&)>& convertBytes);

} // namespace kvx::lang
