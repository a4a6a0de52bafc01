#include "UnicodeBridge.h"

#include "platform/CodePage.h"

#include <QList>

namespace kvx::lang {

QString convertEncodable(const QString& text, int from, int to,
                         const std::function<QByteArray(const QByteArray&)>& fn) {
    if (text.isEmpty()) return text;
    const QByteArray whole = codepage::encode(text, from);
    if (codepage::decode(whole, from) == text) return codepage::decode(fn(whole), to);
    // Some character has no code: convert the runs that have one, keep the others.
    QString out;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty()) out += codepage::decode(fn(codepage::encode(run, from)), to);
        run.clear();
    };
    const QList<uint> chars = text.toUcs4();
    for (uint c : chars) {
        const char32_t ch = char32_t(c);
        const QString one = QString::fromUcs4(&ch, 1);
        if (codepage::decode(codepage::encode(one, from), from) == one) {
            run += one;
        } else {
            flush();
            out += one;
        }
    }
    flush();
    return out;
}

} // namespace kvx::lang
