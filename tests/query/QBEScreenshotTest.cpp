// Renders the general and advanced pages in Simplified Chinese and English to docs/images, and checks
// that the language packages reached the dialog's texts.
#include "QBETestSupport.h"

#include "controls/SimpleControls.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
void save(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    QDir().mkpath(dir);
    EXPECT_TRUE(w->grab().save(dir + '/' + name)) << name.toStdString();
}
} // namespace

class QBEScreenshotTest : public QBEFixture {
protected:
    void fillExample() {
        fillRow(1, form->sg1->Cells(0, 1),
                form->sg1->Cells(1, 1).isEmpty() ? firstOperator() : form->sg1->Cells(1, 1), "COPTC", "OR");
        grid()->setRowCount(3);
        fillRow(2, caption("MB005"), operatorAt(8), "O'Neil", "AND");
        form->sg1->table()->setCurrentCell(1, 0);
    }
    QString caption(const QString& field) const {
        return window->cdsMain->FieldByName(field)->DisplayLabel();
    }
    QString firstOperator() const { return operatorAt(0); }
    QString operatorAt(int i) const { return form->sg1->cellPickList(1, 1).value(i).section('\t', 0, 0); }
    void fillAdvanced() {
        form->pgQBE->setActivePage(form->tbsAdvanced);
        form->Memo1->setPlainText("(QLDMB.MB002 = '2')\n  OR (QLDMB.MB005 like '%O''Neil%')");
        form->ListBox1->setItemSelected(0, true);
        form->ListBox1->setItemSelected(2, true);
        form->ListBox1DblClick();
        form->ListBox2->setItemChecked(1, true);
    }
};

TEST_F(QBEScreenshotTest, SimplifiedChinese) {
    open("MB001", "MB001,MB001C,MB002,MB004,MB005");
    EXPECT_EQ(form->windowTitle(), "设置查询条件");
    EXPECT_EQ(form->tbsGeneral->Caption(), "一般选项");
    fillExample();
    save(form, "qbe-general-chs.png");
    fillAdvanced();
    save(form, "qbe-advanced-chs.png");
}

TEST_F(QBEScreenshotTest, English) {
    setUICodePage("437");
    open("MB001", "MB001,MB001C,MB002,MB004,MB005");
    const QList<QPair<QString, QString>> labels = {{"MB001", "Document type"}, {"MB001C", "File name"},
                                                   {"MB002", "Mode"},          {"MB004", "Category"},
                                                   {"MB005", "Remark"},        {"QTY01", "Quantity"}};
    for (const auto& [f, l] : labels)
        window->cdsMain->FieldByName(f)->SetDisplayLabel(l);
    form->InitQuery(window->cdsMain, "QLDMB", false, "MB001,MB001C,MB002,MB004,MB005", "MB001");
    form->hide();
    form->show();
    EXPECT_EQ(form->UICodePage(), "437");
    EXPECT_EQ(form->windowTitle(), "Set Query Conditions");
    EXPECT_EQ(form->tbsAdvanced->Caption(), "Advanced");
    EXPECT_EQ(form->sg1->Cells(0, 0), "Field");
    EXPECT_EQ(form->Msg(0), "Please enter what you are looking for first!");
    EXPECT_EQ(form->CbOperator->itemText(6), "Starts with");
    EXPECT_EQ(form->btnOK->text(), "OK");
    fillExample();
    EXPECT_EQ(form->RowCondition(2), "QLDMB.MB005 like '%O''Neil%' AND");
    save(form, "qbe-general-eng.png");
    fillAdvanced();
    save(form, "qbe-advanced-eng.png");
}
