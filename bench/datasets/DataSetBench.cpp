// Client dataset against a std::vector of rows and a typed struct array, 100,000 rows of the QLDMB
// layout held in memory before timing: walking, Locate on a non-indexed field, sorting on a string
// column, memory per row. Each dataset figure is printed with its ratios to the peers in the same run.
#include "BestTimes.h"
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

// The same rows as a typed record: the strongest peer for reading fields by position.
struct TypedRow {
    QString mb001, mb001c, mb002, mb004, mb005, company, creator, group, createDate, modifier, modiDate;
    double flag = 0;
    QString mb003;
};

std::vector<TypedRow> typedRows() {
    std::vector<TypedRow> out;
    out.reserve(kRows);
    for (const Row& r : vectorRows())
        out.push_back(TypedRow{r[0].toString(), r[1].toString(), r[2].toString(), r[3].toString(),
                               r[4].toString(), r[5].toString(), r[6].toString(), r[7].toString(),
                               r[8].toString(), r[9].toString(), r[10].toString(), r[11].toDouble(),
                               r[12].toString()});
    return out;
}

// Walks read a number and the length of a text on every row; rows are in memory before timing.
void BM_Walk_Dataset(benchmark::State& state) {
    OpenSet s;
    TField* flag = s.ds.FieldByName("FLAG");
    TField* name = s.ds.FieldByName("MB001");
    for (auto _ : state) {
        double sum = 0;
        qsizetype len = 0;
        for (s.ds.First(); !s.ds.Eof(); s.ds.Next()) {
            sum += flag->AsFloat();
            len += name->AsString().size();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(len);
    }
}

void BM_Walk_Vector(benchmark::State& state) {
    const std::vector<Row> rows = vectorRows();
    for (auto _ : state) {
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

void BM_Walk_Struct(benchmark::State& state) {
    const std::vector<TypedRow> rows = typedRows();
    for (auto _ : state) {
        double sum = 0;
        qsizetype len = 0;
        for (const TypedRow& r : rows) {
            sum += r.flag;
            len += r.mb001.size();
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

void BM_Locate_Struct(benchmark::State& state) {
    const std::vector<TypedRow> rows = typedRows();
    const QString wanted = remarks()[kRows - 1];
    for (auto _ : state) {
        auto it =
            std::find_if(rows.begin(), rows.end(), [&](const TypedRow& r) { return r.mb005 == wanted; });
        benchmark::DoNotOptimize(it);
    }
}

// Sorting on a text column. Every side copies its keys out of the rows, sorts positions stably and
// builds the resulting order, as the dataset does.
void BM_Sort_Dataset(benchmark::State& state) {
    OpenSet s;
    for (auto _ : state) {
        s.ds.SetIndexFieldNames("MB005");
        state.PauseTiming();
        s.ds.SetIndexFieldNames("");
        state.ResumeTiming();
    }
}

bool before(const Variant& a, const Variant& b) {
    return a.compare(b) < 0;
}

bool before(const QString& a, const QString& b) {
    return a < b;
}

template <class Rows, class Key> void sortByCopiedKeys(benchmark::State& state, const Rows& rows, Key key) {
    for (auto _ : state) {
        std::vector<decltype(key(rows[0]))> keys;
        keys.reserve(rows.size());
        for (const auto& r : rows)
            keys.push_back(key(r));
        std::vector<int> perm(rows.size());
        for (size_t i = 0; i < perm.size(); ++i)
            perm[i] = int(i);
        std::stable_sort(perm.begin(), perm.end(),
                         [&](int a, int b) { return before(keys[size_t(a)], keys[size_t(b)]); });
        benchmark::DoNotOptimize(perm.data());
    }
}

void BM_Sort_Vector(benchmark::State& state) {
    const std::vector<Row> rows = vectorRows();
    sortByCopiedKeys(state, rows, [](const Row& r) { return r[4]; });
}

void BM_Sort_Struct(benchmark::State& state) {
    const std::vector<TypedRow> rows = typedRows();
    sortByCopiedKeys(state, rows, [](const TypedRow& r) { return r.mb005; });
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

} // namespace

BENCHMARK(BM_Walk_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Struct)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Locate_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Locate_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Locate_Struct)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Dataset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Struct)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    kvxbench::BestTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nDataset against a std::vector of rows and a typed struct array (%d rows), same run:\n",
                kRows);
    for (const char* op : {"Walk", "Locate", "Sort"}) {
        const std::string b = std::string("BM_") + op;
        const double d = reporter.cpuSeconds[b + "_Dataset"] * 1e3,
                     v = reporter.cpuSeconds[b + "_Vector"] * 1e3,
                     t = reporter.cpuSeconds[b + "_Struct"] * 1e3;
        if (d > 0 && v > 0 && t > 0)
            std::printf("  %-7s dataset %8.2f ms  vector %8.2f ms (ratio %.2f)  struct %8.2f ms (ratio %.2f)"
                        " (CPU time)\n",
                        op, d, v, d / v, t, d / t);
    }
    reportMemory();
    benchmark::Shutdown();
    return 0;
}
