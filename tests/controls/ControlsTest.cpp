// Behaviour of the controls without data: lookups, value-mapped combos, pages, check boxes, panels.
#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/SelectPanel.h"
#include "controls/SimpleControls.h"
#include "controls/StatusBar.h"
#include "platform/FontSubstitution.h"
#include "platform/WindowMessage.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kvx;

namespace {
// A window that records the window messages it receives.
class MessageWindow : public QWidget {
public:
    QList<QPair<int, QObject*>> got;

protected:
    bool event(QEvent* e) override {
        if (const int m = MessageEvent::messageOf(e); m >= 0) {
            got.append({m, static_cast<MessageEvent*>(e)->lParam()});
            return true;
        }
        return QWidget::event(e);
    }
};

const QStringList kModes = {QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2"),
                            QString::fromUtf8("3.汇入\t3")};
} // namespace

TEST(ButtonEdit, ButtonAndF2OpenTheLookup) {
    MessageWindow w;
    auto* ed = new TKvBtnDBEdit(&w);
    ed->setButtonHint(QString::fromUtf8("常用语开窗"));
    EXPECT_EQ(ed->button()->toolTip(), QString::fromUtf8("常用语开窗"));
    w.show();
    // Nothing connected: the F2 lookup message goes to the window with the control.
    QTest::mouseClick(ed->button(), Qt::LeftButton);
    QTest::keyClick(ed->editor(), Qt::Key_F2);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.got.size(), 2);
    EXPECT_EQ(w.got[0].first, 1034);
    EXPECT_EQ(w.got[1].second, ed);
    // A handler takes the lookup over.
    int clicks = 0;
    QObject::connect(ed, &TKvBtnDBEdit::ButtonClick, [&] { ++clicks; });
    QTest::mouseClick(ed->button(), Qt::LeftButton);
    QTest::keyClick(ed->editor(), Qt::Key_F2);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(w.got.size(), 2);
    ed->setEnabled(false);
    ed->Click();
    EXPECT_EQ(clicks, 2); // a disabled edit opens nothing
}

TEST(ComboBox, MappedItemsShowTheDisplayAndGiveTheValue) {
    EXPECT_EQ(MappedItems::displayOf(kModes, "2"), QString::fromUtf8("2:汇出"));
    EXPECT_EQ(MappedItems::displayOf(kModes, "9"), "");
    EXPECT_EQ(MappedItems::valueOf(kModes, QString::fromUtf8("3.汇入")), "3");
    EXPECT_EQ(MappedItems::valueOf(kModes, "other"), "other");

    TKvDBComboBox c;
    c.setStyle(TKvDBComboBox::csDropDownList);
    c.setMapList(true);
    c.setItems(kModes);
    EXPECT_EQ(c.combo()->itemText(1), QString::fromUtf8("2:汇出"));
    c.setValue("3");
    EXPECT_EQ(c.Text(), QString::fromUtf8("3.汇入"));
    EXPECT_EQ(c.ItemIndex(), 2);
    c.setValue("7");
    EXPECT_EQ(c.ItemIndex(), -1);
    // Picking with the keyboard.
    c.show();
    c.combo()->setFocus();
    c.setItemIndex(0);
    QTest::keyClick(c.combo(), Qt::Key_Down);
    EXPECT_EQ(c.Value(), "2");
    // Without mapping the whole item is shown and stored.
    c.setMapList(false);
    EXPECT_EQ(c.combo()->itemText(1), kModes[1]);
    EXPECT_EQ(c.Value(), kModes[1]);
}

TEST(ComboBox, BuiltAsADropDownListIsTheListSetStyleMakes) {
    TKvDBComboBox restyled;
    restyled.setStyle(TKvDBComboBox::csDropDownList);
    TKvDBComboBox built(nullptr, TKvDBComboBox::csDropDownList);
    EXPECT_EQ(built.Style(), TKvDBComboBox::csDropDownList);
    EXPECT_FALSE(built.isEditable());
    EXPECT_FALSE(built.combo()->isEditable());
    EXPECT_EQ(built.combo()->lineEdit(), nullptr);
    EXPECT_EQ(built.combo()->testAttribute(Qt::WA_InputMethodEnabled),
              restyled.combo()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(built.combo()->focusPolicy(), restyled.combo()->focusPolicy());
    EXPECT_EQ(built.DropDownCount(), restyled.DropDownCount());
    // Nothing of the pop-up list exists before the list is needed; asking for it builds it.
    EXPECT_EQ(built.combo()->findChild<QAbstractItemView*>(), nullptr);
    for (TKvDBComboBox* c : {&built, &restyled}) {
        c->setMapList(true);
        c->setItems(kModes);
        c->setValue("2");
        EXPECT_EQ(c->Text(), QString::fromUtf8("2:汇出"));
        c->setText("free text"); // not an item: a list keeps its selection
        EXPECT_EQ(c->Value(), "2");
    }
    // Shown, both lists look alike: a long list scrolls with a scroll bar.
    QStringList many;
    for (int i = 0; i < 30; ++i)
        many << QStringLiteral("%1\t%1").arg(i);
    for (TKvDBComboBox* c : {&built, &restyled}) {
        c->setItems(many);
        c->show();
        c->combo()->showPopup();
        c->combo()->hidePopup();
    }
    ASSERT_NE(built.combo()->view(), nullptr);
    EXPECT_EQ(built.combo()->view()->model()->rowCount(), many.size());
    EXPECT_EQ(built.combo()->view()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(built.combo()->view()->verticalScrollBarPolicy(),
              restyled.combo()->view()->verticalScrollBarPolicy());
    EXPECT_EQ(built.combo()->itemDelegate()->metaObject(), restyled.combo()->itemDelegate()->metaObject());
    // A built list can still become an editable box.
    built.setStyle(TKvDBComboBox::csDropDown);
    ASSERT_NE(built.combo()->lineEdit(), nullptr);
    built.setText("typed");
    EXPECT_EQ(built.Text(), "typed");
}

TEST(ComboBox, ClearKeyButtonAndDropDownCount) {
    TKvDBComboBox c;
    c.setStyle(TKvDBComboBox::csDropDownList);
    c.setMapList(true);
    c.setItems(kModes);
    c.setItemIndex(1);
    c.show();
    c.combo()->setFocus();
    QTest::keyClick(c.combo(), Qt::Key_Delete);
    EXPECT_EQ(c.ItemIndex(), 1); // the clear key is off by default
    c.setAllowClearKey(true);
    QTest::keyClick(c.combo(), Qt::Key_Delete);
    EXPECT_EQ(c.ItemIndex(), -1);
    c.setDropDownCount(3);
    EXPECT_EQ(c.combo()->maxVisibleItems(), 3);
    c.setShowButton(false);
    EXPECT_FALSE(c.ShowButton());
    EXPECT_FALSE(c.grab().isNull()); // paints without its button
    c.setReadOnly(true);
    c.setItemIndex(0);
    QTest::keyClick(c.combo(), Qt::Key_Down);
    EXPECT_EQ(c.ItemIndex(), 0); // a read-only combo ignores keys
}

TEST(ComboBox, EditableStyleMatchesTypedText) {
    TKvDBComboBox c;
    c.setMapList(true);
    c.setItems(kModes);
    c.show();
    c.combo()->setFocus();
    QTest::keyClicks(c.combo(), "2");
    EXPECT_EQ(c.Text(), QString::fromUtf8("2:汇出")); // the match text completes the entry
    EXPECT_EQ(c.Value(), "2");
    TKvDBComboBox plain;
    plain.setMapList(true);
    plain.setItems(kModes);
    plain.setShowMatchText(false);
    plain.show();
    plain.combo()->setFocus();
    plain.combo()->clearEditText();
    QTest::keyClicks(plain.combo(), "2");
    EXPECT_EQ(plain.Text(), "2");
}

TEST(PageControl, ChangingCanRefuseAndChangeReports) {
    TExtPageControl pg;
    auto* a = new TTabSheet(&pg);
    auto* b = new TTabSheet(&pg);
    auto* c = new TTabSheet(&pg);
    a->setCaption(QString::fromUtf8("详细字段"));
    b->setCaption(QString::fromUtf8("自定义信息"));
    c->setCaption(QString::fromUtf8("信息浏览"));
    EXPECT_EQ(pg.ActivePage(), a);
    int changes = 0;
    bool allow = true;
    QObject::connect(&pg, &TExtPageControl::Change, [&] { ++changes; });
    QObject::connect(&pg, &TExtPageControl::Changing, [&](bool& ok) { ok = allow; });
    EXPECT_TRUE(pg.setActivePage(c));
    EXPECT_EQ(changes, 1);
    allow = false;
    EXPECT_FALSE(pg.setActivePageIndex(0));
    EXPECT_EQ(pg.ActivePage(), c);
    pg.show();
    QTest::mouseClick(pg.tabBar(), Qt::LeftButton, {}, pg.tabRect(0).center());
    EXPECT_EQ(pg.ActivePageIndex(), 2); // a click is refused the same way
    EXPECT_EQ(changes, 1);
    allow = true;
    b->setEnabled(false);
    EXPECT_FALSE(pg.tabBar()->isTabEnabled(1));
    b->setPageIndex(2);
    EXPECT_EQ(pg.Pages(2), b);
    EXPECT_EQ(pg.ActivePage(), c);
}

TEST(PageControl, OwnerDrawnTabsAskForTheirLabels) {
    TExtPageControl pg;
    new TTabSheet(&pg);
    new TTabSheet(&pg);
    pg.setTabWidth(80);
    pg.setTabHeight(20);
    pg.resize(300, 120);
    QList<int> drawn;
    QObject::connect(&pg, &TExtPageControl::DrawTab, [&](QPainter* p, int i, const QRect& r, bool) {
        p->drawText(r, QString::number(i));
        drawn.append(i);
    });
    pg.grab();
    EXPECT_TRUE(drawn.isEmpty());
    pg.setOwnerDraw(true);
    pg.grab();
    EXPECT_EQ(drawn, (QList<int>{0, 1}));
    EXPECT_EQ(pg.tabRect(0).width(), 80);
    EXPECT_EQ(pg.tabRect(0).height(), 20);
}

TEST(CheckBoxes, ValuesBitsAndRadios) {
    TFDbCheckBox db;
    EXPECT_EQ(db.stateFor("Y"), TKVCheckBox::cbChecked);
    EXPECT_EQ(db.stateFor("n"), TKVCheckBox::cbUnchecked);
    EXPECT_EQ(db.stateFor("?"), TKVCheckBox::cbGrayed);
    db.setValueChecked("1;T");
    EXPECT_EQ(db.stateFor("T"), TKVCheckBox::cbChecked);

    TBitCheckBox bit;
    bit.setBit(2);
    bit.setValue(5);
    EXPECT_TRUE(bit.Checked());
    bit.show();
    QTest::mouseClick(bit.box(), Qt::LeftButton, {}, QPoint(6, bit.box()->height() / 2));
    EXPECT_EQ(bit.Value(), 1);
    EXPECT_FALSE(bit.Checked());

    QWidget group;
    auto* r1 = new TKvRadioButton(&group);
    auto* r2 = new TKvRadioButton(&group);
    r1->setChecked(true);
    r2->setChecked(true);
    EXPECT_FALSE(r1->Checked());
    EXPECT_TRUE(r2->Checked());
}

TEST(SelectPanel, ChoosesRemovesAndJoins) {
    TSelectPanel p;
    p.setItems({"MB001", "MB002", "MB004"});
    p.setBeginWords({"("});
    p.setFinalWords({")"});
    p.sourceList()->item(0)->setSelected(true);
    p.sourceList()->item(2)->setSelected(true);
    p.AddSelected();
    EXPECT_EQ(p.Selected(), (QStringList{"MB001", "MB004"}));
    EXPECT_EQ(p.sourceList()->count(), 1);
    EXPECT_EQ(p.SelectedText(), "(MB001,MB004)");
    p.selectedList()->setCurrentRow(0);
    p.show();
    QTest::mouseClick(p.removeButton(), Qt::LeftButton);
    EXPECT_EQ(p.Selected(), (QStringList{"MB004"}));
    QTest::mouseClick(p.clearButton(), Qt::LeftButton);
    EXPECT_TRUE(p.Selected().isEmpty());
    EXPECT_EQ(p.sourceList()->count(), 3);
    EXPECT_FALSE(p.addButton()->icon().isNull());
}

TEST(CheckListBox, ChecksSurviveNewItems) {
    TFCheckListBox l;
    l.setItems({"a", "b"});
    l.setItemChecked(1, true);
    QList<int> clicked;
    QObject::connect(&l, &TFCheckListBox::ClickCheck, [&](int i) { clicked.append(i); });
    l.setItems({"a", "b", "c"});
    EXPECT_TRUE(l.isChecked(1));
    EXPECT_FALSE(l.isChecked(2));
    EXPECT_TRUE(clicked.isEmpty()); // filling is not a click
    l.moveItem(1, 0);
    EXPECT_EQ(l.Items(), (QStringList{"b", "a", "c"}));
    EXPECT_TRUE(l.isChecked(0));
}

TEST(F2Button, PostsTheLookupOfItsControl) {
    MessageWindow w;
    auto* ed = new TKvDBEdit(&w);
    auto* b = new TF2Button(&w);
    b->setControl(ed);
    w.show();
    QTest::mouseClick(b->button(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.got.size(), 1);
    EXPECT_EQ(w.got[0].first, WM_USER + 10);
    EXPECT_EQ(w.got[0].second, ed);
}

TEST(PageControl, RemovingAndTabOrder) {
    TExtPageControl pg;
    auto* a = new TTabSheet(&pg);
    auto* b = new TTabSheet(&pg);
    pg.setActivePage(b);
    pg.RemovePage(b);
    EXPECT_EQ(pg.PageCount(), 1);
    EXPECT_EQ(pg.ActivePage(), a);
    EXPECT_EQ(b->pageControl(), nullptr);
    delete b;

    // Tab order follows TabOrder among siblings, whatever the creation order.
    QWidget form;
    auto* e1 = new TKvDBEdit(&form);
    auto* e2 = new TKvDBEdit(&form);
    auto* e3 = new TKvDBEdit(&form);
    e3->setTabOrder(0);
    e1->setTabOrder(1);
    e2->setTabOrder(2);
    const auto nextTabStop = [](QWidget* w) {
        for (QWidget* n = w->nextInFocusChain(); n && n != w; n = n->nextInFocusChain())
            if ((n->focusPolicy() & Qt::TabFocus) && !n->focusProxy()) return n;
        return static_cast<QWidget*>(nullptr);
    };
    EXPECT_EQ(nextTabStop(e3->editor()), e1->editor());
    EXPECT_EQ(nextTabStop(e1->editor()), e2->editor());
}

TEST(StatusBar, PanelsAddedAndRemovedKeepTheirLabelsAndTheLastTakesTheRest) {
    TStatusBar bar;
    bar.resize(400, 20);
    bar.addPanel("a", 50);
    QLabel* first = bar.findChildren<QLabel*>()[1];
    bar.addPanel("b", 60);
    bar.addPanel("c", 70);
    auto* row = static_cast<QHBoxLayout*>(bar.layout());
    const QList<QLabel*> labels = bar.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 4);
    EXPECT_EQ(labels[1], first); // kept while panels were added
    EXPECT_EQ(bar.shownText(1), "b");
    EXPECT_EQ(labels[2]->minimumWidth(), 60);
    EXPECT_EQ(labels[2]->maximumWidth(), 60);
    EXPECT_EQ(row->stretch(1), 0);
    EXPECT_EQ(row->stretch(2), 1);

    // Without its last panel, the former middle one is last: no fixed width, it stretches.
    bar.Panels()->Delete(2);
    EXPECT_EQ(bar.findChildren<QLabel*>().size(), 3);
    EXPECT_EQ(labels[2]->minimumWidth(), 0);
    EXPECT_EQ(labels[2]->maximumWidth(), QWIDGETSIZE_MAX);
    EXPECT_EQ(row->stretch(1), 1);
    EXPECT_EQ(bar.shownText(0), "a");
    EXPECT_EQ(labels[1]->minimumWidth(), 50);

    // Removing the first panel shifts the texts; the labels show the panels in order.
    bar.Panels()->Delete(0);
    EXPECT_EQ(bar.shownText(0), "b");
    EXPECT_EQ(bar.findChildren<QLabel*>().size(), 2);
}

TEST(StatusBar, PanelsAddedInOneUpdateLayOutLikePanelsAddedOneByOne) {
    // The framework's five panels, one with a text wider than its designed width.
    const QList<std::pair<QString, int>> panels = {
        {"Browse", 40}, {"", 400}, {"Number of documents", 50}, {"0/0", 50}, {"", 60}};
    TStatusBar single, batched;
    for (TStatusBar* bar : {&single, &batched})
        bar->resize(700, 20);
    for (const auto& [text, width] : panels)
        single.addPanel(text, width);
    int rebuilds = 0;
    QObject::connect(batched.Panels(), &TCollection::changed, [&] { ++rebuilds; });
    batched.Panels()->BeginUpdate();
    for (const auto& [text, width] : panels)
        batched.addPanel(text, width);
    EXPECT_EQ(batched.findChildren<QLabel*>().size(), 1); // no panel label before the update ends
    batched.Panels()->EndUpdate();
    EXPECT_EQ(rebuilds, 1);

    const QList<QLabel*> a = single.findChildren<QLabel*>();
    const QList<QLabel*> b = batched.findChildren<QLabel*>();
    ASSERT_EQ(a.size(), 6);
    ASSERT_EQ(b.size(), a.size());
    auto* rowA = static_cast<QHBoxLayout*>(single.layout());
    auto* rowB = static_cast<QHBoxLayout*>(batched.layout());
    for (int i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(b[i]->text(), a[i]->text());
        EXPECT_EQ(b[i]->minimumWidth(), a[i]->minimumWidth());
        EXPECT_EQ(b[i]->maximumWidth(), a[i]->maximumWidth());
        EXPECT_EQ(b[i]->alignment(), a[i]->alignment());
        EXPECT_EQ(b[i]->isHidden(), a[i]->isHidden());
        EXPECT_EQ(rowB->indexOf(b[i]), rowA->indexOf(a[i]));
        EXPECT_EQ(rowB->stretch(i), rowA->stretch(i));
    }
    EXPECT_GT(b[3]->minimumWidth(), 50); // widened to its text
    EXPECT_EQ(b[5]->maximumWidth(), QWIDGETSIZE_MAX);
    single.show();
    batched.show();
    EXPECT_EQ(batched.grab().toImage(), single.grab().toImage());
}

TEST(StatusBar, APanelIsNeverNarrowerThanItsTextInTheCurrentFont) {
    TStatusBar bar;
    bar.addPanel("x", 20);
    bar.addPanel("", 80);
    const QList<QLabel*> labels = bar.findChildren<QLabel*>(); // the simple-text label, then one per panel
    ASSERT_EQ(labels.size(), 3);
    QLabel* first = labels[1];
    EXPECT_EQ(first->minimumWidth(), 20);

    bar.panel(0)->setText(QStringLiteral("Records of this document kind"));
    const int needed = first->fontMetrics().horizontalAdvance(bar.panel(0)->Text());
    EXPECT_GT(first->minimumWidth(), needed);
    EXPECT_EQ(bar.panel(0)->Width(), 20); // the designed width stays as set

    QFont big = bar.font();
    big.setPointSize(big.pointSize() * 2);
    bar.setFont(big);
    EXPECT_GT(first->minimumWidth(), QFontMetrics(big).horizontalAdvance(bar.panel(0)->Text()));
}

// The framework's panels in the windows' face: whether a text is measured or known to fit its designed
// width, every panel gets the width the measurement gives, max(design, text + 8).
TEST(StatusBar, PanelsLaidOutWithoutMeasuringGetTheMeasuredWidths) {
    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(13);
    const QList<std::pair<QString, int>> panels = {{QString::fromUtf8("浏览"), 40},
                                                   {"", 400},
                                                   {QString::fromUtf8("单据笔数"), 50},
                                                   {QStringLiteral("12/345"), 50},
                                                   {QString::fromUtf8("查询"), 30},
                                                   {QStringLiteral("Insert"), 40},
                                                   {"", 60}};
    TStatusBar bar;
    bar.setFont(font);
    bar.Panels()->BeginUpdate();
    for (const auto& [text, width] : panels)
        bar.addPanel(text, width);
    bar.Panels()->EndUpdate();
    const QList<QLabel*> labels = bar.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), panels.size() + 1);
    const QFontMetrics metrics(font);
    int unmeasured = 0;
    for (int i = 0; i + 1 < panels.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& [text, width] = panels[i];
        const int measured = std::max(width, metrics.horizontalAdvance(text) + 8);
        EXPECT_EQ(labels[i + 1]->minimumWidth(), measured);
        EXPECT_EQ(labels[i + 1]->maximumWidth(), measured);
        if (kvx::fonts::fitsUnmeasured(font, text, width - 8)) ++unmeasured;
    }
    EXPECT_GE(unmeasured, 2) << "the short designed texts are not measured";
    // Changing a text to one wider than the design measures it again.
    bar.panel(0)->setText(QString::fromUtf8("浏览中的单据"));
    EXPECT_EQ(labels[1]->minimumWidth(), metrics.horizontalAdvance(bar.panel(0)->Text()) + 8);
}
