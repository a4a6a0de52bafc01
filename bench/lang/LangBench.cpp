// GB -> Big5 of a few MB of Chinese text: the table-driven converter over the generated mapping file,
// against the same conversion built from standard parts (iconv GBK -> UTF-16, a simplified ->
// traditional character table, iconv -> Big5), OpenCC restricted to the same characters (the
// conversion step only), iconv decoding alone, OpenCC's phrase-based s2tw (different output) and the
// conversion library. Prints each time relative to the table, then how far the outputs agree.
// Run: build/bin/lang_bench
//
// The text is made of the Simplified phrases of OpenCC's STPhrases dictionary, picked by a fixed
// pseudo-random sequence and joined with Chinese punctuation and line breaks.
#include "lang/Language_Convert.h"
#include "lang/Translator.h"
#include "platform/CodePage.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <map>
#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>
#include <opencc/opencc.h>
#include <random>

namespace {

constexpr size_t kTargetBytes = 3 << 20; // GBK bytes

struct Corpus {
    QByteArray gbk;
    std::string utf8;
};

const Corpus& corpus() {
    static const Corpus c = [] {
        FILE* fp = std::fopen("/usr/share/opencc/STPhrases.ocd2", "rb");
        if (!fp) throw std::runtime_error("OpenCC's STPhrases.ocd2 is missing");
        const opencc::LexiconPtr lexicon = opencc::MarisaDict::NewFromFile(fp)->GetLexicon();
        std::fclose(fp);
        std::vector<QString> phrases;
        for (const auto& entry : *lexicon) {
            const QString p = QString::fromStdString(entry->Key());
            if (kvx::codepage::decode(kvx::codepage::encode(p, 936), 936) == p) phrases.push_back(p);
        }
        std::mt19937 rng(20261208);
        const QString punct[] = {QStringLiteral("，"), QStringLiteral("。"), QStringLiteral("、"),
                                 QStringLiteral("\n")};
        QString text;
        qsizetype approxBytes = 0;
        while (approxBytes < qsizetype(kTargetBytes)) {
            const QString& p = phrases[rng() % phrases.size()];
            text += p;
            approxBytes += p.size() * 2;
            if (rng() % 4 == 0) {
                text += punct[rng() % 4];
                approxBytes += 2;
            }
        }
        Corpus out;
        out.gbk = kvx::codepage::encode(text, 936);
        out.utf8 = text.toStdString();
        return out;
    }();
    return c;
}

void BM_TableGbToBig5(benchmark::State& state) {
    const QByteArray& in = corpus().gbk;
    const auto tables = kvx::lang::GbBig5Tables::fromFile(QStringLiteral(KVX_BUILD_DIR "/client/Language"));
    for (auto _ : state)
        benchmark::DoNotOptimize(tables.gbToBig5(in));
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

void BM_IconvDecodeGbk(benchmark::State& state) {
    const QByteArray& in = corpus().gbk;
    std::string out(size_t(in.size()) * 2, '\0');
    iconv_t cd = iconv_open("UTF-8", "GBK");
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* inp = const_cast<char*>(in.constData());
        size_t inLeft = size_t(in.size());
        char* outp = out.data();
        size_t outLeft = out.size();
        iconv(cd, &inp, &inLeft, &outp, &outLeft);
        benchmark::DoNotOptimize(outp);
    }
    iconv_close(cd);
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

void BM_PlatformDecodeGbk(benchmark::State& state) {
    const QByteArray& in = corpus().gbk;
    for (auto _ : state)
        benchmark::DoNotOptimize(kvx::codepage::decode(in, 936));
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

// A simplified -> traditional table of single characters (OpenCC's character dictionary, first
// choice), over the Basic Multilingual Plane.
const std::vector<char16_t>& charTable() {
    static const std::vector<char16_t> table = [] {
        std::vector<char16_t> t(0x10000);
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = char16_t(i);
        FILE* fp = std::fopen("/usr/share/opencc/STCharacters.ocd2", "rb");
        if (!fp) throw std::runtime_error("OpenCC's STCharacters.ocd2 is missing");
        const opencc::LexiconPtr lexicon = opencc::MarisaDict::NewFromFile(fp)->GetLexicon();
        std::fclose(fp);
        for (const auto& entry : *lexicon) {
            const QString from = QString::fromStdString(entry->Key());
            const QString to = QString::fromStdString(entry->GetDefault());
            if (from.size() == 1 && to.size() == 1) t[from[0].unicode()] = to[0].unicode();
        }
        return t;
    }();
    return table;
}

// iconv over a whole buffer; an unconvertible sequence becomes `replacement` and skips `skip` bytes.
size_t iconvAll(iconv_t cd, const char* in, size_t inLeft, char* out, size_t outSize, const char* replacement,
                size_t skip) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inp = const_cast<char*>(in);
    char* outp = out;
    size_t outLeft = outSize;
    while (inLeft > 0) {
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1)) break;
        if (errno == E2BIG) break;
        const size_t r = std::strlen(replacement);
        std::memcpy(outp, replacement, r);
        outp += r;
        outLeft -= r;
        const size_t n = std::min(skip, inLeft);
        inp += n;
        inLeft -= n;
    }
    return outSize - outLeft;
}

// The same unit of work from standard parts: iconv GBK -> UTF-16, the character table, iconv -> Big5.
struct StandardPartsConverter {
    iconv_t toUtf16 = iconv_open("UTF-16LE", "GBK");
    iconv_t toBig5 = iconv_open("BIG5", "UTF-16LE");
    std::vector<char> utf16, big5;
    ~StandardPartsConverter() {
        iconv_close(toUtf16);
        iconv_close(toBig5);
    }
    QByteArray convert(const QByteArray& gbk) {
        const std::vector<char16_t>& table = charTable();
        utf16.resize(size_t(gbk.size()) * 2 + 16);
        const size_t units = iconvAll(toUtf16, gbk.constData(), size_t(gbk.size()), utf16.data(),
                                      utf16.size(), "\xfd\xff", 1) /
                             2;
        auto* u = reinterpret_cast<char16_t*>(utf16.data());
        for (size_t i = 0; i < units; ++i)
            u[i] = table[u[i]];
        big5.resize(size_t(gbk.size()) + 16);
        const size_t n = iconvAll(toBig5, utf16.data(), units * 2, big5.data(), big5.size(), "?", 2);
        return QByteArray(big5.data(), qsizetype(n));
    }
};

void BM_StandardPartsGbToBig5(benchmark::State& state) {
    const QByteArray& in = corpus().gbk;
    StandardPartsConverter c;
    charTable();
    for (auto _ : state)
        benchmark::DoNotOptimize(c.convert(in));
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

// OpenCC restricted to the same character dictionary (no phrases), on the UTF-8 text: the conversion
// step alone, without the two encodings the other converters include.
std::string charOnlyConfig() {
    const std::string path = QDir::temp().filePath(QStringLiteral("kvx-s2t-chars.json")).toStdString();
    FILE* fp = std::fopen(path.c_str(), "w");
    if (!fp) throw std::runtime_error("cannot write the OpenCC configuration");
    std::fputs(R"({"name":"characters only","segmentation":{"type":"mmseg","dict":{"type":"ocd2",)"
               R"("file":"/usr/share/opencc/STCharacters.ocd2"}},"conversion_chain":[{"dict":{"type":"ocd2",)"
               R"("file":"/usr/share/opencc/STCharacters.ocd2"}}]})",
               fp);
    std::fclose(fp);
    return path;
}

void BM_OpenCCCharactersOnly(benchmark::State& state) {
    const std::string& in = corpus().utf8;
    opencc_t cc = opencc_open(charOnlyConfig().c_str());
    if (cc == opencc_t(-1)) {
        state.SkipWithError("OpenCC could not load the character configuration");
        return;
    }
    for (auto _ : state) {
        char* out = opencc_convert_utf8(cc, in.data(), in.size());
        benchmark::DoNotOptimize(out);
        opencc_convert_utf8_free(out);
    }
    opencc_close(cc);
    state.SetBytesProcessed(int64_t(state.iterations()) * corpus().gbk.size());
}

// How far the table-driven result and the standard-parts result agree, character by character.
void reportAgreement() {
    const QByteArray& in = corpus().gbk;
    const auto tables = kvx::lang::GbBig5Tables::fromFile(QStringLiteral(KVX_BUILD_DIR "/client/Language"));
    StandardPartsConverter c;
    const QString a = kvx::codepage::decode(tables.gbToBig5(in), 950);
    const QString b = kvx::codepage::decode(c.convert(in), 950);
    qsizetype differ = std::abs(a.size() - b.size());
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) ++differ;
    std::printf("table-driven vs standard parts: %lld of %lld characters differ (%.2f%%)\n",
                static_cast<long long>(differ), static_cast<long long>(a.size()),
                100.0 * double(differ) / double(std::max<qsizetype>(1, a.size())));
}

void BM_OpenCCSimplifiedToTraditional(benchmark::State& state) {
    const std::string& in = corpus().utf8;
    opencc_t cc = opencc_open("s2tw.json");
    for (auto _ : state) {
        char* out = opencc_convert_utf8(cc, in.data(), in.size());
        benchmark::DoNotOptimize(out);
        opencc_convert_utf8_free(out);
    }
    opencc_close(cc);
    state.SetBytesProcessed(int64_t(state.iterations()) * corpus().gbk.size());
}

void BM_KvlanguageLibrary(benchmark::State& state) {
    const QByteArray& in = corpus().gbk;
    TTranslator t(QStringLiteral(KVX_BUILD_DIR "/lib/Kvlanguage.so"));
    for (auto _ : state)
        benchmark::DoNotOptimize(t.GBToBig5(in));
    state.SetBytesProcessed(int64_t(state.iterations()) * in.size());
}

BENCHMARK(BM_TableGbToBig5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardPartsGbToBig5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCCCharactersOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvDecodeGbk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlatformDecodeGbk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCCSimplifiedToTraditional)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KvlanguageLibrary)->Unit(benchmark::kMillisecond);

// Console output plus each benchmark's time relative to the table-driven conversion.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Single runs, or the medians when repetitions are asked for.
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
                times_[r.run_name.function_name] = {r.GetAdjustedCPUTime(), r.GetAdjustedRealTime()};
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto base = times_.find("BM_TableGbToBig5");
        if (base == times_.end()) return;
        // CPU time is the figure to compare on a shared machine; real time is shown beside it.
        std::printf("\n%zu GBK bytes; time relative to BM_TableGbToBig5 (cpu, real):\n",
                    size_t(corpus().gbk.size()));
        for (const auto& [name, t] : times_)
            std::printf("  %-36s %8.2fx %8.2fx\n", name.c_str(), t.first / base->second.first,
                        t.second / base->second.second);
    }

private:
    std::map<std::string, std::pair<double, double>> times_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    corpus(); // built before the clock starts
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reportAgreement();
    benchmark::Shutdown();
    return 0;
}
