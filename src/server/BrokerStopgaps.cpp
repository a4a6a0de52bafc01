#include "BrokerStopgaps.h"

#include "platform/CodePage.h"

namespace server::stopgap {

QString TableGBToBig5(const QString& text) {
    if (text.isEmpty()) return text;
    return kvx::codepage::decode(kvx::codepage::encode(text, 950), 950);
}

QString TableBig5ToGB(const QString& text) {
    if (text.isEmpty()) return text;
    return kvx::codepage::decode(kvx::codepage::encode(text, 936), 936);
}

} // namespace server::stopgap
