// Colour provider benchmark: every row of a 100,000-row table fetched through pvdColor (key columns and
// one settings column per coloured component, each a CASE over the program's rules inside the same
// SELECT) against the peer, a plain pvdMain fetch of the same rows on the same server object. The rules
// are those seeded for QLDI05 (three components, five conditions). Prints the ratio at the end.
#include "BestTimes.h"
#include "ProgramServer.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>

namespace {
constexpr int kRows = 100000;

struct Fixture {
    QTemporaryDir dir;
    kvxsrv::StorageConfig config;
    std::shared_ptr<kvxsrv::ProgramServer> server;

    Fixture() {
        config.databaseFile = dir.filePath("colour-bench.db");
        {
            kvxsrv::Storage s(config);
            QString ddl = s.scalar("SELECT sql FROM sqlite_master WHERE name = 'QLDMB'").toString();
            ddl.replace("QLDMB", "BENCHT");
            s.exec(ddl);
            // Modes 1-3 in turn, every fifth remark empty: each rule is met by some rows.
            s.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                   QString::number(kRows) +
                   ") INSERT INTO BENCHT (MB001, MB001C, MB002, MB004, MB005, COMPANY, CREATOR, USR_GROUP, "
                   "CREATE_DATE, MODIFIER, MODI_DATE, FLAG, MB003) SELECT printf('K%06d', i), "
                   "printf('KV_%06d.XML', i), CAST(i % 3 + 1 AS TEXT), CAST(i % 2 + 1 AS TEXT), "
                   "CASE WHEN i % 5 = 0 THEN '' ELSE '批量测试记录 ' || i END, 'DEMO', 'DS', 'ADMIN', "
                   "'20240311', '', '', i % 1000, 'BENCH_基准测试_1_H_A_Y_500_80_BENCH.XML_MB001' FROM n");
            s.exec("INSERT INTO ADMMB (MB001, MB002, MB005, MB006, MB014) VALUES ('BENCH01', 'benchmark', "
                   "'BENCHT', 'MB001', 20)");
            s.exec("INSERT INTO ADMNH (NH001, NH002, NH003) SELECT 'BENCH01', NH002, NH003 FROM ADMNH "
                   "WHERE NH001 = 'QLDI05'");
        }
        server = std::make_shared<kvxsrv::ProgramServer>(config);
        if (server->connect("BENCH01", "DS", "DEMO", "DEMO") != 0)
            qFatal("connect: %s", qPrintable(server->lastError()));
    }
};

Fixture* fixture = nullptr;

void fetchAll(benchmark::State& state, const char* provider) {
    const int packet = int(state.range(0));
    for (auto _ : state) {
        fixture->server->dataRequest(provider, kvx::DataRequest{"", "MB001", {}}.toVariant());
        qint64 rows = 0, coloured = 0;
        for (;;) {
            const kvx::DataPacket pk = fixture->server->getRecords(provider, packet);
            rows += pk.rows.size();
            for (const kvx::Row& r : pk.rows)
                if (r.size() > 1 && !r[1].toString().isEmpty()) ++coloured;
            if (pk.eof) break;
        }
        if (rows != kRows) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(coloured);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_PvdMain(benchmark::State& state) {
    fetchAll(state, "pvdMain");
}
void BM_PvdColor(benchmark::State& state) {
    fetchAll(state, "pvdColor");
}

BENCHMARK(BM_PvdMain)->Arg(20)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PvdColor)->Arg(20)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture f;
    fixture = &f;
    kvxbench::BestTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    std::printf("\nRatios (pvdColor time / pvdMain time, limit 2.0):\n");
    for (const char* arg : {"20", "1000"}) {
        const std::string a = std::string("BM_PvdColor/") + arg, b = std::string("BM_PvdMain/") + arg;
        if (t.count(a) && t.count(b) && t[b] > 0)
            std::printf("100k rows, packets of %-5s pvdColor / pvdMain %8.2f\n", arg, t[a] / t[b]);
    }
    fixture = nullptr;
    benchmark::Shutdown();
    return 0;
}
