// Data-module benchmark on the real application server (in process):
//  - walking QLDMB grown to 100,000 rows packet by packet through TdmBase's cdsMain (its scroll events
//    fetch the next packet) against a plain client dataset walking the same rows over the same
//    connection; the ratio is the cost of the data-module layer;
//  - the time to the first packet (closing and reopening cdsMain) on a 10,000-row and a 100,000-row
//    table; the ratio shows whether opening grows with the table.
#include "Storage.h"
#include "data/BaseCD.h"
#include "data/KnlBase.h"
#include "server/Brokers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace kvx;

namespace {

// An installation tree with a database whose QLDMB holds `rows` rows, and a registry naming it.
struct Tree {
    QTemporaryDir dir;
    explicit Tree(int rows) {
        const QString client = dir.filePath("client/"), server = dir.filePath("server/");
        QDir().mkpath(client);
        QDir().mkpath(server);
        QFile reg(dir.filePath("registry.ini"));
        reg.open(QIODevice::WriteOnly);
        reg.write(QStringLiteral("[Software\\KVX\\Stavelo]\nClientPath=%1\nServerPath=%2\nProfileType=0\n"
                                 "[Classes\\TRIVON.Class1]\nLibrary=%3\nFactory=CreateTrivonServer\n"
                                 "[Classes\\Halvex.Class1]\nLibrary=%3\nFactory=CreateHalvexServer\n")
                      .arg(client, server, QStringLiteral(KVX_APPSERVER_LIB))
                      .toUtf8());
        reg.close();
        QFile ini(client + "StaveloC.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write("[Server Information]\nComputerName=127.0.0.1\n");
        ini.close();
        use();
        kvxsrv::StorageConfig config;
        config.serverPath = server;
        kvxsrv::Storage s(config);
        s.exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            QString::number(rows) +
            ") INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, COMPANY, CREATOR, USR_GROUP, "
            "CREATE_DATE, MODIFIER, MODI_DATE, FLAG, MB003) SELECT printf('K%06d', i), printf('KV_%06d.XML', "
            "i), "
            "CAST(i % 3 + 1 AS TEXT), CAST(i % 2 + 1 AS TEXT), '批量测试记录 ' || i, 'DEMO', 'DS', 'ADMIN', "
            "'20240311', '', '', i % 1000, '' FROM n");
    }
    void use() { qputenv("KVX_REGISTRY", QFile::encodeName(dir.filePath("registry.ini"))); }
};

struct Module {
    QObject owner;
    TBrokers* broker = new TBrokers(&owner);
    TdmBase* dm = new TdmBase(&owner);
    Module() {
        broker->ProgID = "QLDI05";
        broker->UserID = "DS";
        broker->CompanyID = "DEMO";
        broker->DBName = "DEMO";
        dm->Broker = broker;
        if (!dm->ConnectServer()) qFatal("cannot connect to the application server");
    }
};

template <class F> double bestOf(int runs, F f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

int walkModule(TdmBase* dm) {
    TClientDataSet* ds = dm->cdsMain;
    OpenWithCondition(ds, "All", "");
    // A move at the end of the fetched records fetches the next packet (cdsMainBeforeScroll) and goes on.
    int n = ds->IsEmpty() ? 0 : 1;
    while (true) {
        ds->Next();
        if (ds->Eof()) ds->Next();
        if (ds->Eof()) break;
        ++n;
    }
    return n;
}

int walkBare(TClientDataSet* ds) {
    ds->Close();
    ds->DataRequest(Variant::fromList({QString(), QString()}));
    ds->Open();
    // The dataset's own fetching: a move past the last fetched record fetches the next packet.
    int n = 0;
    for (ds->First(); !ds->Eof(); ds->Next())
        ++n;
    return n;
}

double firstPacket(TdmBase* dm) {
    return bestOf(7, [&] {
        dm->cdsMain->Close();
        OpenWithCondition(dm->cdsMain, "All", "");
    });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Tree big(100000);
    Module m;
    TClientDataSet bare;
    bare.SetRemoteServer(m.dm->MIDAS->providers());
    bare.SetProviderName("pvdMain");
    bare.SetPacketRecords(m.dm->cdsMain->PacketRecords());
    bare.SetFetchOnDemand(true);
    const int rows = walkBare(&bare);
    if (walkModule(m.dm) != rows) qFatal("the two walks saw different rows");
    double tModule = 1e300, tBare = 1e300;
    for (int i = 0; i < 3; ++i) { // alternate so that both see the same cache state
        tBare = std::min(tBare, bestOf(1, [&] { walkBare(&bare); }));
        tModule = std::min(tModule, bestOf(1, [&] { walkModule(m.dm); }));
    }
    const double firstBig = firstPacket(m.dm);

    Tree small(10000);
    Module s;
    const double firstSmall = firstPacket(s.dm);

    std::printf(
        "walk %d rows in packets of %d: TdmBase %.1f ms, bare dataset %.1f ms, ratio %.3f (limit 1.2)\n",
        rows, m.dm->cdsMain->PacketRecords(), tModule, tBare, tModule / tBare);
    std::printf("first packet: %d-row table %.2f ms, %d-row table %.2f ms, ratio %.2f\n", s.dm->RecordCount,
                firstSmall, m.dm->RecordCount, firstBig, firstBig / firstSmall);
    return 0;
}
