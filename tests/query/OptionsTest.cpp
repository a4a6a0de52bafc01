// The options dialog against a recording counter service: what it reads, what it writes back (only
// what changed, with the right scope), the live examples, and the keyboard of its dialog base.
#include "TempTree.h"
#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"
#include "platform/WindowMessage.h"
#include "query/OptionsCF.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

class RecordingCounter : public DispatchObject {
public:
    QList<VariantList> sets;
    int gets = 0;
    Variant numberSettings; // GetUserDefine's answer
    bool throwOnGet = false;
    RecordingCounter() : DispatchObject("Test.Counter") {
        addMethod("GETCOUNTER", [this](VariantList& a) -> Variant {
            const QString name = a[0].toString();
            if (name == "GetUserDefine") {
                ++gets;
                if (throwOnGet) throw AutomationError("counter down");
                EXPECT_EQ(a[1].at(3).toString(), "NumberFieldsSetting");
                return numberSettings;
            }
            if (name == "SetUserDefine") sets << a[1].toList();
            return Variant();
        });
    }
    QStringList paths() const {
        QStringList out;
        for (const VariantList& s : sets)
            out << s[3].toString();
        return out;
    }
};

class OwnerWindow : public QWidget, public TKVDialogOwner {
public:
    TBrokers* broker = new TBrokers(this);
    QHash<QString, bool> settings; // "section/key"
    int moneyDigits = 2;
    int f2Calls = 0;
    TBrokers* DialogBroker() const override { return broker; }
    int DialogDateFormat() const override { return 3; }
    QString DialogDateSeparator() const override { return "-"; }
    bool UserSetting(const QString& section, const QString& key, bool def) const override {
        return settings.value(section + '/' + key, def);
    }
    int MoneyDigits() const override { return moneyDigits; }
};

// A dialog whose F2 operation records the control it was given.
class LookupDialog : public TfrmKVDialog {
public:
    using TfrmKVDialog::TfrmKVDialog;
    QWidget* f2Control = nullptr;
    int f4Key = 0;
    void DoF2Key(int, QWidget* c) override { f2Control = c; }
    void DoF4Key(int key, QWidget* c) override {
        f4Key = key;
        TfrmKVDialog::DoF4Key(key, c);
    }
};

} // namespace

class OptionsTest : public ::testing::Test {
protected:
    kvxtest::ScopedEnv sysCodePage{"KVX_CODEPAGE", "936"};
    kvxtest::TempTree tree;
    std::unique_ptr<OwnerWindow> owner = std::make_unique<OwnerWindow>();
    std::shared_ptr<RecordingCounter> counter = std::make_shared<RecordingCounter>();
    TfrmOptions* dlg = nullptr;

    void SetUp() override {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
        owner->setWindowTitle("文档传输设置作业");
        owner->broker->CompanyID = "DEMO";
        owner->broker->UserID = "CLERK";
        owner->broker->ProgID = "QLDI05";
        owner->broker->Counter = Variant(std::static_pointer_cast<Dispatch>(counter));
    }
    // Shows the dialog, runs `act` inside its modal loop and returns whether it closed with OK.
    bool run(const std::function<void()>& act) {
        dlg = TKVForm::Create<TfrmOptions>(owner.get(), owner.get());
        QTimer::singleShot(0, dlg, [&] {
            act();
            if (dlg->isVisible()) dlg->btnCancelClick();
        });
        return dlg->Execute();
    }
    void click(TKVCheckBox* box) {
        QTest::mouseClick(box->box(), Qt::LeftButton, {}, QPoint(6, box->box()->height() / 2));
    }
};

TEST_F(OptionsTest, OkWithoutChangesSendsNothing) {
    owner->settings["InputSettings003/IsColorManage"] = true;
    ASSERT_TRUE(run([&] { QTest::mouseClick(dlg->btnOK, Qt::LeftButton); }));
    EXPECT_EQ(counter->gets, 1);
    EXPECT_TRUE(counter->sets.isEmpty());
    EXPECT_TRUE(dlg->ColorManage());
    EXPECT_TRUE(dlg->KeepOnAdd());
    delete dlg;
}

TEST_F(OptionsTest, ChangingOneMoneySettingSendsTheWholeXmlOnceForAllPrograms) {
    ASSERT_TRUE(run([&] {
        dlg->pgMain->setActivePage(dlg->tbsDisplay);
        dlg->lstType->setCurrentRow(1);
        EXPECT_TRUE(dlg->pnlMoney->isVisible());
        EXPECT_FALSE(dlg->pnlNumber->isVisible());
        click(dlg->chkMoneyAutoZero);
        EXPECT_EQ(dlg->lblMoneyExample->text(), "9,999,999.9");
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    ASSERT_EQ(counter->sets.size(), 1);
    const VariantList& s = counter->sets[0];
    EXPECT_EQ(s[0].toString(), "DEMO");
    EXPECT_EQ(s[1].toString(), "CLERK");
    EXPECT_EQ(s[2].toString(), "********************");
    EXPECT_EQ(s[3].toString(), ".");
    EXPECT_EQ(s[4].toString(),
              "<NumberFieldsSetting Enabled=\"True\">  <QuantityFieldAutoZero>True</QuantityFieldAutoZero>  "
              "<QuantityFieldThousand>True</QuantityFieldThousand>  "
              "<MoneyFieldAutoZero>False</MoneyFieldAutoZero>  "
              "<MoneyFieldThousand>True</MoneyFieldThousand></NumberFieldsSetting>");
    EXPECT_FALSE(dlg->MoneyAutoZero());
    delete dlg;
}

TEST_F(OptionsTest, GeneralSettingsAreWrittenOneByOneWithTheirScope) {
    ASSERT_TRUE(run([&] {
        click(dlg->chkKeepOnAdd);
        click(dlg->chkColorManage);
        click(dlg->chkFastInput);
        click(dlg->chkFastInput); // back as it was: not sent
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    ASSERT_EQ(counter->sets.size(), 2);
    EXPECT_EQ(counter->paths(),
              QStringList({"InputSettings002/IsKeepOnAdd", "InputSettings003/IsColorManage"}));
    EXPECT_EQ(counter->sets[0][2].toString(), "********************");
    EXPECT_EQ(counter->sets[0][4].toString(), "False");
    EXPECT_EQ(counter->sets[1][2].toString(), "QLDI05");
    EXPECT_EQ(counter->sets[1][4].toString(), "True");
    delete dlg;
}

TEST_F(OptionsTest, CancelSendsNothing) {
    EXPECT_FALSE(run([&] {
        click(dlg->chkKeepOnAdd);
        QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
    }));
    EXPECT_TRUE(counter->sets.isEmpty());
    delete dlg;
}

TEST_F(OptionsTest, StoredNumberSettingsAndExamples) {
    counter->numberSettings = QStringLiteral(
        "<NumberFieldsSetting Enabled=\"True\"><QuantityFieldAutoZero>false</QuantityFieldAutoZero>"
        "<MoneyFieldThousand>TRUE</MoneyFieldThousand><MoneyFieldAutoZero>no</MoneyFieldAutoZero></"
        "NumberFieldsSetting>");
    owner->moneyDigits = 3;
    ASSERT_TRUE(run([&] {
        EXPECT_EQ(dlg->pgMain->ActivePage(), dlg->tbsGeneral);
        EXPECT_EQ(dlg->lstType->currentRow(), 0);
        EXPECT_FALSE(dlg->chkNumberAutoZero->Checked());
        EXPECT_TRUE(dlg->chkNumberThousand->Checked()); // missing element: stays checked
        EXPECT_FALSE(dlg->chkMoneyAutoZero->Checked());
        EXPECT_TRUE(dlg->chkMoneyThousand->Checked());
        EXPECT_EQ(dlg->lblNumberExample->text(), "9,999,999.9");
        EXPECT_EQ(dlg->lblMoneyExample->text(), "9,999,999.9");
        dlg->pgMain->setActivePage(dlg->tbsDisplay);
        click(dlg->chkNumberAutoZero);
        EXPECT_EQ(dlg->lblNumberExample->text(), "9,999,999.900");
        click(dlg->chkNumberThousand);
        EXPECT_EQ(dlg->lblNumberExample->text(), "9999999.900");
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    ASSERT_EQ(counter->sets.size(), 1);
    EXPECT_TRUE(counter->sets[0][4].toString().contains("<QuantityFieldAutoZero>True<"));
    EXPECT_TRUE(counter->sets[0][4].toString().contains("<QuantityFieldThousand>False<"));
    delete dlg;
}

TEST_F(OptionsTest, UnreadableSettingsLeaveTheDesignedDefaults) {
    counter->numberSettings = QStringLiteral("not xml <");
    owner->moneyDigits = -1;
    ASSERT_TRUE(run([&] {
        EXPECT_TRUE(dlg->chkNumberAutoZero->Checked());
        EXPECT_TRUE(dlg->chkMoneyThousand->Checked());
        EXPECT_EQ(dlg->lblNumberExample->text(), "9,999,999.900");
        EXPECT_EQ(dlg->lblMoneyExample->text(), "10,000,000"); // a currency without decimals
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    delete dlg;
    counter->throwOnGet = true;
    ASSERT_TRUE(run([&] {
        EXPECT_TRUE(dlg->chkMoneyAutoZero->Checked());
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    EXPECT_TRUE(counter->sets.isEmpty());
    delete dlg;
}

TEST_F(OptionsTest, ExamplePatterns) {
    EXPECT_EQ(TfrmOptions::ExamplePattern(true, true, 3), "#,##0.000");
    EXPECT_EQ(TfrmOptions::ExamplePattern(false, false, 2), "###0.##");
    EXPECT_EQ(TfrmOptions::ExamplePattern(true, true, -1), "#,##0");
}

TEST_F(OptionsTest, DialogBaseTakesTheOwnersSettingsAndKeys) {
    auto* d = TKVForm::Create<LookupDialog>(owner.get(), owner.get());
    EXPECT_EQ(d->Broker(), owner->broker);
    EXPECT_EQ(d->DateFormat(), 3);
    EXPECT_EQ(d->DateSeparator(), "-");
    EXPECT_EQ(d->windowTitle(), "文档传输设置作业");
    auto* layout = new QVBoxLayout(d);
    auto* first = new QLineEdit(d);
    auto* second = new QLineEdit(d);
    auto* memo = new QPlainTextEdit(d);
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addWidget(memo);
    d->show();
    QApplication::setActiveWindow(d);
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), second);
    EXPECT_TRUE(first->text().isEmpty());
    QTest::keyClick(second, Qt::Key_F2);
    EXPECT_EQ(d->f2Control, second);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Return); // a memo keeps its Enter
    EXPECT_EQ(QApplication::focusWidget(), memo);
    EXPECT_EQ(memo->toPlainText(), "\n");
    // Message 1036 with a control: the F4 operation focuses it by default.
    MessageEvent m1036(1036, 0, first);
    QApplication::sendEvent(d, &m1036);
    EXPECT_EQ(d->f4Key, int(Qt::Key_F4));
    EXPECT_EQ(QApplication::focusWidget(), first);
    d->f2Control = nullptr;
    MessageEvent m1034(1034, 0, second);
    QApplication::sendEvent(d, &m1034);
    EXPECT_EQ(d->f2Control, second);
    delete d;
}

TEST_F(OptionsTest, Screenshots) {
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    ASSERT_TRUE(run([&] {
        EXPECT_TRUE(dlg->grab().save(dir + "/options-general.png"));
        dlg->pgMain->setActivePage(dlg->tbsDisplay);
        EXPECT_TRUE(dlg->grab().save(dir + "/options-display-number.png"));
        dlg->lstType->setCurrentRow(1);
        EXPECT_TRUE(dlg->grab().save(dir + "/options-display-money.png"));
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    }));
    delete dlg;
}
