#include "CodePage.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <map>
#include <mutex>
#include <vector>

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
// Conversion descriptors opened once per thread and conversion pair: a descriptor carries shift
// state, so threads never share one; each use starts from the initial state.
class DescriptorCache {
public:
    ~DescriptorCache() {
        for (const Entry& e : entries_)
            iconv_close(e.cd);
    }
    iconv_t get(const QByteArray& from, const QByteArray& to) {
        for (const Entry& e : entries_)
            if (e.from == from && e.to == to) {
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
                return e.cd;
            }
        iconv_t cd = iconv_open(to.constData(), from.constData());
        if (cd == iconv_t(-1)) return cd; // not cached: an unknown code page may be retried later
        entries_.push_back(Entry{from, to, cd});
        return cd;
    }

private:
    struct Entry {
        QByteArray from, to;
        iconv_t cd;
    };
    std::vector<Entry> entries_;
};

QByteArray runIconv(const QByteArray& in, const QByteArray& from, const QByteArray& to,
                    const QByteArray& replacement, size_t skip) {
    thread_local DescriptorCache descriptors;
    iconv_t cd = descriptors.get(from, to);
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
    return out;
}

struct ExtensionRegistry {
    std::mutex mutex;
    std::map<int, std::shared_ptr<const Extension>> byCodePage;
};

ExtensionRegistry& extensions() {
    static ExtensionRegistry registry;
    return registry;
}

// Code pages whose bytes 0x00-0x7F are ASCII and never part of a longer sequence: text in that range needs
// no converter (and loads no iconv module).
bool asciiCompatible(int codePage) {
    return codePage == 437 || codePage == 936 || codePage == 950;
}

bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) < 0x80; });
}

QByteArray encodeUcs4(const uint* chars, qsizetype n, int codePage) {
    // UTF-32 input lets an unconvertible character be skipped as one unit of 4 bytes.
    const QByteArray in = QByteArray::fromRawData(reinterpret_cast<const char*>(chars), n * 4);
    return runIconv(in, "UTF-32LE", iconvName(codePage), "?", 4);
}

QString decodePlain(const char* bytes, qsizetype n, int codePage) {
    const QByteArray utf8 =
        runIconv(QByteArray::fromRawData(bytes, n), iconvName(codePage), "UTF-8", "\xEF\xBF\xBD", 1);
    return QString::fromUtf8(utf8);
}

} // namespace

std::shared_ptr<const Extension> setExtension(int codePage, std::shared_ptr<const Extension> ext) {
    ExtensionRegistry& r = extensions();
    std::lock_guard lock(r.mutex);
    std::shared_ptr<const Extension>& slot = r.byCodePage[codePage];
    std::swap(slot, ext);
    return ext;
}

std::shared_ptr<const Extension> extension(int codePage) {
    ExtensionRegistry& r = extensions();
    std::lock_guard lock(r.mutex);
    auto it = r.byCodePage.find(codePage);
    return it == r.byCodePage.end() ? nullptr : it->second;
}

QByteArray encode(const QString& text, int codePage) {
    if (text.isEmpty()) return {};
    if (codePage == 65001) return text.toUtf8();
    const std::shared_ptr<const Extension> ext = extension(codePage);
    if (!ext && asciiCompatible(codePage) && isAscii(QStringView(text))) return text.toLatin1();
    const QList<uint> ucs4 = text.toUcs4();
    if (!ext) return encodeUcs4(ucs4.constData(), ucs4.size(), codePage);
    // Runs the extension declines go through iconv in one piece.
    QByteArray out;
    qsizetype runStart = 0;
    char pair[2];
    for (qsizetype i = 0; i < ucs4.size(); ++i) {
        if (!ext->encodeChar(char32_t(ucs4[i]), pair)) continue;
        if (i > runStart) out += encodeUcs4(ucs4.constData() + runStart, i - runStart, codePage);
        out.append(pair, 2);
        runStart = i + 1;
    }
    if (runStart < ucs4.size())
        out += encodeUcs4(ucs4.constData() + runStart, ucs4.size() - runStart, codePage);
    return out;
}

QString decode(const QByteArray& bytes, int codePage) {
    if (bytes.isEmpty()) return {};
    if (codePage == 65001) return QString::fromUtf8(bytes);
    const std::shared_ptr<const Extension> ext = extension(codePage);
    if (!ext && asciiCompatible(codePage) && isAscii(QByteArrayView(bytes)))
        return QString::fromLatin1(bytes);
    if (!ext) return decodePlain(bytes.constData(), bytes.size(), codePage);
    // Walks the text unit by unit (a lead byte and its trail, or a single byte); runs the extension
    // declines are decoded by iconv in one piece, so pair boundaries are the code page's own.
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < n) {
        if (i + 1 < n && isLeadByte(p[i], codePage)) {
            const int c = ext->decodePair(p[i], p[i + 1]);
            if (c >= 0) {
                if (i > runStart) out += decodePlain(bytes.constData() + runStart, i - runStart, codePage);
                const char32_t ch = char32_t(c);
                out += QString::fromUcs4(&ch, 1);
                runStart = i + 2;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    if (runStart < n) out += decodePlain(bytes.constData() + runStart, n - runStart, codePage);
    return out;
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

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace kvx::codepage
