#include "Language_Convert.h"

#include "UnicodeBridge.h"
#include "platform/CodePage.h"
#include "platform/DialogService.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cstring>

namespace kvx::lang {

namespace {

constexpr int kGbTableSize = 22535 + 2 * 97;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The code of a value: its first character skipped, then four hexadecimal digits.
quint16 parseCode(const QByteArray& value, const QByteArray& line) {
    int code = 0;
    bool ok = value.size() >= 5;
    for (int i = 1; ok && i < 5; ++i) {
        const int d = hexDigit(value[i]);
        ok = d >= 0;
        code = code * 16 + d;
    }
    if (!ok)
        throw ConvertError("'" + value.mid(1, 4).toStdString() +
                           "' is not a valid hexadecimal code (line \"" + line.toStdString() + "\")");
    return quint16(code);
}

bool isBlank(unsigned char c) {
    return c <= 0x20;
}

// Output of a conversion: every input byte yields at most two output bytes (a fallback pair decodes to at
// most two characters of one byte each), so the buffer is sized once and written through a pointer.
class Output {
public:
    explicit Output(qsizetype inputSize) : bytes_(inputSize * 2, Qt::Uninitialized), at_(bytes_.data()) {}
    void put(char c) { *at_++ = c; }
    // The result for `consumed` input bytes; a longer one than two bytes per input byte grows the buffer.
    void put(const QByteArray& b, qsizetype consumed) {
        const qsizetype excess = b.size() - 2 * consumed;
        if (excess > 0) {
            const qsizetype used = at_ - bytes_.data();
            bytes_.resize(bytes_.size() + excess);
            at_ = bytes_.data() + used;
        }
        memcpy(at_, b.constData(), size_t(b.size()));
        at_ += b.size();
    }
    // The two bytes of a table code without blanks and zeros at either end; false when nothing is left.
    bool putTrimmedCode(quint16 code) {
        if ((code >> 8) > 0x20 && (code & 0xFF) > 0x20) {
            put(char(code >> 8));
            put(char(code & 0xFF));
            return true;
        }
        const char b[2] = {char(code >> 8), char(code & 0xFF)};
        int from = 0, to = 2;
        while (from < to && isBlank(static_cast<unsigned char>(b[from])))
            ++from;
        while (to > from && isBlank(static_cast<unsigned char>(b[to - 1])))
            --to;
        for (int k = from; k < to; ++k)
            put(b[k]);
        return to > from;
    }
    QByteArray take() {
        bytes_.resize(at_ - bytes_.data());
        return std::move(bytes_);
    }

private:
    QByteArray bytes_;
    char* at_;
};

// Pairs through the system code pages (source -> Unicode -> target), remembered for one conversion.
class CodePageFallback {
public:
    CodePageFallback(int from, int to) : from_(from), to_(to) {}
    const QByteArray& convert(const unsigned char* p) {
        const quint16 key = quint16(p[0] << 8 | p[1]);
        auto it = done_.constFind(key);
        if (it == done_.cend()) {
            // A pair that is no character of the source code page becomes one '?', as in the library,
            // not a replacement per byte or an unrelated character.
            QString c = codepage::decode(QByteArray(reinterpret_cast<const char*>(p), 2), from_);
            const unsigned t = p[1];
            const bool trail = from_ == 936 ? t >= 0x40 && t <= 0xFE && t != 0x7F
                                            : (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
            if (c.startsWith(QChar::ReplacementCharacter) && trail) c = QChar::ReplacementCharacter;
            it = done_.insert(key, codepage::encode(c, to_)); // the replacement character has no code: '?'
        }
        return *it;
    }

private:
    int from_, to_;
    QHash<quint16, QByteArray> done_;
};

} // namespace

bool isGbPair(const unsigned char* p, qsizetype avail) {
    return avail >= 2 && p[0] >= 0x81 && p[1] != 0x7F;
}

bool isBig5Pair(const unsigned char* p, qsizetype avail) {
    return avail >= 2 && p[0] >= 0x80 && ((p[1] >= 0x40 && p[1] <= 0x7E) || (p[1] >= 0xA1 && p[1] <= 0xFE));
}

int gbIndex(const unsigned char* p, qsizetype avail) {
    if (!isGbPair(p, avail)) return -1;
    const int l = p[0], t = p[1];
    if (((l >= 0xA1 && l <= 0xA9) || (l >= 0xB0 && l <= 0xF7)) && t >= 0xA1 && t <= 0xFE)
        return (l - 0xA1) * 94 + (t - 0xA1);
    if (t < 0x40) return -1;
    const int r = t - 0x40;
    if (l >= 0x81 && l <= 0xA0 && r <= 190) return 8178 + (l - 0x81) * 191 + r;
    if (l >= 0xAA && l <= 0xFE && r <= 96) return 14290 + (l - 0xAA) * 97 + r;
    if ((l == 0xA8 || l == 0xA9) && r <= 96) return 22535 + (l - 0xA8) * 97 + r;
    return -1;
}

int big5Index(const unsigned char* p, qsizetype avail) {
    if (!isBig5Pair(p, avail)) return -1;
    const int l = p[0], t = p[1];
    const int index = t <= 0x7E ? (l - 0xA1) * 157 + (t - 0x40) : (l - 0xA1) * 157 + 63 + (t - 0xA1);
    return index < 0 ? -1 : index;
}

GbBig5Tables GbBig5Tables::fromFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read " + path.toStdString() + ": " + f.errorString().toStdString());
    return fromText(f.readAll());
}

GbBig5Tables GbBig5Tables::fromText(const QByteArray& text) {
    GbBig5Tables t;
    t.gb_.reserve(kGbTableSize);
    t.big5_.reserve(14758);
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0) end = text.size();
        const QByteArray line = text.mid(pos, end - pos).trimmed();
        pos = end + 1;
        if (line.isEmpty() || line.startsWith('[')) continue;
        const bool big5 = line.startsWith("BIG5");
        if (!big5 && !line.startsWith("GB")) continue;
        const qsizetype eq = line.indexOf('=');
        const QByteArray value = eq < 0 ? QByteArray() : line.mid(eq + 1);
        (big5 ? t.big5_ : t.gb_).push_back(parseCode(value, line));
    }
    t.indexByPair();
    return t;
}

void GbBig5Tables::indexByPair() {
    gbByPair_.assign(65536, 0);
    big5ByPair_.assign(65536, 0);
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const unsigned char pair[2] = {static_cast<unsigned char>(lead),
                                           static_cast<unsigned char>(trail)};
            const int key = lead << 8 | trail;
            const int g = gbIndex(pair, 2);
            if (g >= 0 && g < int(gb_.size())) gbByPair_[size_t(key)] = gb_[size_t(g)];
            const int b = big5Index(pair, 2);
            if (b >= 0 && b < int(big5_.size())) big5ByPair_[size_t(key)] = big5_[size_t(b)];
        }
    }
    const unsigned char euro[2] = {0xA3, 0xE1};
    euroInBig5Table_ = big5Index(euro, 2) < int(big5_.size());
}

QByteArray GbBig5Tables::gbToBig5(const QByteArray& gb) const {
    Output out(gb.size());
    const auto* p = reinterpret_cast<const unsigned char*>(gb.constData());
    const qsizetype n = gb.size();
    const bool indexed = !gbByPair_.empty();
    CodePageFallback fallback(936, 950);
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.put(char(b));
            ++i;
        } else if (b == 0x80) { // the euro sign of GBK
            out.put(char(0xA3));
            out.put(char(0xE1));
            ++i;
        } else if (!isGbPair(p + i, n - i)) {
            out.put(char(b));
            ++i;
        } else {
            const quint16 code = indexed ? gbByPair_[size_t(b << 8 | p[i + 1])] : 0;
            if (!out.putTrimmedCode(code)) out.put(fallback.convert(p + i), 2);
            i += 2;
        }
    }
    return out.take();
}

QByteArray GbBig5Tables::big5ToGb(const QByteArray& big5) const {
    Output out(big5.size());
    const auto* p = reinterpret_cast<const unsigned char*>(big5.constData());
    const qsizetype n = big5.size();
    const bool indexed = !big5ByPair_.empty();
    CodePageFallback fallback(950, 936);
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80 || !isBig5Pair(p + i, n - i)) {
            out.put(char(b));
            ++i;
            continue;
        }
        if (b == 0xA3 && p[i + 1] == 0xE1 && euroInBig5Table_) {
            out.put(char(0x80));
        } else {
            const quint16 code = indexed ? big5ByPair_[size_t(b << 8 | p[i + 1])] : 0;
            if (!out.putTrimmedCode(code)) out.put(fallback.convert(p + i), 2);
        }
        i += 2;
    }
    return out.take();
}

LanguageConvert& LanguageConvert::instance() {
    static LanguageConvert converter;
    return converter;
}

QString LanguageConvert::locate() {
    return locate(kvx::readSettings().clientPath);
}

QString LanguageConvert::locate(const QString& clientPath) {
    if (!clientPath.isEmpty() && QFileInfo::exists(clientPath + QStringLiteral("Language")))
        return clientPath + QStringLiteral("Language");
    const QString own = QCoreApplication::applicationDirPath() + QStringLiteral("/Language");
    if (QFileInfo::exists(own)) return own;
    return {};
}

std::shared_ptr<const GbBig5Tables> LanguageConvert::tables(const QString* clientPath) {
    {
        std::lock_guard lock(mutex_);
        if (tables_) return tables_;
    }
    // The message box and the file are handled unlocked: a modal box runs the event loop.
    const QString path = clientPath ? locate(*clientPath) : locate();
    if (path.isEmpty()) {
        DialogService::instance().inform(QStringLiteral("Can't find file Language !!"));
        return std::make_shared<const GbBig5Tables>(); // not kept: the next conversion looks again
    }
    auto loadedTables = std::make_shared<const GbBig5Tables>(GbBig5Tables::fromFile(path));
    std::lock_guard lock(mutex_);
    if (!tables_) tables_ = std::move(loadedTables);
    return tables_;
}

bool LanguageConvert::loaded() const {
    std::lock_guard lock(mutex_);
    return tables_ != nullptr;
}

void LanguageConvert::unload() {
    std::lock_guard lock(mutex_);
    tables_.reset();
}

QByteArray LanguageConvert::GBToBIG5(const QByteArray& gb, const QString& clientPath) {
    return tables(&clientPath)->gbToBig5(gb);
}

QByteArray LanguageConvert::BIG5ToGB(const QByteArray& big5, const QString& clientPath) {
    return tables(&clientPath)->big5ToGb(big5);
}

QString LanguageConvert::GBToBIG5(const QString& text, const QString& clientPath) {
    return convertEncodable(text, 936, 950, [&](const QByteArray& b) { return GBToBIG5(b, clientPath); });
}

QString LanguageConvert::BIG5ToGB(const QString& text, const QString& clientPath) {
    return convertEncodable(text, 950, 936, [&](const QByteArray& b) { return BIG5ToGB(b, clientPath); });
}

QByteArray LanguageConvert::GBToBIG5(const QByteArray& gb) {
    return tables(nullptr)->gbToBig5(gb);
}

QByteArray LanguageConvert::BIG5ToGB(const QByteArray& big5) {
    return tables(nullptr)->big5ToGb(big5);
}

QString LanguageConvert::GBToBIG5(const QString& text) {
    return convertEncodable(text, 936, 950, [this](const QByteArray& b) { return GBToBIG5(b); });
}

QString LanguageConvert::BIG5ToGB(const QString& text) {
    return convertEncodable(text, 950, 936, [this](const QByteArray& b) { return BIG5ToGB(b); });
}

} // namespace kvx::lang
