// Load test of the daemon over loopback: N signed-in clients send small requests for a fixed time, first
// alone, then beside three hostile clients (a runaway query repeated, a flood of pipelined requests
// that never reads its answers, and a client opening objects until refused). Prints throughput, p50
// and p99 of both runs side by side, and the daemon's peak RSS. Bounded: loopback only, fixed time.
//   appserver_load [clients=200] [seconds=20]
#include "Passwords.h"
#include "Storage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <signal.h>
#include <thread>
#include <vector>

namespace {
struct Line {
    QTcpSocket sock;
    QByteArray buffer;
    bool open(int port) {
        sock.connectToHost("127.0.0.1", quint16(port));
        return sock.waitForConnected(10000);
    }
    void send(const char* method, const QJsonObject& params, int id = 1) {
        sock.write(
            QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", id}})
                .toJson(QJsonDocument::Compact) +
            '\n');
    }
    QJsonObject read(int ms = 30000) {
        QElapsedTimer t;
        t.start();
        while (!buffer.contains('\n') && t.elapsed() < ms) {
            if (!sock.waitForReadyRead(200) && sock.state() != QAbstractSocket::ConnectedState) break;
            buffer += sock.readAll();
        }
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0) return {};
        const QJsonObject o = QJsonDocument::fromJson(buffer.left(end)).object();
        buffer.remove(0, end + 1);
        return o;
    }
    QJsonObject call(const char* method, const QJsonObject& params) {
        send(method, params);
        sock.waitForBytesWritten(10000);
        return read();
    }
};

const QJsonObject kLogin{{"user", "DS"}, {"password", "load"}};

int createConnected(Line& l) {
    l.call("login", kLogin);
    const int obj =
        l.call("create", {{"progid", "TRIVON.Class1"}}).value("result").toObject().value("object").toInt();
    l.call("invoke", {{"object", obj},
                      {"method", "Connect"},
                      {"args", QJsonArray{QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}}});
    return obj;
}

struct Result {
    qint64 requests = 0, errors = 0;
    std::vector<double> latencyMs;
};

qint64 rssKb(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:")) return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

struct Run {
    double throughput = 0, p50 = 0, p99 = 0;
    qint64 errors = 0, peakRssKb = 0;
    QString hostile;
};

Run runPhase(int port, qint64 pid, int clients, int seconds, bool hostile) {
    std::atomic_bool go{false}, stop{false};
    std::atomic_int ready{0};
    std::vector<Result> results(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            Line l;
            if (!l.open(port)) {
                ++ready;
                return;
            }
            const int obj = createConnected(l);
            ++ready;
            while (!go.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            Result& r = results[size_t(i)];
            QElapsedTimer t;
            int n = 0;
            while (!stop.load()) {
                t.start();
                QJsonObject a;
                if (n++ % 2 == 0)
                    a = l.call("dataRequest",
                               {{"object", obj},
                                {"provider", "pvdMain"},
                                {"data", QJsonArray{QString("MB002 = '%1'").arg(n % 3 + 1), "MB001", ""}}});
                else
                    a = l.call("getRecords", {{"object", obj}, {"provider", "pvdMain"}, {"count", 20}});
                r.latencyMs.push_back(double(t.nsecsElapsed()) / 1e6);
                ++r.requests;
                if (a.contains("error") || a.isEmpty()) ++r.errors;
                if (a.isEmpty()) break;
            }
        });
    while (ready.load() < clients)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::atomic_int runaways{0}, floodSent{0}, objectsHeld{0};
    std::atomic_bool objectsRefused{false};
    std::vector<std::thread> hostiles;
    if (hostile) {
        hostiles.emplace_back([&] { // runaway query, again and again
            Line l;
            if (!l.open(port)) return;
            const int obj = createConnected(l);
            while (!stop.load()) {
                l.call("invoke",
                       {{"object", obj},
                        {"method", "SimpleSql"},
                        {"args", QJsonArray{"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                            "SELECT MAX(x) FROM c",
                                            "", "DEMO", 0}}});
                ++runaways;
            }
        });
        hostiles.emplace_back([&] { // pipelined requests, answers never read
            Line l;
            if (!l.open(port)) return;
            l.call("login", kLogin);
            const QByteArray req =
                R"({"jsonrpc":"2.0","method":"create","params":{"progid":"Halvex.Class1"},"id":1})"
                "\n"
                R"({"jsonrpc":"2.0","method":"release","params":{"object":1},"id":2})"
                "\n";
            while (!stop.load() && l.sock.state() == QAbstractSocket::ConnectedState) {
                if (l.sock.bytesToWrite() < 1 << 20) {
                    l.sock.write(req);
                    floodSent += 2;
                }
                l.sock.waitForBytesWritten(50);
            }
        });
        hostiles.emplace_back([&] { // objects until refused, then held
            Line l;
            if (!l.open(port)) return;
            l.call("login", kLogin);
            for (int i = 0; i < 10000 && !stop.load(); ++i) {
                const QJsonObject a = l.call("create", {{"progid", "TRIVON.Class1"}});
                if (a.contains("error")) {
                    objectsRefused = true;
                    break;
                }
                ++objectsHeld;
            }
            while (!stop.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
    }
    Run run;
    QElapsedTimer wall;
    wall.start();
    go = true;
    while (wall.elapsed() < seconds * 1000LL) {
        run.peakRssKb = std::max(run.peakRssKb, rssKb(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    stop = true;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    for (auto& t : threads)
        t.join();
    for (auto& t : hostiles)
        t.join();
    std::vector<double> all;
    qint64 total = 0;
    for (const Result& r : results) {
        total += r.requests;
        run.errors += r.errors;
        all.insert(all.end(), r.latencyMs.begin(), r.latencyMs.end());
    }
    std::sort(all.begin(), all.end());
    run.throughput = double(total) / elapsed;
    run.p50 = all.empty() ? 0 : all[all.size() / 2];
    run.p99 = all.empty() ? 0 : all[std::min(all.size() - 1, size_t(double(all.size()) * 0.99))];
    if (hostile)
        run.hostile =
            QStringLiteral("runaway queries stopped: %1; flood requests written: %2; objects held before "
                           "refusal: %3 (refused: %4)")
                .arg(runaways.load())
                .arg(floodSent.load())
                .arg(objectsHeld.load())
                .arg(objectsRefused.load() ? "yes" : "no");
    return run;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int clients = argc > 1 ? std::clamp(atoi(argv[1]), 1, 1000) : 200;
    const int seconds = argc > 2 ? std::clamp(atoi(argv[2]), 1, 120) : 20;
    QTemporaryDir dir;
    kvxsrv::StorageConfig config;
    config.databaseFile = dir.filePath("load.db");
    {
        kvxsrv::Storage s(config);
        kvxsrv::setPassword(s, "DS", "load");
    }
    QFile ini(dir.filePath("StaveloS.ini"));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write(QStringLiteral("[Limits]\nMaxConnections=%1\nMaxConnectionsPerAddress=%1\nQuerySeconds=2\n"
                             "WriteStallSeconds=5\n")
                  .arg(clients + 10)
                  .toUtf8());
    ini.close();
    QProcess daemon;
    daemon.setProgram(KVX_APPSERVER_BIN);
    daemon.setArguments({"--listen", "127.0.0.1:0", "--db", config.databaseFile});
    daemon.start();
    static const QRegularExpression re("listening on [0-9.]+:(\\d+)");
    QByteArray out;
    int port = 0;
    while (port == 0 && daemon.waitForReadyRead(20000)) {
        out += daemon.readAllStandardOutput();
        if (auto m = re.match(QString::fromUtf8(out)); m.hasMatch()) port = m.captured(1).toInt();
    }
    if (port == 0) {
        std::fprintf(stderr, "the daemon did not start\n");
        return 1;
    }
    const qint64 pid = daemon.processId();
    const Run calm = runPhase(port, pid, clients, seconds, false);
    const Run rough = runPhase(port, pid, clients, seconds, true);
    std::printf(
        "| run | clients | seconds | requests/s | p50 ms | p99 ms | errors | daemon peak RSS MiB |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const auto& [name, r] : {std::pair{"alone", calm}, std::pair{"with hostile clients", rough}})
        std::printf("| %s | %d | %d | %.0f | %.2f | %.2f | %lld | %.1f |\n", name, clients, seconds,
                    r.throughput, r.p50, r.p99, static_cast<long long>(r.errors),
                    double(r.peakRssKb) / 1024.0);
    std::printf("\nthroughput ratio (with hostile / alone): %.2f; p99 ratio: %.2f\n",
                calm.throughput > 0 ? rough.throughput / calm.throughput : 0.0,
                calm.p99 > 0 ? rough.p99 / calm.p99 : 0.0);
    std::printf("%s\n", qPrintable(rough.hostile));
    ::kill(pid_t(pid), SIGTERM);
    daemon.waitForFinished(20000);
    return 0;
}
