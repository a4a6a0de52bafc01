#include "Language_Convert.h"

#include "StaveloSettingsAdapter.h"
#include "platform/CodePage.h"
#include "platform/DialogService.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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

// The two bytes of a table code, trimmed of blanks and zeros at both ends.
QByteArray trimmedCode(quint16 code) {
    unsigned char b[2] = {static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF)};
    int from = 0, to = 2;
    while (from < to && isBlank(b[from]))
        ++from;
    while (to > from && isBlank(b[to - 1]))
        --to;
    return QByteArray(reinterpret_cast<const char*>(b) + from, to - from);
}

// One pair through the system code pages: source -> Unicode -> target.
QByteArray viaCodePages(const unsigned char* p, int from, int to) {
    return codepage::encode(codepage::decode(QByteArray(reinterpret_cast<const char*>(p), 2), from), to);
}

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
    return t;
}

QByteArray GbBig5Tables::gbToBig5(const QByteArray& gb) const {
    QByteArray out;
    out.reserve(gb.size() + 8);
    const auto* p = reinterpret_cast<const unsigned char*>(gb.constData());
    const qsizetype n = gb.size();
    const int size = int(gb_.size());
    qsizetype i = 0;
    while (i < n) {
        if (p[i] == 0x80) { // the euro sign of GBK
            out.append("\xA3\xE1", 2);
            ++i;
            continue;
        }
        if (!isGbPair(p + i, n - i)) {
            out.append(char(p[i]));
            ++i;
            continue;
        }
        const int index = gbIndex(p + i, n - i);
        QByteArray code = index >= 0 && index < size ? trimmedCode(gb_[size_t(index)]) : QByteArray();
        if (code.isEmpty()) code = viaCodePages(p + i, 936, 950);
        out.append(code);
        i += 2;
    }
    return out;
}

QByteArray GbBig5Tables::big5ToGb(const QByteArray& big5) const {
    QByteArray out;
    out.reserve(big5.size());
    const auto* p = reinterpret_cast<const unsigned char*>(big5.constData());
    const qsizetype n = big5.size();
    const int size = int(big5_.size());
    qsizetype i = 0;
    while (i < n) {
        if (!isBig5Pair(p + i, n - i)) {
            out.append(char(p[i]));
            ++i;
            continue;
        }
        const int index = big5Index(p + i, n - i);
        QByteArray code;
        if (index >= 0 && index < size)
            code = (p[i] == 0xA3 && p[i + 1] == 0xE1) ? QByteArray(1, char(0x80))
                                                      : trimmedCode(big5_[size_t(index)]);
        if (code.isEmpty()) code = viaCodePages(p + i, 950, 936);
        out.append(code);
        i += 2;
    }
    return out;
}

LanguageConvert& LanguageConvert::instance() {
    static LanguageConvert converter;
    return converter;
}

QString LanguageConvert::locate() {
    const QString clientPath = StaveloSettingsAdapter(false).installPath();
    if (!clientPath.isEmpty() && QFileInfo::exists(clientPath + QStringLiteral("Language")))
        return clientPath + QStringLiteral("Language");
    const QString own = QCoreApplication::applicationDirPath() + QStringLiteral("/Language");
    if (QFileInfo::exists(own)) return own;
    return {};
}

std::shared_ptr<const GbBig5Tables> LanguageConvert::tables() {
    {
        std::lock_guard lock(mutex_);
        if (tables_) return tables_;
    }
    // The message box and the file are handled unlocked: a modal box runs the event loop.
    const QString path = locate();
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

QByteArray LanguageConvert::GBToBIG5(const QByteArray& gb) {
    return tables()->gbToBig5(gb);
}

QByteArray LanguageConvert::BIG5ToGB(const QByteArray& big5) {
    return tables()->big5ToGb(big5);
}

QString LanguageConvert::GBToBIG5(const QString& text) {
    if (text.isEmpty()) return text;
    return codepage::decode(GBToBIG5(codepage::encode(text, 936)), 950);
}

QString LanguageConvert::BIG5ToGB(const QString& text) {
    if (text.isEmpty()) return text;
    return codepage::decode(BIG5ToGB(codepage::encode(text, 950)), 936);
}

} // namespace kvx::lang
