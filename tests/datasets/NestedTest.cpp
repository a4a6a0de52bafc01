#include "MemoryProvider.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

Variant lines(std::initializer_list<std::pair<int, const char*>> items) {
    VariantList rows;
    for (auto [no, text] : items)
        rows << Variant::fromList({no, text, -1.0});
    return Variant::fromList(rows);
}

// A master table with a nested detail table BODY (LINE integer, TEXT string, FLAG float).
struct MasterDetail {
    MemoryProvider p;
    TClientDataSet master;
    TClientDataSet detail;
    MasterDetail() {
        auto& t = p.table("pvdMain");
        FieldDesc key("MB001", FieldType::String, 10);
        key.inKey = true;
        FieldDesc body("BODY", FieldType::DataSet);
        body.children = {FieldDesc("LINE", FieldType::Integer), FieldDesc("TEXT", FieldType::String, 20),
                         FieldDesc("FLAG", FieldType::Float)};
        t.fields = {key, FieldDesc("FLAG", FieldType::Float), body};
        t.rows << Row{"M1", 1.0, lines({{1, "one"}, {2, "two"}, {3, "three"}})}
               << Row{"M2", 1.0, lines({{1, "alpha"}})} << Row{"M3", 1.0, Variant::null()};
        master.setObjectName("cdsMain");
        master.SetRemoteServer(&p);
        master.SetProviderName("pvdMain");
        master.Open();
        detail.setObjectName("cdsBody1");
        detail.SetDataSetField(qobject_cast<TDataSetField*>(master.FieldByName("BODY")));
        detail.Open();
    }
    QStringList texts() {
        QStringList out;
        for (detail.First(); !detail.Eof(); detail.Next())
            out << detail.FieldByName("TEXT")->AsString();
        return out;
    }
    // The framework's cascading delete of a nested dataset: last record first, until empty.
    static void emptyNested(TClientDataSet& ds) {
        ds.DisableControls();
        while (!ds.IsEmpty()) {
            ds.Last();
            for (TClientDataSet* n : ds.NestedDataSets())
                emptyNested(*n);
            ds.Delete();
        }
        ds.EnableControls();
    }
};

} // namespace

TEST(Nested, DetailFollowsTheMastersCurrentRecord) {
    MasterDetail m;
    ASSERT_EQ(m.master.NestedDataSets(), QList<TClientDataSet*>({&m.detail}));
    EXPECT_EQ(m.detail.DataSetField()->NestedDataSet(), &m.detail);
    EXPECT_EQ(m.texts(), QStringList({"one", "two", "three"}));
    m.master.Next();
    EXPECT_EQ(m.texts(), QStringList({"alpha"}));
    m.master.Next();
    EXPECT_TRUE(m.detail.IsEmpty()) << "a null nested value is an empty detail";
    EXPECT_EQ(m.detail.FieldCount(), 3);

    m.master.Close();
    EXPECT_FALSE(m.detail.Active()) << "closing the master closes its details";
    EXPECT_THROW(m.detail.Open(), EDatabaseError);
}

TEST(Nested, DetailChangesTravelWithTheMastersDelta) {
    MasterDetail m;
    m.detail.Last();
    m.detail.Edit();
    m.detail.FieldByName("TEXT")->SetAsString("THREE");
    m.detail.Post();
    EXPECT_EQ(m.master.UpdateStatus(), UpdateStatus::Modified);
    EXPECT_EQ(m.master.ChangeCount(), 1);
    m.master.Next();
    m.master.Prior();
    EXPECT_EQ(m.texts(), QStringList({"one", "two", "THREE"})) << "changes survive scrolling the master";

    EXPECT_EQ(m.detail.ApplyUpdates(0), 0) << "a detail applies through its master";
    ASSERT_EQ(m.p.deltas.size(), 1);
    const DeltaRow& d = m.p.deltas[0].rows[0];
    EXPECT_EQ(d.status, UpdateStatus::Modified);
    EXPECT_EQ(d.newValues[2].toList().size(), 3);
    EXPECT_EQ(d.newValues[2].toList()[2].toList()[1].toString(), "THREE");
    EXPECT_EQ(d.oldValues[2].toList()[2].toList()[1].toString(), "three");
    EXPECT_EQ(m.master.ChangeCount(), 0);
}

TEST(Nested, EmptiedBeforeTheMasterIsDeleted) {
    MasterDetail m;
    MasterDetail::emptyNested(m.detail);
    EXPECT_TRUE(m.detail.IsEmpty());
    m.master.Delete();
    EXPECT_EQ(m.master.FieldByName("MB001")->AsString(), "M2");
    EXPECT_EQ(m.texts(), QStringList({"alpha"}));
    EXPECT_EQ(m.master.ApplyUpdates(0), 0);
    EXPECT_EQ(m.p.table("pvdMain").rows.size(), 2);
    const Delta& d = m.p.deltas[0];
    ASSERT_EQ(d.rows.size(), 1);
    EXPECT_EQ(d.rows[0].status, UpdateStatus::Deleted);
    EXPECT_EQ(d.rows[0].oldValues[2].toList().size(), 3) << "the delete carries the row as fetched";
}

TEST(Nested, PreparedFromLastToFirstAndCancelledWithTheMaster) {
    MasterDetail m;
    // Negative FLAGs become positive, last record first, as before applying.
    QStringList order;
    m.detail.DisableControls();
    for (m.detail.Last(); !m.detail.Bof(); m.detail.Prior()) {
        if (m.detail.FieldByName("FLAG")->AsFloat() < 0) {
            order << m.detail.FieldByName("TEXT")->AsString();
            m.detail.Edit();
            m.detail.FieldByName("FLAG")->SetAsFloat(1);
            m.detail.Post();
        }
        if (m.detail.RecNo() == 1) break;
    }
    m.detail.EnableControls();
    EXPECT_EQ(order, QStringList({"three", "two", "one"}));
    for (m.detail.First(); !m.detail.Eof(); m.detail.Next())
        EXPECT_EQ(m.detail.FieldByName("FLAG")->AsFloat(), 1);

    // Inserting a detail while the master is being added, then cancelling the master.
    m.master.Append();
    m.master.FieldByName("MB001")->SetAsString("M9");
    EXPECT_TRUE(m.detail.IsEmpty());
    m.detail.Append();
    m.detail.FieldByName("LINE")->SetAsInteger(1);
    m.detail.Post();
    EXPECT_EQ(m.detail.RecordCount(), 1);
    m.master.Cancel();
    EXPECT_EQ(m.master.FieldByName("MB001")->AsString(), "M1");
    EXPECT_EQ(m.detail.RecordCount(), 3);

    m.master.CancelUpdates();
    for (m.detail.First(); !m.detail.Eof(); m.detail.Next())
        EXPECT_EQ(m.detail.FieldByName("FLAG")->AsFloat(), -1)
            << "cancelling the master's updates restores its details";
}
