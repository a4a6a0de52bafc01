// The find dialog driven by key presses: origins, directions, whole words, case, trailing blanks, the
// field list, the remembered text, and the maintenance windows' messages through the broker.
#include "TempTree.h"
#include "controls/CheckBoxes.h"
#include "controls/FDBGrid.h"
#include "platform/Automation.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "query/KvSearch.h"
#include "server/Brokers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

struct Data {
    TClientDataSet ds;
    TDataSource src;
    QWidget form;
    TFDBGrid* grid = new TFDBGrid(&form);
    TkvSearchDialog search{&form};

    Data() {
        auto& defs = ds.FieldDefs();
        defs.Add("MB001", FieldType::String, 10);
        defs.Add("MB005", FieldType::String, 20);
        defs.Add("MB006", FieldType::String, 20);
        defs.Add("MB009", FieldType::String, 20);
        ds.CreateDataSet();
        const char* rows[][3] = {
            {"A01", "abc def", "x"}, {"A02", "ABC", "x"}, {"A03", "abc   ", "x"}, {"A04", "xyz", "x"}};
        for (auto& r : rows) {
            ds.Append();
            ds.FindField("MB001")->SetAsString(r[0]);
            ds.FindField("MB005")->SetAsString(r[1]);
            ds.FindField("MB006")->SetAsString(r[2]);
            ds.Post();
        }
        ds.FindField("MB001")->SetDisplayLabel(u("文档编号"));
        ds.FindField("MB005")->SetDisplayLabel(u("备注"));
        ds.FindField("MB006")->SetDisplayLabel(u("备注")); // a second field of the same label
        ds.FindField("MB009")->SetVisible(false);
        ds.First();
        src.SetDataSet(&ds);
        grid->setDataSource(&src);
        search.SetSearchGrid(grid);
        form.resize(500, 300);
        form.show();
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
    }

    // Runs the dialog; the script runs once it is shown and modal. The dialog is closed afterwards.
    void run(const std::function<void(TfrmSearchDlg*)>& script) {
        auto init = search.OnInitDialog;
        search.OnInitDialog = [init, script](TfrmSearchDlg* d) {
            if (init) init(d);
            QTimer::singleShot(0, d, [d, script] {
                script(d);
                if (d->isVisible()) QTest::keyClick(d->cbbText->lineEdit(), Qt::Key_Escape);
            });
        };
        search.Execute();
        search.OnInitDialog = init;
    }
    QString current() const { return ds.FindField("MB001")->AsString(); }
};

void pickField(TfrmSearchDlg* d, const QString& name) {
    d->cbbFields->setCurrentIndex(d->FieldNames().indexOf(name));
}

void find(TfrmSearchDlg* d, const char* text) {
    QLineEdit* edit = d->cbbText->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromUtf8(text));
    QTest::keyClick(edit, Qt::Key_Return);
}

// A work center whose catalogue knows "E" "000032" as "%s".
class Catalogue : public DispatchObject {
public:
    Catalogue() : DispatchObject(QStringLiteral("Test.WorkCenter")) {
        addMethod(QStringLiteral("GetMessage"), [](VariantList& a) -> Variant {
            return a.value(1).toString() == QLatin1String("000032") ? QStringLiteral("%s") : QString();
        });
    }
};

class Owner : public TSearchOwner {
public:
    TBrokers broker;
    TBrokers* SearchBroker() const override { return const_cast<TBrokers*>(&broker); }
    QString SearchUIText(const QString& text) const override { return text; }
    QFont SearchDialogFont() const override { return QFont(QStringLiteral("WenQuanYi Micro Hei"), 9); }
    Owner() {
        broker.ProgID = QStringLiteral("QLDI05");
        broker.WorkCenter = Variant(std::shared_ptr<Dispatch>(std::make_shared<Catalogue>()));
    }
};

} // namespace

TEST(Find, ForwardFromTheLastRecordFindsNothingAndStays) {
    Data d;
    d.ds.Last();
    d.run([](TfrmSearchDlg* dlg) {
        pickField(dlg, "MB005");
        find(dlg, "abc");
    });
    EXPECT_EQ(d.current(), "A04");
    ASSERT_EQ(DialogService::instance().shown().size(), 1);
    EXPECT_EQ(DialogService::instance().lastText(), "Search string \"abc\" not found");
    EXPECT_EQ(DialogService::instance().shown().first().type, MsgDlgType::Information);
}

TEST(Find, FromTheBeginningTestsTheFirstRecordThenContinuesFromTheCursor) {
    Data d;
    d.ds.Last();
    QStringList seen;
    bool cursorAfterFirst = false;
    d.run([&](TfrmSearchDlg* dlg) {
        pickField(dlg, "MB005");
        dlg->rbBeginning->setChecked(true);
        find(dlg, "abc");
        seen << d.current();
        cursorAfterFirst = dlg->rbCursor->Checked() && !dlg->rbBeginning->Checked();
        QTest::keyClick(dlg->cbbText->lineEdit(), Qt::Key_Return);
        seen << d.current();
        QTest::keyClick(dlg->cbbText->lineEdit(), Qt::Key_Return);
        seen << d.current();
        QTest::keyClick(dlg->cbbText->lineEdit(), Qt::Key_Return); // nothing after A03
        seen << d.current();
    });
    EXPECT_EQ(seen, QStringList({"A01", "A02", "A03", "A03"}));
    EXPECT_TRUE(cursorAfterFirst);
    EXPECT_EQ(DialogService::instance().shown().size(), 1);
}

TEST(Find, WholeWordsCaseAndTrailingBlanks) {
    Data d;
    QStringList seen;
    d.run([&](TfrmSearchDlg* dlg) {
        pickField(dlg, "MB005");
        QTest::mouseClick(dlg->chkWholeWords->box(), Qt::LeftButton);
        ASSERT_TRUE(dlg->chkWholeWords->Checked());
        dlg->rbBeginning->setChecked(true);
        find(dlg, "abc"); // not "abc def"; "ABC" without case; "abc   " equals "abc"
        seen << d.current();
        QTest::keyClick(dlg->cbbText->lineEdit(), Qt::Key_Return);
        seen << d.current();
        QTest::mouseClick(dlg->chkCase->box(), Qt::LeftButton);
        dlg->rbBeginning->setChecked(true);
        find(dlg, "ABC");
        seen << d.current();
        dlg->rbBeginning->setChecked(true);
        find(dlg, "Abc"); // matches nothing with case: stays
        seen << d.current();
    });
    EXPECT_EQ(seen, QStringList({"A02", "A03", "A02", "A02"}));
}

TEST(Find, BackwardAndTheFieldList) {
    Data d;
    d.search.Direction = TkvSearchDialog::sdBackward;
    d.ds.Last();
    QStringList labels, names;
    QString seen;
    d.run([&](TfrmSearchDlg* dlg) {
        EXPECT_TRUE(dlg->rbBackward->Checked());
        for (int i = 0; i < dlg->cbbFields->count(); ++i)
            labels << dlg->cbbFields->itemText(i);
        names = dlg->FieldNames();
        pickField(dlg, "MB005");
        find(dlg, "def");
        seen = d.current();
    });
    // Sorted by label, both "备注" fields next to each other; the hidden field is not listed.
    EXPECT_EQ(names.size(), 3);
    EXPECT_EQ(labels.count(u("备注")), 2);
    EXPECT_EQ(std::abs(labels.indexOf(u("备注")) - labels.lastIndexOf(u("备注"))), 1);
    EXPECT_FALSE(names.contains("MB009"));
    EXPECT_EQ(seen, "A01");

    d.search.SortFields = TkvSearchDialog::sfSortByFieldNo;
    d.run([&](TfrmSearchDlg* dlg) { names = dlg->FieldNames(); });
    EXPECT_EQ(names, QStringList({"MB001", "MB005", "MB006"}));
}

TEST(Find, TheLastTextIsOfferedAgainAndBlankTextIsRefused) {
    Data d;
    d.run([](TfrmSearchDlg* dlg) {
        pickField(dlg, "MB001");
        find(dlg, "A03");
    });
    EXPECT_EQ(d.current(), "A03");
    EXPECT_EQ(d.search.LastSearchText(), "A03");
    QString offered;
    d.run([&](TfrmSearchDlg* dlg) {
        offered = dlg->cbbText->currentText();
        dlg->cbbText->lineEdit()->clear();
        QTest::mouseClick(dlg->btnNext, Qt::LeftButton);
    });
    EXPECT_EQ(offered, "A03");
    EXPECT_EQ(DialogService::instance().lastText(), "The search string cannot be blank.");
    EXPECT_EQ(d.current(), "A03");
}

TEST(Find, IntlObjectsCopyFontMessagesAndEveryCaption) {
    TKvUserIntl from, to;
    from.DialogFont()->setName(QStringLiteral("WenQuanYi Micro Hei"));
    from.DialogFont()->setHeight(-13);
    from.UserMessages()->SearchedTextNotFound = u("\"%s\"没有找到");
    from.UserDialogInfo()->RbFromBeginning = u("从头开始查找(&E)");
    from.UserDialogInfo()->BtnClose = u("关闭(&O)");
    to.Assign(from);
    EXPECT_EQ(to.DialogFont()->Height(), -13);
    EXPECT_EQ(to.UserMessages()->SearchedTextNotFound, u("\"%s\"没有找到"));
    EXPECT_EQ(to.UserDialogInfo()->RbFromBeginning, u("从头开始查找(&E)"));
    EXPECT_EQ(to.UserDialogInfo()->BtnClose, u("关闭(&O)"));
    EXPECT_EQ(to.UserDialogInfo()->LblSearchText, "&Text to find");
}

TEST(Find, NoActiveDataSetIsAnError) {
    Data d;
    d.ds.Close();
    EXPECT_THROW(d.search.Execute(), ESearchError);
    d.search.SetSearchGrid(nullptr);
    EXPECT_THROW(d.search.Check(), ESearchError);
}

TEST(Find, MaintenanceWindowsReportThroughTheBroker) {
    kvxtest::TempTree tree; // the alert log goes to its client folder
    Data d;
    Owner owner;
    SetupWindowSearch(d.search, owner);
    d.grid->setCurrentColumn(1); // MB005 is the grid's selected column
    QString caption, next, picked;
    QImage shot;
    d.run([&](TfrmSearchDlg* dlg) {
        shot = dlg->grab().toImage();
        caption = dlg->Caption();
        next = dlg->btnNext->text();
        picked = dlg->SelectedFieldName();
        find(dlg, "");    // blank: reported, search aborted
        find(dlg, "zzz"); // not found: reported with the text
        pickField(dlg, "MB006");
        dlg->cbbFieldsChange();
    });
    EXPECT_EQ(caption, u("快速定位"));
    EXPECT_EQ(next, u("下一个(&N)"));
    EXPECT_EQ(picked, "MB005");
    const auto& shown = DialogService::instance().shown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].type, MsgDlgType::Error);
    EXPECT_TRUE(shown[0].text.contains(u("查找的值不可为空。")));
    EXPECT_TRUE(shown[1].text.contains(u("\"zzz\"没有找到")));
    EXPECT_EQ(d.current(), "A01");
    EXPECT_EQ(d.grid->SelectedField(), "MB006"); // the picked field became the grid's column
    QDir logs(tree.clientPath() + QStringLiteral("Log"));
    const QStringList files = logs.entryList({QStringLiteral("Alert_QLDI05_*.log")});
    ASSERT_EQ(files.size(), 1);
    QFile log(logs.filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray lines = log.readAll();
    EXPECT_EQ(lines.count('\n'), 2); // the blank text and the failed search
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(qEnvironmentVariable("KVX_BUILD_DIR") + QStringLiteral("/find-dialog.png")));
}
