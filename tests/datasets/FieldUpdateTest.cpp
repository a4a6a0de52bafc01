// Field-layout batches: label, width, format, order and visibility changes reach data sources and
// grid models as one layout change per batch; changes that change nothing send none.
#include "platform/ClientDataSet.h"
#include "platform/DataSetModel.h"
#include "platform/DataSource.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kvx;

namespace {

struct Watched {
    TClientDataSet ds;
    TDataSource src;
    TDataSetModel model;
    QStringList log;
    Watched() {
        for (const char* name : {"MB001", "MB002", "CREATOR", "FLAG"})
            ds.FieldDefs().Add(name, FieldType::String, 10);
        ds.CreateDataSet();
        for (const char* k : {"A01", "A02"}) {
            ds.Append();
            ds.FieldByName("MB001")->SetAsString(k);
            ds.Post();
        }
        ds.First();
        src.SetDataSet(&ds);
        model.setDataSource(&src);
        src.OnDataChange = [this](TDataSource*, TField* f) {
            log << (f ? "data " + f->FieldName() : "data");
        };
    }
    // The columns as a grid model shows them: field names with their titles.
    QStringList columns() const {
        QStringList out;
        for (int i = 0; i < model.columnCount(); ++i)
            out << model.fieldAt(i)->FieldName() + "=" + model.headerData(i, Qt::Horizontal).toString();
        return out;
    }
    // The same changes as the module makes at connecting: audit labels, audit fields hidden, an order.
    void setUp() {
        ds.FieldByName("CREATOR")->SetDisplayLabel(QString::fromUtf8("建立者"));
        ds.FieldByName("FLAG")->SetDisplayLabel(QString::fromUtf8("标志"));
        ds.FieldByName("MB002")->SetDisplayWidth(20);
        ds.FieldByName("CREATOR")->SetVisible(false);
        ds.FieldByName("FLAG")->SetVisible(false);
        ds.FieldByName("MB002")->SetIndex(0);
    }
};

} // namespace

TEST(FieldUpdate, ABatchIsOneLayoutChangeWithTheSameColumns) {
    Watched plain;
    QSignalSpy plainResets(&plain.model, &QAbstractItemModel::modelReset);
    plain.setUp();
    EXPECT_EQ(plainResets.count(), 6) << "without a batch every change resets the model";

    Watched batched;
    QSignalSpy resets(&batched.model, &QAbstractItemModel::modelReset);
    {
        const TFieldUpdate batch(&batched.ds);
        batched.setUp();
        EXPECT_EQ(resets.count(), 0);
        EXPECT_TRUE(batched.log.isEmpty());
    }
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(batched.log, QStringList({"data"}));
    EXPECT_EQ(batched.columns(), plain.columns());
    EXPECT_EQ(batched.columns(), QStringList({"MB002=MB002", "MB001=MB001"}));
    EXPECT_EQ(batched.ds.FieldByName("MB002")->DisplayWidth(), 20);
    EXPECT_FALSE(batched.ds.InFieldUpdate());
}

TEST(FieldUpdate, ChangesThatChangeNothingSendNothing) {
    Watched w;
    w.ds.FieldByName("MB001")->SetDisplayLabel(QString::fromUtf8("文档编号"));
    w.ds.FieldByName("MB001")->SetDisplayFormat("#,##0");
    w.ds.FieldByName("MB001")->SetDisplayWidth(12);
    w.log.clear();
    QSignalSpy resets(&w.model, &QAbstractItemModel::modelReset);
    w.ds.FieldByName("MB001")->SetDisplayLabel(QString::fromUtf8("文档编号"));
    w.ds.FieldByName("MB001")->SetDisplayFormat("#,##0");
    w.ds.FieldByName("MB001")->SetDisplayWidth(12);
    w.ds.FieldByName("MB001")->SetVisible(true);
    w.ds.FieldByName("MB002")->SetDisplayLabel("MB002"); // its own name: no label, as before
    w.ds.FieldByName("MB001")->SetIndex(0);
    {
        const TFieldUpdate batch(&w.ds);
        w.ds.FieldByName("MB002")->SetDisplayLabel("MB002");
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_TRUE(w.log.isEmpty());
    // A real change still reaches the model at once.
    w.ds.FieldByName("MB001")->SetDisplayLabel(QString::fromUtf8("单号"));
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(w.columns().value(0), QString::fromUtf8("MB001=单号"));
}

TEST(FieldUpdate, OtherEventsPassAtOnceAndTheLayoutChangeStillFollows) {
    Watched w;
    QSignalSpy resets(&w.model, &QAbstractItemModel::modelReset);
    QSignalSpy moved(&w.model, &TDataSetModel::currentRowChanged);
    {
        const TFieldUpdate batch(&w.ds);
        w.ds.FieldByName("FLAG")->SetVisible(false);
        w.ds.Next(); // a scroll inside the batch is not held back
        EXPECT_EQ(moved.count(), 1);
        EXPECT_EQ(w.model.currentRow(), 1);
        EXPECT_EQ(resets.count(), 0);
        w.ds.Edit();
        w.ds.FieldByName("MB001")->SetAsString("B02"); // nor is a value change
        EXPECT_TRUE(w.log.contains("data MB001"));
        w.ds.Post();
        EXPECT_EQ(w.ds.FieldByName("MB001")->AsString(), "B02");
    }
    // The hidden field reaches the model although other notices went out meanwhile.
    const int atEnd = int(resets.count());
    EXPECT_FALSE(w.columns().join(',').contains("FLAG"));
    w.ds.FieldByName("CREATOR")->SetVisible(false);
    EXPECT_EQ(resets.count(), atEnd + 1) << "no batch is left open";
}

TEST(FieldUpdate, NestedBatchesEndAtTheOutermost) {
    Watched w;
    QSignalSpy resets(&w.model, &QAbstractItemModel::modelReset);
    {
        const TFieldUpdate outer(&w.ds);
        {
            const TFieldUpdate inner(&w.ds);
            w.ds.FieldByName("FLAG")->SetVisible(false);
        }
        EXPECT_EQ(resets.count(), 0);
        EXPECT_TRUE(w.ds.InFieldUpdate());
        w.ds.FieldByName("CREATOR")->SetVisible(false);
    }
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(w.columns().size(), 2);
}

TEST(FieldUpdate, ClosedDatasetsAndFailuresLeaveNoBatchBehind) {
    {
        Watched w;
        QSignalSpy resets(&w.model, &QAbstractItemModel::modelReset);
        int afterClose = 0;
        {
            const TFieldUpdate batch(&w.ds);
            w.ds.FieldByName("FLAG")->SetVisible(false);
            w.ds.Close();
            afterClose = int(resets.count());
        }
        EXPECT_EQ(resets.count(), afterClose) << "nothing to show for a closed dataset";
        EXPECT_FALSE(w.ds.InFieldUpdate());
        EXPECT_EQ(w.model.columnCount(), 0);
    }
    // An exception out of the scope ends the batch: later changes are shown at once again.
    Watched w;
    QSignalSpy resets(&w.model, &QAbstractItemModel::modelReset);
    try {
        const TFieldUpdate batch(QList<TClientDataSet*>{&w.ds, nullptr});
        w.ds.FieldByName("CREATOR")->SetVisible(false);
        throw std::runtime_error("set-up failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(w.ds.InFieldUpdate());
    EXPECT_EQ(w.columns().size(), 3) << "the change made before the failure is shown";
    const int before = int(resets.count());
    w.ds.FieldByName("CREATOR")->SetVisible(true);
    EXPECT_EQ(resets.count(), before + 1);
}

TEST(FieldUpdate, AnOpeningInsideABatchResetsTheModelOnceAtItsEnd) {
    TClientDataSet ds;
    TDataSource src;
    TDataSetModel model;
    for (const char* name : {"MB001", "FLAG"})
        ds.FieldDefs().Add(name, FieldType::String, 10);
    src.SetDataSet(&ds);
    model.setDataSource(&src);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    {
        const TFieldUpdate batch(&ds);
        ds.CreateDataSet();
        for (const char* k : {"A01", "A02", "A03"}) {
            ds.Append();
            ds.FieldByName("MB001")->SetAsString(k);
            ds.Post();
        }
        ds.FieldByName("FLAG")->SetVisible(false);
        EXPECT_EQ(resets.count(), 0) << "the opening and the records wait for the end of the batch";
    }
    // Not lost: the model shows the open dataset, its records and its layout.
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 1);
    EXPECT_EQ(model.fieldAt(0)->FieldName(), "MB001");
    EXPECT_EQ(model.currentRow(), ds.RecNo() - 1);
    // Closing is never held back: a closed dataset shows no rows at once.
    {
        const TFieldUpdate batch(&ds);
        ds.Close();
        EXPECT_EQ(model.rowCount(), 0);
    }
}
