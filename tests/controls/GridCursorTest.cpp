// A grid bound to a dataset never moves the dataset's cursor by itself: not when the dataset inserts a
// record, and not when controls come back after the dataset moved while they were disabled.
#include "BoundGrid.h"

#include <gtest/gtest.h>

using namespace kvx;

using Bound = kvxtest::BoundGrid;

TEST(GridCursor, AppendKeepsTheNewRecord) {
    Bound b;
    b.ds.Append();
    EXPECT_EQ(b.ds.State(), TDataSetState::dsInsert);
    b.ds.FindField("MB001")->SetAsString("A04");
    b.ds.Post();
    EXPECT_EQ(b.ds.RecordCount(), 4);
}

TEST(GridCursor, MovesWhileControlsAreDisabledStayAndTheViewFollows) {
    Bound b;
    b.ds.DisableControls();
    b.ds.Next();
    b.ds.Next();
    b.ds.EnableControls();
    EXPECT_EQ(b.ds.FindField("MB001")->AsString(), "A03");
    EXPECT_EQ(b.grid->currentRow(), 2);
    // The user's own moves still move the dataset.
    b.grid->setCurrentRow(0);
    EXPECT_EQ(b.ds.FindField("MB001")->AsString(), "A01");
}
