// Per-row cost of the client dataset as the table grows (10k, 100k, 1M rows): fetching packet by packet
// while walking, deleting every record, appending then cancelling, and editing every record of an
// indexed dataset. Rows are built before timing; the provider hands out shared copies. Times are
// process CPU time, best of the repeats; the last column is the per-row ratio to the 10k run.
#include "platform/ClientDataSet.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
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

// Runs `setUp` untimed and `work` timed, `repeats` times; returns the best CPU seconds.
double best(int repeats, const std::function<void*()>& setUp, const std::function<void(void*)>& work,
            const std::function<void(void*)>& tearDown) {
    double bestTime = 1e300;
    for (int r = 0; r < repeats; ++r) {
        void* state = setUp();
        const double t0 = cpuSeconds();
        work(state);
        bestTime = std::min(bestTime, cpuSeconds() - t0);
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

// Peer: the same packets appended to a std::vector of rows and walked, reading the same two fields.
struct VectorPeer {
    TableProvider p;
    int packet;
    VectorPeer(int rows, int packetRows) : p(rows), packet(packetRows) { p.dataRequest({}, {}); }
};

void vectorFetchWhileWalking(void* s) {
    auto* peer = static_cast<VectorPeer*>(s);
    std::vector<Row> rows;
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

// Cases whose name contains the command-line filter run (all without one).
const char* gFilter = nullptr;

void printRow(const char* what, const std::vector<int>& sizes, const std::vector<double>& perRow) {
    std::printf("%-34s", what);
    for (size_t i = 0; i < sizes.size(); ++i)
        std::printf("  %7d rows %7.0f ns/row (x%.2f)", sizes[i], perRow[i], perRow[i] / perRow[0]);
    std::printf("\n");
    std::fflush(stdout);
}

void row(const char* what, const std::vector<int>& sizes, const std::function<double(int)>& run) {
    if (gFilter && !std::strstr(what, gFilter)) return;
    std::vector<double> perRow;
    for (int rows : sizes)
        perRow.push_back(run(rows) / rows * 1e9);
    printRow(what, sizes, perRow);
}

// The dataset and its peer measured one after the other at each size (the same machine load), then
// the dataset's per-row cost over the peer's: flat when the dataset's growth is the peer's growth.
void rowWithPeer(const char* what, const char* peerWhat, const std::vector<int>& sizes,
                 const std::function<double(int)>& run, const std::function<double(int)>& runPeer) {
    if (gFilter && !std::strstr(what, gFilter)) return;
    std::vector<double> mine, peer;
    for (int rows : sizes) {
        mine.push_back(run(rows) / rows * 1e9);
        peer.push_back(runPeer(rows) / rows * 1e9);
    }
    printRow(what, sizes, mine);
    printRow(peerWhat, sizes, peer);
    std::printf("%-34s", "  dataset / peer");
    for (size_t i = 0; i < sizes.size(); ++i)
        std::printf("  %7d rows %7.2f", sizes[i], mine[i] / peer[i]);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1) gFilter = argv[1];
    const std::vector<int> sizes = {10000, 100000, 1000000};
    auto repeats = [](int rows) { return rows >= 1000000 ? 2 : (rows >= 100000 ? 3 : 7); };
    auto del = [](void* s) { delete static_cast<Remote*>(s); };
    table(sizes.back());
    std::printf("CPU time per row, best of repeats; (xN) = per-row cost against the 10,000-row run\n");

    for (int packet : {20, 1000}) {
        const std::string what = "fetch while walking, packets " + std::to_string(packet);
        const std::string peerWhat = "peer: std::vector, packets " + std::to_string(packet);
        rowWithPeer(
            what.c_str(), peerWhat.c_str(), sizes,
            [&](int rows) {
                return best(
                    repeats(rows), [&] { return static_cast<void*>(new Remote(rows, packet)); },
                    fetchWhileWalking, del);
            },
            [&](int rows) {
                return best(
                    repeats(rows), [&] { return static_cast<void*>(new VectorPeer(rows, packet)); },
                    vectorFetchWhileWalking, [](void* s) { delete static_cast<VectorPeer*>(s); });
            });
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
    row("edit all, indexed on N", sizes, [&](int rows) {
        return best(
            repeats(rows), [&] { return static_cast<void*>(new Remote(rows, -1, "N")); }, editAllIndexed,
            del);
    });
    return 0;
}
