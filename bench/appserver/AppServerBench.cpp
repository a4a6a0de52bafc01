// Application-server benchmark. In one run:
//  - a call's round trip on the program server object in process and over a loopback socket;
//  - fetching every row of a 100,000-row table through the provider in packets (in process and over
//    loopback) against a plain SELECT of the same rows through the same database driver.
// Prints the ratios at the end.
#include "Passwords.h"
#include "ProgramServer.h"
#include "platform/SocketConnection.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <signal.h>

using kvx::Variant;

namespace {
constexpr int kRows = 100000;

struct Fixture {
    QTemporaryDir dir;
    kvxsrv::StorageConfig config;
    QProcess daemon;
    int port = 0;
    std::shared_ptr<kvxsrv::ProgramServer> local;
    std::unique_ptr<kvx::SocketConnection> remote;

    Fixture() {
        config.databaseFile = dir.filePath("bench.db");
        {
            kvxsrv::Storage s(config);
            // A table shaped like the transmission settings, with 100,000 rows.
            QString ddl = s.scalar("SELECT sql FROM sqlite_master WHERE name = 'QLDMB'").toString();
            ddl.replace("QLDMB", "BENCHT");
            s.exec(ddl);
            s.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                   QString::number(kRows) +
                   ") INSERT INTO BENCHT (MB001, MB001C, MB002, MB004, MB005, COMPANY, CREATOR, USR_GROUP, "
                   "CREATE_DATE, MODIFIER, MODI_DATE, FLAG, MB003) SELECT printf('K%06d', i), "
                   "printf('KV_%06d.XML', i), "
                   "CAST(i % 3 + 1 AS TEXT), CAST(i % 2 + 1 AS TEXT), '批量测试记录 ' || i, 'DEMO', 'DS', "
                   "'ADMIN', "
                   "'20240311', '', '', i % 1000, 'BENCH_基准测试_1_H_A_Y_500_80_BENCH.XML_MB001' FROM n");
            s.exec("INSERT INTO ADMMB (MB001, MB002, MB005, MB006, MB014) VALUES ('BENCH01', 'benchmark', "
                   "'BENCHT', "
                   "'MB001', 20)");
            kvxsrv::setPassword(s, "DS", "bench");
        }
        local = std::make_shared<kvxsrv::ProgramServer>(config);
        if (local->connect("BENCH01", "DS", "DEMO", "DEMO") != 0)
            qFatal("connect: %s", qPrintable(local->lastError()));

        daemon.setProgram(KVX_APPSERVER_BIN);
        daemon.setArguments({"--listen", "127.0.0.1:0", "--db", config.databaseFile});
        daemon.start();
        static const QRegularExpression re("listening on [0-9.]+:(\\d+)");
        QByteArray out;
        while (port == 0 && daemon.waitForReadyRead(10000)) {
            out += daemon.readAllStandardOutput();
            if (auto m = re.match(QString::fromUtf8(out)); m.hasMatch()) port = m.captured(1).toInt();
        }
        if (port == 0) qFatal("the daemon did not start");
        remote = std::make_unique<kvx::SocketConnection>();
        remote->setAddress("127.0.0.1");
        remote->setPort(port);
        remote->setServerName("TRIVON.Class1");
        remote->setCredentials("DS", "bench");
        remote->open();
        remote->appServer()->call("Connect",
                                  {Variant::fromList({"BENCH01", "DS", "DEMO", "DEMO", true, false})});
    }
    ~Fixture() {
        remote.reset();
        ::kill(pid_t(daemon.processId()), SIGTERM);
        daemon.waitForFinished(10000);
    }
};

Fixture* fixture = nullptr;

void callRoundTrip(benchmark::State& state, kvx::Dispatch& server) {
    for (auto _ : state)
        benchmark::DoNotOptimize(server.call("Whatis", {"SQLTYPE"}));
}
void BM_Call_InProcess(benchmark::State& state) {
    callRoundTrip(state, *fixture->local);
}
void BM_Call_Loopback(benchmark::State& state) {
    callRoundTrip(state, *fixture->remote->appServer());
}

void fetchAll(benchmark::State& state, kvx::ProviderEndpoint& p) {
    const int packet = int(state.range(0));
    for (auto _ : state) {
        p.dataRequest("pvdMain", kvx::DataRequest{"", "MB001", {}}.toVariant());
        qint64 rows = 0;
        for (;;) {
            const kvx::DataPacket pk = p.getRecords("pvdMain", packet);
            rows += pk.rows.size();
            if (pk.eof) break;
        }
        if (rows != kRows) state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_FetchPackets_InProcess(benchmark::State& state) {
    fetchAll(state, *fixture->local);
}
void BM_FetchPackets_Loopback(benchmark::State& state) {
    fetchAll(state, *fixture->remote->providers());
}

// The peer: the same rows, same order, through the same driver, read into values.
void BM_PlainSelect(benchmark::State& state) {
    kvxsrv::Storage s(fixture->config);
    for (auto _ : state) {
        QSqlQuery q(s.db());
        q.setForwardOnly(true);
        q.exec("SELECT "
               "MB001,MB001C,MB002,MB004,MB005,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,MODI_DATE,FLAG,"
               "MB003 FROM BENCHT ORDER BY MB001");
        qint64 rows = 0;
        while (q.next()) {
            for (int i = 0; i < 13; ++i)
                benchmark::DoNotOptimize(q.value(i));
            ++rows;
        }
        if (rows != kRows) state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_Call_InProcess);
BENCHMARK(BM_Call_Loopback);
BENCHMARK(BM_PlainSelect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchPackets_InProcess)->Arg(20)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchPackets_Loopback)->Arg(20)->Arg(1000)->Unit(benchmark::kMillisecond);

// Keeps the time per iteration of every run for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture f;
    fixture = &f;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    auto ratio = [&](const char* label, const std::string& a, const std::string& b) {
        if (t.count(a) && t.count(b) && t[b] > 0) std::printf("%-58s %8.2f\n", label, t[a] / t[b]);
    };
    std::printf("\nRatios (time / peer time):\n");
    ratio("call round trip, loopback / in process", "BM_Call_Loopback", "BM_Call_InProcess");
    ratio("100k rows, packets of 20 in process / plain SELECT", "BM_FetchPackets_InProcess/20",
          "BM_PlainSelect");
    ratio("100k rows, packets of 1000 in process / plain SELECT", "BM_FetchPackets_InProcess/1000",
          "BM_PlainSelect");
    ratio("100k rows, packets of 20 over loopback / plain SELECT", "BM_FetchPackets_Loopback/20",
          "BM_PlainSelect");
    ratio("100k rows, packets of 1000 over loopback / plain SELECT", "BM_FetchPackets_Loopback/1000",
          "BM_PlainSelect");
    fixture = nullptr;
    benchmark::Shutdown();
    return 0;
}
