#include "MemoryProvider.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Remote {
    MemoryProvider p;
    TClientDataSet ds;
    explicit Remote(int rows) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.Open();
    }
    MemoryProvider::Table& server() { return p.table("pvdMain"); }
    void edit(const QString& key, const QString& field, const Variant& v) {
        ASSERT_TRUE(ds.Locate("MB001", key));
        ds.Edit();
        ds.FieldByName(field)->SetValue(v);
        ds.Post();
    }
    // Another user changes a row on the server behind our back.
    void changeOnServer(int row, int column, const Variant& v) { server().rows[row][column] = v; }
};

} // namespace

TEST(ChangeLog, DeltaCarriesOnlyChangedValuesAndServerStoredRowsAreMerged) {
    Remote r(4);
    r.p.onStore = [](Row& row) { row[3] = row[3].toDouble() + 100; }; // the server stamps FLAG
    r.edit("A0002", "MB005", "new remark");
    r.ds.Append();
    r.ds.FieldByName("MB001")->SetAsString("B0001");
    r.ds.FieldByName("FLAG")->SetAsFloat(1);
    r.ds.Post();
    ASSERT_TRUE(r.ds.Locate("MB001", "A0004"));
    r.ds.Delete();
    EXPECT_EQ(r.ds.ChangeCount(), 3);

    EXPECT_EQ(r.ds.ApplyUpdates(0), 0);
    ASSERT_EQ(r.p.deltas.size(), 1);
    const Delta& d = r.p.deltas[0];
    ASSERT_EQ(d.rows.size(), 3);
    EXPECT_EQ(d.rows[0].status, UpdateStatus::Modified);
    EXPECT_EQ(d.rows[0].oldValues[2].toString(), "remark 2");
    EXPECT_TRUE(d.rows[0].newValues[0].isUnassigned()) << "unchanged fields are left out";
    EXPECT_EQ(d.rows[0].newValues[2].toString(), "new remark");
    EXPECT_EQ(d.rows[1].status, UpdateStatus::Deleted);
    EXPECT_EQ(d.rows[2].status, UpdateStatus::Inserted);
    EXPECT_EQ(d.rows[2].newValues[0].toString(), "B0001");

    EXPECT_EQ(r.ds.ChangeCount(), 0);
    EXPECT_EQ(r.ds.RecordCount(), 4);
    ASSERT_TRUE(r.ds.Locate("MB001", "A0002"));
    EXPECT_EQ(r.ds.FieldByName("FLAG")->AsFloat(), 101) << "the dataset shows what the server stored";
    EXPECT_EQ(r.ds.UpdateStatus(), UpdateStatus::Unmodified);
    ASSERT_TRUE(r.ds.Locate("MB001", "B0001"));
    EXPECT_EQ(r.ds.FieldByName("FLAG")->AsFloat(), 101);
    EXPECT_EQ(r.server().rows.size(), 4);
    EXPECT_EQ(r.ds.ApplyUpdates(0), 0) << "nothing left to apply";
    EXPECT_EQ(r.p.deltas.size(), 1);
}

TEST(ChangeLog, ReconcileErrorReachesTheHandlerWithItsContext) {
    Remote r(3);
    r.edit("A0001", "MB005", "mine");
    r.edit("A0002", "MB005", "mine too");
    r.changeOnServer(0, 2, "theirs");
    QList<EReconcileError> seen;
    QList<TUpdateKind> kinds;
    r.ds.OnReconcileError = [&](TClientDataSet*, EReconcileError& e, TUpdateKind k, TReconcileAction&) {
        seen << e;
        kinds << k;
    };
    EXPECT_EQ(r.ds.ApplyUpdates(0), 1);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].Message, "Record changed by another user");
    EXPECT_EQ(seen[0].Context, "pvdMain row 0");
    EXPECT_EQ(seen[0].PreviousError, 7);
    EXPECT_EQ(seen[0].Record.OldValue("MB005").toString(), "remark 1");
    EXPECT_EQ(seen[0].Record.NewValue("MB005").toString(), "mine");
    EXPECT_EQ(seen[0].Record.CurValue("MB005").toString(), "theirs");
    EXPECT_EQ(kinds[0], TUpdateKind::ukModify);
    // maxErrors 0: the provider kept nothing, so both changes stay pending (the default action skips).
    EXPECT_EQ(r.ds.ChangeCount(), 2);
    EXPECT_EQ(r.server().rows[1][2].toString(), "remark 2");
    ASSERT_TRUE(r.ds.Locate("MB001", "A0001"));
    EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "mine");

    // With room for errors the good change is applied and the failed one stays.
    seen.clear();
    EXPECT_EQ(r.ds.ApplyUpdates(-1), 1);
    EXPECT_EQ(r.ds.ChangeCount(), 1);
    EXPECT_EQ(r.server().rows[1][2].toString(), "mine too");
}

TEST(ChangeLog, ReconcileActions) {
    auto run = [](TReconcileAction action, auto check) {
        Remote r(2);
        r.edit("A0001", "MB005", "mine");
        r.edit("A0001", "N", 50);
        r.changeOnServer(0, 2, "theirs");
        r.changeOnServer(0, 3, 9.0);
        r.ds.OnReconcileError = [action](TClientDataSet*, EReconcileError& e, TUpdateKind,
                                         TReconcileAction& a) {
            if (action == TReconcileAction::raCorrect) e.Record.SetNewValue("MB005", "corrected");
            a = action;
        };
        EXPECT_EQ(r.ds.ApplyUpdates(-1), 1);
        ASSERT_TRUE(r.ds.Locate("MB001", "A0001"));
        check(r);
    };
    run(TReconcileAction::raCancel, [](Remote& r) {
        EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "remark 1");
        EXPECT_EQ(r.ds.ChangeCount(), 0);
    });
    run(TReconcileAction::raRefresh, [](Remote& r) {
        EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "theirs");
        EXPECT_EQ(r.ds.FieldByName("FLAG")->AsFloat(), 9.0);
        EXPECT_EQ(r.ds.ChangeCount(), 0);
    });
    run(TReconcileAction::raMerge, [](Remote& r) {
        EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "mine");
        EXPECT_EQ(r.ds.FieldByName("FLAG")->AsFloat(), 9.0) << "the server's other changes come in";
        EXPECT_EQ(r.ds.ChangeCount(), 1);
        // The merged change now applies against the server's current row.
        EXPECT_EQ(r.ds.ApplyUpdates(0), 0);
        EXPECT_EQ(r.server().rows[0][2].toString(), "mine");
        EXPECT_EQ(r.server().rows[0][4].toInt(), 50);
    });
    run(TReconcileAction::raCorrect, [](Remote& r) {
        EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "corrected");
        EXPECT_EQ(r.ds.ChangeCount(), 1);
    });
    run(TReconcileAction::raSkip, [](Remote& r) {
        EXPECT_EQ(r.ds.FieldByName("MB005")->AsString(), "mine");
        EXPECT_EQ(r.ds.UpdateStatus(), UpdateStatus::Modified);
    });
}

TEST(ChangeLog, AbortStopsReconcilingTheRest) {
    Remote r(3);
    r.edit("A0001", "MB005", "x");
    r.edit("A0002", "MB005", "y");
    r.changeOnServer(0, 2, "other");
    r.changeOnServer(1, 2, "other");
    int calls = 0;
    r.ds.OnReconcileError = [&](TClientDataSet*, EReconcileError&, TUpdateKind, TReconcileAction& a) {
        ++calls;
        a = TReconcileAction::raAbort;
    };
    EXPECT_EQ(r.ds.ApplyUpdates(-1), 2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(r.ds.ChangeCount(), 2);
}

TEST(ChangeLog, CancelUpdatesRestoresEverything) {
    Remote r(4);
    r.edit("A0001", "MB005", "changed");
    r.edit("A0001", "MB005", "changed twice");
    ASSERT_TRUE(r.ds.Locate("MB001", "A0003"));
    r.ds.Delete();
    r.ds.Append();
    r.ds.FieldByName("MB001")->SetAsString("NEW");
    r.ds.Post();
    r.ds.Append();
    r.ds.FieldByName("MB001")->SetAsString("GONE");
    r.ds.Post();
    r.ds.Delete(); // an inserted record deleted again leaves no change
    EXPECT_EQ(r.ds.ChangeCount(), 3);
    r.ds.Edit();
    r.ds.FieldByName("MB005")->SetAsString("pending");
    r.ds.CancelUpdates();
    EXPECT_EQ(r.ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(r.ds.ChangeCount(), 0);
    EXPECT_EQ(r.ds.RecordCount(), 4);
    QStringList keys, remarks;
    for (r.ds.First(); !r.ds.Eof(); r.ds.Next()) {
        keys << r.ds.FieldByName("MB001")->AsString();
        remarks << r.ds.FieldByName("MB005")->AsString();
    }
    EXPECT_EQ(keys, QStringList({"A0001", "A0002", "A0003", "A0004"}));
    EXPECT_EQ(remarks[0], "remark 1");
    EXPECT_EQ(r.ds.ApplyUpdates(0), 0);
    EXPECT_TRUE(r.p.deltas.isEmpty());
}

TEST(ChangeLog, ApplyWithoutProviderFailsLoudly) {
    TClientDataSet ds;
    ds.FieldDefs().Add("A", FieldType::Integer);
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("A")->SetAsInteger(1);
    ds.Post();
    EXPECT_THROW(ds.ApplyUpdates(0), EDatabaseError);
    EXPECT_EQ(ds.ChangeCount(), 1);
    ds.MergeChangeLog();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(ds.RecordCount(), 1);
}
