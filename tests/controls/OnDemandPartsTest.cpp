// Controls built with Parts::OnDemand: what was set before their parts exist shows on the parts, a bound
// control shows its field once built, and the parts sit in the focus chain where those of a control
// built at once sit.
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

const QStringList kModes = {QString::fromUtf8("1:不处理\t1"), QString::fromUtf8("2:汇出\t2"),
                            QString::fromUtf8("3.汇入\t3")};

struct Rows {
    TClientDataSet ds;
    TDataSource src;
    Rows() {
        ds.FieldDefs().Add("MB002", FieldType::String, 1);
        ds.FieldDefs().Add("MB005", FieldType::String, 30);
        ds.CreateDataSet();
        for (const auto& r : {std::pair{"1", "first"}, std::pair{"2", "second"}}) {
            ds.Append();
            ds.FindField("MB002")->SetText(QString::fromLatin1(r.first));
            ds.FindField("MB005")->SetText(QString::fromLatin1(r.second));
            ds.Post();
        }
        ds.First();
        src.SetDataSet(&ds);
    }
};

void configure(TKvBtnDBEdit* e) {
    e->setCaption(QString::fromUtf8("备注"));
    e->setLabelWidth(55);
    e->setMaxLength(12);
    e->setReadOnly(true);
    e->setButtonHint(QString::fromUtf8("常用语开窗"));
    e->setGlyphIndex(11);
    e->setColor(colors::clYellow);
    e->Font()->setHeight(-16);
    e->setTabStop(false);
}

// The window's focus chain, each widget named by its control and its class.
QStringList chainOf(QWidget* window) {
    QStringList out;
    QWidget* w = window;
    do {
        QString name = w->objectName();
        for (QWidget* p = w; name.isEmpty() && p; p = p->parentWidget())
            name = p->objectName();
        out << name + QLatin1Char('/') + QString::fromLatin1(w->metaObject()->className());
        w = w->nextInFocusChain();
    } while (w && w != window && out.size() < 100);
    return out;
}

// a, the user-defined field (edit or list), b; c is created after all of them.
struct ChainWindow {
    QWidget w;
    TKvDBEdit* a;
    TKvBtnDBEdit* udf;
    TKvDBComboBox* list;
    TKvDBEdit* b;
    QLineEdit* c;
    explicit ChainWindow(TControl::Parts parts) {
        w.setObjectName("w");
        a = new TKvDBEdit(&w);
        a->setObjectName("a");
        udf = new TKvBtnDBEdit(&w, parts);
        udf->setObjectName("udf");
        list = new TKvDBComboBox(&w, TKvDBComboBox::csDropDownList, parts);
        list->setObjectName("list");
        b = new TKvDBEdit(&w);
        b->setObjectName("b");
        c = new QLineEdit(&w);
        c->setObjectName("c");
        udf->move(0, 30);
        list->move(0, 60);
        b->move(0, 90);
        c->move(0, 120);
        w.resize(300, 200);
    }
};

} // namespace

TEST(OnDemandParts, SettingsMadeBeforeTheBuildShowOnTheParts) {
    QWidget w;
    auto* eager = new TKvBtnDBEdit(&w);
    auto* late = new TKvBtnDBEdit(&w, TControl::Parts::OnDemand);
    configure(eager);
    configure(late);
    EXPECT_FALSE(late->partsBuilt());
    EXPECT_TRUE(late->findChildren<QWidget*>().isEmpty());
    EXPECT_EQ(late->MaxLength(), 12);
    EXPECT_EQ(late->Caption(), QString::fromUtf8("备注"));

    late->setVisible(true);
    ASSERT_TRUE(late->partsBuilt());
    EXPECT_EQ(late->label()->text(), eager->label()->text());
    EXPECT_FALSE(late->label()->isHidden());
    EXPECT_EQ(late->label()->maximumWidth(), 55);
    EXPECT_EQ(late->editor()->maxLength(), 12);
    EXPECT_TRUE(late->editor()->isReadOnly());
    EXPECT_EQ(late->editor()->focusPolicy(), eager->editor()->focusPolicy());
    EXPECT_EQ(late->editor()->palette().color(QPalette::Base),
              eager->editor()->palette().color(QPalette::Base));
    EXPECT_EQ(late->editor()->palette().color(QPalette::Base), QColor(Qt::yellow));
    EXPECT_EQ(late->editor()->font().pixelSize(), eager->editor()->font().pixelSize());
    EXPECT_EQ(late->editor()->font(), eager->editor()->font());
    EXPECT_EQ(late->button()->toolTip(), QString::fromUtf8("常用语开窗"));
    EXPECT_EQ(late->button()->icon().isNull(), eager->button()->icon().isNull());
    EXPECT_EQ(late->button()->text(), eager->button()->text());
    EXPECT_EQ(late->button()->width(), 22);
}

TEST(OnDemandParts, AControlUntouchedKeepsInheritingTheWindowFont) {
    QWidget w;
    auto* late = new TKvDBEdit(&w, TControl::Parts::OnDemand);
    QFont f = w.font();
    f.setPixelSize(19);
    w.setFont(f);
    late->show();
    EXPECT_EQ(late->editor()->font().pixelSize(), 19);
}

TEST(OnDemandParts, BoundControlsShowTheirFieldWhenBuiltAndWriteIt) {
    Rows d;
    QWidget w;
    w.resize(300, 100);
    w.show();
    auto* ed = new TKvDBEdit(&w, TControl::Parts::OnDemand);
    ed->setDataSource(&d.src);
    ed->setDataField("MB005");
    auto* box = new TKvDBComboBox(&w, TKvDBComboBox::csDropDownList, TControl::Parts::OnDemand);
    box->setMapList(true);
    box->setItems(kModes);
    box->setDataSource(&d.src);
    box->setDataField("MB002");
    box->move(0, 30);
    d.ds.Next(); // the record changes while nothing is built
    EXPECT_FALSE(ed->partsBuilt());
    EXPECT_FALSE(box->partsBuilt());

    ed->show();
    box->show();
    EXPECT_EQ(ed->editor()->text(), "second");
    EXPECT_EQ(ed->editor()->maxLength(), 30);
    EXPECT_EQ(box->combo()->count(), 3);
    EXPECT_EQ(box->Text(), QString::fromUtf8("2:汇出"));
    EXPECT_EQ(box->Value(), "2");

    ed->editor()->setFocus();
    ed->editor()->selectAll();
    QTest::keyClicks(ed->editor(), "typed");
    QTest::keyClick(ed->editor(), Qt::Key_Return);
    EXPECT_EQ(d.ds.FindField("MB005")->Text(), "typed");
    box->combo()->setFocus();
    QTest::keyClick(box->combo(), Qt::Key_Down);
    EXPECT_EQ(d.ds.FindField("MB002")->Text(), "3");
    d.ds.Post();
    d.ds.First();
    EXPECT_EQ(ed->editor()->text(), "first");
    EXPECT_EQ(box->Value(), "1");
}

TEST(OnDemandParts, ControlsOnAPageNotShownBuildWhenThePageIs) {
    QWidget w;
    auto* pages = new QStackedWidget(&w);
    auto* first = new QWidget;
    auto* second = new QWidget;
    pages->addWidget(first);
    pages->addWidget(second);
    auto* ed = new TKvBtnDBEdit(second, TControl::Parts::OnDemand);
    auto* box = new TKvDBComboBox(second, TKvDBComboBox::csDropDownList, TControl::Parts::OnDemand);
    box->setItems(kModes);
    w.show();
    EXPECT_FALSE(ed->partsBuilt());
    EXPECT_FALSE(box->partsBuilt());
    pages->setCurrentWidget(second);
    ASSERT_TRUE(ed->partsBuilt());
    ASSERT_TRUE(box->partsBuilt());
    EXPECT_TRUE(ed->editor()->isVisible());
    EXPECT_TRUE(ed->button()->isVisible());
    EXPECT_TRUE(box->combo()->isVisible());
    EXPECT_EQ(box->combo()->count(), 3);
}

TEST(OnDemandParts, ReadingTheSelectionBuildsNothingAndSelectingBuildsTheParts) {
    QWidget w;
    auto* box = new TKvDBComboBox(&w, TKvDBComboBox::csDropDownList, TControl::Parts::OnDemand);
    box->setItems(kModes);
    box->setMapList(true);
    int changes = 0;
    QObject::connect(box, &TKvDBComboBox::Change, [&] { ++changes; });
    // What the language pass does around a caption: read the selection, put it back.
    EXPECT_EQ(box->ItemIndex(), -1);
    EXPECT_EQ(box->Text(), "");
    EXPECT_EQ(box->Value(), "");
    box->setItemIndex(box->ItemIndex());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(box->partsBuilt());
    box->setItemIndex(2);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(box->partsBuilt());
    EXPECT_EQ(box->Value(), "3");
    EXPECT_FALSE(box->isVisible()); // built, not shown
    auto* ed = new TKvDBEdit(&w, TControl::Parts::OnDemand);
    ed->setText("x");
    EXPECT_TRUE(ed->partsBuilt());
    EXPECT_EQ(ed->Text(), "x");
}

TEST(OnDemandParts, PartsTakeThePlaceInTheFocusChainOfPartsBuiltAtOnce) {
    ChainWindow now(TControl::Parts::Now);
    ChainWindow late(TControl::Parts::OnDemand);
    now.udf->setVisible(false);
    now.list->setVisible(false);
    EXPECT_NE(chainOf(&late.w), chainOf(&now.w)); // no parts yet
    late.list->setVisible(true);                  // built in another order than created
    late.udf->setVisible(true);
    now.udf->setVisible(true);
    now.list->setVisible(true);
    EXPECT_EQ(chainOf(&late.w), chainOf(&now.w));

    // Tab and Shift+Tab pass through the built controls in place.
    late.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&late.w));
    late.a->editor()->setFocus();
    const QList<QWidget*> forward = {late.udf->editor(), late.list->combo(), late.b->editor(), late.c};
    for (QWidget* expected : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected)
            << expected->parentWidget()->objectName().toStdString();
    }
    const QList<QWidget*> back = {late.b->editor(), late.list->combo(), late.udf->editor(), late.a->editor()};
    for (QWidget* expected : back) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
}

TEST(OnDemandParts, TabOrderSetBeforeTheBuildHolds) {
    ChainWindow late(TControl::Parts::OnDemand);
    // b first, then the user-defined field, then a.
    late.b->setTabOrder(0);
    late.udf->setTabOrder(1);
    late.a->setTabOrder(2);
    late.udf->show();
    late.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&late.w));
    late.b->editor()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), late.udf->editor());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), late.a->editor());
}
