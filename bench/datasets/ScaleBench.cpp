// Per-row cost of the client dataset as the table grows (10k, 100k, 1M rows): fetching packet by packet
// while walking, deleting every record, appending then cancelling, and editing every record of an
// indexed dataset. Rows are built before timing; the provider hands out shared copies. Times are
// process CPU time, the median of the repeats (the best also printed); (xN) is the per-row growth against
// the first size, "pf/k" the page faults of the median repeat per 1,000 rows (memory new to the process)
// and "kernel" the kernel's share of its CPU time (those faults). Fetching and editing are also run
// against peers at each size (a std::vector and a std::deque of rows receiving the same packets; a vector
// of rows keeping each edited row), printed as dataset / peer per size; and a walk over rows already in
// memory gives the floor: what reading the same two values of each row costs as the rows outgrow the caches.
// Arguments: run only the cases whose name contains the first ("indexed", "packets 20", ...; "" for all),
// at the sizes of the second ("10000,1000000"; "" or by default 10k, 100k and 1M rows); a third, "fresh",
// hands freed memory back to the system after every repeat (see measure()).
#include "platform/ClientDataSet.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <malloc.h>
#include <sys/resource.h>
#include <vector>

using namespace kvx;

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

QList<FieldDesc> layout() {
    return {FieldDesc("MB001", FieldType::String, 20), FieldDesc("MB002", FieldType::String, 1),
            FieldDesc("MB005", FieldType::String, 255), FieldDesc("FLAG", FieldType::Float),
            FieldDesc("N", FieldType::Integer)};
}

const std::vector<Row>& table(int rows) {
    static std::vector<Row> all;
    while (int(all.size()) < rows) {
        const int i = int(all.size());
        all.push_back(Row{QStringLiteral("D%1").arg(i, 7, 10, QChar('0')), QString::number(i % 3 + 1),
                          QStringLiteral("remark %1").arg(i), double(i % 1000), i});
    }
    return all;
}

class TableProvider : public ProviderEndpoint {
public:
    explicit TableProvider(int rows) : rows_(rows) { table(rows); }
    Variant dataRequest(const QString&, const Variant&) override {
        next_ = 0;
        return {};
    }
    DataPacket getRecords(const QString&, int count) override {
        DataPacket p;
        p.fields = layout();
        const int n = count < 0 ? rows_ - next_ : std::min(count, rows_ - next_);
        p.rows.reserve(n);
        const std::vector<Row>& t = table(rows_);
        for (int i = 0; i < n; ++i)
            p.rows << t[size_t(next_++)];
        p.eof = next_ >= rows_;
        return p;
    }
    ApplyResult applyUpdates(const QString&, const Delta&, int) override { return {}; }

private:
    int rows_;
    int next_ = 0;
};

struct Remote {
    TableProvider p;
    TClientDataSet ds;
    Remote(int rows, int packet, const QString& index = {}) : p(rows) {
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(packet);
        ds.SetIndexFieldNames(index);
        ds.Open();
    }
};

// Cases whose name contains the command-line filter run (all without one).
const char* gFilter = nullptr;
bool gFresh = false;

struct Usage {
    double system; // kernel CPU seconds of the process
    long faults;   // minor page faults
};

Usage usage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) * 1e-6, u.ru_minflt};
}

// Of the last `measure`: the page faults of the median repeat (first touches of memory new to the process)
// and the kernel's share of its CPU time (mostly those faults), and the best repeat's CPU seconds.
long gFaults = 0;
double gKernelShare = 0;
double gBest = 0;

// Runs `setUp` untimed and `work` timed, `repeats` times; returns the median CPU seconds (on a shared
// machine one disturbed repeat moves a mean and a lucky one the best; the median moves with neither).
double measure(int repeats, const std::function<void*()>& setUp, const std::function<void(void*)>& work,
               const std::function<void(void*)>& tearDown) {
    struct Run {
        double cpu, system;
        long faults;
    };
    std::vector<Run> runs;
    for (int r = 0; r < repeats; ++r) {
        void* state = setUp();
        const Usage u0 = usage();
        const double t0 = cpuSeconds();
        work(state);
        const double t = cpuSeconds() - t0;
        const Usage u1 = usage();
        runs.push_back({t, u1.system - u0.system, u1.faults - u0.faults});
        tearDown(state);
        // "fresh": every repeat of every side starts with the freed memory handed back to the system,
        // so that all sizes pay the first touches of their memory alike. Otherwise a repeat reuses the
        // pages an earlier one freed as far as the allocator kept them (less than the 1M-row runs need).
        if (gFresh) malloc_trim(0);
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.cpu < b.cpu; });
    const Run& median = runs[runs.size() / 2];
    gFaults = median.faults;
    // The kernel's time is counted in ticks: too coarse for a short run.
    gKernelShare = median.cpu >= 0.05 ? std::min(1.0, median.system / median.cpu) : -1;
    gBest = runs.front().cpu;
    return median.cpu;
}

void fetchWhileWalking(void* s) {
    auto* r = static_cast<Remote*>(s);
    TField* n = r->ds.FieldByName("N");
    TField* name = r->ds.FieldByName("MB001");
    qint64 sum = 0;
    for (; !r->ds.Eof(); r->ds.Next())
        sum += n->AsInteger() + name->AsString().size();
    if (sum == 42) std::puts("");
}

// Peers: the same packets appended to a std::vector of rows (grows by doubling) or to a std::deque of
// rows (fixed chunks, as the dataset stores its records) and walked, reading the same two fields. The
// rows received stay in the peer until tear-down, as they stay in the dataset.
struct Peer {
    TableProvider p;
    int packet;
    std::vector<Row> vector;
    std::deque<Row> deque;
    Peer(int rows, int packetRows) : p(rows), packet(packetRows) { p.dataRequest({}, {}); }
};

template <class Rows> void peerFetchWhileWalking(Peer* peer, Rows& rows) {
    qint64 sum = 0;
    bool more = true;
    for (size_t i = 0;; ++i) {
        if (i == rows.size()) {
            if (!more) break;
            DataPacket packet = peer->p.getRecords({}, peer->packet);
            more = !packet.eof;
            for (Row& r : packet.rows)
                rows.push_back(std::move(r));
            if (i == rows.size()) break;
        }
        sum += rows[i][4].toInt() + rows[i][0].toString().size();
    }
    if (sum == 42) std::puts("");
}

void vectorFetchWhileWalking(void* s) {
    auto* peer = static_cast<Peer*>(s);
    peerFetchWhileWalking(peer, peer->vector);
}

void dequeFetchWhileWalking(void* s) {
    auto* peer = static_cast<Peer*>(s);
    peerFetchWhileWalking(peer, peer->deque);
}

// The floor of every walk: the rows already in a std::vector, the same two values read from each.
void walkInMemory(void* s) {
    const auto* rows = static_cast<const std::vector<Row>*>(s);
    qint64 sum = 0;
    for (const Row& r : *rows)
        sum += r[4].toInt() + r[0].toString().size();
    if (sum == 42) std::puts("");
}

void deleteAll(void* s) {
    auto* r = static_cast<Remote*>(s);
    for (r->ds.First(); !r->ds.IsEmpty();)
        r->ds.Delete();
}

struct Local {
    TClientDataSet ds;
    int rows = 0;
};

void appendThenCancel(void* s) {
    auto* local = static_cast<Local*>(s);
    TClientDataSet* ds = &local->ds;
    const int rows = local->rows;
    TField* key = ds->FieldByName("MB001");
    TField* n = ds->FieldByName("N");
    for (int i = 0; i < rows; ++i) {
        ds->Append();
        key->SetAsString(QStringLiteral("A"));
        n->SetAsInteger(i);
        ds->Post();
    }
    ds->CancelUpdates();
    if (ds->RecordCount() != 0) std::puts("append + cancel left records");
}

void editAllIndexed(void* s) {
    auto* r = static_cast<Remote*>(s);
    TField* n = r->ds.FieldByName("N");
    TField* remark = r->ds.FieldByName("MB005");
    // Doubling from the last record up keeps the order: each record is posted back in place.
    for (r->ds.Last(); !r->ds.Bof(); r->ds.Prior()) {
        r->ds.Edit();
        n->SetAsInteger(n->AsInteger() * 2);
        remark->SetAsString(QStringLiteral("edited"));
        r->ds.Post();
    }
}

// Peer of the edit: rows in a std::vector sorted on N; each edit keeps the row as it was (a change log
// in fixed chunks, as the dataset keeps originals) and writes the same two values into a copy.
struct EditPeer {
    std::vector<Row> rows;
    std::deque<Row> originals;
    explicit EditPeer(int n) : rows(table(n).begin(), table(n).begin() + n) {}
};

void peerEditAll(void* s) {
    auto* peer = static_cast<EditPeer*>(s);
    for (size_t i = peer->rows.size(); i-- > 0;) {
        Row& row = peer->rows[i];
        peer->originals.push_back(row);
        row[4] = Variant(row[4].toInt() * 2);
        row[2] = Variant(QStringLiteral("edited"));
    }
}

struct Figures {
    std::vector<double> perRow, best, faults, kernel; // per size: median and best ns/row, pf/k, kernel share

    void add(double seconds, int rows) {
        perRow.push_back(seconds / rows * 1e9);
        best.push_back(gBest / rows * 1e9);
        faults.push_back(double(gFaults) * 1000.0 / rows);
        kernel.push_back(gKernelShare);
    }
};

// Per size: median ns per row, its growth against the first size, the best repeat, page faults per 1,000
// rows and the kernel's share of the CPU time.
void printRow(const char* what, const std::vector<int>& sizes, const Figures& f) {
    std::printf("%-34s", what);
    for (size_t i = 0; i < sizes.size(); ++i) {
        char kernel[16] = " -";
        if (f.kernel[i] >= 0) std::snprintf(kernel, sizeof kernel, "%2.0f", 100 * f.kernel[i]);
        std::printf("  %7d rows %5.0f ns/row (x%.2f; best %4.0f; %3.0f pf/k, %s%% kernel)", sizes[i],
                    f.perRow[i], f.perRow[i] / f.perRow[0], f.best[i], f.faults[i], kernel);
    }
    std::printf("\n");
    std::fflush(stdout);
}

void row(const char* what, const std::vector<int>& sizes, const std::function<double(int)>& run) {
    if (gFilter && !std::strstr(what, gFilter)) return;
    Figures f;
    for (int rows : sizes)
        f.add(run(rows), rows);
    printRow(what, sizes, f);
}

struct Contender {
    std::string what;
    std::function<double(int)> run; // CPU seconds for a table of that many rows
};

// The dataset and its peers measured one after the other at each size (the same machine load), then
// the dataset's per-row cost over each peer's: flat when the dataset grows as the peer grows.
void rowsWithPeers(const std::vector<int>& sizes, const std::vector<Contender>& all) {
    if (gFilter && !std::strstr(all[0].what.c_str(), gFilter)) return;
    std::vector<Figures> f(all.size());
    for (int rows : sizes)
        for (size_t c = 0; c < all.size(); ++c)
            f[c].add(all[c].run(rows), rows);
    for (size_t c = 0; c < all.size(); ++c)
        printRow(all[c].what.c_str(), sizes, f[c]);
    for (size_t c = 1; c < all.size(); ++c) {
        const std::string what = "  dataset / " + all[c].what.substr(all[c].what.find(' ') + 1);
        std::printf("%-34s", what.c_str());
        for (size_t i = 0; i < sizes.size(); ++i)
            std::printf("  %7d rows %7.2f                     ", sizes[i], f[0].perRow[i] / f[c].perRow[i]);
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && *argv[1]) gFilter = argv[1];
    std::vector<int> sizes = {10000, 100000, 1000000};
    if (argc > 2 && *argv[2]) {
        sizes.clear();
        for (const QByteArray& n : QByteArray(argv[2]).split(','))
            if (n.toInt() > 0) sizes.push_back(n.toInt());
        if (sizes.empty()) return 2;
    }
    gFresh = argc > 3 && qstrcmp(argv[3], "fresh") == 0;
    auto repeats = [](int rows) { return rows >= 1000000 ? 3 : (rows >= 100000 ? 5 : 9); };
    auto del = [](void* s) { delete static_cast<Remote*>(s); };
    table(*std::max_element(sizes.begin(), sizes.end()));
    std::printf("CPU time per row, median of repeats; (xN) = its growth against the first size%s\n",
                gFresh ? "; every repeat on memory new to the process" : "");

    auto delPeer = [](void* st) { delete static_cast<Peer*>(st); };
    for (int packet : {20, 1000}) {
        const std::string n = std::to_string(packet);
        auto peer = [&](void (*walk)(void*)) {
            return [&, walk](int rows) {
                return measure(
                    repeats(rows), [&] { return static_cast<void*>(new Peer(rows, packet)); }, walk, delPeer);
            };
        };
        rowsWithPeers(sizes, {{"fetch while walking, packets " + n,
                               [&](int rows) {
                                   return measure(
                                       repeats(rows),
                                       [&] { return static_cast<void*>(new Remote(rows, packet)); },
                                       fetchWhileWalking, del);
                               }},
                              {"peer: std::vector, packets " + n, peer(vectorFetchWhileWalking)},
                              {"peer: std::deque, packets " + n, peer(dequeFetchWhileWalking)}});
    }
    row("floor: walk of rows in memory", sizes, [&](int rows) {
        return measure(
            repeats(rows),
            [&] {
                return static_cast<void*>(
                    new std::vector<Row>(table(rows).begin(), table(rows).begin() + rows));
            },
            walkInMemory, [](void* st) { delete static_cast<std::vector<Row>*>(st); });
    });
    row("fetch while walking, indexed, 1000", sizes, [&](int rows) {
        return measure(
            repeats(rows), [&] { return static_cast<void*>(new Remote(rows, 1000, "MB002")); },
            fetchWhileWalking, del);
    });
    row("delete all (from the first)", sizes, [&](int rows) {
        return measure(
            repeats(rows), [&] { return static_cast<void*>(new Remote(rows, -1)); }, deleteAll, del);
    });
    row("append + CancelUpdates", sizes, [&](int rows) {
        return measure(
            repeats(rows),
            [&] {
                auto* local = new Local;
                local->ds.FieldDefs().Add("MB001", FieldType::String, 20);
                local->ds.FieldDefs().Add("N", FieldType::Integer);
                local->ds.CreateDataSet();
                local->rows = rows;
                return static_cast<void*>(local);
            },
            appendThenCancel, [](void* s) { delete static_cast<Local*>(s); });
    });
    rowsWithPeers(sizes, {{"edit all, indexed on N",
                           [&](int rows) {
                               return measure(
                                   repeats(rows),
                                   [&] { return static_cast<void*>(new Remote(rows, -1, "N")); },
                                   editAllIndexed, del);
                           }},
                          {"peer: std::vector + kept rows", [&](int rows) {
                               return measure(
                                   repeats(rows), [&] { return static_cast<void*>(new EditPeer(rows)); },
                                   peerEditAll, [](void* st) { delete static_cast<EditPeer*>(st); });
                           }}});
    return 0;
}
