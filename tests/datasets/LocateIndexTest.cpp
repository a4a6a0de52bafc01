#include "MemoryProvider.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Opened {
    MemoryProvider p;
    TClientDataSet ds;
    explicit Opened(int rows) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.Open();
    }
    QStringList column(const QString& name) {
        QStringList out;
        const TBookmark b = ds.Bookmark();
        ds.DisableControls();
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.FieldByName(name)->AsString();
        ds.GotoBookmark(b);
        ds.EnableControls();
        return out;
    }
};

} // namespace

TEST(Locate, OnSeveralFieldsWithOptions) {
    Opened t(10);
    int scrolls = 0;
    t.ds.AfterScroll = [&](TDataSet*) { ++scrolls; };
    EXPECT_TRUE(t.ds.Locate("MB002;N", Variant::fromList({"2", 7})));
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0007");
    EXPECT_EQ(scrolls, 1);
    EXPECT_FALSE(t.ds.Locate("MB002;N", Variant::fromList({"3", 7})));
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0007") << "a failed locate does not move";

    EXPECT_FALSE(t.ds.Locate("MB005", "REMARK 3"));
    EXPECT_TRUE(t.ds.Locate("MB005", "REMARK 3", loCaseInsensitive));
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 3);
    EXPECT_TRUE(t.ds.Locate("mb005", "remark 1", loPartialKey)); // field names without case
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 1);
    EXPECT_TRUE(t.ds.Locate("MB005", "Remark 10", TLocateOptions(loPartialKey | loCaseInsensitive)));
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 10);
    EXPECT_TRUE(t.ds.Locate("N", 4));
    EXPECT_TRUE(t.ds.Locate("N", "5")) << "a text value matches a number field by its text";
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 5);
    EXPECT_THROW(t.ds.Locate("NOPE", 1), EDatabaseError);

    EXPECT_EQ(t.ds.Lookup("N", 9, "MB001").toString(), "A0009");
    EXPECT_TRUE(t.ds.Lookup("N", 99, "MB001").isNull());
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 5) << "Lookup does not move the cursor";

    // Locate searches in the current index order: the first hit comes first in that order.
    t.ds.SetIndexFieldNames("N");
    t.ds.IndexDefs().Add("byNDesc", "N", ixDescending);
    t.ds.SetIndexName("byNDesc");
    EXPECT_TRUE(t.ds.Locate("MB002", "2"));
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 10);
}

TEST(Bookmarks, SurviveSortingFetchingAndOtherDeletions) {
    Opened t(6);
    t.ds.SetRecNo(3);
    const TBookmark third = t.ds.Bookmark();
    t.ds.SetRecNo(5);
    const TBookmark fifth = t.ds.Bookmark();
    EXPECT_EQ(t.ds.CompareBookmarks(third, fifth), -1);

    t.ds.IndexDefs().Add("desc", "N", ixDescending);
    t.ds.SetIndexName("desc");
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 5) << "changing the index keeps the current record";
    EXPECT_EQ(t.ds.RecNo(), 2);
    EXPECT_EQ(t.ds.CompareBookmarks(third, fifth), 1);
    t.ds.GotoBookmark(third);
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 3);

    t.ds.GotoBookmark(fifth);
    t.ds.Delete();
    EXPECT_FALSE(t.ds.BookmarkValid(fifth));
    EXPECT_TRUE(t.ds.BookmarkValid(third));
    EXPECT_THROW(t.ds.GotoBookmark(fifth), EDatabaseError);
    t.ds.GotoBookmark(third);
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 3);
    t.ds.CancelUpdates();
    EXPECT_TRUE(t.ds.BookmarkValid(fifth)) << "a restored record keeps its bookmark";
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 3);
}

// Clicking a grid title: ascending on the field, then a named descending index, then ascending again.
TEST(Indexes, AscendingThenDescendingOnAClickedColumn) {
    Opened t(5);
    t.ds.Edit();
    t.ds.FieldByName("MB005")->SetAsString("b");
    t.ds.Next(); // posts
    t.ds.Edit();
    t.ds.FieldByName("MB005")->SetAsString("B");
    t.ds.Post();
    const QString field = "MB005";
    auto click = [&] {
        if (!t.ds.IndexFieldNames().isEmpty() ||
            (t.ds.IndexDefs().Find(field) && !t.ds.IndexDefs().Find(field)->Options.testFlag(ixDescending)) ||
            t.ds.IndexName().isEmpty()) {
            if (t.ds.IndexFieldNames() != field) {
                t.ds.SetIndexFieldNames(field);
                return;
            }
            TIndexDef* d = t.ds.IndexDefs().Find(field);
            if (!d) d = &t.ds.IndexDefs().Add(field, field);
            d->Fields = d->DescFields = field;
            d->Options = ixDescending;
            t.ds.SetIndexFieldNames("");
            t.ds.SetIndexName(field);
        } else {
            t.ds.SetIndexFieldNames(field);
        }
    };
    click();
    EXPECT_EQ(t.ds.IndexFieldNames(), "MB005");
    EXPECT_EQ(t.column("MB005"), QStringList({"B", "b", "remark 3", "remark 4", "remark 5"}))
        << "strings sort by code point, upper case first";
    click();
    EXPECT_TRUE(t.ds.IndexFieldNames().isEmpty());
    EXPECT_EQ(t.ds.IndexName(), "MB005");
    EXPECT_EQ(t.column("MB005"), QStringList({"remark 5", "remark 4", "remark 3", "b", "B"}));
    click();
    EXPECT_EQ(t.ds.IndexFieldNames(), "MB005");
    EXPECT_EQ(t.column("MB005").first(), "B");

    // Switching the index off restores the fetch order.
    t.ds.SetIndexFieldNames("");
    EXPECT_EQ(t.column("MB001"), QStringList({"A0001", "A0002", "A0003", "A0004", "A0005"}));
    EXPECT_THROW(t.ds.SetIndexName("missing"), EDatabaseError);
}

TEST(Indexes, MixedDirectionsCaseInsensitiveAndPostedRecordsFindTheirPlace) {
    Opened t(6);
    TIndexDef& d = t.ds.IndexDefs().Add("mixed", "MB002;N");
    d.DescFields = "N";
    t.ds.SetIndexName("mixed");
    EXPECT_EQ(t.column("N"), QStringList({"6", "3", "4", "1", "5", "2"}));

    // An appended record goes to its place in the index when posted.
    t.ds.Append();
    t.ds.FieldByName("MB001")->SetAsString("Z");
    t.ds.FieldByName("MB002")->SetAsString("2");
    t.ds.FieldByName("N")->SetAsInteger(3);
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 4);
    EXPECT_EQ(t.column("N"), QStringList({"6", "3", "4", "3", "1", "5", "2"}));
    // An edited key moves its record; the cursor follows it.
    t.ds.Edit();
    t.ds.FieldByName("MB002")->SetAsString("9");
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 7);
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "Z");

    TIndexDef& ci = t.ds.IndexDefs().Add("ci", "MB005", ixCaseInsensitive);
    Q_UNUSED(ci);
    t.ds.First();
    t.ds.Edit();
    t.ds.FieldByName("MB005")->SetAsString("REMARK 35");
    t.ds.Post();
    t.ds.SetIndexName("ci");
    const QStringList col = t.column("MB005");
    EXPECT_EQ(col.indexOf("REMARK 35"), col.indexOf("remark 3") + 1);
}
