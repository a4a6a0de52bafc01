// Find over 100,000 fetched rows: TkvSearchDialog::Search through a grid (display texts as the grid
// shows them, trailing blanks cut, case folded) against a plain loop over the same dataset's display
// texts doing the same comparison. Both search for a text no row holds, so both visit every row.
// Prints the ratio at the end.
#include "BestTimes.h"
#include "controls/FDBGrid.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"
#include "query/KvSearch.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>

using namespace kvx;

namespace {
constexpr int kRows = 100000;

struct Fixture {
    TClientDataSet ds;
    TDataSource src;
    TFDBGrid grid;
    Fixture() {
        auto& defs = ds.FieldDefs();
        defs.Add("MB001", FieldType::String, 20);
        defs.Add("MB002", FieldType::String, 1);
        defs.Add("MB005", FieldType::String, 255);
        ds.CreateDataSet();
        TField* mb001 = ds.FindField("MB001");
        TField* mb002 = ds.FindField("MB002");
        TField* mb005 = ds.FindField("MB005");
        for (int i = 0; i < kRows; ++i) {
            ds.Append();
            mb001->SetAsString(QStringLiteral("D%1").arg(i, 6, 10, QChar('0')));
            mb002->SetAsString(QString::number(i % 3 + 1));
            mb005->SetAsString(QStringLiteral("批量测试记录 remark %1  ").arg(i));
            ds.Post();
        }
        ds.First();
        src.SetDataSet(&ds);
        grid.setDataSource(&src);
    }
};

Fixture* gFixture = nullptr; // lives between the application's construction and its end

Fixture& fixture() {
    return *gFixture;
}

const QString kMissing = QStringLiteral("no such remark");

void BM_Find_Search(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        f.ds.First();
        const bool found = TkvSearchDialog::Search(&f.grid, "MB005", kMissing, TkvSearchDialog::soFromCursor,
                                                   TkvSearchDialog::sdForward, false, false);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Find_PlainLoop(benchmark::State& state) {
    Fixture& f = fixture();
    TField* field = f.ds.FindField("MB005");
    const QString wanted = kMissing.toUpper();
    for (auto _ : state) {
        f.ds.First();
        f.ds.DisableControls();
        const TBookmark start = f.ds.Bookmark();
        bool found = false;
        for (f.ds.Next(); !f.ds.Eof(); f.ds.Next()) {
            QString cell = field->DisplayText();
            qsizetype end = cell.size();
            while (end > 0 && cell.at(end - 1) == u' ')
                --end;
            cell.truncate(end);
            if (cell.toUpper().contains(wanted)) {
                found = true;
                break;
            }
        }
        if (!found) f.ds.GotoBookmark(start);
        f.ds.EnableControls();
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_Find_Search)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_PlainLoop)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture data;
    gFixture = &data;
    kvxbench::BestTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [](const std::map<std::string, double>& t, const char* what) {
        if (t.count("BM_Find_Search") && t.count("BM_Find_PlainLoop") && t.at("BM_Find_PlainLoop") > 0)
            std::printf("find over 100k fetched rows / plain loop over display texts (%s) %8.2f\n", what,
                        t.at("BM_Find_Search") / t.at("BM_Find_PlainLoop"));
    };
    std::printf("\nRatios (time / peer time):\n");
    ratio(reporter.seconds, "wall");
    ratio(reporter.cpuSeconds, "CPU");
    std::fflush(stdout);
    gFixture = nullptr;
    return 0;
}
