#include "MemoryProvider.h"
#include "platform/DataSetModel.h"
#include "platform/DataSource.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

struct Bound {
    MemoryProvider p;
    TClientDataSet ds;
    TDataSource src;
    explicit Bound(int rows, int packet = -1) {
        fillStandard(p.table("pvdMain"), rows);
        ds.SetRemoteServer(&p);
        ds.SetProviderName("pvdMain");
        ds.SetPacketRecords(packet);
        ds.SetFetchOnDemand(false);
        src.SetDataSet(&ds);
    }
};

// A minimal data-aware edit: shows the field and writes typed text back before a post.
struct DbEdit {
    QLineEdit edit;
    TFieldDataLink link;
    int editingChanges = 0;
    DbEdit(TDataSource* src, const QString& field) {
        link.SetControl(&edit);
        link.OnDataChange = [this] { edit.setText(link.Field() ? link.Field()->Text() : QString()); };
        link.OnUpdateData = [this] { link.Field()->SetText(edit.text()); };
        link.OnEditingChange = [this] { ++editingChanges; };
        link.OnFocusControl = [this] { edit.setFocus(); };
        link.SetDataSource(src);
        link.SetFieldName(field);
        // Entering edit state shows the record again, so the typed text is put back afterwards.
        QObject::connect(&edit, &QLineEdit::textEdited, [this](const QString& typed) {
            if (!link.Edit()) return;
            edit.setText(typed);
            link.Modified();
        });
    }
};

} // namespace

TEST(DataSource, NotificationsAndEnabled) {
    Bound b(3);
    QStringList log;
    b.src.OnDataChange = [&](TDataSource*, TField* f) { log << (f ? "data " + f->FieldName() : "data"); };
    b.src.OnStateChange = [&](TDataSource* s) { log << QStringLiteral("state %1").arg(int(s->State())); };
    b.ds.Open();
    EXPECT_EQ(log, QStringList({"state 1", "data"}));
    log.clear();
    b.ds.Next();
    b.ds.Edit();
    b.ds.FieldByName("MB005")->SetAsString("x");
    EXPECT_EQ(log, QStringList({"data", "state 2", "data", "data MB005"}));
    b.ds.Cancel();
    log.clear();
    b.src.SetEnabled(false);
    EXPECT_EQ(b.src.State(), TDataSetState::dsInactive);
    log.clear();
    b.ds.Next();
    EXPECT_TRUE(log.isEmpty()) << "a disabled data source stays silent";
    b.src.SetEnabled(true);

    // DisableControls gathers everything into one change notice.
    log.clear();
    b.ds.DisableControls();
    b.ds.First();
    b.ds.Next();
    b.ds.DisableControls();
    b.ds.EnableControls();
    EXPECT_TRUE(log.isEmpty());
    b.ds.EnableControls();
    EXPECT_EQ(log, QStringList({"data"}));
    EXPECT_FALSE(b.ds.ControlsDisabled());
}

TEST(DataSource, FieldDataLinkShowsAndWritesItsField) {
    Bound b(3);
    DbEdit ed(&b.src, "MB005");
    EXPECT_EQ(ed.edit.text(), "");
    b.ds.Open();
    EXPECT_EQ(ed.link.Field(), b.ds.FieldByName("MB005"));
    EXPECT_EQ(ed.edit.text(), "remark 1");
    EXPECT_FALSE(ed.link.Editing());
    b.ds.Next();
    EXPECT_EQ(ed.edit.text(), "remark 2");

    // Typing puts the dataset into edit state; posting writes the pending text first.
    ed.edit.setFocus();
    QTest::keyClicks(&ed.edit, "!");
    EXPECT_EQ(b.ds.State(), TDataSetState::dsEdit);
    EXPECT_TRUE(ed.link.Editing());
    EXPECT_EQ(ed.editingChanges, 1);
    EXPECT_TRUE(ed.link.IsModified());
    b.ds.Post();
    EXPECT_EQ(b.ds.FieldByName("MB005")->AsString(), "remark 2!");
    EXPECT_FALSE(ed.link.IsModified());
    EXPECT_FALSE(ed.link.Editing());

    // A field changed in code shows at once; a read-only field cannot be modified through the link.
    b.ds.Edit();
    b.ds.FieldByName("MB005")->SetAsString("from code");
    EXPECT_EQ(ed.edit.text(), "from code");
    b.ds.Cancel();
    b.ds.FieldByName("MB005")->SetReadOnly(true);
    EXPECT_FALSE(ed.link.CanModify());
    b.ds.Close();
    EXPECT_EQ(ed.link.Field(), nullptr);
    EXPECT_EQ(ed.edit.text(), "");
}

TEST(DataSetModel, RowsColumnsAndCurrentRecord) {
    Bound b(5);
    b.ds.Open();
    b.ds.FieldByName("MB002")->SetVisible(false);
    b.ds.FieldByName("MB005")->SetDisplayLabel("Remark");
    TDataSetModel model;
    model.setDataSource(&b.src);
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Remark");
    EXPECT_EQ(model.data(model.index(3, 0)).toString(), "A0004");
    EXPECT_EQ(b.ds.RecNo(), 1) << "reading other rows does not move the cursor";

    QSignalSpy current(&model, &TDataSetModel::currentRowChanged);
    model.setCurrentRow(2);
    EXPECT_EQ(b.ds.RecNo(), 3);
    b.ds.Last();
    ASSERT_EQ(current.count(), 2);
    EXPECT_EQ(current.last().at(0).toInt(), 4);

    // Editing the current record shows in its row; grid edits go through the field's text.
    b.ds.Edit();
    b.ds.FieldByName("MB005")->SetAsString("edited");
    EXPECT_EQ(model.data(model.index(4, 1)).toString(), "edited");
    b.ds.Post();
    EXPECT_TRUE(model.setData(model.index(0, 1), "typed"));
    EXPECT_EQ(b.ds.RecNo(), 1);
    EXPECT_EQ(b.ds.State(), TDataSetState::dsEdit);
    b.ds.Post();
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "typed");
}

TEST(DataSetModel, ViewScrolledToTheEndFetchesTheNextPacket) {
    Bound b(60, 20);
    b.ds.Open();
    TDataSetModel model;
    model.setDataSource(&b.src);
    EXPECT_EQ(model.rowCount(), 20);
    EXPECT_TRUE(model.canFetchMore({}));
    QTableView view;
    view.resize(300, 200);
    view.setModel(&model);
    view.show();
    QCoreApplication::processEvents();
    view.scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_GE(model.rowCount(), 40) << "reaching the end fetched a packet";
    while (model.canFetchMore({}))
        model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 60);
    EXPECT_EQ(b.ds.RecordCount(), 60);
    EXPECT_FALSE(model.canFetchMore({}));
}

TEST(DataSetModel, SelectionByBookmarksSurvivesSorting) {
    Bound b(6);
    b.ds.Open();
    TDataSetModel model;
    model.setDataSource(&b.src);
    model.setRowSelected(1, true);
    model.setRowSelected(4, true);
    b.ds.SetRecNo(2);
    EXPECT_TRUE(model.currentRowSelected());
    b.ds.IndexDefs().Add("desc", "N", ixDescending);
    b.ds.SetIndexName("desc");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "A0006");
    EXPECT_TRUE(model.isRowSelected(1)) << "A0005 is now the second row";
    EXPECT_TRUE(model.isRowSelected(4)) << "A0002 is now the fifth row";
    EXPECT_FALSE(model.isRowSelected(0));
    EXPECT_TRUE(model.data(model.index(4, 0), TDataSetModel::SelectedRole).toBool());

    // Walking the selection in selection order, as batch printing does.
    QStringList keys;
    for (TBookmark bm : model.selectedRows()) {
        b.ds.GotoBookmark(bm);
        keys << b.ds.FieldByName("MB001")->AsString();
    }
    EXPECT_EQ(keys, QStringList({"A0002", "A0005"}));
    b.ds.GotoBookmark(model.selectedRows().first());
    b.ds.Delete();
    EXPECT_EQ(model.selectedRows().size(), 1) << "a deleted record leaves the selection";
    model.selectAll();
    EXPECT_EQ(model.selectedRows().size(), 5);
    model.clearSelection();
    EXPECT_TRUE(model.selectedRows().isEmpty());
}
