// Load test of the storage engines over loopback: N signed-in clients run open/fetch/apply cycles
// (dataRequest, a 20-row fetch, then an edit of one of ten shared rows applied back) for a fixed time
// against (1) one daemon on SQLite and (2) two daemons on one PostgreSQL database, the clients split
// between them. Edits that meet another client's edit are reconcile errors (counted as conflicts); every
// other failure is an error. Afterwards each row's counter must equal the number of edits applied to it:
// a lost update would show as a shortfall. Prints throughput and p50/p99 latency side by side.
//   appserver_engine_load [clients=50] [seconds=20]
// The PostgreSQL run needs KVX_TEST_PG (the superuser URI scripts/pg-test.sh prints); without it only
// SQLite runs.
#include "PgDialect.h"
#include "Storage.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <signal.h>
#include <thread>
#include <vector>

using kvx::Variant;

namespace {

const QStringList kRows = {"INVMB", "PURTC", "COPMA", "PURMA", "CMSME",
                           "INVTA", "INVTB", "COPTC", "COPTD", "PURTD"};

struct Daemon {
    QProcess proc;
    int port = 0;
    bool start(const QString& db, const QString& serverFolder) {
        QProcess init;
        init.start(KVX_APPSERVER_BIN, {"--init", "--db", db, "--server-path", serverFolder});
        if (!init.waitForFinished(120000) || init.exitCode() != 0) {
            std::fprintf(stderr, "init failed: %s\n", init.readAllStandardError().constData());
            return false;
        }
        const QString out = QString::fromUtf8(init.readAllStandardOutput());
        static const QRegularExpression pw("^password DS (\\S+)$", QRegularExpression::MultilineOption);
        if (const auto m = pw.match(out); m.hasMatch()) password() = m.captured(1);
        proc.setProgram(KVX_APPSERVER_BIN);
        proc.setArguments({"--listen", "127.0.0.1:0", "--db", db, "--server-path", serverFolder});
        proc.start();
        static const QRegularExpression re("listening on [0-9.]+:(\\d+)");
        QByteArray text;
        while (port == 0 && proc.waitForReadyRead(30000)) {
            text += proc.readAllStandardOutput();
            if (auto m = re.match(QString::fromUtf8(text)); m.hasMatch()) port = m.captured(1).toInt();
        }
        return port != 0;
    }
    ~Daemon() {
        if (proc.state() != QProcess::NotRunning) {
            ::kill(pid_t(proc.processId()), SIGTERM);
            proc.waitForFinished(20000);
        }
    }
    static QString& password() {
        static QString pw;
        return pw;
    }
};

struct ClientResult {
    qint64 requests = 0, cycles = 0, errors = 0, conflicts = 0;
    std::vector<double> latencyMs;
    std::vector<qint64> applied = std::vector<qint64>(size_t(kRows.size()), 0);
    QString firstError;
};

struct Run {
    QString engine;
    int servers = 0, clients = 0, seconds = 0;
    double requestsPerSecond = 0, cyclesPerSecond = 0, p50 = 0, p99 = 0;
    qint64 errors = 0, conflicts = 0, lost = 0, applied = 0;
    std::vector<qint64> appliedPerRow = std::vector<qint64>(size_t(kRows.size()), 0);
    QString firstError;
};

Run runClients(const QList<int>& ports, int clients, int seconds) {
    std::atomic_bool go{false}, stop{false};
    std::atomic_int ready{0};
    std::vector<ClientResult> results(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            ClientResult& r = results[size_t(i)];
            auto fail = [&](const QString& why) {
                ++r.errors;
                if (r.firstError.isEmpty()) r.firstError = why;
            };
            kvx::SocketConnection c;
            try {
                c.setAddress("127.0.0.1");
                c.setPort(ports[i % ports.size()]);
                c.setCredentials("DS", Daemon::password());
                c.setServerName("TRIVON.Class1");
                c.setTimeoutMs(60000);
                c.open();
                c.appServer()->call("Connect",
                                    {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})});
            } catch (const std::exception& e) {
                fail(QString::fromUtf8(e.what()));
                ++ready;
                return;
            }
            ++ready;
            while (!go.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            QElapsedTimer t;
            auto timed = [&](auto&& call) {
                t.start();
                auto value = call();
                r.latencyMs.push_back(double(t.nsecsElapsed()) / 1e6);
                ++r.requests;
                return value;
            };
            int n = 0;
            while (!stop.load()) {
                const int row = (i + n++) % int(kRows.size());
                try {
                    auto* p = c.providers();
                    auto open = [&](const QString& condition, int count) {
                        timed([&] {
                            return p->dataRequest("pvdMain",
                                                  kvx::DataRequest{condition, "MB001", {}}.toVariant());
                        });
                        return timed([&] { return p->getRecords("pvdMain", count); });
                    };
                    kvx::DataPacket packet = open(
                        QStringLiteral("MB001 = '%1' OR MB002 = '%2'").arg(kRows[row]).arg(n % 3 + 1), 20);
                    const int key = packet.fieldIndex("MB001"), remark = packet.fieldIndex("MB005");
                    auto at = [&] {
                        for (int k = 0; k < packet.rows.size(); ++k)
                            if (packet.rows[k].at(key).toString() == kRows[row]) return k;
                        return -1;
                    };
                    int k = at();
                    if (k < 0) { // beyond the first 20 rows: open that row alone
                        packet = open(QStringLiteral("MB001 = '%1'").arg(kRows[row]), -1);
                        k = at();
                    }
                    if (k < 0) {
                        fail(QStringLiteral("row %1 missing").arg(kRows[row]));
                        continue;
                    }
                    const kvx::Row& old = packet.rows[k];
                    kvx::Delta d;
                    d.fields = packet.fields;
                    kvx::DeltaRow change{kvx::UpdateStatus::Modified, old, {}};
                    for (int f = 0; f < packet.fields.size(); ++f)
                        change.newValues.append(Variant());
                    change.newValues[remark] = QString::number(old.at(remark).toString().toLongLong() + 1);
                    d.rows.append(change);
                    const kvx::ApplyResult a = timed([&] { return p->applyUpdates("pvdMain", d, 0); });
                    ++r.cycles;
                    if (a.errorCount == 0)
                        ++r.applied[size_t(row)];
                    else if (a.errors.value(0).errorCode == 1 || a.errors.value(0).errorCode == 2)
                        ++r.conflicts; // changed (or deleted) through another client: the optimistic check
                    else
                        fail(a.errors.value(0).message);
                } catch (const std::exception& e) {
                    fail(QString::fromUtf8(e.what()));
                }
            }
        });
    while (ready.load() < clients)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QElapsedTimer wall;
    wall.start();
    go = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    for (auto& t : threads)
        t.join();
    Run run;
    run.clients = clients;
    run.seconds = seconds;
    std::vector<double> all;
    qint64 requests = 0, cycles = 0;
    for (const ClientResult& r : results) {
        requests += r.requests;
        cycles += r.cycles;
        run.errors += r.errors;
        run.conflicts += r.conflicts;
        if (run.firstError.isEmpty()) run.firstError = r.firstError;
        for (size_t k = 0; k < r.applied.size(); ++k)
            run.appliedPerRow[k] += r.applied[k];
        all.insert(all.end(), r.latencyMs.begin(), r.latencyMs.end());
    }
    std::sort(all.begin(), all.end());
    run.requestsPerSecond = double(requests) / elapsed;
    run.cyclesPerSecond = double(cycles) / elapsed;
    run.p50 = all.empty() ? 0 : all[all.size() / 2];
    run.p99 = all.empty() ? 0 : all[std::min(all.size() - 1, size_t(double(all.size()) * 0.99))];
    return run;
}

// Compares each row's counter (MB005) with the number of edits applied to it.
qint64 lostUpdates(kvxsrv::Storage& s, const std::vector<qint64>& appliedPerRow) {
    qint64 lost = 0;
    for (int i = 0; i < kRows.size(); ++i) {
        const qint64 stored =
            s.scalar("SELECT MB005 FROM QLDMB WHERE MB001 = ?", {kRows[i]}).toString().toLongLong();
        lost += std::llabs(appliedPerRow[size_t(i)] - stored);
    }
    return lost;
}

void resetCounters(kvxsrv::Storage& s) {
    for (const QString& row : kRows) {
        if (!s.scalar("SELECT 1 FROM QLDMB WHERE MB001 = ?", {row}).isValid())
            s.exec(
                "INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, MB003, COMPANY, CREATOR, USR_GROUP, "
                "CREATE_DATE, MODIFIER, MODI_DATE, FLAG) VALUES (?, '', '1', '1', '0', '', 'DEMO', 'DS', "
                "'ADMIN', '20240101', '', '', 1)",
                {row});
        s.exec("UPDATE QLDMB SET MB005 = '0' WHERE MB001 = ?", {row});
    }
}

bool superuser(const QString& uri, const QString& database, const QString& sql) {
    const QUrl url(uri);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "load-admin");
        db.setHostName(QUrlQuery(url).queryItemValue("host", QUrl::FullyDecoded));
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        db.setDatabaseName(database);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase("load-admin");
    return ok;
}

Run measure(const QString& engine, const QString& db, const QString& folder, int servers, int clients,
            int seconds, kvxsrv::StorageConfig config) {
    {
        kvxsrv::Storage s(config);
        resetCounters(s);
    }
    std::vector<std::unique_ptr<Daemon>> daemons;
    QList<int> ports;
    for (int i = 0; i < servers; ++i) {
        daemons.push_back(std::make_unique<Daemon>());
        if (!daemons.back()->start(db, folder)) {
            std::fprintf(stderr, "a daemon did not start\n");
            std::exit(1);
        }
        ports << daemons.back()->port;
    }
    Run run = runClients(ports, clients, seconds);
    run.engine = engine;
    run.servers = servers;
    daemons.clear();
    kvxsrv::Storage s(config);
    // Every applied edit added one to its row's counter; a lost update leaves the counter short.
    for (qint64 a : run.appliedPerRow)
        run.applied += a;
    run.lost = lostUpdates(s, run.appliedPerRow);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int clients = argc > 1 ? std::clamp(atoi(argv[1]), 1, 500) : 50;
    const int seconds = argc > 2 ? std::clamp(atoi(argv[2]), 1, 120) : 20;
    QTemporaryDir dir;
    auto writeIni = [&](const QString& extra) {
        QFile ini(dir.filePath("StaveloS.ini"));
        if (!ini.open(QIODevice::WriteOnly)) std::exit(1);
        ini.write(
            (QStringLiteral("[Limits]\nMaxConnections=%1\nMaxConnectionsPerAddress=%1\n").arg(clients + 10) +
             extra)
                .toUtf8());
    };
    QList<Run> runs;
    {
        kvxsrv::StorageConfig config;
        config.databaseFile = dir.filePath("load.db");
        writeIni({});
        runs << measure("SQLite", config.databaseFile, dir.path(), 1, clients, seconds, config);
    }
    const QString admin = qEnvironmentVariable("KVX_TEST_PG");
    QString dbName;
    if (!admin.isEmpty()) {
        dbName = QStringLiteral("kvx_load_%1").arg(QCoreApplication::applicationPid());
        if (!superuser(admin, "postgres", QStringLiteral("CREATE DATABASE %1").arg(dbName))) {
            std::fprintf(stderr, "cannot create the PostgreSQL database\n");
            return 1;
        }
        QUrl url(admin);
        url.setPath("/" + dbName);
        kvxsrv::StorageConfig config;
        config.databaseFile = url.toString();
        writeIni({});
        runs << measure("PostgreSQL", config.databaseFile, dir.path(), 2, clients, seconds, config);
    }
    std::printf("| engine | servers | clients | seconds | cycles/s | requests/s | p50 ms | p99 ms | errors | "
                "conflicts (reconcile) | edits applied | lost updates |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Run& r : runs)
        std::printf("| %s | %d | %d | %d | %.0f | %.0f | %.2f | %.2f | %lld | %lld | %lld | %lld |\n",
                    qPrintable(r.engine), r.servers, r.clients, r.seconds, r.cyclesPerSecond,
                    r.requestsPerSecond, r.p50, r.p99, qlonglong(r.errors), qlonglong(r.conflicts),
                    qlonglong(r.applied), qlonglong(r.lost));
    for (const Run& r : runs)
        if (!r.firstError.isEmpty())
            std::printf("%s first error: %s\n", qPrintable(r.engine), qPrintable(r.firstError));
    if (runs.size() == 2)
        std::printf("\nPostgreSQL (2 servers) / SQLite (1 server): throughput %.2f, p99 %.2f\n",
                    runs[0].requestsPerSecond > 0 ? runs[1].requestsPerSecond / runs[0].requestsPerSecond
                                                  : 0.0,
                    runs[0].p99 > 0 ? runs[1].p99 / runs[0].p99 : 0.0);
    if (!dbName.isEmpty())
        superuser(admin, "postgres", QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(dbName));
    return 0;
}
