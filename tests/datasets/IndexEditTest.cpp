// Indexes with duplicate keys under posts, deletes and cancels; packets merged into an index in an
// order far from the fetch order; bookmarks across the store's chunks; the change log of records that
// were changed and then deleted.
#include "MemoryProvider.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Indexed {
    MemoryProvider p;
    TClientDataSet ds;
    Indexed(int rows, int packet, const QString& index) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(packet);
        ds.SetIndexFieldNames(index);
        ds.Open();
    }
    TField* f(const char* name) const { return ds.FieldByName(QLatin1String(name)); }
    std::vector<int> walkN() {
        std::vector<int> out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out.push_back(f("N")->AsInteger());
        return out;
    }
};

// N of 1..rows stably sorted on MB002, which fillStandard sets to N % 3 + 1.
std::vector<int> byGroup(int rows) {
    std::vector<int> v;
    for (int i = 1; i <= rows; ++i)
        v.push_back(i);
    std::stable_sort(v.begin(), v.end(), [](int a, int b) { return a % 3 < b % 3; });
    return v;
}

} // namespace

TEST(IndexEdit, PostingAmongEqualKeysKeepsThePlaceUnlessTheKeyMovesIt) {
    Indexed t(30, -1, "MB002");
    std::vector<int> model = byGroup(30);
    // A record in the middle of its group: a change of another field leaves it where it is.
    t.ds.SetRecNo(15);
    const int n = t.f("N")->AsInteger();
    t.ds.Edit();
    t.f("MB005")->SetAsString("changed");
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 15);
    EXPECT_EQ(t.f("N")->AsInteger(), n);
    // Rewriting the same key too.
    t.ds.Edit();
    t.f("MB002")->SetAsString(t.f("MB002")->AsString());
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 15);
    EXPECT_EQ(t.walkN(), model);

    // The last record of group "1" takes a key that still sorts before group "2": it stays.
    t.ds.SetRecNo(10);
    ASSERT_EQ(t.f("MB002")->AsString(), "1");
    t.ds.Edit();
    t.f("MB002")->SetAsString("1x");
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 10);

    // A record moving into another group goes after that group's records, the cursor with it.
    t.ds.SetRecNo(1); // N = 3, group "1"
    t.ds.Edit();
    t.f("MB002")->SetAsString("2");
    t.ds.Post();
    EXPECT_EQ(t.f("N")->AsInteger(), 3);
    EXPECT_EQ(t.ds.RecNo(), 20);
    model.erase(model.begin());
    model.insert(model.begin() + 19, 3);
    EXPECT_EQ(t.walkN(), model);
    // And back to the front of the order with the smallest key.
    t.ds.Locate("N", Variant(3));
    t.ds.Edit();
    t.f("MB002")->SetAsString("0");
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 1);
}

TEST(IndexEdit, DeletesInsertsAndCancelsInTheMiddleOfAFetchedIndex) {
    const int rows = 3000;
    Indexed t(rows, 20, "MB002");
    t.ds.FetchAll();
    std::vector<int> model = byGroup(rows);
    ASSERT_EQ(t.walkN(), model);
    // Bookmarks taken now stay on their records through everything below.
    std::vector<std::pair<TBookmark, int>> marks;
    for (int pos : {0, 1023, 1024, 1500, 2047, 2048, 2999}) {
        t.ds.SetRecNo(pos + 1);
        marks.emplace_back(t.ds.Bookmark(), t.f("N")->AsInteger());
    }

    // Every seventh record of the middle third goes, skipping the bookmarked ones.
    std::vector<int> kept;
    for (size_t i = 0; i < model.size(); ++i) {
        const int n = model[i];
        const bool marked =
            std::any_of(marks.begin(), marks.end(), [n](const auto& m) { return m.second == n; });
        if (i >= 1000 && i < 2000 && i % 7 == 0 && !marked) {
            ASSERT_TRUE(t.ds.Locate("N", Variant(n)));
            t.ds.Delete();
        } else {
            kept.push_back(n);
        }
    }
    EXPECT_EQ(t.walkN(), kept);

    // An inserted record joins the end of its group; a cancelled insert leaves no trace.
    t.ds.SetRecNo(1200);
    t.ds.Insert();
    t.f("MB001")->SetAsString("NEW");
    t.f("MB002")->SetAsString("2");
    t.f("N")->SetAsInteger(-7);
    t.ds.Post();
    const auto endOfGroup2 = std::find_if(kept.begin(), kept.end(), [](int n) { return n % 3 == 2; });
    const int insertedAt = int(endOfGroup2 - kept.begin());
    kept.insert(endOfGroup2, -7);
    EXPECT_EQ(t.ds.RecNo(), insertedAt + 1);
    t.ds.SetRecNo(500);
    t.ds.Insert();
    t.f("N")->SetAsInteger(-8);
    t.ds.Cancel();
    EXPECT_EQ(t.ds.RecNo(), 500);
    EXPECT_EQ(t.walkN(), kept);

    for (const auto& [mark, n] : marks) {
        ASSERT_TRUE(t.ds.BookmarkValid(mark));
        t.ds.GotoBookmark(mark);
        EXPECT_EQ(t.f("N")->AsInteger(), n);
        EXPECT_EQ(t.ds.positionOf(mark) + 1, t.ds.RecNo());
    }

    // Cancelling everything gives back the fetched order, bookmarks included.
    t.ds.CancelUpdates();
    EXPECT_EQ(t.ds.ChangeCount(), 0);
    EXPECT_EQ(t.walkN(), model);
    for (const auto& [mark, n] : marks) {
        t.ds.GotoBookmark(mark);
        EXPECT_EQ(t.f("N")->AsInteger(), n);
    }
}

TEST(IndexEdit, PacketsFarFromTheIndexOrderMergeLikeAStableSort) {
    // N scattered over the table, so each packet's rows land far apart in the index.
    const int rows = 6000;
    MemoryProvider p;
    auto& table = p.table("pvdMain");
    fillStandard(table, rows);
    for (int i = 0; i < rows; ++i)
        table.rows[i][4] = Variant((i * 3571) % 2000); // duplicates: every value three times
    TClientDataSet ds;
    ds.SetRemoteServer(&p);
    ds.SetProviderName("pvdMain");
    ds.SetPacketRecords(50);
    ds.SetIndexFieldNames("N");
    ds.Open();
    ds.FetchAll();
    std::vector<std::pair<int, QString>> expected; // (N, MB001): equal N keep the fetch order
    for (const Row& r : table.rows)
        expected.emplace_back(int(r[4].toInt()), r[0].toString());
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<int, QString>> seen;
    for (ds.First(); !ds.Eof(); ds.Next())
        seen.emplace_back(int(ds.FieldByName("N")->AsInteger()), ds.FieldByName("MB001")->AsString());
    EXPECT_EQ(seen, expected);
}

TEST(IndexEdit, ChangedThenDeletedRecordsSendAndRestoreTheFetchedValues) {
    Indexed t(10, -1, "");
    // Record N=2 changed, then deleted; record N=5 deleted unchanged.
    t.ds.Locate("N", Variant(2));
    t.ds.Edit();
    t.f("MB005")->SetAsString("edited");
    t.ds.Post();
    EXPECT_EQ(t.f("MB005")->OldValue().toString(), "remark 2");
    t.ds.Delete();
    t.ds.Locate("N", Variant(5));
    t.ds.Delete();

    const Delta d = t.ds.buildDelta();
    ASSERT_EQ(d.rows.size(), 2);
    for (const DeltaRow& r : d.rows) {
        EXPECT_EQ(r.status, UpdateStatus::Deleted);
        const int n = int(r.oldValues[4].toInt());
        EXPECT_EQ(r.oldValues[2].toString(), QStringLiteral("remark %1").arg(n))
            << "fetched values, not edits";
    }

    t.ds.CancelUpdates();
    ASSERT_TRUE(t.ds.Locate("N", Variant(2)));
    EXPECT_EQ(t.f("MB005")->AsString(), "remark 2");
    ASSERT_TRUE(t.ds.Locate("N", Variant(5)));
    EXPECT_EQ(t.f("MB005")->AsString(), "remark 5");
    EXPECT_EQ(t.ds.RecordCount(), 10);
}

namespace {

// N in the current order, and whether FLAG (the index below) never decreases along it.
std::vector<int> walkAll(Indexed& t, bool* sorted) {
    std::vector<int> out;
    double last = -1e300;
    *sorted = true;
    for (t.ds.First(); !t.ds.Eof(); t.ds.Next()) {
        out.push_back(int(t.f("N")->AsInteger()));
        if (t.f("FLAG")->AsFloat() < last) *sorted = false;
        last = t.f("FLAG")->AsFloat();
    }
    return out;
}

void setFlag(Indexed& t, int n, double flag) {
    ASSERT_TRUE(t.ds.Locate("N", Variant(n)));
    t.ds.Edit();
    t.f("FLAG")->SetAsFloat(flag);
    t.ds.Post();
}

} // namespace

TEST(IndexEdit, RevertRecordMovesOnlyTheRevertedRecord) {
    Indexed t(12, -1, "FLAG"); // every FLAG is 1: the order is the fetch order
    setFlag(t, 3, 5);          // to the end
    setFlag(t, 3, 1);          // back among the equals, after them: 1 2 4 .. 12 3
    setFlag(t, 7, 0);          // to the front
    setFlag(t, 9, 0.5);        // second
    bool sorted = false;
    ASSERT_EQ(walkAll(t, &sorted), (std::vector<int>{7, 9, 1, 2, 4, 5, 6, 8, 10, 11, 12, 3}));

    // Reverted, record 7 no longer sorts before 9: it goes after its equals; record 3, posted after its
    // equals, stays there.
    ASSERT_TRUE(t.ds.Locate("N", Variant(7)));
    t.ds.RevertRecord();
    EXPECT_EQ(t.f("N")->AsInteger(), 7) << "the cursor follows the reverted record";
    EXPECT_EQ(t.f("FLAG")->AsFloat(), 1.0);
    EXPECT_EQ(t.ds.RecNo(), 12);
    EXPECT_EQ(t.walkN(), (std::vector<int>{9, 1, 2, 4, 5, 6, 8, 10, 11, 12, 3, 7}));
    // Reverted where it still sorts between its neighbours (first, FLAG 1 before FLAG 1): it stays.
    ASSERT_TRUE(t.ds.Locate("N", Variant(9)));
    t.ds.RevertRecord();
    EXPECT_EQ(t.ds.RecNo(), 1);

    // A change of another field, reverted, leaves the record where it is.
    ASSERT_TRUE(t.ds.Locate("N", Variant(5)));
    t.ds.Edit();
    t.f("MB005")->SetAsString("changed");
    t.ds.Post();
    const int at = t.ds.RecNo();
    t.ds.RevertRecord();
    EXPECT_EQ(t.ds.RecNo(), at);
    EXPECT_EQ(t.f("MB005")->AsString(), "remark 5");

    // An inserted record leaves; the cursor stays on the place, nothing else moves.
    t.ds.Append();
    t.f("MB001")->SetAsString("B0001");
    t.f("FLAG")->SetAsFloat(0.5);
    t.f("N")->SetAsInteger(100);
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 1);
    t.ds.RevertRecord();
    EXPECT_EQ(t.ds.RecordCount(), 12);
    EXPECT_EQ(t.walkN(), (std::vector<int>{9, 1, 2, 4, 5, 6, 8, 10, 11, 12, 3, 7}));
    EXPECT_EQ(t.ds.ChangeCount(), 1); // record 3 is still changed (its FLAG went back to 1 by a post)
}

TEST(IndexEdit, ApplyMovesOnlyTheRecordsWhoseKeyTheServerChanged) {
    Indexed t(40, -1, "FLAG");
    // The server stamps FLAG: one more than what was sent.
    t.p.onStore = [](Row& row) {
        const double flag = row[3].toDouble() + 1;
        row.replace(3, Variant(flag));
    };
    // Neighbours 10 and 11 both change: each would look in place against the other's new key.
    setFlag(t, 10, 1);
    setFlag(t, 11, 1);
    setFlag(t, 20, 0); // to the front, and after the stamp among the equals at 1
    setFlag(t, 30, 3);
    ASSERT_TRUE(t.ds.Locate("N", Variant(20)));
    EXPECT_EQ(t.ds.ApplyUpdates(0), 0);
    EXPECT_EQ(t.ds.ChangeCount(), 0);
    EXPECT_EQ(t.f("N")->AsInteger(), 20) << "the cursor stays on its record";
    EXPECT_EQ(t.f("FLAG")->AsFloat(), 1.0);
    bool sorted = false;
    const std::vector<int> order = walkAll(t, &sorted);
    EXPECT_TRUE(sorted);
    ASSERT_EQ(order.size(), 40u);
    EXPECT_EQ(order[37], 10); // FLAG 2, after each other in the order they left
    EXPECT_EQ(order[38], 11);
    EXPECT_EQ(order[39], 30); // FLAG 4
    EXPECT_EQ(order[36], 20) << "record 20 goes after the records it now equals";
}

TEST(IndexEdit, ReconcileActionsKeepTheIndexInOrder) {
    Indexed t(10, -1, "FLAG");
    setFlag(t, 4, 7);
    ASSERT_TRUE(t.ds.Locate("N", Variant(6)));
    t.ds.Delete();
    ASSERT_TRUE(t.ds.Locate("N", Variant(8)));
    t.ds.Delete();
    // Another user changed rows 4, 6 and deleted 8 meanwhile.
    auto& rows = t.p.table("pvdMain").rows;
    rows[3][2] = Variant("theirs");
    rows[5][2] = Variant("theirs");
    rows.removeAt(7);
    t.ds.OnReconcileError = [](TClientDataSet*, EReconcileError& e, TUpdateKind kind, TReconcileAction& a) {
        // Cancel the change of 4 (back to FLAG 1) and the delete of 6 (it comes back); drop 8.
        a = kind == TUpdateKind::ukDelete && e.Record.OldValue("N").toInt() == 8 ? TReconcileAction::raRefresh
                                                                                 : TReconcileAction::raCancel;
    };
    EXPECT_EQ(t.ds.ApplyUpdates(-1), 3);
    bool sorted = false;
    EXPECT_EQ(walkAll(t, &sorted), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 9, 10}));
    EXPECT_TRUE(sorted);
    EXPECT_EQ(t.ds.ChangeCount(), 0);
}
