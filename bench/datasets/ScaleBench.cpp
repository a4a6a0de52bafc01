// Per-row cost of the client dataset as the table grows (10k, 100k, 1M rows): fetching packet by packet
// while walking, deleting every record, appending then cancelling, and editing every record of an
// indexed dataset. Rows are built before timing; the provider hands out shared copies. Times are
// process CPU time, best of the repeats; (xN) is the per-row ratio to the 10k run, and "pf/k" the page
// faults of that repeat per 1,000 rows (memory new to the process, paid in kernel time). Fetching and editing
// are also run against peers at each size (a std::vector and a std::deque of rows receiving the same
// packets; a vector of rows keeping each edited row), printed as dataset / peer per size.
// Arguments: run only the cases whose name contains the first ("indexed", "packets 20", ...; "" for all),
// at the sizes of the second ("10000,1000000"; by default 10k, 100k and 1M rows).
#include "platform/ClientDataSet.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
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

long minorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Page faults of the best repeat of the last `best` (first touches of memory new to the process: the
// kernel's share of the CPU time).
long gBestFaults = 0;

// Runs `setUp` untimed and `work` timed, `repeats` times; returns the best CPU seconds.
double best(int repeats, const std::function<void*()>& setUp, const std::function<void(void*)>& work,
            const std::function<void(void*)>& tearDown) {
    double bestTime = 1e300;
    for (int r = 0; r < repeats; ++r) {
        void* state = setUp();
        const long f0 = minorFaults();
        const double t0 = cpuSeconds();
        work(state);
        const double t = cpuSeconds() - t0;
        if (t < bestTime) {
            bestTime = t;
            gBestFaults = minorFaults() - f0;
        }
        tearDown(state);
    }
    return bestTime;
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

// Cases whose name contains the command-line filter run (all without one).
const char* gFilter = nullptr;

// Per size: ns per row, growth against the first size, page faults per 1,000 rows.
void printRow(const char* what, const std::vector<int>& sizes, const std::vector<double>& perRow,
              const std::vector<double>& faults) {
    std::printf("%-34s", what);
    for (size_t i = 0; i < sizes.size(); ++i)
        std::printf("  %7d rows %7.0f ns/row (x%.2f, %4.0f pf/k)", sizes[i], perRow[i], perRow[i] / perRow[0],
                    faults[i]);
    std::printf("\n");
    std::fflush(stdout);
}

void row(const char* what, const std::vector<int>& sizes, const std::function<double(int)>& run) {
    if (gFilter && !std::strstr(what, gFilter)) return;
    std::vector<double> perRow, faults;
    for (int rows : sizes) {
        perRow.push_back(run(rows) / rows * 1e9);
        faults.push_back(double(gBestFaults) * 1000.0 / rows);
    }
    printRow(what, sizes, perRow, faults);
}

struct Contender {
    std::string what;
    std::function<double(int)> run; // CPU seconds for a table of that many rows
};

// The dataset and its peers measured one after the other at each size (the same machine load), then
// the dataset's per-row cost over each peer's: flat when the dataset grows as the peer grows.
void rowsWithPeers(const std::vector<int>& sizes, const std::vector<Contender>& all) {
    if (gFilter && !std::strstr(all[0].what.c_str(), gFilter)) return;
    std::vector<std::vector<double>> perRow(all.size()), faults(all.size());
    for (int rows : sizes)
        for (size_t c = 0; c < all.size(); ++c) {
            perRow[c].push_back(all[c].run(rows) / rows * 1e9);
            faults[c].push_back(double(gBestFaults) * 1000.0 / rows);
        }
    for (size_t c = 0; c < all.size(); ++c)
        printRow(all[c].what.c_str(), sizes, perRow[c], faults[c]);
    for (size_t c = 1; c < all.size(); ++c) {
        const std::string what = "  dataset / " + all[c].what.substr(all[c].what.find(' ') + 1);
        std::printf("%-34s", what.c_str());
        for (size_t i = 0; i < sizes.size(); ++i)
            std::printf("  %7d rows %7.2f                     ", sizes[i], perRow[0][i] / perRow[c][i]);
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && *argv[1]) gFilter = argv[1];
    std::vector<int> sizes = {10000, 100000, 1000000};
    if (argc > 2) {
        sizes.clear();
        for (const QByteArray& n : QByteArray(argv[2]).split(','))
            if (n.toInt() > 0) sizes.push_back(n.toInt());
        if (sizes.empty()) return 2;
    }
    auto repeats = [](int rows) { return rows >= 1000000 ? 2 : (rows >= 100000 ? 3 : 7); };
    auto del = [](void* s) { delete static_cast<Remote*>(s); };
    table(*std::max_element(sizes.begin(), sizes.end()));
    std::printf("CPU time per row, best of repeats; (xN) = per-row cost against the 10,000-row run\n");

    auto delPeer = [](void* st) { delete static_cast<Peer*>(st); };
    for (int packet : {20, 1000}) {
        const std::string n = std::to_string(packet);
        auto peer = [&](void (*walk)(void*)) {
            return [&, walk](int rows) {
                return best(
                    repeats(rows), [&] { return static_cast<void*>(new Peer(rows, packet)); }, walk, delPeer);
            };
        };
        rowsWithPeers(sizes, {{"fetch while walking, packets " + n,
                               [&](int rows) {
                                   return best(
                                       repeats(rows),
                                       [&] { return static_cast<void*>(new Remote(rows, packet)); },
                                       fetchWhileWalking, del);
                               }},
                              {"peer: std::vector, packets " + n, peer(vectorFetchWhileWalking)},
                              {"peer: std::deque, packets " + n, peer(dequeFetchWhileWalking)}});
    }
    row("fetch while walking, indexed, 1000", sizes, [&](int rows) {
        return best(
            repeats(rows), [&] { return static_cast<void*>(new Remote(rows, 1000, "MB002")); },
            fetchWhileWalking, del);
    });
    row("delete all (from the first)", sizes, [&](int rows) {
        return best(
            repeats(rows), [&] { return static_cast<void*>(new Remote(rows, -1)); }, deleteAll, del);
    });
    row("append + CancelUpdates", sizes, [&](int rows) {
        return best(
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
                               return best(
                                   repeats(rows),
                                   [&] { return static_cast<void*>(new Remote(rows, -1, "N")); },
                                   editAllIndexed, del);
                           }},
                          {"peer: std::vector + kept rows", [&](int rows) {
                               return best(
                                   repeats(rows), [&] { return static_cast<void*>(new EditPeer(rows)); },
                                   peerEditAll, [](void* st) { delete static_cast<EditPeer*>(st); });
                           }}});
    return 0;
}
