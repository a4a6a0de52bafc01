#include "CodePage.h"

#include <QList>
#include <QStringDecoder>
#include <cerrno>
#include <clocale>
#include <iconv.h>

namespace kvx::codepage {

int systemCodePage() {
    const QByteArray env = qgetenv("KVX_CODEPAGE");
    if (!env.isEmpty()) {
        bool ok = false;
        int cp = env.trimmed().toInt(&ok);
        if (ok && cp > 0) return cp;
    }
    QByteArray loc = qgetenv("LC_ALL");
    if (loc.isEmpty()) loc = qgetenv("LC_CTYPE");
    if (loc.isEmpty()) loc = qgetenv("LANG");
    loc = loc.toLower();
    if (loc.startsWith("zh_cn") || loc.startsWith("zh_sg")) return 936;
    if (loc.startsWith("zh_tw") || loc.startsWith("zh_hk") || loc.startsWith("zh_mo")) return 950;
    return 437;
}

QByteArray iconvName(int codePage) {
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "BIG5";
    case 65001:
        return "UTF-8";
    default:
        return "CP" + QByteArray::number(codePage);
    }
}

namespace {

// Runs iconv over the whole input; a sequence that cannot be converted is replaced by `replacement`
// (already in the target encoding) and skipped by `skip` input bytes.
QByteArray runIconv(const QByteArray& in, const QByteArray& from, const QByteArray& to,
                    const QByteArray& replacement, size_t skip) {
    iconv_t cd = iconv_open(to.constData(), from.constData());
    if (cd == iconv_t(-1)) return {};
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char* inp = const_cast<char*>(in.constData());
    size_t inleft = size_t(in.size());
    char buf[4096];
    while (inleft > 0) {
        char* outp = buf;
        size_t outleft = sizeof buf;
        size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        out.append(buf, qsizetype(sizeof buf - outleft));
        if (r == size_t(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
            out.append(replacement);
            size_t n = std::min(skip, inleft);
            inp += n;
            inleft -= n;
        }
    }
    char* outp = buf;
    size_t outleft = sizeof buf;
    iconv(cd, nullptr, nullptr, &outp, &outleft);
    out.append(buf, qsizetype(sizeof buf - outleft));
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray encode(const QString& text, int codePage) {
    if (text.isEmpty()) return {};
    if (codePage == 65001) return text.toUtf8();
    // UTF-32 input lets an unconvertible character be skipped as one unit of 4 bytes.
    const QList<uint> ucs4 = text.toUcs4();
    QByteArray in(reinterpret_cast<const char*>(ucs4.constData()), ucs4.size() * 4);
    return runIconv(in, "UTF-32LE", iconvName(codePage), "?", 4);
}

QString decode(const QByteArray& bytes, int codePage) {
    if (bytes.isEmpty()) return {};
    if (codePage == 65001) return QString::fromUtf8(bytes);
    const QByteArray utf8 = runIconv(bytes, iconvName(codePage), "UTF-8", "\xEF\xBF\xBD", 1);
    return QString::fromUtf8(utf8);
}

bool isLeadByte(unsigned char b, int codePage) {
    if (codePage == 936 || codePage == 950) return b >= 0x81 && b <= 0xFE;
    return false;
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8);
    QString s = dec.decode(bytes);
    return !dec.hasError() && s.toUtf8() == bytes;
}

} // namespace kvx::codepage
