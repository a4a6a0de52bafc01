// The dialog driven like a user: keys into the general grid, the row-limit box and the advanced page,
// with message boxes answered by the scripted dialog service.
#include "QBETestSupport.h"

#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "controls/SimpleControls.h"
#include "controls/StringAlignGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

using kvx::TQBEForm;

class QBEFormTest : public QBEFixture {};

TEST_F(QBEFormTest, CatalogueOffersTextAndNumberFieldsWithTheirExpressions) {
    open();
    const auto& cat = form->Catalogue();
    QStringList captions;
    for (int i = 0; i < cat.Count(); ++i)
        captions << cat.Objects(i)->Caption;
    // MB001C and USERNAME need select columns; hidden MB003 is never offered.
    EXPECT_FALSE(captions.contains("文件名称"));
    EXPECT_FALSE(captions.contains("用户名称"));
    EXPECT_FALSE(captions.contains("MB003"));
    EXPECT_TRUE(captions.contains("单据性质"));
    EXPECT_EQ(cat.FindByCaption("传输方式")->Expression, "QLDMB.MB002");
    EXPECT_EQ(cat.FindByCaption("传输方式")->PickList.size(), 3);
    EXPECT_TRUE(cat.FindByCaption("确认")->CheckBox);
    EXPECT_EQ(cat.Strings(0), "MB001=单据性质");

    form->InitQuery(window->cdsMain, "QLDMB", false, "MB001,MB001C,MB002,A.MA002 USERNAME", "MB001");
    EXPECT_EQ(form->Catalogue().FindByCaption("文件名称")->Expression, "QLDMB.MB001C");
    EXPECT_EQ(form->Catalogue().FindByCaption("用户名称")->Expression, "A.MA002");

    form->InitQuery(window->cdsMain, "ATTACH", false, "", "MB001");
    for (int i = 0; i < form->Catalogue().Count(); ++i)
        EXPECT_EQ(form->Catalogue().Objects(i)->Expression,
                  "ATTACH." + form->Catalogue().Objects(i)->FieldName);
    EXPECT_TRUE(form->cboField->findText("用户名称", Qt::MatchStartsWith) >= 0);
    EXPECT_TRUE(form->cboField->itemText(form->cboField->findText("用户名称", Qt::MatchStartsWith))
                    .endsWith("\tKVXMA.MA002"));
}

TEST_F(QBEFormTest, KeyFieldsGiveTheFirstRowAndTheValueCellIsCurrent) {
    open("MB001,MB002");
    EXPECT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Cells(0, 1), "单据性质");
    EXPECT_EQ(grid()->Cells(0, 2), "传输方式");
    EXPECT_EQ(grid()->cellPickList(2, 2).size(), 3);
    EXPECT_EQ(grid()->Row(), 1);
    EXPECT_EQ(grid()->Col(), 2);
    EXPECT_EQ(grid()->Cells(0, 0), "查询字段");
}

TEST_F(QBEFormTest, PickListValueAndTypedApostrophe) {
    open();
    // Row 1: 传输方式 = 2:汇出 through the browse grid's editor items.
    pickField(1, "传输方式");
    EXPECT_EQ(grid()->Cells(1, 1), "等于");
    EXPECT_EQ(grid()->Cells(3, 1), "AND");
    EXPECT_EQ(grid()->Col(), 1);
    key(Qt::Key_Tab);
    auto* combo = qobject_cast<QComboBox*>(focus());
    ASSERT_TRUE(combo);
    combo->setCurrentIndex(combo->findText("2:汇出"));
    key(Qt::Key_Tab);
    EXPECT_EQ(grid()->Cells(2, 1), "2:汇出");
    EXPECT_EQ(form->RowCondition(1), "QLDMB.MB002 = '2' AND");

    // Row 2 by arrow down: 备注 包含 O'Neil, typed.
    key(Qt::Key_Down);
    ASSERT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Cells(1, 2), "等于");
    pickField(2, "备注");
    selectCell(1, 2);
    auto* op = qobject_cast<QComboBox*>(focus());
    ASSERT_TRUE(op);
    op->setCurrentIndex(op->findText("包含"));
    key(Qt::Key_Tab);
    QTest::keyClicks(focus(), "O'Neil");
    key(Qt::Key_Tab);
    EXPECT_EQ(form->RowCondition(2), "QLDMB.MB005 like '%O''Neil%' AND");
    form->DoCondition();
    EXPECT_EQ(form->CurrentCondition(), " (QLDMB.MB002 = '2' ) AND (QLDMB.MB005 like '%O''Neil%' ) ");
    EXPECT_TRUE(form->SortText().isEmpty());
}

TEST_F(QBEFormTest, NumberRowsAcceptDigitsOnly) {
    open();
    pickField(1, "数量");
    EXPECT_TRUE(grid()->isCellNumber(2, 1));
    selectCell(2, 1);
    QTest::keyClicks(focus(), "1a2.5b");
    key(Qt::Key_Tab);
    EXPECT_EQ(grid()->Cells(2, 1), "12.5");
    EXPECT_EQ(form->RowCondition(1), "QLDMB.QTY01 = 12.5 AND");
    // A text put there by program that is no number yields nothing.
    grid()->setCells(2, 1, "abc");
    EXPECT_EQ(form->RowCondition(1), "");
}

TEST_F(QBEFormTest, DateCellsConvertByFormatCodeAndRefuseBadDates) {
    pendingDateFormat = 4;
    open();
    pickField(1, "日期");
    selectCell(2, 1);
    QTest::keyClicks(focus(), "920105");
    key(Qt::Key_Tab);
    EXPECT_EQ(form->RowCondition(1), "QLDMB.DATE01 = '20030105' AND");

    selectCell(2, 1);
    QTest::keyClicks(focus(), "921305");
    key(Qt::Key_Tab);
    ASSERT_FALSE(dialogs().shown().isEmpty());
    EXPECT_EQ(dialogs().lastText().trimmed(), form->Msg(6));
    EXPECT_EQ(grid()->Col(), 2); // the editor stays in the cell
}

TEST_F(QBEFormTest, YearMonthCellsRefuseBadMonths) {
    open();
    pickField(1, "年月");
    selectCell(2, 1);
    QTest::keyClicks(focus(), "200813");
    key(Qt::Key_Tab);
    EXPECT_EQ(dialogs().lastText().trimmed(), form->Msg(7));
    EXPECT_EQ(grid()->Col(), 2);
}

TEST_F(QBEFormTest, CheckBoxFieldsStartUnchecked) {
    open();
    pickField(1, "确认");
    EXPECT_EQ(grid()->cellCheckBox(2, 1), "Y;N");
    EXPECT_EQ(grid()->Cells(2, 1), "N");
    EXPECT_EQ(form->RowCondition(1), "QLDMB.CHK01 = 'N' AND");
}

TEST_F(QBEFormTest, ArrowKeysRemoveEveryEmptyRow) {
    open();
    fillRow(1, "单据性质", "等于", "COPTC", "OR");
    grid()->setRowCount(5);
    fillRow(3, "备注", "包含", "汇出", "AND");
    // rows 2 and 4 have no field
    grid()->setCells(2, 2, "left over");
    selectCell(2, 3);
    key(Qt::Key_Up);
    ASSERT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Cells(0, 2), "备注");
    EXPECT_EQ(grid()->Row(), 3 - 1); // the movement itself was swallowed: still on the 备注 row
    form->DoCondition();
    EXPECT_EQ(form->CurrentCondition(), " (QLDMB.MB001 = 'COPTC')  OR (QLDMB.MB005 like '%汇出%' ) ");
}

TEST_F(QBEFormTest, ArrowDownAddsRowsOnlyWhenEveryRowHasAField) {
    open("");
    selectCell(2, 1);
    key(Qt::Key_Down); // the only row has no field
    EXPECT_EQ(grid()->RowCount(), 2);
    fillRow(1, "单据性质", "等于", "COPTC", "AND");
    selectCell(2, 1);
    key(Qt::Key_Down);
    EXPECT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Row(), 2);
    EXPECT_EQ(grid()->Cells(1, 2), "等于");
    EXPECT_EQ(grid()->Cells(3, 2), "AND");
    key(Qt::Key_Down); // the new row has no field yet: it goes instead
    EXPECT_EQ(grid()->RowCount(), 2);
}

TEST_F(QBEFormTest, EnterInTheLastCellAddsARow) {
    open();
    fillRow(1, "单据性质", "等于", "COPTC", "AND");
    selectCell(3, 1);
    key(Qt::Key_Return);
    EXPECT_EQ(grid()->RowCount(), 3);
    EXPECT_EQ(grid()->Row(), 2);
    EXPECT_EQ(grid()->Col(), 0);
}

TEST_F(QBEFormTest, CtrlDeleteDeletesOrClears) {
    open();
    fillRow(1, "单据性质", "等于", "COPTC", "AND");
    grid()->setRowCount(3);
    fillRow(2, "备注", "等于", "x", "AND");
    selectCell(2, 1);
    key(Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(grid()->RowCount(), 2);
    EXPECT_EQ(grid()->Cells(0, 1), "备注");
    selectCell(2, 1);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(grid()->RowCount(), 2);
    EXPECT_EQ(grid()->Cells(0, 1), "");
    EXPECT_EQ(form->GridCondition(), "");
}

TEST_F(QBEFormTest, RowLimitTakesDigitsOnly) {
    open();
    QLineEdit* le = form->cbTopRow->combo()->lineEdit();
    ASSERT_TRUE(le);
    le->setFocus();
    le->selectAll();
    QTest::keyClicks(le, "1x2-3");
    EXPECT_EQ(le->text(), "123");
    EXPECT_EQ(form->RowLimit(), 123);
    le->clear();
    EXPECT_EQ(form->RowLimit(), 500);
    form->SetRowLimit(300);
    EXPECT_EQ(form->cbTopRow->Items().first(), "300");
    EXPECT_EQ(form->RowLimit(), 300);
    form->SetRowLimit(1000);
    EXPECT_EQ(form->cbTopRow->Items().first(), "300");
    EXPECT_EQ(form->RowLimit(), 1000);
}

TEST_F(QBEFormTest, ExecuteReturnsConditionAndOrderingOnOkOnly) {
    open();
    fillRow(1, "传输方式", "等于", "2:汇出", "AND");
    QString cond = "untouched", order = "untouched";
    QTimer::singleShot(0, form, [this] { form->btnCancel->click(); });
    EXPECT_FALSE(form->Execute(cond, order));
    EXPECT_EQ(cond, "untouched");
    QTimer::singleShot(0, form, [this] { form->btnOK->click(); });
    ASSERT_TRUE(form->Execute(cond, order));
    EXPECT_EQ(cond, " (QLDMB.MB002 = '2' ) ");
    EXPECT_EQ(order, "MB001");
}

TEST_F(QBEFormTest, AdvancedAddsLinesWithTheChosenConnector) {
    open();
    showPage(form->tbsAdvanced);
    chooseAdvancedField("MB002");
    EXPECT_EQ(form->cboValue->Items().size(), 3);
    form->cboValue->setItemIndex(form->cboValue->combo()->findText("2:汇出"));
    EXPECT_FALSE(form->rgLogic->isEnabled());
    form->BbAssign->click();
    EXPECT_TRUE(form->rgLogic->isEnabled());
    form->rgLogic->SetItemIndex(1);
    form->BbAssign->click();
    EXPECT_EQ(form->Memo1->toPlainText(), "(QLDMB.MB002 = '2')\n  OR (QLDMB.MB002 = '2')");

    chooseAdvancedField("MB005");
    form->CbOperator->setCurrentIndex(8);
    form->cboValue->combo()->setFocus();
    QTest::keyClicks(form->cboValue->combo(), "abc");
    form->rgLogic->SetItemIndex(0);
    form->BbAssign->click();
    EXPECT_TRUE(form->Memo1->toPlainText().endsWith("\n  AND (QLDMB.MB005 like '%abc%')"));

    // An empty value is refused with message 0.
    chooseAdvancedField("MB005");
    const QString before = form->Memo1->toPlainText();
    form->BbAssign->click();
    EXPECT_EQ(dialogs().lastText().trimmed(), form->Msg(0));
    EXPECT_EQ(form->Memo1->toPlainText(), before);

    form->BBClear->click();
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(form->rgLogic->isEnabled());
}

TEST_F(QBEFormTest, AdvancedFieldListsPadLabelsAndPutAuditFieldsLast) {
    open();
    const QStringList items = form->ListBox1->Items();
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first(), QString("单据性质").leftJustified(14) + "\tMB001");
    EXPECT_EQ(items.last().section('\t', 1), "FLAG");
    EXPECT_EQ(items.at(items.size() - 7).section('\t', 1), "COMPANY");
    // Without select columns the joined field is not listed.
    for (const QString& i : items)
        EXPECT_NE(i.section('\t', 1), "USERNAME");
    EXPECT_EQ(form->cboField->count(), items.size());
}

TEST_F(QBEFormTest, AdvancedAuditDatesFollowTheDialect) {
    pendingSqlType = 1;
    open();
    showPage(form->tbsAdvanced);
    chooseAdvancedField("CREATE_DATE");
    form->CbOperator->setCurrentIndex(1);
    form->cdsTemp->FieldByName("QBE")->SetAsString("20240101");
    form->BbAssign->click();
    EXPECT_EQ(form->Memo1->toPlainText(), "(QLDMB.CREATE_DATE >= '20240101')");
}

TEST_F(QBEFormTest, AdvancedNumberBoxesFilterKeys) {
    open();
    showPage(form->tbsAdvanced);
    chooseAdvancedField("QTY01");
    QLineEdit* le = form->cboValue->combo()->lineEdit();
    ASSERT_TRUE(le);
    le->setFocus();
    QTest::keyClicks(le, "-1.2.x5");
    EXPECT_EQ(le->text(), "-1.25");
}

TEST_F(QBEFormTest, SortOrderFromTheChosenListWithDescendingChecks) {
    open();
    showPage(form->tbsAdvanced);
    form->ListBox1->setItemSelected(form->AdvancedFieldNames().indexOf("MB001"), true);
    form->ListBox1->setItemSelected(form->AdvancedFieldNames().indexOf("MB002"), true);
    form->SpeedButton1->click();
    form->SpeedButton1->click(); // already chosen: not again
    ASSERT_EQ(form->ListBox2->count(), 2);
    form->ListBox2->setItemChecked(1, true);
    QString cond, order;
    QTimer::singleShot(0, form, [this] { form->btnOK->click(); });
    ASSERT_TRUE(form->Execute(cond, order));
    EXPECT_EQ(order, "QLDMB.MB001 asc,QLDMB.MB002 desc");
    EXPECT_EQ(cond, "");

    form->ListBox2->setItemIndex(0);
    form->SpeedButton2->click();
    EXPECT_EQ(form->ListBox2->count(), 1);
}

TEST_F(QBEFormTest, DraggingWithinTheSortListKeepsAValidOrder) {
    open();
    showPage(form->tbsAdvanced);
    for (int i = 0; i < 3; ++i)
        form->ListBox1->setItemSelected(i, true);
    form->ListBox1DblClick();
    ASSERT_EQ(form->ListBox2->count(), 3);
    const QStringList start = form->ListBox2->Items();
    QListWidget* l = form->ListBox2->list();
    form->ListBox2DragDrop(1, l->visualItemRect(l->item(1)).center()); // onto itself
    EXPECT_EQ(form->ListBox2->Items(), start);
    form->ListBox2DragDrop(0, QPoint(5, l->viewport()->height() - 2)); // below the last item
    EXPECT_EQ(form->ListBox2->Items(), QStringList({start[1], start[2], start[0]}));
    form->ListBox2DragDrop(2, l->visualItemRect(l->item(0)).center());
    EXPECT_EQ(form->ListBox2->Items(), start);
}

TEST_F(QBEFormTest, LongSortItemsShowAHintWithoutTabs) {
    open("MB001", "MB001,MB001C,A.SOME_VERY_LONG_EXPRESSION_OF_A_JOINED_TABLE USERNAME");
    showPage(form->tbsAdvanced);
    QListWidget* l = form->ListBox1->list();
    const int row = form->AdvancedFieldNames().indexOf("USERNAME");
    ASSERT_GE(row, 0);
    l->scrollToItem(l->item(row));
    QTest::mouseMove(l->viewport(), l->visualItemRect(l->item(row)).center());
    QMouseEvent move(QEvent::MouseMove, l->visualItemRect(l->item(row)).center(), QCursor::pos(),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(l->viewport(), &move);
    EXPECT_TRUE(form->hintWindow->isVisible());
    EXPECT_FALSE(form->hintWindow->text().contains('\t'));
    EXPECT_TRUE(form->hintWindow->text().endsWith("A.SOME_VERY_LONG_EXPRESSION_OF_A_JOINED_TABLE"));
    form->close();
    EXPECT_FALSE(form->hintWindow->isVisible());
}

TEST_F(QBEFormTest, DetailFilterCombinesWithACountingSubquery) {
    QBEFixture::Options o;
    o.detail = true;
    open("MB001", "", o);
    EXPECT_TRUE(!form->chkBody->isHidden());
    showPage(form->tbsAdvanced);
    chooseAdvancedField("MB002");
    form->cboValue->setItemIndex(1);
    form->BbAssign->click();
    form->chkBody->click();
    EXPECT_TRUE(form->tbsDetail->TabVisible());
    EXPECT_EQ(form->pgQBE->ActivePage(), form->tbsDetail);
    form->cboField2->setCurrentIndex(form->cboField2->findText("项目", Qt::MatchStartsWith));
    form->cboField2Change();
    form->cdsTemp2->FieldByName("QBE")->SetAsString("x");
    form->BbAssign2->click();
    EXPECT_EQ(form->Memo2->toPlainText(), "(QLDMD.MD002 = 'x')");
    form->DoCondition();
    EXPECT_EQ(form->CurrentCondition(),
              "((QLDMB.MB002 = '2')) and  ( select count(*) FROM DEMO..QLDMD QLDMD where  "
              "(QLDMB.MB001=QLDMD.MD001) and  ( (QLDMD.MD002 = 'x') ) ) > 0 ");
    // Showing again resets the detail filter.
    form->hide();
    form->show();
    EXPECT_FALSE(form->chkBody->isChecked());
    EXPECT_FALSE(form->tbsDetail->TabVisible());
    EXPECT_EQ(form->pgQBE->ActivePage(), form->tbsAdvanced);
}

TEST_F(QBEFormTest, WithoutDetailInputsTheDetailPageIsUnreachable) {
    open();
    EXPECT_FALSE(!form->chkBody->isHidden());
    EXPECT_FALSE(form->tbsDetail->TabVisible());
}
