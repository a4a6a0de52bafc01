#include "UnicodeBridge.h"

#include "platform/CodePage.h"

#include <QList>

namespace kvx::lang {

namespace {

// `converted` is `run` through the byte conversion; a character the target cannot hold came back as
// '?': the source character is kept in its place.
QString keepUnheld(const QString& run, const QString& converted, int from, int to,
                   const std::function<QByteArray(const QByteArray&)>& fn) {
    if (converted.count(QLatin1Char('?')) == run.count(QLatin1Char('?'))) return converted;
    const QList<uint> src = run.toUcs4();
    QList<uint> out = converted.toUcs4();
    if (src.size() == out.size()) {
        for (qsizetype k = 0; k < src.size(); ++k)
            if (out[k] == '?' && src[k] != '?') out[k] = src[k];
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(out.constData()), out.size());
    }
    // The conversion changed the length: character by character.
    QString result;
    for (uint c : src) {
        const char32_t ch = char32_t(c);
        const QString one = QString::fromUcs4(&ch, 1);
        const QString back = codepage::decode(fn(codepage::encode(one, from)), to);
        result += (back == QLatin1String("?") && c != '?') ? one : back;
    }
    return result;
}

// A character the code page holds: it survives encoding and decoding, and not only through the
// code page's extension (whose private pairs, for Hangul and Yi, the conversion does not know).
bool held(const QString& one, int codePage, const codepage::Extension* ext) {
    if (codepage::decode(codepage::encode(one, codePage), codePage) != one) return false;
    if (!ext) return true;
    char pair[2];
    return !ext->encodeChar(one.toUcs4().value(0), pair);
}

} // namespace

QString convertEncodable(const QString& text, int from, int to,
                         const std::function<QByteArray(const QByteArray&)>& fn) {
    if (text.isEmpty()) return text;
    const std::shared_ptr<const codepage::Extension> ext = codepage::extension(from);
    const QByteArray whole = codepage::encode(text, from);
    if (!ext && codepage::decode(whole, from) == text)
        return keepUnheld(text, codepage::decode(fn(whole), to), from, to, fn);
    // Some character has no code: convert the runs that have one, keep the others.
    QString out;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            out += keepUnheld(run, codepage::decode(fn(codepage::encode(run, from)), to), from, to, fn);
        run.clear();
    };
    const QList<uint> chars = text.toUcs4();
    for (uint c : chars) {
        const char32_t ch = char32_t(c);
        const QString one = QString::fromUcs4(&ch, 1);
        if (held(one, from, ext.get())) {
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
