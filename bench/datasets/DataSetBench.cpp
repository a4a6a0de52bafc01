// Client dataset against a plain std::vector of rows, 100,000 rows of the QLDMB layout:
// opening and walking, Locate on a non-indexed field, sorting on a string column, memory per row.
// Each dataset figure is printed with its ratio to the vector doing the same work in the same run.
#include "platform/ClientDataSet.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

using namespace kvx;

namespace {

constexpr int kRows = 100000;

QList<FieldDesc> layout() {
    return {FieldDesc("MB001", FieldType::String, 20),      FieldDesc("MB001C", FieldType::String, 24),
            FieldDesc("MB002", FieldType::String, 1),       FieldDesc("MB004", FieldType::String, 1),
            FieldDesc("MB005", FieldType::String, 255),     FieldDesc("COMPANY", FieldType::String, 10),
            FieldDesc("CREATOR", FieldType::String, 10),    FieldDesc("USR_GROUP", FieldType::String, 10),
            FieldDesc("CREATE_DATE", FieldType::String, 8), FieldDesc("MODIFIER", FieldType::String, 10),
            FieldDesc("MODI_DATE", FieldType::String, 8),   FieldDesc("FLAG", FieldType::Float),
            FieldDesc("MB003", FieldType::String, 255)};
}

// Rows as they arrive from the wire: every row and text freshly allocated.
Row makeRow(int i, const QString& remark) {
    return Row{QStringLiteral("D%1").arg(i, 6, 10, QChar('0')),
               QStringLiteral("file%1.xml").arg(i),
               QString::number(i % 3 + 1),
               QString::number(i % 2 + 1),
               remark,
               QStringLiteral("KVX"),
               QStringLiteral("admin"),
               QStringLiteral("G01"),
               QStringLiteral("20240101"),
               QStringLiteral("admin"),
               QStringLiteral("20240301"),
               double(i % 1000),
               QStringLiteral("a_b_c_d_e_f_g_h_i_j")};
}

const std::vector<QString>& remarks() {
    static std::vector<QString> r = [] {
        std::vector<QString> v;
        std::mt19937 rng(42);
        std::uniform_int_distribution<int> d(0, 25);
        for (int i = 0; i < kRows; ++i) {
            QString s;
            for (int k = 0; k < 12; ++k)
                s += QChar('a' + d(rng));
            v.push_back(s);
        }
        return v;
    }();
    return r;
}

class BenchProvider : public ProviderEndpoint {
public:
    Variant dataRequest(const QString&, const Variant&) override {
        next_ = 0;
        return {};
    }
    DataPacket getRecords(const QString&, int count) override {
        DataPacket p;
        p.fields = layout();
        const int n = count < 0 ? kRows - next_ : std::min(count, kRows - next_);
        p.rows.reserve(n);
        for (int i = 0; i < n; ++i, ++next_)
            p.rows << makeRow(next_, remarks()[size_t(next_)]);
        p.eof = next_ >= kRows;
        return p;
    }
    ApplyResult applyUpdates(const QString&, const Delta&, int) override { return {}; }

private:
    int next_ = 0;
};

std::vector<Row> vectorRows() {
    std::vector<Row> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        rows.push_back(makeRow(i, remarks()[size_t(i)]));
    return rows;
}

struct OpenSet {
    BenchProvider p;
    TClientDataSet ds;
    OpenSet() {
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(-1);
        ds.Open();
    }
};

void BM_OpenWalk_Dataset(benchmark::State& state) {
    for (auto _ : state) {
        BenchProvider p;
        TClientDataSet ds;
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(-1);
        ds.Open();
        TField* flag = ds.FieldByName("FLAG");
        TField* name = ds.FieldByName("MB001");
        double sum = 0;
        qsizetype len = 0;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            sum += flag->AsFloat();
            len += name->AsString().size();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(len);
    }
}

void BM_OpenWalk_Vector(benchmark::State& state) {
    for (auto _ : state) {
        BenchProvider p;
        DataPacket packet = p.getRecords("pvdMain", -1);
        std::vector<Row> rows(packet.rows.begin(), packet.rows.end());
        packet.rows.clear();
        double sum = 0;
        qsizetype len = 0;
        for (const Row& r : rows) {
            sum += r[11].toDouble();
            len += r[0].toString().size();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(len);
    }
}

void BM_Locate_Dataset(benchmark::State& state) {
    OpenSet s;
    const QString wanted = remarks()[kRows - 1]; // the last row: a full scan
    for (auto _ : state) {
        s.ds.First();
        benchmark::DoNotOptimize(s.ds.Locate("MB005", wanted));
    }
}

void BM_Locate_Vector(benchmark::State& state) {
    const std::vector<Row> rows = vectorRows();
    const QString wanted = remarks()[kRows - 1];
    for (auto _ : state) {
        auto it =
            std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r[4].toString() == wanted; });
        benchmark::DoNotOptimize(it);
    }
}

void BM_Sort_Dataset(benchmark::State& state) {
    OpenSet s;
    for (auto _ : state) {
        s.ds.SetIndexFieldNames("MB005");
        state.PauseTiming();
        s.ds.SetIndexFieldNames("");
        state.ResumeTiming();
    }
}

void BM_Sort_Vector(benchmark::State& state) {
    const std::vector<Row> rows = vectorRows();
    for (auto _ : state) {
        std::vector<int> order(rows.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return rows[size_t(a)][4].compare(rows[size_t(b)][4]) < 0; });
        benchmark::DoNotOptimize(order.data());
    }
}

size_t heapInUse() {
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// Bytes per row held by an open dataset and by a vector of the same rows.
void reportMemory() {
    remarks();
    const size_t base = heapInUse();
    size_t datasetBytes = 0, vectorBytes = 0;
    {
        OpenSet s;
        datasetBytes = heapInUse() - base;
    }
    const size_t base2 = heapInUse();
    {
        std::vector<Row> rows = vectorRows();
        vectorBytes = heapInUse() - base2;
        benchmark::DoNotOptimize(rows.data());
    }
    std::printf("\nMemory per row (13 columns): dataset %.0f bytes, vector %.0f bytes, ratio %.2f\n",
                double(datasetBytes) / kRows, double(vectorBytes) / kRows,
                double(datasetBytes) / double(vectorBytes));
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    std::map<std::string, double> times;
};

} // namespace

BENCHMARK(BM_OpenWalk_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWalk_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Locate_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Locate_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Vector)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nDataset against std::vector of rows (%d rows), same run:\n", kRows);
    for (const char* op : {"OpenWalk", "Locate", "Sort"}) {
        const std::string d = std::string("BM_") + op + "_Dataset", v = std::string("BM_") + op + "_Vector";
        if (reporter.times.count(d) && reporter.times.count(v))
            std::printf("  %-9s dataset %9.2f ms  vector %9.2f ms  ratio %.2f (CPU time)\n", op,
                        reporter.times[d], reporter.times[v], reporter.times[d] / reporter.times[v]);
    }
    reportMemory();
    benchmark::Shutdown();
    return 0;
}
