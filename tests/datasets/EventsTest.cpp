#include "MemoryProvider.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Logged {
    MemoryProvider p;
    TClientDataSet ds;
    QStringList log;
    explicit Logged(int rows = 3) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        auto on = [this](const char* name) { return [this, name](TDataSet*) { log << name; }; };
        ds.BeforeOpen = on("BeforeOpen");
        ds.AfterOpen = on("AfterOpen");
        ds.BeforeClose = on("BeforeClose");
        ds.AfterClose = on("AfterClose");
        ds.BeforeInsert = on("BeforeInsert");
        ds.AfterInsert = on("AfterInsert");
        ds.BeforeEdit = on("BeforeEdit");
        ds.AfterEdit = on("AfterEdit");
        ds.BeforePost = on("BeforePost");
        ds.AfterPost = on("AfterPost");
        ds.BeforeCancel = on("BeforeCancel");
        ds.AfterCancel = on("AfterCancel");
        ds.BeforeDelete = on("BeforeDelete");
        ds.AfterDelete = on("AfterDelete");
        ds.BeforeScroll = on("BeforeScroll");
        ds.AfterScroll = on("AfterScroll");
        ds.OnNewRecord = [this](TDataSet* d) {
            log << "NewRecord";
            d->FieldByName("FLAG")->SetAsFloat(-1); // defaults do not count as a modification
        };
    }
    QStringList take() {
        QStringList out = log;
        log.clear();
        return out;
    }
};

} // namespace

TEST(DataSetEvents, OpenAndClose) {
    Logged t;
    t.ds.Open();
    EXPECT_EQ(t.take(), QStringList({"BeforeOpen", "AfterOpen", "AfterScroll"}));
    EXPECT_EQ(t.ds.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(t.ds.Bof());
    EXPECT_FALSE(t.ds.Eof());
    t.ds.Close();
    EXPECT_EQ(t.take(), QStringList({"BeforeClose", "AfterClose"}));
    EXPECT_EQ(t.ds.State(), TDataSetState::dsInactive);
    EXPECT_THROW(t.ds.Next(), EDatabaseError);

    Logged empty(0);
    empty.ds.Open();
    EXPECT_EQ(empty.take(), QStringList({"BeforeOpen", "AfterOpen"})) << "no scroll on an empty dataset";
    EXPECT_TRUE(empty.ds.IsEmpty());
    EXPECT_TRUE(empty.ds.Bof() && empty.ds.Eof());
}

TEST(DataSetEvents, AppendPostAndCancel) {
    Logged t;
    t.ds.Open();
    t.take();
    t.ds.Append();
    EXPECT_EQ(t.take(),
              QStringList({"BeforeInsert", "BeforeScroll", "NewRecord", "AfterInsert", "AfterScroll"}));
    EXPECT_EQ(t.ds.State(), TDataSetState::dsInsert);
    EXPECT_FALSE(t.ds.Modified()) << "values set by OnNewRecord are not a modification";
    EXPECT_EQ(t.ds.FieldByName("FLAG")->AsFloat(), -1);
    t.ds.FieldByName("MB001")->SetAsString("B0001");
    EXPECT_TRUE(t.ds.Modified());
    t.ds.Post();
    EXPECT_EQ(t.take(), QStringList({"BeforePost", "AfterPost"}));
    EXPECT_EQ(t.ds.RecordCount(), 4);
    EXPECT_EQ(t.ds.RecNo(), 4);
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "B0001");

    t.ds.First();
    t.take();
    t.ds.Insert();
    t.ds.Cancel();
    EXPECT_EQ(t.take(), QStringList({"BeforeInsert", "BeforeScroll", "NewRecord", "AfterInsert",
                                     "AfterScroll", "BeforeCancel", "AfterCancel"}));
    EXPECT_EQ(t.ds.RecordCount(), 4);
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0001") << "cancel returns to the record it left";

    // Insert places the record before the current one.
    t.ds.Next();
    t.ds.Insert();
    t.ds.FieldByName("MB001")->SetAsString("A0001X");
    t.ds.Post();
    EXPECT_EQ(t.ds.RecNo(), 2);
    t.ds.Next();
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0002");
}

TEST(DataSetEvents, EditPostCancelAndAbortInBeforePost) {
    Logged t;
    t.ds.Open();
    t.take();
    t.ds.Edit();
    EXPECT_EQ(t.take(), QStringList({"BeforeEdit", "AfterEdit"}));
    t.ds.Edit(); // already editing: nothing
    EXPECT_TRUE(t.take().isEmpty());
    t.ds.FieldByName("MB005")->SetAsString("changed");
    t.ds.Cancel();
    EXPECT_EQ(t.take(), QStringList({"BeforeCancel", "AfterCancel"}));
    EXPECT_EQ(t.ds.FieldByName("MB005")->AsString(), "remark 1");
    EXPECT_EQ(t.ds.ChangeCount(), 0);

    t.ds.BeforePost = [](TDataSet*) { Abort(); };
    t.ds.Edit();
    t.ds.FieldByName("MB005")->SetAsString("refused");
    EXPECT_THROW(t.ds.Post(), EAbort);
    EXPECT_EQ(t.ds.State(), TDataSetState::dsEdit) << "a refused post stays in edit state";
    EXPECT_EQ(t.ds.FieldByName("MB005")->AsString(), "refused");
    t.ds.BeforePost = nullptr;
    t.ds.Post();
    EXPECT_EQ(t.ds.ChangeCount(), 1);
    EXPECT_EQ(t.ds.UpdateStatus(), UpdateStatus::Modified);
    EXPECT_THROW(t.ds.Post(), EDatabaseError) << "posting in browse state is an error";
}

TEST(DataSetEvents, ScrollingAndItsEdges) {
    Logged t;
    t.ds.Open();
    t.take();
    t.ds.Next();
    EXPECT_EQ(t.take(), QStringList({"BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(t.ds.RecNo(), 2);
    t.ds.Last();
    EXPECT_TRUE(t.ds.Eof());
    t.take();
    t.ds.Next(); // at the end: only BeforeScroll, nothing moves
    EXPECT_EQ(t.take(), QStringList({"BeforeScroll"}));
    EXPECT_EQ(t.ds.RecNo(), 3);
    EXPECT_EQ(t.ds.MoveBy(-10), -2);
    EXPECT_TRUE(t.ds.Bof());
    EXPECT_EQ(t.ds.RecNo(), 1);
    t.ds.SetRecNo(3);
    EXPECT_EQ(t.ds.FieldByName("N")->AsInteger(), 3);

    // A modified edit is posted by scrolling; an unmodified one is cancelled.
    t.ds.Edit();
    t.ds.FieldByName("MB005")->SetAsString("posted by scroll");
    t.take();
    t.ds.Prior();
    EXPECT_EQ(t.take(), QStringList({"BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}));
    t.ds.Edit();
    t.take();
    t.ds.Next();
    EXPECT_EQ(t.take(), QStringList({"BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(t.ds.FieldByName("MB005")->AsString(), "posted by scroll");
}

TEST(DataSetEvents, DeleteMovesToTheNextRecord) {
    Logged t;
    t.ds.Open();
    t.ds.Next();
    t.take();
    t.ds.Delete();
    EXPECT_EQ(t.take(), QStringList({"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(t.ds.RecordCount(), 2);
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0003");
    t.ds.Delete();
    EXPECT_EQ(t.ds.FieldByName("MB001")->AsString(), "A0001") << "deleting the last record moves back";
    t.ds.Delete();
    EXPECT_TRUE(t.ds.IsEmpty());
    EXPECT_THROW(t.ds.Delete(), EDatabaseError);
    EXPECT_EQ(t.ds.ChangeCount(), 3);
}
