// The colour query form: one check box per rule in the rule's colours, the selection flags written back
// only on OK, the colour-management switch (unchecking it unchecks every rule; a change is stored for all
// programs through the broker). Renders docs/images/colour-qbe.png with the rules seeded for QLDI05.
#include "FakeWorkCenter.h"
#include "TempTree.h"
#include "controls/CheckBoxes.h"
#include "query/KvColorQBE.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

class Counter : public brokertest::Recorder {
public:
    bool fail = false;
    Counter() : Recorder("Fake.Counter") {
        addRecorded("GETCOUNTER", [this](VariantList&) -> Variant {
            if (fail) throw AutomationError("counter down");
            return QString();
        });
    }
};

struct Owner : TColorQBEOwner {
    TBrokers* broker = nullptr;
    bool colorManage = true;
    TBrokers* ColorQBEBroker() const override { return broker; }
    bool ColorQBEIsColorManage() const override { return colorManage; }
};

void addRule(TColorConditions& c, const QString& msg, const QString& bk, const QString& fc, int tag = 0) {
    TColorCondition* r = c.Add();
    r->Value = "1=1";
    r->Msg = msg;
    r->BkColor = bk;
    r->ColorX = fc;
    r->Tag = tag;
}

struct QbeEnv {
    QWidget window;
    std::shared_ptr<Counter> counter = std::make_shared<Counter>();
    TBrokers* broker = new TBrokers(&window);
    Owner owner;
    TColorConditions grid;
    QbeEnv() {
        broker->CompanyID = "DEMO";
        broker->UserID = "DS";
        broker->Counter = Variant(std::shared_ptr<Dispatch>(counter));
        owner.broker = broker;
        addRule(grid, "汇出", "16771276", "8388608", 1);
        addRule(grid, "汇入", "14087638", "25600", 0);
        addRule(grid, "无说明", "'", "8421504", 1);
    }
    TColorQBEForm* create() { return TKVForm::Create<TColorQBEForm>(&window, &owner, &grid); }
    // Runs the form modally and lets `act` press the buttons once it is shown.
    bool run(TColorQBEForm* f, bool colorManage, TColorConditions* conditions, std::function<void()> act) {
        QTimer::singleShot(0, f, [f, act] {
            if (!f->isVisible()) return;
            act();
        });
        return f->Run(colorManage, conditions);
    }
};

} // namespace

TEST(ColorQBEForm, OneBoxPerRuleInTheRulesColoursAtItsPlace) {
    QbeEnv e;
    addRule(e.grid, "bad colours", "blue", "12x", 0);
    std::unique_ptr<TColorQBEForm> f(e.create());
    EXPECT_EQ(f->Caption(), "颜色筛选");
    EXPECT_EQ(f->height(), 415);
    const QList<TKVCheckBox*> boxes = f->RuleBoxes();
    ASSERT_EQ(boxes.size(), 4);
    const QFontMetrics fm(boxes[0]->font());
    for (int i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i]->objectName(), QString("chkColor%1").arg(i));
        EXPECT_EQ(boxes[i]->Left(), 20);
        EXPECT_EQ(boxes[i]->Top(), i * 20 + 5);
        EXPECT_EQ(boxes[i]->Width(),
                  fm.horizontalAdvance(boxes[i]->Caption()) + 3 * fm.horizontalAdvance('0') + 4);
        EXPECT_EQ(boxes[i]->parentWidget(), f->boxMain->widget());
    }
    EXPECT_EQ(boxes[0]->Caption(), "汇出");
    EXPECT_EQ(boxes[0]->Color(), 16771276);
    EXPECT_EQ(boxes[0]->Font()->Color(), 8388608);
    // An empty ("'") or non-numeric colour keeps the box's default.
    const TKVCheckBox plain;
    EXPECT_EQ(boxes[2]->Color(), plain.Color());
    EXPECT_EQ(boxes[2]->Font()->Color(), 8421504);
    EXPECT_EQ(boxes[3]->Color(), plain.Color());
    EXPECT_EQ(boxes[3]->Font()->Color(), plain.Font()->Color());
    EXPECT_TRUE(f->ColorManage()); // the owner's user setting
    EXPECT_TRUE(f->boxMain->isEnabled());
}

TEST(ColorQBEForm, OkWritesTheSelectionFlagsBackAndCancelChangesNothing) {
    QbeEnv e;
    std::unique_ptr<TColorQBEForm> f(e.create());
    bool seen = false;
    EXPECT_FALSE(e.run(f.get(), true, &e.grid, [&] {
        seen = true;
        const QList<TKVCheckBox*> boxes = f->RuleBoxes();
        EXPECT_TRUE(boxes[0]->Checked());
        EXPECT_FALSE(boxes[1]->Checked());
        EXPECT_TRUE(boxes[2]->Checked());
        QTest::mouseClick(boxes[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(f->BBCancel, Qt::LeftButton);
    }));
    EXPECT_TRUE(seen);
    EXPECT_EQ(e.grid.Items(1)->Tag, 0);

    EXPECT_TRUE(e.run(f.get(), true, &e.grid, [&] {
        QTest::mouseClick(f->RuleBoxes()[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(f->RuleBoxes()[0]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(f->BBOK, Qt::LeftButton);
    }));
    EXPECT_EQ(e.grid.Items(0)->Tag, 0);
    EXPECT_EQ(e.grid.Items(1)->Tag, 1);
    EXPECT_EQ(e.grid.Items(2)->Tag, 1);
    EXPECT_EQ(e.grid.Items(0)->Msg, "汇出");      // texts come back unchanged
    EXPECT_EQ(e.counter->count("GETCOUNTER"), 0); // the switch did not change
}

TEST(ColorQBEForm, EnterPressesOkAndEscapeCancels) {
    QbeEnv e;
    std::unique_ptr<TColorQBEForm> f(e.create());
    EXPECT_FALSE(e.run(f.get(), true, &e.grid, [&] {
        QTest::mouseClick(f->RuleBoxes()[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(f->RuleBoxes()[1]->box(), Qt::Key_Escape);
    }));
    EXPECT_EQ(e.grid.Items(1)->Tag, 0);
    EXPECT_TRUE(e.run(f.get(), true, &e.grid, [&] {
        QTest::mouseClick(f->RuleBoxes()[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(f->RuleBoxes()[1]->box(), Qt::Key_Return);
    }));
    EXPECT_EQ(e.grid.Items(1)->Tag, 1);
}

TEST(ColorQBEForm, WithoutRulesTheBoxIsEmptyAndOkChangesNothing) {
    QbeEnv e;
    TColorConditions none;
    std::unique_ptr<TColorQBEForm> f(TKVForm::Create<TColorQBEForm>(&e.window, &e.owner, &none));
    EXPECT_TRUE(f->RuleBoxes().isEmpty());
    EXPECT_TRUE(f->boxMain->widget()->findChildren<TKVCheckBox*>().isEmpty());
    EXPECT_TRUE(e.run(f.get(), true, &none, [&] { QTest::mouseClick(f->BBOK, Qt::LeftButton); }));
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(e.counter->count("GETCOUNTER"), 0);
}

TEST(ColorQBEForm, UncheckingColourManagementUnchecksEveryRuleAndStoresItForAllPrograms) {
    QbeEnv e;
    std::unique_ptr<TColorQBEForm> f(e.create());
    EXPECT_TRUE(e.run(f.get(), true, &e.grid, [&] {
        QTest::mouseClick(f->chkColorManage->box(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_FALSE(f->boxMain->isEnabled());
        for (TKVCheckBox* b : f->RuleBoxes())
            EXPECT_FALSE(b->Checked()) << b->objectName().toStdString();
        QTest::mouseClick(f->BBOK, Qt::LeftButton);
    }));
    EXPECT_FALSE(f->ColorManage());
    for (int i = 0; i < e.grid.Count(); ++i)
        EXPECT_EQ(e.grid.Items(i)->Tag, 0);
    ASSERT_EQ(e.counter->count("GETCOUNTER"), 1);
    const brokertest::Call* call = e.counter->last("GETCOUNTER");
    EXPECT_EQ(call->args[0].toString(), "SetUserDefine");
    const VariantList p = call->args[1].toList();
    ASSERT_EQ(p.size(), 5);
    EXPECT_EQ(p[0].toString(), "DEMO");
    EXPECT_EQ(p[1].toString(), "DS");
    EXPECT_EQ(p[2].toString(), "********************");
    EXPECT_EQ(p[3].toString(), "InputSettings003/IsColorManage");
    EXPECT_EQ(p[4].toString(), "False");

    // Switched on again: stored as "True"; a failing store is not shown and OK still holds.
    e.counter->fail = true;
    EXPECT_TRUE(e.run(f.get(), false, &e.grid, [&] {
        EXPECT_FALSE(f->boxMain->isEnabled());
        QTest::mouseClick(f->chkColorManage->box(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_TRUE(f->boxMain->isEnabled());
        QTest::mouseClick(f->BBOK, Qt::LeftButton);
    }));
    EXPECT_TRUE(f->ColorManage());
    EXPECT_EQ(e.counter->count("GETCOUNTER"), 2);
    EXPECT_EQ(e.counter->last("GETCOUNTER")->args[1].toList().value(4).toString(), "True");

    // Cancel after switching stores nothing.
    e.counter->fail = false;
    EXPECT_FALSE(e.run(f.get(), true, &e.grid, [&] {
        QTest::mouseClick(f->chkColorManage->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(f->BBCancel, Qt::LeftButton);
    }));
    EXPECT_EQ(e.counter->count("GETCOUNTER"), 2);
}

TEST(ColorQBEForm, Screenshot) {
    QbeEnv e;
    std::unique_ptr<TColorQBEForm> f(e.create());
    // As Run shows them: the boxes take the rules' selection flags.
    for (int i = 0; i < f->RuleBoxes().size(); ++i)
        f->RuleBoxes()[i]->setChecked(e.grid.Items(i)->Tag != 0);
    f->show();
    QApplication::processEvents();
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    QDir().mkpath(dir);
    EXPECT_TRUE(f->grab().save(dir + "/colour-qbe.png"));
    f->close();
}

TEST(ColorQBEForm, EnglishTextsComeFromTheLanguagePackage) {
    kvxtest::TempTree tree;
    tree.writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=437\nDBCodePage=936\n");
    const QString folder = qEnvironmentVariable("KVX_SOURCE_DIR") + "/src/query/MultiLanguage/ENG";
    QDir(tree.clientPath()).mkpath("MultiLanguage/ENG");
    ASSERT_TRUE(QFile::copy(folder + "/TColorQBEForm.Lng",
                            tree.clientPath() + "MultiLanguage/ENG/TColorQBEForm.Lng"));
    QbeEnv e;
    std::unique_ptr<TColorQBEForm> f(e.create());
    f->show();
    QApplication::processEvents();
    EXPECT_EQ(f->Caption(), "Colour Filter");
    EXPECT_EQ(f->chkColorManage->Caption(), "Enable colour management");
    EXPECT_EQ(f->BBCancel->text(), "&Cancel");
    EXPECT_EQ(f->RuleBoxes().value(0)->Caption(), "汇出"); // the rules' own texts stay
    const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
    EXPECT_TRUE(f->grab().save(dir + "/colour-qbe-eng.png"));
    f->close();
}
