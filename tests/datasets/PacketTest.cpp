#include "MemoryProvider.h"
#include "platform/DataSource.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Remote {
    MemoryProvider p;
    TClientDataSet ds;
    explicit Remote(int rows, int packet = 20, bool onDemand = false) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(packet);
        ds.SetFetchOnDemand(onDemand);
    }
};

} // namespace

TEST(Packets, DataRequestCarriesConditionAndOrderBeforeOpening) {
    Remote r(10);
    r.ds.DataRequest(Variant::fromList({"MB002='2'", "MB001 DESC"}));
    r.ds.Open();
    ASSERT_EQ(r.p.requests.size(), 1) << "the explicit request is not sent again by Open";
    EXPECT_EQ(r.p.requests[0].condition, "MB002='2'");
    EXPECT_EQ(r.p.requests[0].order, "MB001 DESC");
    EXPECT_EQ(r.ds.RecordCount(), 4); // rows 1, 4, 7 and 10 have MB002 = 2
    EXPECT_EQ(r.ds.FieldByName("MB001")->AsString(), "A0010");
    EXPECT_EQ(r.p.packetSizes, QList<int>({20}));

    // Reopening starts from the first row again, with the same request.
    r.ds.Close();
    r.ds.Open();
    EXPECT_EQ(r.p.requests.size(), 2);
    EXPECT_EQ(r.p.requests[1].condition, "MB002='2'");
    EXPECT_EQ(r.ds.RecordCount(), 4);

    // "1=2" opens empty but with every field: the add command's way to start a new record.
    r.ds.Close();
    r.ds.DataRequest(Variant::fromList({"1=2", "MB001"}));
    r.ds.Open();
    EXPECT_TRUE(r.ds.IsEmpty());
    EXPECT_EQ(r.ds.FieldCount(), 5);
}

TEST(Packets, FetchingTheNextPacketAtTheEndOfFetchedRecords) {
    Remote r(45);
    // The data module's way: fetch in BeforeScroll when the cursor stands at the end.
    TDataSource src;
    src.SetDataSet(&r.ds);
    int dataChanges = 0;
    src.OnDataChange = [&](TDataSource*, TField*) { ++dataChanges; };
    r.ds.BeforeScroll = [&](TDataSet* d) {
        if (d->Eof() && d->State() == TDataSetState::dsBrowse) {
            d->DisableControls();
            auto handler = std::move(src.OnDataChange);
            src.OnDataChange = nullptr;
            d->GetNextPacket();
            src.OnDataChange = handler;
            d->EnableControls();
        }
    };
    r.ds.Open();
    EXPECT_EQ(r.ds.RecordCount(), 20);
    EXPECT_TRUE(r.ds.HasMorePackets());
    r.ds.Last();
    EXPECT_EQ(r.ds.RecNo(), 20) << "without FetchOnDemand, Last goes to the last fetched record";
    EXPECT_TRUE(r.ds.Eof());
    dataChanges = 0;
    r.ds.Next(); // at the end: the next packet comes in and the cursor moves onto it
    EXPECT_EQ(r.ds.RecordCount(), 40);
    EXPECT_EQ(r.ds.RecNo(), 21);
    EXPECT_EQ(r.ds.FieldByName("N")->AsInteger(), 21);
    EXPECT_EQ(dataChanges, 2) << "one change after enabling controls and one scroll";
    r.ds.Last();
    r.ds.Next();
    EXPECT_EQ(r.ds.RecordCount(), 45);
    EXPECT_FALSE(r.ds.HasMorePackets());
    EXPECT_EQ(r.ds.GetNextPacket(), 0);
    EXPECT_EQ(r.p.packetSizes, QList<int>({20, 20, 20}));
}

TEST(Packets, FetchOnDemandAndFetchAll) {
    Remote r(45, 20, true);
    r.ds.Open();
    r.ds.SetRecNo(20);
    r.ds.Next();
    EXPECT_EQ(r.ds.RecordCount(), 40) << "moving past the fetched records fetches on demand";
    EXPECT_EQ(r.ds.RecNo(), 21);
    r.ds.Last();
    EXPECT_EQ(r.ds.RecordCount(), 45);
    EXPECT_EQ(r.ds.RecNo(), 45);

    Remote all(45, -1);
    all.ds.Open();
    EXPECT_EQ(all.ds.RecordCount(), 45);
    EXPECT_FALSE(all.ds.HasMorePackets());

    Remote meta(45, 0);
    meta.ds.Open();
    EXPECT_TRUE(meta.ds.IsEmpty()) << "a packet size of 0 fetches field definitions only";
    EXPECT_EQ(meta.ds.FieldCount(), 5);
    EXPECT_FALSE(meta.ds.HasMorePackets());

    Remote fetch(45, 10);
    fetch.ds.Open();
    fetch.ds.FetchAll();
    EXPECT_EQ(fetch.ds.RecordCount(), 45);
    EXPECT_EQ(fetch.ds.PacketRecords(), 10);
}

TEST(Packets, PacketsMergeIntoAnActiveIndex) {
    Remote r(30, 10);
    r.ds.SetIndexFieldNames("MB002;N");
    r.ds.Open();
    r.ds.Last();
    const int lastN = int(r.ds.FieldByName("N")->AsInteger());
    r.ds.GetNextPacket();
    r.ds.GetNextPacket();
    ASSERT_EQ(r.ds.RecordCount(), 30);
    EXPECT_EQ(r.ds.FieldByName("N")->AsInteger(), lastN) << "the cursor stays on its record";
    r.ds.First();
    QString prev;
    int prevN = 0;
    while (!r.ds.Eof()) {
        const QString m = r.ds.FieldByName("MB002")->AsString();
        const int n = int(r.ds.FieldByName("N")->AsInteger());
        EXPECT_TRUE(prev < m || (prev == m && prevN < n)) << m.toStdString() << " " << n;
        prev = m;
        prevN = n;
        r.ds.Next();
    }
}
