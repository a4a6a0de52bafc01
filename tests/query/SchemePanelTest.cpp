// The scheme panel of the query dialog driven as a user does: saving through the naming dialog, opening,
// deleting, renaming in place, sharing and the view styles, over an in-memory scheme store.
#include "QBETestSupport.h"
#include "SchemeStoreFake.h"
#include "query/DocuConditionCF.h"

#include "controls/SimpleControls.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>

using namespace kvx;

namespace {
const QChar k7(7), k8(8), k3(3);

class SchemeWindow : public TestQBEWindow {
public:
    MemorySchemeStore store;
    RecordingSchemeMenu menu;
    TQBESchemeStore* QBESchemeStore() const override { return const_cast<MemorySchemeStore*>(&store); }
    TQBESchemeMenu* QBESchemeMenu() const override { return const_cast<RecordingSchemeMenu*>(&menu); }
};

// Types any text, Chinese included, as key presses.
void typeText(QWidget* w, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

TfrmDocuCondition* namingDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TfrmDocuCondition*>(w); d && d->isVisible()) return d;
    return nullptr;
}
} // namespace

class SchemePanelTest : public QBEFixture {
protected:
    SchemeWindow* win = nullptr;

    void openWith(const std::function<void(MemorySchemeStore&)>& seed = {}) {
        auto w = std::make_unique<SchemeWindow>();
        win = w.get();
        if (seed) seed(win->store);
        window = std::move(w);
        form = TKVForm::Create<TQBEForm>(window.get(), window.get());
        form->InitQuery(window->cdsMain, "QLDMB", false, "", "MB001");
        form->show();
        QApplication::setActiveWindow(form);
        form->activateWindow();
    }
    // The last message shown (message boxes pad their texts).
    QString lastMsg() const { return dialogs().lastText().trimmed(); }
    QStringList captions() const {
        QStringList out;
        for (int i = 0; i < form->lstCondition->Count(); ++i)
            out << form->lstCondition->Item(i)->text();
        return out;
    }
    QStandardItem* item(const QString& caption) const {
        for (int i = 0; i < form->lstCondition->Count(); ++i)
            if (form->lstCondition->Item(i)->text() == caption) return form->lstCondition->Item(i);
        return nullptr;
    }
    // Presses Save and runs `inDialog` inside the naming dialog's modal loop.
    void save(const std::function<void(TfrmDocuCondition*)>& inDialog) {
        bool ran = false;
        QTimer::singleShot(0, form, [&] {
            TfrmDocuCondition* d = namingDialog();
            ASSERT_TRUE(d);
            QApplication::setActiveWindow(d);
            d->activateWindow();
            ran = true;
            inDialog(d);
            if (d->isVisible()) d->btnCancelClick(); // never leave the loop open
        });
        QTest::mouseClick(form->btnInsert, Qt::LeftButton);
        EXPECT_TRUE(ran);
    }
    static void typeName(TfrmDocuCondition* d, const QString& name) {
        d->edConName->setFocus();
        d->edConName->clear();
        typeText(d->edConName, name);
        QTest::keyClick(d->edConName, Qt::Key_Return); // Enter moves to OK
        ASSERT_EQ(QApplication::focusWidget(), d->btnOk);
        QTest::keyClick(d->btnOk, Qt::Key_Return);
    }
    // Renames an item in place with F2, typing and Enter.
    void rename(const QString& from, const QString& to) {
        QStandardItem* it = item(from);
        ASSERT_TRUE(it) << from.toStdString();
        form->lstCondition->SetSelected(it);
        QAbstractItemView* view = form->lstCondition->ActiveView();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_TRUE(editor);
        editor->selectAll();
        typeText(editor, to);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the view commits the editor's text in a queued call
    }
};

TEST_F(SchemePanelTest, PanelLayoutListsOwnAndGroupSharedSchemesSortedByCaption) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {{"月报", "CLERK", "20240312", QString("500") + k7, 0, false, true},
                  {"汇出", "CLERK", "bad", QString("500") + k7, 0, true, false},
                  {"经理方案", "MGR", "20240101", QString("500") + k7, 0, true, false},
                  {"私有", "MGR", "20240101", QString("500") + k7, 0, false, false},
                  {"采购方案", "BUYER", "20240101", QString("500") + k7, 0, true, false}};
    });
    EXPECT_EQ(form->lblCondition->text(), " 查询方案");
    EXPECT_EQ(form->btnInsert->text(), "保存(&N)");
    EXPECT_EQ(form->btnOpen->toolTip(), "开启");
    EXPECT_EQ(form->btnDelete->text(), "删除(&D)");
    EXPECT_TRUE(form->miViewIcon->isChecked());
    EXPECT_EQ(form->lstCondition->ViewStyle(), TKvListView::vsIcon);
    QStringList expected = {"月报", "汇出", "经理方案 (MGR)"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(captions(), expected);
    auto* model = form->lstCondition->Model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "方案名称");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "创建时间");
    const int row = item("月报")->row();
    EXPECT_EQ(form->lstCondition->SubItem(row, 1),
              QLocale::system().toString(QDate(2024, 3, 12), QLocale::ShortFormat));
    // A malformed date shows the zero date.
    EXPECT_EQ(form->lstCondition->SubItem(item("汇出")->row(), 1),
              QLocale::system().toString(QDate(1899, 12, 30), QLocale::ShortFormat));
    // Another user's shared scheme is read-only; the user's default is known to the window.
    EXPECT_FALSE(item("经理方案 (MGR)")->isEditable());
    EXPECT_TRUE(item("月报")->isEditable());
    ASSERT_TRUE(form->DefaultScheme().has_value());
    EXPECT_EQ(form->DefaultScheme()->name, "月报");
}

TEST_F(SchemePanelTest, SavingWithANewNameStoresTheGeneralGridAndRebuildsTheMenu) {
    openWith();
    fillRow(1, "单据性质", "等于", "COPTC", "AND");
    grid()->setRowCount(4);
    fillRow(3, "备注", "包含", "汇出", "OR");
    save([&](TfrmDocuCondition* d) {
        EXPECT_EQ(d->windowTitle(), form->windowTitle());
        EXPECT_EQ(d->edConName->maxLength(), 20);
        typeName(d, "  月报  ");
        EXPECT_FALSE(d->isVisible());
    });
    ASSERT_EQ(win->store.rows.size(), 1);
    const TQBEScheme& s = win->store.rows[0];
    EXPECT_EQ(s.name, "月报");
    EXPECT_EQ(s.activePage, 0);
    // The empty middle row is not saved.
    EXPECT_EQ(s.text, QString("500") + k7 + "单据性质\r\n等于\r\nCOPTC\r\nAND" + k8 +
                          "备注\r\n包含\r\n汇出\r\nOR" + k8);
    EXPECT_EQ(win->menu.rebuilds, 1);
    EXPECT_EQ(captions(), QStringList({"月报"}));
    EXPECT_TRUE(dialogs().shown().isEmpty());
}

TEST_F(SchemePanelTest, ExistingNameAnsweredWithCancelKeepsTheNamingDialogOpen) {
    openWith([](MemorySchemeStore& s) { s.rows = {{"月报", "CLERK", "20240312", "old", 0, false, false}}; });
    dialogs().queueAnswer(mrCancel);
    save([&](TfrmDocuCondition* d) {
        typeName(d, "月报");
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->edConName->text(), "月报");
        EXPECT_EQ(QApplication::focusWidget(), d->edConName);
        ASSERT_EQ(dialogs().shown().size(), 1);
        EXPECT_EQ(lastMsg(), "此方案名已存在！是否将原来的方案替换为此方案?");
        // Blank names are refused too, with the dialog left open.
        typeName(d, "   ");
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(lastMsg(), "方案名不可空白!");
        QTest::keyClick(d->edConName, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_EQ(win->store.rows[0].text, "old");
    EXPECT_FALSE(win->store.calls.join(';').contains("Insert"));
    EXPECT_EQ(win->menu.rebuilds, 0);
}

TEST_F(SchemePanelTest, ExistingNameAnsweredWithOkReplacesTheScheme) {
    openWith([](MemorySchemeStore& s) { s.rows = {{"月报", "CLERK", "20240312", "old", 0, false, false}}; });
    fillRow(1, "", "", "", "");
    dialogs().queueAnswer(mrOk);
    save([&](TfrmDocuCondition* d) { typeName(d, "月报"); });
    ASSERT_EQ(win->store.rows.size(), 1);
    EXPECT_EQ(win->store.rows[0].text, QString("500") + k7);
}

TEST_F(SchemePanelTest, ServerRefusalOfASaveShowsMessageOne) {
    openWith();
    win->store.failWith = "disk full";
    save([&](TfrmDocuCondition* d) { typeName(d, "月报"); });
    EXPECT_EQ(lastMsg(), form->Msg(1));
    EXPECT_EQ(win->menu.rebuilds, 0);
}

TEST_F(SchemePanelTest, EmptyGeneralGridRoundTripLeavesOneEmptyRow) {
    openWith();
    fillRow(1, "", "", "", "");
    save([&](TfrmDocuCondition* d) { typeName(d, "空"); });
    ASSERT_EQ(win->store.rows.size(), 1);
    EXPECT_EQ(win->store.rows[0].text, QString("500") + k7);
    fillRow(1, "单据性质", "等于", "X", "AND");
    grid()->setRowCount(3);
    fillRow(2, "备注", "包含", "Y", "AND");
    form->lstCondition->SetSelected(item("空"));
    QTest::mouseClick(form->btnOpen, Qt::LeftButton);
    EXPECT_EQ(grid()->RowCount(), 2);
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(grid()->Cells(c, 1).isEmpty()) << c;
}

TEST_F(SchemePanelTest, OpeningByDoubleClickRestoresRowsAndPreparesValueCells) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {
            {"两行", "CLERK", "20240312",
             QString("100") + k7 + "单据性质\r\n等于\r\nCOPTC\r\nAND" + k8 + "数量\r\n大于\r\n  \r\nOR" + k8,
             0, false, false}};
    });
    form->ViewReportExecute();
    QTreeView* view = form->lstCondition->ReportView();
    view->doItemsLayout();
    const QRect r = view->visualRect(item("两行")->index());
    ASSERT_TRUE(view->isVisible());
    ASSERT_FALSE(r.isEmpty());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(form->lstCondition->Selected(), item("两行"));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Cells(0, 1), "单据性质");
    EXPECT_EQ(grid()->Cells(2, 1), "COPTC");
    EXPECT_EQ(grid()->Cells(0, 2), "数量");
    EXPECT_EQ(grid()->Cells(1, 2), "大于");
    EXPECT_EQ(grid()->Cells(2, 2), ""); // blank value emptied
    EXPECT_EQ(grid()->Cells(3, 2), "OR");
    EXPECT_TRUE(grid()->isCellNumber(2, 2)); // prepared as when the field is picked
    EXPECT_EQ(form->cbTopRow->Text(), "100");
}

TEST_F(SchemePanelTest, AdvancedSchemeWithoutSortFieldsRunFromTheMenuHasAnEmptyOrdering) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {{"高级", "CLERK", "20240312",
                   QString("500") + k7 + "(QLDMB.MB002 = '2')" + k3 + k3 + "0" + k3, 1, false, false}};
    });
    QString cond, order = "unchanged";
    ASSERT_TRUE(form->RunScheme("高级", "CLERK", cond, order));
    EXPECT_EQ(cond, "(QLDMB.MB002 = '2')");
    EXPECT_EQ(order, "");
    EXPECT_EQ(form->pgQBE->ActivePage(), form->tbsAdvanced);
    EXPECT_FALSE(form->RunScheme("没有", "CLERK", cond, order));
}

TEST_F(SchemePanelTest, AdvancedPageSavesSortItemsAndAppliesThemBack) {
    openWith();
    showPage(form->tbsAdvanced);
    form->Memo1->setPlainText("(QLDMB.MB002 = '2')");
    const int first = form->AdvancedFieldNames().indexOf("MB001");
    form->ListBox1->setItemSelected(first, true);
    form->ListBox1DblClick();
    form->ListBox2->setItemChecked(0, true);
    const QString sortItem = form->ListBox2->Items().at(0);
    ASSERT_TRUE(sortItem.contains('\t'));
    save([&](TfrmDocuCondition* d) { typeName(d, "排序"); });
    ASSERT_EQ(win->store.rows.size(), 1);
    EXPECT_EQ(win->store.rows[0].activePage, 1);
    form->BBClearClick();
    form->ListBox2->setItems({});
    showPage(form->tbsGeneral);
    QString cond, order;
    ASSERT_TRUE(form->RunScheme("排序", "CLERK", cond, order));
    EXPECT_EQ(form->ListBox2->Items(), QStringList({sortItem}));
    EXPECT_TRUE(form->ListBox2->isChecked(0));
    EXPECT_EQ(order, "QLDMB.MB001 desc");
    EXPECT_EQ(cond, "(QLDMB.MB002 = '2')");
}

TEST_F(SchemePanelTest, DeleteAsksAndRefusesSchemesSharedByOthers) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {{"月报", "CLERK", "20240312", "", 0, false, false},
                  {"经理方案", "MGR", "20240101", "", 0, true, false}};
    });
    form->lstCondition->SetSelected(item("月报"));
    dialogs().queueAnswer(mrNo);
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(lastMsg(), form->Msg(5) + "月报");
    EXPECT_EQ(win->store.rows.size(), 2);

    form->lstCondition->SetSelected(item("经理方案 (MGR)"));
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(lastMsg(), "此方案由 MGR 共享，只有创建者可以更改或删除!");
    EXPECT_EQ(win->store.rows.size(), 2);

    form->lstCondition->SetSelected(item("月报"));
    win->store.failWith = "locked by the server";
    dialogs().queueAnswer(mrYes);
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(lastMsg(), "locked by the server"); // the server's text surfaces
    EXPECT_EQ(win->menu.rebuilds, 0);

    dialogs().queueAnswer(mrYes);
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(captions(), QStringList({"经理方案 (MGR)"}));
    EXPECT_EQ(win->menu.rebuilds, 1);
}

TEST_F(SchemePanelTest, InPlaceRenameChecksTheNewName) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {{"abc", "CLERK", "20240312", "", 0, false, false},
                  {"xyz", "CLERK", "20240312", "", 0, false, false}};
    });
    rename("xyz", "abc");
    EXPECT_EQ(lastMsg(), form->Msg(10));
    rename("xyz", "   ");
    EXPECT_EQ(lastMsg(), form->Msg(8));
    rename("xyz", QString(21, 'n'));
    EXPECT_EQ(lastMsg(), form->Msg(9));
    EXPECT_EQ(captions(), QStringList({"abc", "xyz"}));
    EXPECT_FALSE(win->store.calls.join(';').contains("Rename"));

    // Another item's name in different case is allowed.
    rename("xyz", "ABC");
    EXPECT_EQ(captions(), QStringList({"ABC", "abc"}));
    EXPECT_EQ(win->store.own("ABC")->creator, "CLERK");
    ASSERT_EQ(win->menu.renames.size(), 1);
    EXPECT_EQ(win->menu.renames[0], qMakePair(QString("xyz"), QString("ABC")));

    const int shown = int(dialogs().shown().size());
    win->store.failWith = "renaming refused";
    rename("ABC", "新名");
    ASSERT_EQ(dialogs().shown().size(), shown + 2);
    EXPECT_EQ(dialogs().shown()[shown].text.trimmed(), form->Msg(11));
    EXPECT_EQ(lastMsg(), "renaming refused");
    EXPECT_EQ(captions(), QStringList({"ABC", "abc"}));
}

TEST_F(SchemePanelTest, SharingAndDefaultFromTheContextMenu) {
    openWith([](MemorySchemeStore& s) { s.rows = {{"月报", "CLERK", "20240312", "", 0, false, false}}; });
    form->lstCondition->SetSelected(item("月报"));
    form->miShare->trigger();
    EXPECT_TRUE(win->store.rows[0].shared);
    form->miDefault->trigger();
    EXPECT_TRUE(win->store.rows[0].isDefault);
    EXPECT_EQ(win->menu.rebuilds, 2);
    ASSERT_TRUE(form->DefaultScheme());
    form->lstCondition->SetSelected(item("月报"));
    form->miDefault->trigger();
    EXPECT_FALSE(form->DefaultScheme());
}

TEST_F(SchemePanelTest, ViewButtonKeepsItsOwnCounter) {
    openWith();
    QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
    EXPECT_EQ(form->lstCondition->ViewStyle(), TKvListView::vsSmallIcon);
    EXPECT_TRUE(form->miViewSmallIcon->isChecked());
    form->miViewReport->trigger();
    EXPECT_EQ(form->lstCondition->ViewStyle(), TKvListView::vsReport);
    EXPECT_EQ(form->ViewCounter(), 1); // the menu does not move the counter
    QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
    EXPECT_EQ(form->lstCondition->ViewStyle(), TKvListView::vsList);
    QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
    QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
    EXPECT_EQ(form->lstCondition->ViewStyle(), TKvListView::vsIcon);
    EXPECT_TRUE(form->miViewIcon->isChecked());
}

// Renders the scheme panel in each view style's most telling forms to docs/images.
TEST_F(SchemePanelTest, Screenshots) {
    openWith([](MemorySchemeStore& s) {
        s.rows = {{"月报", "CLERK", "20240312", QString("500") + k7, 0, true, true},
                  {"汇出类单据", "CLERK", "20240401", QString("500") + k7, 1, false, false},
                  {"O'Neil 的方案", "CLERK", "20240415", QString("500") + k7, 0, false, false},
                  {"经理方案", "MGR", "20240101", QString("500") + k7, 0, true, false}};
    });
    fillRow(1, "单据性质", "等于", "COPTC", "AND");
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    form->lstCondition->SetSelected(item("月报"));
    EXPECT_TRUE(form->grab().save(dir + "/qbe-schemes-icons.png"));
    form->ViewReportExecute();
    EXPECT_TRUE(form->grab().save(dir + "/qbe-schemes-details.png"));
    // The naming dialog over it.
    save([&](TfrmDocuCondition* d) {
        typeText(d->edConName, "周报");
        EXPECT_TRUE(d->grab().save(dir + "/scheme-name-dialog.png"));
    });
}

TEST_F(SchemePanelTest, AValueTheGridRefusesKeepsSaveFromAsking) {
    openWith();
    pickField(1, "日期");
    selectCell(2, 1);
    QTest::keyClicks(focus(), "20241399");
    bool asked = false;
    QTimer::singleShot(0, form, [&] {
        if (TfrmDocuCondition* d = namingDialog()) {
            asked = true;
            d->btnCancelClick();
        }
    });
    QTest::mouseClick(form->btnInsert, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(asked);
    EXPECT_EQ(lastMsg(), form->Msg(6));
    EXPECT_TRUE(win->store.rows.isEmpty());
}
