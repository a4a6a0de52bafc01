// GB -> Big5 of a few MB of Chinese text: the table-driven converter over the generated mapping file,
// against iconv decoding the same GBK bytes, OpenCC converting the same text (UTF-8, s2tw) and the
// conversion library (iconv tables + OpenCC + encoding). Prints each time relative to the table.
// Run: build/bin/lang_bench
//
// The text is made of the Simplified phrases of OpenCC's STPhrases dictionary, picked by a fixed
// pseudo-random sequence and joined with Chinese punctuation and line breaks.
#include "lang/Language_Convert.h"
#include "lang/Translator.h"
#include "platform/CodePage.h"

#include <QCoreApplication>
#include <QString>
#include <benchmark/benchmark.h>
#include <cstdio>
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
    benchmark::Shutdown();
    return 0;
}
