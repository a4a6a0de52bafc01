// The generic property setter on plain objects: kinds, identifier maps, paths, collections, lines.
#include "platform/PropertySetter.h"
#include "platform/Collection.h"
#include "platform/Color.h"
#include "platform/Font.h"

#include <gtest/gtest.h>

using namespace kvx;

namespace {

class Item : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER text)
    Q_PROPERTY(kvx::TFont* Font READ Font)
public:
    explicit Item(TCollection* c) : TCollectionItem(c), font(new TFont(this)) {}
    TFont* Font() const { return font; }
    QString text;
    TFont* font;
};

class Thing : public QObject {
    Q_OBJECT
public:
    enum TAlign { alNone, alTop, alClient };
    Q_ENUM(TAlign)
    enum TOpt { opA = 1, opB = 2, opC = 4 };
    Q_DECLARE_FLAGS(TOpts, TOpt)
    Q_FLAG(TOpts)
private:
    Q_PROPERTY(QString Caption MEMBER caption)
    Q_PROPERTY(int Color MEMBER color)
    Q_PROPERTY(int Width MEMBER width)
    Q_PROPERTY(double Ratio MEMBER ratio)
    Q_PROPERTY(bool Visible MEMBER visible)
    Q_PROPERTY(TAlign Align MEMBER align)
    Q_PROPERTY(TOpts Options READ Options WRITE setOptions)
    Q_PROPERTY(QStringList Lines MEMBER lines)
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(kvx::TCollection* Panels READ Panels)
    Q_PROPERTY(QObject* Empty READ Empty)
    Q_PROPERTY(QString Fixed READ Fixed)
public:
    Thing()
        : font(new TFont(this)), panels(new TCollection([](TCollection* c) { return new Item(c); }, this)) {}
    TFont* Font() const { return font; }
    TCollection* Panels() const { return panels; }
    QObject* Empty() const { return nullptr; }
    TOpts Options() const { return options; }
    void setOptions(TOpts o) { options = o; }
    QString Fixed() const { return "fixed"; }

    QString caption;
    int color = 0, width = 0;
    double ratio = 0;
    bool visible = true;
    TAlign align = alNone;
    TOpts options;
    QStringList lines;
    TFont* font;
    TCollection* panels;
};

} // namespace

TEST(PropertySetter, IntegersWithColourIdentifiersAndHex) {
    Thing t;
    EXPECT_TRUE(PropertySetter::set(&t, "Color", "clRed"));
    EXPECT_EQ(t.color, 0x0000FF);
    EXPECT_TRUE(PropertySetter::set(&t, "Color", "$00FF00"));
    EXPECT_EQ(t.color, 0x00FF00);
    EXPECT_TRUE(PropertySetter::set(&t, "Color", "clWindow"));
    EXPECT_EQ(t.color, colors::clWindow); // a system colour keeps its bit pattern
    EXPECT_TRUE(PropertySetter::set(&t, "Color", "15532027"));
    EXPECT_EQ(t.color, tcolorRGB(251, 255, 236));
    // Identifiers belong to colour properties only; an unmapped text is refused and changes nothing.
    EXPECT_FALSE(PropertySetter::set(&t, "Width", "clRed"));
    EXPECT_FALSE(PropertySetter::set(&t, "Color", "reddish"));
    EXPECT_EQ(t.color, tcolorRGB(251, 255, 236));
    EXPECT_TRUE(PropertySetter::set(&t, "width", " 120 ")); // names compare without case
    EXPECT_EQ(t.width, 120);
    EXPECT_EQ(PropertySetter::get(&t, "Width").value(), "120");
    EXPECT_FALSE(PropertySetter::set(&t, "Width", "$1FFFFFFFF")); // beyond 32 bits
}

TEST(PropertySetter, StringsBooleansEnumsSetsFloats) {
    Thing t;
    EXPECT_TRUE(PropertySetter::set(&t, "Caption", QString::fromUtf8("文档编号")));
    EXPECT_EQ(t.caption, QString::fromUtf8("文档编号"));
    EXPECT_TRUE(PropertySetter::set(&t, "Visible", "False"));
    EXPECT_FALSE(t.visible);
    EXPECT_TRUE(PropertySetter::set(&t, "Visible", "true"));
    EXPECT_TRUE(t.visible);
    EXPECT_FALSE(PropertySetter::set(&t, "Visible", "maybe"));
    EXPECT_TRUE(PropertySetter::set(&t, "Align", "  alClient "));
    EXPECT_EQ(t.align, Thing::alClient);
    EXPECT_EQ(PropertySetter::get(&t, "Align").value(), "alClient");
    EXPECT_TRUE(PropertySetter::set(&t, "Align", "1"));
    EXPECT_EQ(t.align, Thing::alTop);
    EXPECT_FALSE(PropertySetter::set(&t, "Align", "alBottom"));
    EXPECT_TRUE(PropertySetter::set(&t, "Options", "[opA, opC]"));
    EXPECT_EQ(int(t.options), 5);
    EXPECT_EQ(PropertySetter::get(&t, "Options").value(), "[opA,opC]");
    EXPECT_TRUE(PropertySetter::set(&t, "Options", "[]"));
    EXPECT_EQ(int(t.options), 0);
    EXPECT_FALSE(PropertySetter::set(&t, "Options", "[opA,opZ]"));
    EXPECT_TRUE(PropertySetter::set(&t, "Ratio", "0.25"));
    EXPECT_DOUBLE_EQ(t.ratio, 0.25);
    EXPECT_FALSE(PropertySetter::set(&t, "Fixed", "x")); // read-only
    EXPECT_FALSE(PropertySetter::set(&t, "Missing", "x"));
    EXPECT_FALSE(PropertySetter::exists(&t, "Missing"));
    EXPECT_TRUE(PropertySetter::exists(&t, "Fixed"));
}

TEST(PropertySetter, ScreenSettingsRuleForBooleansAndKinds) {
    Thing t;
    const auto rules = PropertySetter::Rules::screenSettings();
    for (const char* no : {"0", "n", "false", "F", "N"}) {
        t.visible = true;
        EXPECT_TRUE(PropertySetter::set(&t, "Visible", no, rules));
        EXPECT_FALSE(t.visible) << no;
    }
    for (const char* yes : {"1", "Y", "", "True"}) {
        t.visible = false;
        EXPECT_TRUE(PropertySetter::set(&t, "Visible", yes, rules));
        EXPECT_TRUE(t.visible) << yes;
    }
    // Integers are read as numbers only; floats, sets and lists are left alone.
    EXPECT_FALSE(PropertySetter::set(&t, "Color", "clRed", rules));
    EXPECT_FALSE(PropertySetter::set(&t, "Ratio", "1.5", rules));
    EXPECT_FALSE(PropertySetter::set(&t, "Options", "[opA]", rules));
    EXPECT_TRUE(PropertySetter::set(&t, "Width", "33", rules));
    EXPECT_EQ(t.width, 33);
}

TEST(PropertySetter, ObjectValuedSubProperties) {
    Thing t;
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Name", "Tahoma"));
    EXPECT_EQ(t.font->Name(), "Tahoma");
    EXPECT_TRUE(PropertySetter::set(&t, " Font . Charset ", "134"));
    EXPECT_EQ(t.font->Charset(), 134);
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Charset", "CHINESEBIG5_CHARSET"));
    EXPECT_EQ(t.font->Charset(), 136);
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Height", "-13"));
    EXPECT_EQ(t.font->Height(), -13);
    EXPECT_EQ(t.font->font().pixelSize(), 13);
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Size", "12"));
    EXPECT_EQ(t.font->Size(), 12);
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Style", "[fsBold,fsUnderline]"));
    EXPECT_TRUE(t.font->font().bold());
    EXPECT_TRUE(t.font->font().underline());
    EXPECT_FALSE(t.font->font().italic());
    EXPECT_TRUE(PropertySetter::set(&t, "Font.Color", "clBlue"));
    EXPECT_EQ(t.font->Color(), colors::clBlue);
    EXPECT_EQ(PropertySetter::get(&t, "Font.Name").value(), "Tahoma");
    // An object property cannot take text, a null object ends the walk, an unknown part too.
    EXPECT_FALSE(PropertySetter::set(&t, "Font", "Arial"));
    EXPECT_FALSE(PropertySetter::set(&t, "Empty.Name", "x"));
    EXPECT_FALSE(PropertySetter::set(&t, "Caption.Name", "x"));
    EXPECT_FALSE(PropertySetter::set(&t, "Font..Name", "x"));
}

TEST(PropertySetter, CollectionItemsByIndex) {
    Thing t;
    t.panels->Add();
    t.panels->Add();
    EXPECT_TRUE(PropertySetter::set(&t, "Panels.Items_1.Text", "second"));
    EXPECT_EQ(t.panels->itemAs<Item>(1)->text, "second");
    EXPECT_TRUE(t.panels->itemAs<Item>(0)->text.isEmpty());
    EXPECT_TRUE(PropertySetter::set(&t, "Panels.items_0.Font.Name", "Courier"));
    EXPECT_EQ(t.panels->itemAs<Item>(0)->font->Name(), "Courier");
    // Out of range, and indexed parts other than Items/Columns, end the walk.
    EXPECT_FALSE(PropertySetter::set(&t, "Panels.Items_2.Text", "x"));
    EXPECT_FALSE(PropertySetter::set(&t, "Panels.Things_0.Text", "x"));
    EXPECT_EQ(t.panels->Count(), 2);
}

TEST(PropertySetter, StringListLinesGrowTheList) {
    Thing t;
    t.lines = {"a", "b"};
    EXPECT_TRUE(PropertySetter::set(&t, "Lines_3", "d"));
    EXPECT_EQ(t.lines, (QStringList{"a", "b", "", "d"}));
    EXPECT_TRUE(PropertySetter::set(&t, "Lines_0", "A"));
    EXPECT_EQ(t.lines.first(), "A");
    EXPECT_EQ(PropertySetter::get(&t, "Lines_3").value(), "d");
    EXPECT_TRUE(PropertySetter::set(&t, "Lines", "x\r\ny\r\n"));
    EXPECT_EQ(t.lines, (QStringList{"x", "y"}));
    EXPECT_EQ(PropertySetter::kind(&t, "Lines"), PropertySetter::Kind::StringList);
}

TEST(PropertySetter, SplitIndexAndIntegers) {
    EXPECT_EQ(PropertySetter::splitIndex("Items_3"), (QPair<QString, int>{"Items", 3}));
    EXPECT_EQ(PropertySetter::splitIndex("MB001_X"), (QPair<QString, int>{"MB001_X", -1}));
    EXPECT_EQ(PropertySetter::splitIndex("_3"), (QPair<QString, int>{"_3", -1}));
    EXPECT_EQ(PropertySetter::parseInteger("$FF").value(), 255);
    EXPECT_EQ(PropertySetter::parseInteger("-0x10").value(), -16);
    EXPECT_FALSE(PropertySetter::parseInteger("12a").has_value());
    EXPECT_EQ(colorToText(colors::clBtnFace), "clBtnFace");
    EXPECT_EQ(colorToText(tcolorRGB(1, 2, 3)), "$00030201");
    EXPECT_EQ(colorFromText("$00030201").value(), tcolorRGB(1, 2, 3));
    EXPECT_EQ(toQColor(tcolorRGB(251, 255, 236)), QColor(251, 255, 236));
}

TEST(PropertySetter, RegisteredIdentifierMaps) {
    Thing t;
    PropertySetter::registerIdentMap({"Width"}, {{"wNarrow", 40}, {"wWide", 400}});
    EXPECT_TRUE(PropertySetter::set(&t, "Width", "wWide"));
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(PropertySetter::intToIdent("Width", 40).value(), "wNarrow");
    EXPECT_TRUE(PropertySetter::set(&t, "Width", "7")); // numbers still pass
    EXPECT_EQ(t.width, 7);
}

TEST(PropertySetter, NamesInAnotherCaseAnswerPerClass) {
    // The same name asked of a class that has it and of one that lacks it, in both orders, and again.
    Thing t;
    QObject plain;
    QObject* item = t.Panels()->Add();
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(PropertySetter::findProperty(&plain, "caption").isValid());
        const QMetaProperty p = PropertySetter::findProperty(&t, "caption");
        ASSERT_TRUE(p.isValid());
        EXPECT_STREQ(p.name(), "Caption");
        EXPECT_STREQ(PropertySetter::findProperty(item, "TEXT").name(), "Text");
        EXPECT_FALSE(PropertySetter::findProperty(item, "caption").isValid());
        EXPECT_STREQ(PropertySetter::findProperty(&t, "FONT").name(), "Font");
        EXPECT_STREQ(PropertySetter::findProperty(item, "font").name(), "Font");
    }
    EXPECT_TRUE(PropertySetter::set(&t, "CAPTION", "x"));
    EXPECT_EQ(t.caption, "x");
}

// A base with a property in one case and a derived class declaring it again in another case.
class CaseBase : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Width MEMBER width)
public:
    int width = 0;
};

class CaseDerived : public CaseBase {
    Q_OBJECT
    Q_PROPERTY(int WIDTH MEMBER wide)
    Q_PROPERTY(int height MEMBER height)
public:
    int wide = 0;
    int height = 0;
};

TEST(PropertySetter, TheExactNameWinsOverAnotherCaseEvenInABaseClass) {
    CaseDerived d;
    CaseBase b;
    for (int round = 0; round < 2; ++round) { // answered, then remembered
        EXPECT_STREQ(PropertySetter::findProperty(&d, "Width").name(), "Width");
        EXPECT_STREQ(PropertySetter::findProperty(&d, "WIDTH").name(), "WIDTH");
        EXPECT_STREQ(PropertySetter::findProperty(&d, "width").name(), "WIDTH"); // the class's own first
        EXPECT_STREQ(PropertySetter::findProperty(&b, "width").name(), "Width");
        EXPECT_STREQ(PropertySetter::findProperty(&d, "Height").name(), "height");
        EXPECT_STREQ(PropertySetter::findProperty(&d, "objectname").name(), "objectName");
        EXPECT_FALSE(PropertySetter::findProperty(&d, "Depth").isValid());
    }
    EXPECT_TRUE(PropertySetter::set(&d, "Width", "5"));
    EXPECT_TRUE(PropertySetter::set(&d, "width", "7"));
    EXPECT_EQ(d.width, 5);
    EXPECT_EQ(d.wide, 7);
}

// An item that reports its changes to its collection, as the controls' items do.
class Noted : public TCollectionItem {
    Q_OBJECT
public:
    explicit Noted(TCollection* c) : TCollectionItem(c) {}
    void touch() { notifyChanged(); }
};

TEST(Collection, AnUpdateSendsOneSignalAtItsEnd) {
    TCollection c([](TCollection* o) { return new Noted(o); });
    QList<QString> seen;
    QObject::connect(&c, &TCollection::changed, [&] { seen << "changed"; });
    QObject::connect(&c, &TCollection::itemChanged, [&](int i) { seen << QString::number(i); });
    auto item = [&](int i) { return c.itemAs<Noted>(i); };

    c.BeginUpdate();
    c.BeginUpdate();
    for (int i = 0; i < 3; ++i)
        c.Add();
    item(1)->touch();
    c.EndUpdate();
    EXPECT_TRUE(seen.isEmpty()); // still inside the outer update
    c.EndUpdate();
    EXPECT_EQ(seen, QList<QString>{"changed"}); // one for three additions and an item's change
    EXPECT_EQ(c.UpdateCount(), 0);

    // Items alone changed: each one once, in the order of their first change.
    seen.clear();
    c.BeginUpdate();
    item(2)->touch();
    item(0)->touch();
    item(2)->touch();
    c.EndUpdate();
    EXPECT_EQ(seen, (QList<QString>{"2", "0"}));

    // Nothing changed, then an unbalanced end: no signal, no underflow.
    seen.clear();
    c.BeginUpdate();
    c.EndUpdate();
    c.EndUpdate();
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(c.UpdateCount(), 0);
    item(1)->touch();
    c.Delete(0);
    EXPECT_EQ(seen, (QList<QString>{"1", "changed"})); // outside an update every change reports at once
}

#include "PropertySetterTest.moc"
