// Application-server benchmark. In one run:
//  - a call's round trip on the program server object in process and over a loopback socket;
//  - fetching every row of a 100,000-row table through the provider in packets (in process and over
//    loopback) against a plain SELECT of the same rows through the same database driver.
//  - applyUpdates of 10,000 inserted and 10,000 modified rows against the same INSERT and UPDATE
//    statements through the same driver in one transaction. Both sides count the same 20,000 rows: the
//    same statements (INSERT of 13 columns, UPDATE of MB005 by MB001), each prepared once, bound from the
//    same values, in one transaction with its commit; the delta is built and the table put back outside
//    the timing on both. The provider also does what an apply must and the peer does not: it checks
//    every new value against its column (type, size in GBK bytes), reads the stored row of every change
//    (by batches of keys) and compares the original values with it, and builds the applied rows;
//  - a JSON-RPC round trip against a minimal JSON echo server over the same loopback interface.
// Prints the ratios at the end (wall time; the apply also in CPU time), each the best of the
// repetitions: build/bin/appserver_bench --benchmark_repetitions=5
#include "BestTimes.h"
#include "Passwords.h"
#include "ProgramServer.h"
#include "platform/SocketConnection.h"

#include "Providers.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using kvx::Variant;

namespace {
constexpr int kRows = 100000;
constexpr int kApplyRows = 10000; // inserted, and as many modified
const char* const kColumns =
    "MB001,MB001C,MB002,MB004,MB005,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,MODI_DATE,FLAG,MB003";

// A minimal JSON-RPC echo server: one thread, blocking sockets, one line in, one line out (the request
// parsed and an answer with its id written back).
class EchoServer {
public:
    EchoServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listen_, 1) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            qFatal("echo server: cannot listen");
        port = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EchoServer() {
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
    }
    int port = 0;

private:
    int listen_ = -1;
    std::thread thread_;
    void serve() {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        QByteArray buffer;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            buffer.append(chunk, n);
            qsizetype end;
            while ((end = buffer.indexOf('\n')) >= 0) {
                const QJsonObject req = QJsonDocument::fromJson(buffer.left(end)).object();
                buffer.remove(0, end + 1);
                QJsonObject r{{"jsonrpc", "2.0"}, {"result", 1}, {"id", req.value("id")}};
                const QByteArray out = QJsonDocument(r).toJson(QJsonDocument::Compact) + '\n';
                if (::send(fd, out.constData(), size_t(out.size()), MSG_NOSIGNAL) < 0) break;
            }
        }
        ::close(fd);
    }
};

struct Fixture {
    QTemporaryDir dir;
    kvxsrv::StorageConfig config;
    QProcess daemon;
    int port = 0;
    std::shared_ptr<kvxsrv::ProgramServer> local;
    std::unique_ptr<kvx::SocketConnection> remote;
    std::unique_ptr<EchoServer> echo;
    QTcpSocket echoClient;

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
            // The table the apply benchmarks change: the first rows of the same shape.
            ddl.replace("BENCHT", "BENCHA");
            s.exec(ddl);
            s.exec(QStringLiteral("INSERT INTO BENCHA SELECT * FROM BENCHT WHERE MB001 <= 'K%1'")
                       .arg(kApplyRows, 6, 10, QChar('0')));
        }
        {
            // No time limit on queries: fetching every row in one answer takes seconds on a busy machine.
            QFile ini(dir.filePath("StaveloS.ini"));
            if (!ini.open(QIODevice::WriteOnly)) qFatal("cannot write StaveloS.ini");
            ini.write("[Limits]\nQuerySeconds=0\n");
        }
        config.queryMs = 0;
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
        echo = std::make_unique<EchoServer>();
        echoClient.connectToHost("127.0.0.1", quint16(echo->port));
        if (!echoClient.waitForConnected(5000)) qFatal("the echo server does not answer");
        echoClient.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    ~Fixture() {
        echoClient.disconnectFromHost();
        echo.reset();
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

// The peer of a call: the same client work (a request object written as one line, the answer line
// read and parsed) against a server that only parses the request and answers.
void BM_Call_EchoServer(benchmark::State& state) {
    QTcpSocket& sock = fixture->echoClient;
    QByteArray buffer;
    qint64 id = 1;
    for (auto _ : state) {
        QJsonObject req{
            {"jsonrpc", "2.0"},
            {"method", "invoke"},
            {"params", QJsonObject{{"object", 1}, {"method", "Whatis"}, {"args", QJsonArray{"SQLTYPE"}}}},
            {"id", id++}};
        sock.write(QJsonDocument(req).toJson(QJsonDocument::Compact) + '\n');
        while (sock.bytesToWrite() > 0)
            sock.waitForBytesWritten(5000);
        qsizetype end = -1;
        for (;;) {
            const qsizetype from = buffer.size();
            buffer += sock.readAll();
            if ((end = buffer.indexOf('\n', from)) >= 0) break;
            if (!sock.waitForReadyRead(5000)) {
                state.SkipWithError("echo server silent");
                return;
            }
        }
        benchmark::DoNotOptimize(QJsonDocument::fromJson(buffer.left(end)).object().value("result"));
        buffer.remove(0, end + 1);
    }
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

// The apply of one delta: 10,000 new rows and 10,000 changed ones. The rows are fetched and the delta
// built outside the timing; the table is put back before each round.
struct ApplyRound {
    QList<kvx::FieldDesc> fields;
    kvx::Delta delta;
};

ApplyRound prepareApply(kvxsrv::Storage& s, kvxsrv::TableProvider& provider, int round) {
    s.exec("DELETE FROM BENCHA WHERE MB001 >= 'N'");
    provider.dataRequest(kvx::DataRequest{"", "MB001", {}}.toVariant());
    const kvx::DataPacket all = provider.getRecords(-1);
    ApplyRound r;
    r.fields = all.fields;
    r.delta.fields = all.fields;
    const int mb005 = all.fieldIndex("MB005"), mb001 = all.fieldIndex("MB001");
    for (int i = 0; i < kApplyRows && i < all.rows.size(); ++i) {
        kvx::Row fresh = all.rows[i];
        fresh[mb001] = QStringLiteral("N%1").arg(i, 6, 10, QChar('0'));
        r.delta.rows.append({kvx::UpdateStatus::Inserted, {}, fresh});
        kvx::Row changed(all.fields.size());
        changed[mb005] = QStringLiteral("修改 %1 round %2").arg(i).arg(round);
        r.delta.rows.append({kvx::UpdateStatus::Modified, all.rows[i], changed});
    }
    return r;
}

kvxsrv::TableProvider::Options applyOptions() {
    kvxsrv::TableProvider::Options o;
    o.table = "BENCHA";
    o.keyFields = {"MB001"};
    o.columns = QString::fromLatin1(kColumns).split(',');
    return o;
}

void BM_Apply_Provider(benchmark::State& state) {
    kvxsrv::Storage s(fixture->config);
    kvxsrv::TableProvider provider(s, applyOptions());
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ApplyRound r = prepareApply(s, provider, ++round);
        state.ResumeTiming();
        const kvx::ApplyResult res = provider.applyUpdates(r.delta, 0);
        if (res.errorCount != 0 || res.applied.size() != r.delta.rows.size())
            state.SkipWithError("the apply failed");
    }
    state.SetItemsProcessed(state.iterations() * 2 * kApplyRows);
}

// The peer: the same INSERT and UPDATE statements, each prepared once, bound from the same values, in
// one transaction through the same driver (no value checks, no concurrency check, no applied rows).
void BM_Apply_PlainStatements(benchmark::State& state) {
    kvxsrv::Storage s(fixture->config);
    kvxsrv::TableProvider provider(s, applyOptions());
    const QStringList cols = QString::fromLatin1(kColumns).split(',');
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ApplyRound r = prepareApply(s, provider, ++round);
        state.ResumeTiming();
        const int mb005 = r.delta.fields.isEmpty() ? 0 : int(cols.indexOf("MB005"));
        kvxsrv::Storage::Transaction tx(s);
        QSqlQuery insert(s.db()), update(s.db());
        insert.prepare(QStringLiteral("INSERT INTO BENCHA (%1) VALUES (?%2)")
                           .arg(kColumns, QString(",?").repeated(cols.size() - 1)));
        update.prepare("UPDATE BENCHA SET MB005 = ? WHERE MB001 = ?");
        bool ok = true;
        for (const kvx::DeltaRow& d : r.delta.rows) {
            if (d.status == kvx::UpdateStatus::Inserted) {
                for (int c = 0; c < cols.size(); ++c)
                    insert.bindValue(c, kvxsrv::toSqlValue(d.newValues[c]));
                ok = insert.exec() && ok;
            } else {
                update.bindValue(0, kvxsrv::toSqlValue(d.newValues[mb005]));
                update.bindValue(1, kvxsrv::toSqlValue(d.oldValues[0]));
                ok = update.exec() && ok;
            }
        }
        tx.commit();
        if (!ok) state.SkipWithError("a statement failed");
    }
    state.SetItemsProcessed(state.iterations() * 2 * kApplyRows);
}

BENCHMARK(BM_Call_InProcess);
BENCHMARK(BM_Call_EchoServer);
BENCHMARK(BM_Call_Loopback);
BENCHMARK(BM_PlainSelect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchPackets_InProcess)->Arg(20)->Arg(1000)->Arg(-1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchPackets_Loopback)->Arg(20)->Arg(1000)->Arg(-1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Apply_Provider)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Apply_PlainStatements)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture f;
    fixture = &f;
    kvxbench::BestTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    auto ratio = [&](const char* label, const std::string& a, const std::string& b) {
        if (t.count(a) && t.count(b) && t[b] > 0) std::printf("%-58s %8.2f\n", label, t[a] / t[b]);
    };
    std::printf("\nRatios (time / peer time):\n");
    ratio("call round trip, loopback / in process", "BM_Call_Loopback", "BM_Call_InProcess");
    ratio("JSON-RPC round trip, daemon / minimal JSON echo server", "BM_Call_Loopback", "BM_Call_EchoServer");
    ratio("100k rows in one answer, loopback / in process", "BM_FetchPackets_Loopback/-1",
          "BM_FetchPackets_InProcess/-1");
    ratio("100k rows, packets of 1000, loopback / in process", "BM_FetchPackets_Loopback/1000",
          "BM_FetchPackets_InProcess/1000");
    ratio("100k rows, packets of 20, loopback / in process", "BM_FetchPackets_Loopback/20",
          "BM_FetchPackets_InProcess/20");
    ratio("apply 10k inserted + 10k modified / same statements", "BM_Apply_Provider/iterations:3",
          "BM_Apply_PlainStatements/iterations:3");
    if (auto& c = reporter.cpuSeconds;
        c.count("BM_Apply_Provider/iterations:3") && c["BM_Apply_PlainStatements/iterations:3"] > 0)
        std::printf("%-58s %8.2f\n", "  the same in CPU time",
                    c["BM_Apply_Provider/iterations:3"] / c["BM_Apply_PlainStatements/iterations:3"]);
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
