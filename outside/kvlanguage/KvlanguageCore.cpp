#include "KvlanguageCore.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <opencc/opencc.h>
#include <stdexcept>
#include <unordered_map>

namespace kvlanguage {

namespace {

// A double-byte code page decoded once: pair -> code point, code point -> bytes.
struct CodeTable {
    std::vector<char32_t> decode = std::vector<char32_t>(65536, 0); // pair -> code point (0: none)
    std::unordered_map<char32_t, uint16_t> encode;                  // code point -> pair (or single byte)

    void build(const char* iconvName, bool (*isTrail)(unsigned)) {
        iconv_t cd = iconv_open("UTF-32LE", iconvName);
        if (cd == iconv_t(-1)) throw std::runtime_error(std::string("iconv cannot decode ") + iconvName);
        for (unsigned lead = 0x80; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0; trail <= 0xFF; ++trail) {
                if (lead == 0x80 && trail != 0) break; // a single byte 0x80 (the euro sign of GBK)
                if (lead != 0x80 && !isTrail(trail)) continue;
                char in[2] = {char(lead), char(trail)};
                size_t inLeft = lead == 0x80 ? 1 : 2;
                char32_t out[2] = {0, 0};
                char* inp = in;
                char* outp = reinterpret_cast<char*>(out);
                size_t outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || outLeft != sizeof out - 4)
                    continue;
                const uint16_t code = lead == 0x80 ? 0x80 : uint16_t(lead << 8 | trail);
                decode[code] = out[0];
                encode.emplace(out[0], code);
            }
        }
        iconv_close(cd);
    }
};

bool gbkTrail(unsigned t) {
    return t >= 0x40 && t <= 0xFE && t != 0x7F;
}
bool big5Trail(unsigned t) {
    return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::u32string fromUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len && i + size_t(k) < s.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + size_t(k)]) & 0x3F);
        out += c;
        i += size_t(len);
    }
    return out;
}

class OpenCC {
public:
    explicit OpenCC(const char* config) : h_(opencc_open(config)) {
        if (h_ == reinterpret_cast<opencc_t>(-1))
            throw std::runtime_error(std::string("OpenCC cannot open ") + config + ": " + opencc_error());
    }
    ~OpenCC() { opencc_close(h_); }
    std::string convert(const std::string& utf8) const {
        if (utf8.empty()) return utf8;
        char* out = opencc_convert_utf8(h_, utf8.data(), utf8.size());
        if (!out) return utf8;
        std::string result(out);
        opencc_convert_utf8_free(out);
        return result;
    }

private:
    opencc_t h_;
};

} // namespace

struct Core::Impl {
    CodeTable gbk;
    CodeTable big5;
    OpenCC s2t{"s2tw.json"};
    OpenCC t2s{"tw2s.json"};
    mutable std::once_flag tablesOnce;
    mutable std::vector<uint16_t> gbTable;
    mutable std::vector<uint16_t> big5Table;

    // Decodes `src` in `from`, converts the script, encodes in `to`.
    std::string convert(std::string_view src, const CodeTable& from, const CodeTable& to, const OpenCC& cc,
                        bool (*isTrail)(unsigned)) const {
        std::string out;
        out.reserve(src.size() + src.size() / 8 + 4);
        std::string segment;        // UTF-8 of the characters since the last raw byte
        std::u32string sourceChars; // the same characters, for the fallback to the source form
        auto flush = [&] {
            if (segment.empty()) return;
            const std::u32string converted = fromUtf8(cc.convert(segment));
            const bool aligned = converted.size() == sourceChars.size();
            for (size_t k = 0; k < converted.size(); ++k) {
                char32_t c = converted[k];
                if (c < 0x80) {
                    out += char(c);
                    continue;
                }
                auto it = to.encode.find(c);
                if (it == to.encode.end() && aligned) it = to.encode.find(sourceChars[k]);
                if (it == to.encode.end()) {
                    out += '?';
                } else if (it->second < 0x100) {
                    out += char(it->second);
                } else {
                    out += char(it->second >> 8);
                    out += char(it->second & 0xFF);
                }
            }
            segment.clear();
            sourceChars.clear();
        };
        for (size_t i = 0; i < src.size();) {
            const unsigned char b = static_cast<unsigned char>(src[i]);
            char32_t c = 0;
            size_t len = 1;
            if (b < 0x80) {
                c = b;
            } else if (i + 1 < src.size() && b >= 0x81 && b <= 0xFE &&
                       isTrail(static_cast<unsigned char>(src[i + 1]))) {
                c = from.decode[size_t(b) << 8 | static_cast<unsigned char>(src[i + 1])];
                len = 2;
            } else if (b == 0x80) {
                c = from.decode[0x80];
            }
            if (c == 0) {
                flush();
                if (len == 2) { // shaped like a pair of the source encoding but no character of it
                    out += '?';
                    i += 2;
                } else { // a zero byte, or a byte that starts no pair: passes through
                    out += char(b);
                    ++i;
                }
                continue;
            }
            appendUtf8(segment, c);
            sourceChars += c;
            i += len;
        }
        flush();
        return out;
    }

    // One character through the script conversion alone.
    static char32_t singleForm(char32_t c, const OpenCC& cc) {
        std::string utf8;
        appendUtf8(utf8, c);
        const std::u32string converted = fromUtf8(cc.convert(utf8));
        return converted.size() == 1 ? converted[0] : c;
    }

    // One character through the script conversion, encoded in the target (0: none).
    uint16_t mapChar(char32_t c, const CodeTable& to, const OpenCC& cc, bool choices) const {
        if (c == 0) return 0;
        char32_t form = singleForm(c, cc);
        if (choices) {
            const auto& chosen = Core::builtinChoices();
            if (auto k = chosen.find(c); k != chosen.end()) form = k->second;
        }
        auto it = to.encode.find(form);
        if (it == to.encode.end()) it = to.encode.find(c);
        if (it == to.encode.end() || it->second < 0x100) return 0;
        return it->second;
    }

    void buildTables() const {
        gbTable.assign(Core::kGbEntries, 0);
        for (int i = 0; i < Core::kGbEntries; ++i)
            if (uint16_t pair = Core::gbPairOfIndex(i))
                gbTable[size_t(i)] = mapChar(gbk.decode[pair], big5, s2t, true);
        big5Table.assign(Core::kBig5Entries, 0);
        for (int i = 0; i < Core::kBig5Entries; ++i)
            big5Table[size_t(i)] = mapChar(big5.decode[Core::big5PairOfIndex(i)], gbk, t2s, false);
    }
};

Core::Core() : d(new Impl) {
    d->gbk.build("GBK", gbkTrail);
    d->big5.build("BIG5", big5Trail);
}

Core::~Core() {
    delete d;
}

Core& Core::instance() {
    static Core core;
    return core;
}

std::string Core::gbToBig5(std::string_view gb) const {
    return d->convert(gb, d->gbk, d->big5, d->s2t, gbkTrail);
}

std::string Core::big5ToGb(std::string_view big5) const {
    return d->convert(big5, d->big5, d->gbk, d->t2s, big5Trail);
}

const std::vector<uint16_t>& Core::gbTable() const {
    std::call_once(d->tablesOnce, [this] { d->buildTables(); });
    return d->gbTable;
}

const std::vector<uint16_t>& Core::big5Table() const {
    std::call_once(d->tablesOnce, [this] { d->buildTables(); });
    return d->big5Table;
}

const std::map<char32_t, char32_t>& Core::builtinChoices() {
    static const std::map<char32_t, char32_t> choices = [] {
        static constexpr char32_t table[][2] = {
#include "CharacterChoices.inc"
        };
        std::map<char32_t, char32_t> m;
        for (const auto& [simplified, traditional] : table)
            m.emplace(simplified, traditional);
        return m;
    }();
    return choices;
}

char32_t Core::oneCharToTraditional(char32_t simplified, bool useChoices) const {
    if (useChoices) {
        const auto& chosen = builtinChoices();
        if (auto k = chosen.find(simplified); k != chosen.end()) return k->second;
    }
    return Impl::singleForm(simplified, d->s2t);
}

namespace {

bool isHan(char32_t c) {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF);
}

// Calls `fn(simplified, traditional)` for every Han character of `utf8` that GBK encodes, aligned with
// its phrase-aware conversion; lines whose conversion changes the length are skipped.
template <typename Fn>
void forEachAligned(std::string_view utf8, const std::unordered_map<char32_t, uint16_t>& gbk,
                    const OpenCC& cc, Fn fn) {
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string_view::npos) end = utf8.size();
        const std::string line(utf8.substr(start, end - start));
        start = end + 1;
        const std::u32string src = fromUtf8(line);
        const std::u32string dst = fromUtf8(cc.convert(line));
        if (src.size() != dst.size()) continue;
        for (size_t k = 0; k < src.size(); ++k)
            if (isHan(src[k]) && gbk.count(src[k])) fn(src[k], dst[k]);
    }
}

} // namespace

Core::FormCounts Core::countForms(std::string_view utf8) const {
    FormCounts counts;
    forEachAligned(utf8, d->gbk.encode, d->s2t, [&](char32_t s, char32_t t) { ++counts[s][t]; });
    return counts;
}

std::map<char32_t, char32_t> Core::chooseForms(const FormCounts& counts, long minCount) const {
    std::map<char32_t, char32_t> choices;
    for (const auto& [simplified, forms] : counts) {
        const char32_t single = oneCharToTraditional(simplified, false);
        const auto singleIt = forms.find(single);
        const long singleCount = singleIt == forms.end() ? 0 : singleIt->second;
        char32_t best = single;
        long bestCount = singleCount;
        for (const auto& [form, n] : forms)
            if (n > bestCount && d->big5.encode.count(form)) {
                best = form;
                bestCount = n;
            }
        if (best != single && bestCount >= minCount) choices.emplace(simplified, best);
    }
    return choices;
}

Core::Agreement Core::measure(std::string_view utf8, const std::map<char32_t, char32_t>* choices) const {
    Agreement a;
    std::unordered_map<char32_t, char32_t> single;
    forEachAligned(utf8, d->gbk.encode, d->s2t, [&](char32_t s, char32_t t) {
        char32_t form = 0;
        if (choices)
            if (auto k = choices->find(s); k != choices->end()) form = k->second;
        if (!form) {
            auto it = single.find(s);
            if (it == single.end()) it = single.emplace(s, oneCharToTraditional(s, false)).first;
            form = it->second;
        }
        // What the table can hold: the form when Big5 has it, else the source character.
        if (!d->big5.encode.count(form)) form = s;
        ++a.characters;
        if (form == t) ++a.agreeing;
    });
    return a;
}

uint16_t Core::gbPairOfIndex(int index) {
    if (index < 0) return 0;
    if (index <= 8177) {
        const int lead = 0xA1 + index / 94, trail = 0xA1 + index % 94;
        if (lead >= 0xAA && lead <= 0xAF) return 0; // no such rows in the first area
        return uint16_t(lead << 8 | trail);
    }
    if (index < 14290) {
        const int k = index - 8178, lead = 0x81 + k / 191, trail = 0x40 + k % 191;
        return trail == 0x7F ? 0 : uint16_t(lead << 8 | trail);
    }
    if (index < 22535) {
        const int k = index - 14290, lead = 0xAA + k / 97, trail = 0x40 + k % 97;
        return trail == 0x7F ? 0 : uint16_t(lead << 8 | trail);
    }
    if (index < kGbEntries) {
        const int k = index - 22535, lead = 0xA8 + k / 97, trail = 0x40 + k % 97;
        return trail == 0x7F ? 0 : uint16_t(lead << 8 | trail);
    }
    return 0;
}

uint16_t Core::big5PairOfIndex(int index) {
    if (index < 0 || index >= kBig5Entries) return 0;
    const int lead = 0xA1 + index / 157, r = index % 157;
    const int trail = r < 63 ? 0x40 + r : 0xA1 + (r - 63);
    return uint16_t(lead << 8 | trail);
}

bool Core::writeMappingFile(const std::string& path) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    char line[40];
    f << "[BIG5]\n";
    const std::vector<uint16_t>& b5 = big5Table();
    for (int i = 0; i < kBig5Entries; ++i) {
        snprintf(line, sizeof line, "BIG5%04X=$%04X\n", big5PairOfIndex(i), b5[size_t(i)]);
        f << line;
    }
    f << "\n[GB]\n";
    const std::vector<uint16_t>& gb = gbTable();
    for (int i = 0; i < kGbEntries; ++i) {
        if (uint16_t pair = gbPairOfIndex(i))
            snprintf(line, sizeof line, "GB%04X=$%04X\n", pair, gb[size_t(i)]);
        else
            snprintf(line, sizeof line, "GB-%05d=$0000\n", i);
        f << line;
    }
    f.flush();
    return bool(f);
}

} // namespace kvlanguage
