// Controls bound to a client dataset through data sources and field data links.
#include "controls/CheckBoxes.h"
#include "controls/FDBGrid.h"
#include "controls/FieldBinding.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/SimpleControls.h"
#include "platform/DataSetModel.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"
#include "platform/PropertySetter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

const QStringList kModes = {QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2"),
                            QString::fromUtf8("3.汇入\t3")};

struct Data {
    TClientDataSet ds;
    TDataSource src;
    QWidget form;
    Data() {
        auto& defs = ds.FieldDefs();
        defs.Add("MB001", FieldType::String, 20);
        defs.Add("MB002", FieldType::String, 1);
        defs.Add("MB005", FieldType::String, 60);
        defs.Add("CHK", FieldType::String, 1);
        defs.Add("BITS", FieldType::Integer);
        defs.Add("AMT", FieldType::Currency);
        defs.Add("TM", FieldType::String, 5);
        ds.CreateDataSet();
        const char* rows[3][6] = {{"A01", "1", "first", "Y", "1", "1234.5"},
                                  {"A02", "2", "second", "N", "0", "-3"},
                                  {"A03", "3", "third", "Y", "4", "0"}};
        for (auto& r : rows) {
            ds.Append();
            for (int i = 0; i < 6; ++i)
                ds.Fields()[i]->SetText(QString::fromUtf8(r[i]));
            ds.Post();
        }
        ds.First();
        ds.FindField("MB001")->SetDisplayLabel(QString::fromUtf8("文档编号"));
        ds.FindField("MB002")->SetDisplayLabel(QString::fromUtf8("传输方式"));
        ds.FindField("MB005")->SetDisplayLabel(QString::fromUtf8("备注"));
        ds.FindField("TM")->SetEditMask("99:99;1; ");
        src.SetDataSet(&ds);
        form.resize(700, 400);
        form.show();
        DialogService::instance().clear();
    }
    QString value(const char* field) const { return ds.FindField(field)->Text(); }
};

// Types any text, one key event per character (keyClicks knows ASCII keys only).
void typeText(QWidget* w, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

TEST(Binding, TypingIntoAnEditWritesTheField) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("MB005");
    EXPECT_EQ(ed->editor()->text(), "first");
    EXPECT_EQ(ed->editor()->maxLength(), 60);
    ed->editor()->setFocus();
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "changed");
    EXPECT_EQ(d.ds.State(), TDataSetState::dsEdit); // the first key put the record into edit state
    EXPECT_EQ(ed->editor()->text(), "changed");
    EXPECT_EQ(d.value("MB005"), "first"); // not yet written
    d.ds.Post();                          // posting asks the control for its text
    EXPECT_EQ(d.value("MB005"), "changed");
    EXPECT_EQ(d.ds.State(), TDataSetState::dsBrowse);

    // Leaving with Enter writes at once; moving to another record shows that record.
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "again");
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_EQ(d.value("MB005"), "again");
    d.ds.Post();
    d.ds.Next();
    EXPECT_EQ(ed->editor()->text(), "second");
}

TEST(Binding, ReadOnlyFieldsAndEscape) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("MB001");
    d.ds.FindField("MB001")->SetReadOnly(true);
    emit ed->binding()->stateChanged();
    ed->editor()->setFocus();
    QTest::keyClicks(ed->editor(), "x");
    EXPECT_EQ(ed->editor()->text(), "A01");
    EXPECT_EQ(d.ds.State(), TDataSetState::dsBrowse);

    ed->setDataField("MB005");
    EXPECT_FALSE(ed->editor()->isReadOnly());
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "typo");
    QTest::keyClick(ed->editor(), Qt::Key_Escape);
    EXPECT_EQ(ed->editor()->text(), "first"); // Esc dropped the pending change
    d.ds.Post();
    EXPECT_EQ(d.value("MB005"), "first");
}

TEST(Binding, FieldMaskAppliesToTheEdit) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("TM");
    EXPECT_EQ(ed->editor()->inputMask(), "00:00"); // the blank is the default one
    ed->editor()->setFocus();
    ed->editor()->home(false);
    QTest::keyClicks(ed->editor(), "0930");
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_EQ(d.value("TM"), "09:30"); // the masked text with its literal
}

TEST(Binding, ConversionErrorsAreShownAndAbortsAreSilent) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("BITS");
    ed->editor()->setFocus();
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "99999999999"); // out of the integer range
    EXPECT_FALSE(ed->UpdateRecord());
    ASSERT_EQ(DialogService::instance().shown().size(), 1);
    EXPECT_EQ(DialogService::instance().shown().first().type, MsgDlgType::Error);
    EXPECT_EQ(d.value("BITS"), "1");

    DialogService::instance().clear();
    d.ds.FindField("MB005")->OnValidate = [](TField*) { Abort(); };
    ed->Reset();
    ed->setDataField("MB005");
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "refused");
    EXPECT_FALSE(ed->UpdateRecord());
    EXPECT_TRUE(DialogService::instance().shown().isEmpty());
    EXPECT_EQ(d.value("MB005"), "first");
}

TEST(Binding, StringFieldsLimitInputByBytesOfTheDatabaseCodePage) {
    Data d;
    d.ds.SetCodePage(936);
    d.ds.FindField("MB001")->SetSize(10);
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("MB001");
    ed->editor()->setFocus();
    ed->editor()->selectAll();
    // Ten Chinese characters into ten bytes: the sixth and later are refused as they are typed.
    typeText(ed->editor(), QString::fromUtf8("文档传输设置作业单据"));
    EXPECT_EQ(ed->editor()->text(), QString::fromUtf8("文档传输设"));
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_EQ(d.value("MB001"), QString::fromUtf8("文档传输设"));
    // Single-byte characters fill what is left; mixed text counts bytes too.
    ed->editor()->selectAll();
    typeText(ed->editor(), QString::fromUtf8("AB文档CDEFGH"));
    EXPECT_EQ(ed->editor()->text(), QString::fromUtf8("AB文档CDEF"));
    // A paste that would not fit is refused whole.
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "x");
    ed->editor()->insert(QString::fromUtf8("一二三四五"));
    EXPECT_EQ(ed->editor()->text(), QStringLiteral("x"));
    EXPECT_TRUE(DialogService::instance().shown().isEmpty());
}

TEST(Binding, IntegerEditsAcceptOnlyIntegersAndReportARefusedNumberOnce) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("BITS");
    ed->editor()->setFocus();
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "-1a2.5e");
    EXPECT_EQ(ed->editor()->text(), QStringLiteral("-125"));
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_EQ(d.value("BITS"), "-125");
    EXPECT_TRUE(DialogService::instance().shown().isEmpty());
    // Out of range: Enter, leaving the edit and asking again report it once.
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "3000000000");
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_FALSE(ed->UpdateRecord());
    auto* other = new QLineEdit(&d.form);
    other->show();
    other->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(DialogService::instance().shown().size(), 1);
    EXPECT_EQ(d.value("BITS"), "-125");
    // A changed text is tried (and reported) afresh.
    ed->editor()->setFocus();
    ed->editor()->end(false);
    QTest::keyClicks(ed->editor(), "1");
    EXPECT_FALSE(ed->UpdateRecord());
    EXPECT_EQ(DialogService::instance().shown().size(), 2);
}

TEST(Binding, PickingAMappedComboItemStoresTheValue) {
    Data d;
    auto* cbo = new TKvDBComboBox(&d.form);
    cbo->setStyle(TKvDBComboBox::csDropDownList);
    cbo->setMapList(true);
    cbo->setItems(kModes);
    cbo->setDataSource(&d.src);
    cbo->setDataField("MB002");
    EXPECT_EQ(cbo->Text(), QString::fromUtf8("1:不处理"));
    cbo->combo()->setFocus();
    QTest::keyClick(cbo->combo(), Qt::Key_Down);
    EXPECT_EQ(cbo->Text(), QString::fromUtf8("2:汇出"));
    EXPECT_EQ(d.value("MB002"), "2");
    // Choosing from the list.
    cbo->combo()->showPopup();
    cbo->combo()->view()->setCurrentIndex(cbo->combo()->model()->index(2, 0));
    QTest::keyClick(cbo->combo()->view(), Qt::Key_Return);
    EXPECT_EQ(d.value("MB002"), "3");
    d.ds.Post();
    d.ds.Next();
    EXPECT_EQ(cbo->Text(), QString::fromUtf8("2:汇出"));
    cbo->setAllowClearKey(true);
    QTest::keyClick(cbo->combo(), Qt::Key_Delete);
    EXPECT_TRUE(d.ds.FindField("MB002")->IsNull());
}

TEST(Binding, CheckBoxesLabelsAndBits) {
    Data d;
    auto* chk = new TFDbCheckBox(&d.form);
    chk->setDataSource(&d.src);
    chk->setDataField("CHK");
    EXPECT_TRUE(chk->Checked());
    QTest::mouseClick(chk->box(), Qt::LeftButton, {}, QPoint(6, chk->box()->height() / 2));
    EXPECT_EQ(d.value("CHK"), "N");
    EXPECT_FALSE(chk->Checked());

    auto* bits = new TBitCheckBox(&d.form);
    bits->setBit(1);
    bits->setDataSource(&d.src);
    bits->setDataField("BITS");
    EXPECT_FALSE(bits->Checked());
    QTest::mouseClick(bits->box(), Qt::LeftButton, {}, QPoint(6, bits->box()->height() / 2));
    EXPECT_EQ(d.value("BITS"), "3");

    auto* lbl = new TDBLabel(&d.form);
    lbl->setDataSource(&d.src);
    lbl->setDataField("AMT");
    EXPECT_EQ(lbl->shownText(), d.ds.FindField("AMT")->DisplayText());
    d.ds.Post();
    d.ds.Next();
    EXPECT_EQ(lbl->shownText(), d.ds.FindField("AMT")->DisplayText());
    EXPECT_FALSE(chk->Checked());
}

TEST(Binding, GridShowsTheDatasetAndFollowsItsCursor) {
    Data d;
    d.ds.FindField("CHK")->SetVisible(false);
    auto* grid = new TFDBGrid(&d.form);
    grid->resize(650, 300);
    grid->show();
    grid->setDataSource(&d.src);
    ASSERT_EQ(grid->columnCount(), 6);
    EXPECT_EQ(grid->column(0)->FieldName(), "MB001");
    EXPECT_EQ(grid->column(1)->Title()->Caption(), QString::fromUtf8("传输方式"));
    EXPECT_EQ(grid->column(3)->FieldName(), "BITS");
    EXPECT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->cellText(1, 2), "second");
    // The display width of a field decides its column's width.
    d.ds.FindField("MB005")->SetDisplayWidth(30);
    EXPECT_GT(grid->view()->columnWidth(2), grid->view()->columnWidth(0));

    // Cursor both ways.
    d.ds.Last();
    EXPECT_EQ(grid->currentRow(), 2);
    grid->setCurrentRow(1);
    EXPECT_EQ(d.ds.RecNo(), 2);

    // Title clicks name the field.
    QStringList clicked;
    grid->setTitleButtons(true);
    QObject::connect(grid, &TFDBGrid::TitleButtonClick, [&](const QString& f) { clicked << f; });
    QTest::mouseClick(grid->titles()->viewport(), Qt::LeftButton, {}, grid->titleRect(2).center());
    EXPECT_EQ(clicked, QStringList{"MB005"});

    // An edit in the grid goes to the field of the row.
    QAbstractItemModel* m = grid->view()->model();
    EXPECT_TRUE(m->setData(m->index(0, 2), "from grid"));
    EXPECT_EQ(d.ds.RecNo(), 1);
    d.ds.Post();
    EXPECT_EQ(d.value("MB005"), "from grid");
    EXPECT_EQ(grid->cellText(0, 2), "from grid");
    // A rejected text is reported and changes nothing.
    EXPECT_FALSE(m->setData(m->index(0, 3), "abc"));
    EXPECT_EQ(DialogService::instance().shown().size(), 1);
}

TEST(Binding, GridTitlesFollowLabelsAndKeepCaptionsSetByPath) {
    Data d;
    auto* grid = new TFDBGrid(&d.form);
    grid->show();
    grid->setDataSource(&d.src);
    EXPECT_TRUE(PropertySetter::set(grid, "Columns_2.Title.Caption", "Remark"));
    d.ds.FindField("MB002")->SetDisplayLabel("Mode");
    EXPECT_EQ(grid->column(1)->Title()->Caption(), "Mode");   // the field's new label
    EXPECT_EQ(grid->column(2)->Title()->Caption(), "Remark"); // the caption set by path survives
    d.ds.FindField("MB001")->SetIndex(3);
    EXPECT_EQ(grid->column(1)->FieldName(), "MB005");
    EXPECT_EQ(grid->column(1)->Title()->Caption(), "Remark");
    EXPECT_EQ(grid->column(3)->FieldName(), "MB001");
}

TEST(Binding, SelectingSeveralGridRows) {
    Data d;
    auto* grid = new TFDBGrid(&d.form);
    grid->resize(650, 300);
    grid->show();
    grid->setDataSource(&d.src);
    grid->setMultiSelect(true);
    QTest::mouseClick(grid->view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid->cellRect(0, 0).center());
    QTest::mouseClick(grid->view()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid->cellRect(2, 0).center());
    EXPECT_EQ(grid->SelectedRows(), (QList<int>{0, 2}));
    ASSERT_EQ(grid->SelectedBookmarks().size(), 2);
    // The selection is kept by records: sorting descending moves the rows, not the selection.
    d.ds.IndexDefs().Add("byNo", "MB001", ixDescending);
    d.ds.SetIndexName("byNo");
    EXPECT_EQ(grid->cellText(0, 0), "A03");
    EXPECT_EQ(grid->SelectedRows(), (QList<int>{0, 2}));
    EXPECT_TRUE(grid->IsSelected(0));
    EXPECT_FALSE(grid->IsSelected(1));
    grid->ToggleSelected(1);
    EXPECT_EQ(grid->SelectedCount(), 3);
    grid->UnselectAll();
    EXPECT_EQ(grid->SelectedCount(), 0);
    grid->SelectAll();
    EXPECT_EQ(grid->SelectedCount(), 3);
}

TEST(Binding, InGridComboAndColumnWidthsGoToTheFields) {
    Data d;
    auto* grid = new TFDBGrid(&d.form);
    grid->resize(650, 300);
    grid->show();
    grid->setDataSource(&d.src);
    auto* combo = new TKvDBComboBox(grid);
    combo->setObjectName("cboMB002G");
    combo->setMapList(true);
    combo->setItems(kModes);
    combo->hide();
    grid->setControlType({"MB002;CustomEdit;cboMB002G"});
    EXPECT_EQ(grid->cellText(1, 1), QString::fromUtf8("2:汇出"));
    QTableView* v = grid->view();
    v->setCurrentIndex(v->model()->index(2, 1));
    v->edit(v->model()->index(2, 1));
    auto* editor = v->viewport()->findChild<QComboBox*>();
    ASSERT_NE(editor, nullptr);
    editor->setCurrentIndex(0);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.value("MB002"), "1");
    d.ds.Post();

    // A column the user widens gives its field a wider display width.
    const int before = d.ds.FindField("MB005")->DisplayWidth();
    QHeaderView* h = grid->titles();
    const int edge = h->sectionViewportPosition(2) + h->sectionSize(2) - 1;
    QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, h->height() / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(edge + 80, h->height() / 2),
                     h->viewport()->mapToGlobal(QPointF(edge + 80, h->height() / 2)), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(h->viewport(), &move);
    QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + 80, h->height() / 2));
    QCoreApplication::processEvents();
    EXPECT_GT(d.ds.FindField("MB005")->DisplayWidth(), before);
}

TEST(Binding, EditableComboWritesTypedTextAndReadOnlyControlsRefuse) {
    Data d;
    auto* cbo = new TKvDBComboBox(&d.form);
    cbo->setMapList(true);
    cbo->setItems(kModes);
    cbo->setDataSource(&d.src);
    cbo->setDataField("MB005");
    cbo->combo()->setFocus();
    cbo->combo()->clearEditText();
    QTest::keyClicks(cbo->combo(), "free text");
    QTest::keyClick(cbo->combo(), Qt::Key_Return);
    EXPECT_EQ(d.value("MB005"), "free text"); // a text that matches no item is stored as typed
    cbo->combo()->setEditText(QString::fromUtf8("3.汇入"));
    QTest::keyClick(cbo->combo(), Qt::Key_Return);
    EXPECT_EQ(d.value("MB005"), "3"); // a display text stores its value
    d.ds.Post();

    auto* chk = new TFDbCheckBox(&d.form);
    chk->setDataSource(&d.src);
    chk->setDataField("CHK");
    chk->setReadOnly(true);
    QTest::mouseClick(chk->box(), Qt::LeftButton, {}, QPoint(6, chk->box()->height() / 2));
    EXPECT_EQ(d.value("CHK"), "Y");
    EXPECT_TRUE(chk->Checked()); // the box shows the field again
    EXPECT_EQ(d.ds.State(), TDataSetState::dsBrowse);

    // A disabled data source leaves the controls unbound and their keys without effect on the data.
    auto* ed = new TKvDBEdit(&d.form);
    ed->setDataSource(&d.src);
    ed->setDataField("MB001");
    d.src.SetEnabled(false);
    EXPECT_FALSE(ed->binding()->isBound());
    d.src.SetEnabled(true);
    EXPECT_EQ(ed->editor()->text(), "A01");
    d.ds.SetReadOnly(true);
    emit ed->binding()->stateChanged();
    EXPECT_TRUE(ed->editor()->isReadOnly());
}

TEST(Binding, FieldFocusRequestFocusesTheControl) {
    Data d;
    auto* ed = new TKvDBEdit(&d.form);
    ed->show();
    ed->setDataSource(&d.src);
    ed->setDataField("MB005");
    d.form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d.form));
    d.ds.FindField("MB005")->FocusControl();
    EXPECT_EQ(QApplication::focusWidget(), ed->editor());
}
