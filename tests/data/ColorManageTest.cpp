// Colour rules: reading the rule XML, the settings-text reader, colouring controls from the current record
// of a colour dataset and painting grid cells by key lookup.
#include "controls/FDBGrid.h"
#include "controls/KvDBEdit.h"
#include "data/libColormanage.h"
#include "platform/ClientDataSet.h"
#include "platform/Field.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

const char* const kHeadXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<colormanager>
  <head>
    <component name="gdHead" enable="Y">
      <condition value="MB002 = '2'" colorx="8388608" bkcolor="16771276" msg="汇出"/>
      <condition value="MB002 = '3'" colorx="25600" bkcolor="'"/>
    </component>
    <component name="edMB005" enable="N">
      <condition value="1 = 1" colorx="255" bkcolor="'" msg="off"/>
    </component>
    <component name="edMB001" enable="Y">
      <condition value="1 = 1" colorx="255" bkcolor="65535" msg="all"/>
    </component>
    <component name="edMissing" enable="Y"/>
  </head>
  <body>
    <component name="MB001" enable="Y"><condition value="1 = 1" colorx="255" bkcolor="'"/></component>
  </body>
</colormanager>)";

const char* const kBodyXml = R"(<colormanager><body>
  <component name="gdBody1" enable="Y"><condition value="1=1" colorx="255" bkcolor="'"/></component>
  <component name="MB001" enable="Y"><condition value="1=1" colorx="65280" bkcolor="'"/></component>
  <component name="MB009" enable="N"><condition value="1=1" colorx="65280" bkcolor="'"/></component>
</body></colormanager>)";

// A window with the controls the rules name.
struct Form {
    QWidget window;
    TKvDBEdit* edMB001 = new TKvDBEdit(&window);
    TKvDBEdit* edMB005 = new TKvDBEdit(&window);
    TKvDBEdit* edReadOnly = new TKvDBEdit(&window);
    TFDBGrid* gdHead = new TFDBGrid(&window);
    TFDBGrid* gdBody1 = new TFDBGrid(&window);
    Form() {
        window.setObjectName("frmTest");
        edMB001->setObjectName("edMB001");
        edMB005->setObjectName("edMB005");
        edReadOnly->setObjectName("edReadOnly");
        edReadOnly->setColor(colors::clBtnFace);
        gdHead->setObjectName("gdHead");
        gdBody1->setObjectName("gdBody1");
    }
};

// A colour dataset with the key MB001 and one settings column per given name.
std::unique_ptr<TClientDataSet> colourData(const QStringList& columns, const QList<QStringList>& rows) {
    auto ds = std::make_unique<TClientDataSet>();
    ds->FieldDefs().Add("MB001", FieldType::String, 20);
    for (const QString& c : columns)
        ds->FieldDefs().Add(c, FieldType::String, 255);
    ds->CreateDataSet();
    for (const QStringList& r : rows) {
        ds->Append();
        for (int i = 0; i < r.size(); ++i)
            ds->Fields()[i]->SetAsString(r[i]);
        ds->Post();
    }
    ds->First();
    return ds;
}

// Colours a single control by a settings text through the colour dataset.
struct OneControl {
    Form form;
    TColorComponents rules{&form.window, "head",
                           "<colormanager><head><component name=\"edMB001\" enable=\"Y\"/>"
                           "<component name=\"edReadOnly\" enable=\"Y\"/></head></colormanager>"};
    void apply(const QString& settings, const QString& component = "edMB001") {
        auto ds = colourData({component}, {{"K1", settings}});
        rules.ApplyRecordColors(ds.get());
    }
};

} // namespace

TEST(ColourRulesXml, ReadsEnabledComponentsOfTheAskedSectionInDocumentOrder) {
    Form f;
    TColorComponents rules(&f.window, "head", kHeadXml);
    ASSERT_EQ(rules.Count(), 3); // edMB005 is disabled; the body section is not read
    EXPECT_EQ(rules.Items(0)->Name, "gdHead");
    EXPECT_EQ(rules.Items(0)->Component, f.gdHead);
    EXPECT_EQ(rules.Items(1)->Name, "edMB001");
    EXPECT_EQ(rules.Items(1)->Component, f.edMB001);
    EXPECT_EQ(rules.Items(2)->Name, "edMissing");
    EXPECT_EQ(rules.Items(2)->Component, nullptr);
    EXPECT_TRUE(rules.Items(2)->ColumnName.isEmpty());

    const TColorConditions* grid = rules.Items(0)->Conditions;
    ASSERT_EQ(grid->Count(), 2);
    EXPECT_EQ(grid->Items(0)->Value, "MB002 = '2'");
    EXPECT_EQ(grid->Items(0)->ColorX, "8388608");
    EXPECT_EQ(grid->Items(0)->BkColor, "16771276");
    EXPECT_EQ(grid->Items(0)->Msg, "汇出");
    EXPECT_EQ(grid->Items(1)->BkColor, "'");
    EXPECT_EQ(grid->Items(1)->Msg, ""); // no msg attribute
    EXPECT_EQ(rules.Items(2)->Conditions->Count(), 0);
}

TEST(ColourRulesXml, MalformedTextRaisesTheColourManagementError) {
    Form f;
    for (const char* text : {"<colormanager><head>", "", "not xml at all"}) {
        try {
            TColorComponents rules(&f.window, "head", text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EColorManageError& e) {
            EXPECT_STREQ(e.what(), "颜色管理xml格式错误");
        }
    }
    // A well-formed document without the section is no error: it has no rules.
    TColorComponents none(&f.window, "head", "<colormanager><body/></colormanager>");
    EXPECT_EQ(none.Count(), 0);
}

TEST(ColourRulesXml, BodyComponentsOtherThanTheGridAreColumnsOfGdBody1) {
    Form f;
    TColorComponents rules(&f.window, "body", kBodyXml);
    ASSERT_EQ(rules.Count(), 2);
    EXPECT_EQ(rules.Items(0)->Component, f.gdBody1);
    EXPECT_TRUE(rules.Items(0)->ColumnName.isEmpty());
    EXPECT_EQ(rules.Items(1)->Name, "MB001");
    EXPECT_EQ(rules.Items(1)->Component, f.gdBody1);
    EXPECT_EQ(rules.Items(1)->ColumnName, "MB001");

    EXPECT_EQ(rules.FindComponentRule("gdBody1", "MB001"), rules.Items(1));
    EXPECT_EQ(rules.FindComponentRule("GDBODY1", "mb001"), rules.Items(1));
    EXPECT_EQ(rules.FindComponentRule("gdBody1", ""), rules.Items(0));
    EXPECT_EQ(rules.FindComponentRule("MB001", ""), nullptr);
    EXPECT_EQ(rules.FindComponentRule("gdBody1", "MB009"), nullptr);
    EXPECT_EQ(rules.FindColumnRule("MB001"), rules.Items(1));
    EXPECT_EQ(rules.FindColumnRule("MB002"), nullptr);
}

TEST(ColourSettingsText, ItemsAreReadUpToTheNextSemicolonAndAQuoteIsEmpty) {
    const QString s = "bkcolor=255;colorx=';bold=Y;italic=N";
    EXPECT_EQ(ColorSettingValue(s, "bkcolor"), "255");
    EXPECT_EQ(ColorSettingValue(s, "colorx"), "");
    EXPECT_EQ(ColorSettingValue(s, "bold"), "Y");
    EXPECT_EQ(ColorSettingValue(s, "italic"), "N"); // the last item needs no ";"
    EXPECT_EQ(ColorSettingValue(s, "underline"), "");
    EXPECT_EQ(ColorSettingValue("", "bkcolor"), "");
    EXPECT_EQ(ColorSettingColor("16776960"), 16776960);
    EXPECT_EQ(ColorSettingColor(" 0 "), 0);
    EXPECT_FALSE(ColorSettingColor("").has_value());
    EXPECT_FALSE(ColorSettingColor("clRed").has_value());
    EXPECT_FALSE(ColorSettingColor("99999999999").has_value());
}

TEST(ColourSettingsText, ContrastInvertsEachPartAndResolvesSystemColours) {
    EXPECT_EQ(ContrastColor(255), 16776960);
    EXPECT_EQ(ContrastColor(colors::clWhite), colors::clBlack);
    EXPECT_EQ(ContrastColor(tcolorRGB(10, 20, 30)), tcolorRGB(245, 235, 225));
    const QColor window = toQColor(colors::clWindow);
    EXPECT_EQ(ContrastColor(colors::clWindow),
              tcolorRGB(255 - window.red(), 255 - window.green(), 255 - window.blue()));
}

TEST(ColourControls, RedOnRedOnAWhiteControlGetsTheContrastFont) {
    OneControl c;
    c.form.edMB001->setColor(colors::clWhite);
    c.rules.SaveColors();
    c.apply("bkcolor=255;colorx=255;");
    EXPECT_EQ(c.form.edMB001->Color(), 255);
    EXPECT_EQ(c.form.edMB001->Font()->Color(), 16776960);
}

TEST(ColourControls, WindowColouredEditTakesTheBackgroundAndTheStyles) {
    OneControl c;
    ASSERT_EQ(c.form.edMB001->Color(), colors::clWindow);
    c.rules.SaveColors();
    c.apply("bkcolor=65535;colorx=8388608;bold=Y;italic=Y;");
    EXPECT_EQ(c.form.edMB001->Color(), 65535);
    EXPECT_EQ(c.form.edMB001->Font()->Color(), 8388608);
    EXPECT_TRUE(c.form.edMB001->Font()->font().bold());
    EXPECT_TRUE(c.form.edMB001->Font()->font().italic());
}

TEST(ColourControls, ButtonFaceControlKeepsItsColourAndChangesOnlyItsFont) {
    OneControl c;
    c.rules.SaveColors();
    c.apply("bkcolor=255;colorx=65280;", "edReadOnly");
    EXPECT_EQ(c.form.edReadOnly->Color(), colors::clBtnFace);
    EXPECT_EQ(c.form.edReadOnly->Font()->Color(), 65280);
}

TEST(ColourControls, AQuoteForAColourChangesNothing) {
    OneControl c;
    c.form.edMB001->Font()->setColor(colors::clNavy);
    c.rules.SaveColors();
    c.apply("bkcolor=';colorx=';");
    EXPECT_EQ(c.form.edMB001->Color(), colors::clWindow);
    EXPECT_EQ(c.form.edMB001->Font()->Color(), colors::clNavy);
}

TEST(ColourControls, EachRecordStartsFromTheSavedLook) {
    Form f;
    TColorComponents rules(&f.window, "head",
                           "<colormanager><head><component name=\"edMB001\" enable=\"Y\"/>"
                           "</head></colormanager>");
    f.edMB001->Font()->setColor(colors::clBlack);
    rules.SaveColors();
    auto ds = colourData({"edMB001"}, {{"K1", "bkcolor=255;colorx=65280;bold=Y;"}, {"K2", ""}});
    rules.ApplyRecordColors(ds.get());
    EXPECT_EQ(f.edMB001->Color(), 255);
    ds->Next();
    rules.ApplyRecordColors(ds.get());
    EXPECT_EQ(f.edMB001->Color(), colors::clWindow);
    EXPECT_EQ(f.edMB001->Font()->Color(), colors::clBlack);
    EXPECT_FALSE(f.edMB001->Font()->font().bold());
}

TEST(ColourControls, UnreadableSettingsLeaveTheControlInItsSavedLook) {
    OneControl c;
    c.rules.SaveColors();
    c.apply("bkcolor=65535;colorx=blue;");
    EXPECT_EQ(c.form.edMB001->Color(), colors::clWindow);
    EXPECT_EQ(c.form.edMB001->Font()->Color(), colors::clWindowText);
}

TEST(ColourControls, ResetRestoresWhatSaveStoredAndGridsAreLeftAlone) {
    Form f;
    TColorComponents rules(&f.window, "head", kHeadXml);
    f.gdHead->setColor(colors::clAqua);
    rules.SaveColors();
    EXPECT_FALSE(rules.Items(0)->Saved); // the grid
    EXPECT_TRUE(rules.Items(1)->Saved);
    auto ds =
        colourData({"gdHead", "edMB001"}, {{"K1", "bkcolor=255;", "bkcolor=65535;colorx=255;italic=Y;"}});
    rules.ApplyRecordColors(ds.get());
    EXPECT_EQ(f.gdHead->Color(), colors::clAqua); // grids are painted by cells only
    EXPECT_EQ(f.edMB001->Color(), 65535);
    rules.ResetColors();
    EXPECT_EQ(f.edMB001->Color(), colors::clWindow);
    EXPECT_EQ(f.edMB001->Font()->Color(), colors::clWindowText);
    EXPECT_FALSE(f.edMB001->Font()->font().italic());
}

TEST(ColourGrid, RowItemsPaintEveryCellOfTheRecordFoundByItsKey) {
    Form f;
    TColorComponents rules(&f.window, "head", kHeadXml);
    auto ds = colourData({"gdHead"}, {{"K1", "bkcolor=16771276;colorx=8388608;bold=Y;"}, {"K2", ""}});
    ds->Last();
    const TBookmark before = ds->Bookmark();
    TColor brush = colors::clWindow;
    TFont font;
    font.setColor(colors::clBlack);
    EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", brush, font, ds.get(), Variant("K1"), "MB001"));
    EXPECT_EQ(brush, 16771276);
    EXPECT_EQ(font.Color(), 8388608);
    EXPECT_TRUE(font.font().bold());
    EXPECT_EQ(ds->Bookmark(), before); // the colour dataset's cursor stays

    TColor other = colors::clWindow;
    TFont plain;
    EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", other, plain, ds.get(), Variant("K2"), "MB001"));
    EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", other, plain, ds.get(), Variant("NOPE"), "MB001"));
    EXPECT_EQ(other, colors::clWindow);
    EXPECT_FALSE(plain.font().bold());
}

TEST(ColourGrid, ColumnItemsPaintOnlyTheirColumnAndDisplaceTheRowItemThere) {
    Form f;
    TColorComponents rules(&f.window, "body", kBodyXml);
    auto ds = std::make_unique<TClientDataSet>();
    ds->FieldDefs().Add("MB001", FieldType::String, 20);
    ds->FieldDefs().Add("MB002", FieldType::String, 20);
    ds->FieldDefs().Add("gdBody1", FieldType::String, 255);
    ds->FieldDefs().Add("MB001C", FieldType::String, 255); // the settings column of MB001 would clash
    ds->CreateDataSet();
    ds->Append();
    ds->FieldByName("MB001")->SetAsString("K1");
    ds->FieldByName("MB002")->SetAsString("2");
    ds->FieldByName("gdBody1")->SetAsString("bkcolor=65535;");
    ds->Post();
    // Two key fields, written with "," as the data module keeps them.
    const Variant keys = Variant::fromList({"K1", "2"});

    TColor brush = colors::clWindow;
    TFont font;
    EXPECT_TRUE(rules.PaintGridCell(f.gdBody1, "MB005", brush, font, ds.get(), keys, "MB001,MB002"));
    EXPECT_EQ(brush, 65535); // the row item

    // MB001 has a column item: the row item does not apply, and the column item reads column MB001,
    // which holds the key here and is no settings text.
    TColor brush2 = colors::clWindow;
    TFont font2;
    font2.setColor(colors::clBlack);
    EXPECT_TRUE(rules.PaintGridCell(f.gdBody1, "MB001", brush2, font2, ds.get(), keys, "MB001,MB002"));
    EXPECT_EQ(brush2, colors::clWindow);
    EXPECT_EQ(font2.Color(), colors::clBlack);
}

TEST(ColourGrid, BrushEqualToTheFontGivesTheContrastAndABadItemReportsFalse) {
    Form f;
    TColorComponents rules(&f.window, "head", kHeadXml);
    auto ds = colourData({"gdHead"}, {{"K1", "bkcolor=255;"}, {"K2", "bkcolor=red;colorx=255;"}});
    TColor brush = colors::clWindow;
    TFont font;
    font.setColor(255);
    EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", brush, font, ds.get(), Variant("K1"), "MB001"));
    EXPECT_EQ(brush, 255);
    EXPECT_EQ(font.Color(), 16776960);

    TColor brush2 = colors::clWindow;
    TFont font2;
    EXPECT_FALSE(rules.PaintGridCell(f.gdHead, "MB002", brush2, font2, ds.get(), Variant("K2"), "MB001"));
    EXPECT_EQ(brush2, colors::clWindow);
    // Another grid, or no colour dataset: nothing to paint, no failure.
    EXPECT_TRUE(rules.PaintGridCell(f.gdBody1, "MB002", brush2, font2, ds.get(), Variant("K1"), "MB001"));
    EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", brush2, font2, nullptr, Variant("K1"), "MB001"));
    EXPECT_EQ(brush2, colors::clWindow);
}

TEST(ColourGrid, KeyValuesOfARowAreReadInKeyOrder) {
    auto ds = colourData({"MB002"}, {{"K1", "2"}, {"K2", "3"}});
    const Variant keys = TColorComponents::KeyValuesAt(ds.get(), 1, "MB002, MB001");
    ASSERT_TRUE(keys.isArray());
    EXPECT_EQ(keys.toList().value(0).toString(), "3");
    EXPECT_EQ(keys.toList().value(1).toString(), "K2");
    EXPECT_EQ(ds->FieldByName("MB001")->AsString(), "K1"); // the cursor stays
    EXPECT_TRUE(TColorComponents::KeyValuesAt(ds.get(), 5, "MB001").isNull());
    EXPECT_TRUE(TColorComponents::KeyValuesAt(ds.get(), 0, "MB001,NOPE").isNull());
    EXPECT_TRUE(TColorComponents::KeyValuesAt(nullptr, 0, "MB001").isNull());
}

TEST(ColourGrid, LookupsFollowChangesOfTheColourDataset) {
    Form f;
    TColorComponents rules(&f.window, "head", kHeadXml);
    auto ds = colourData({"gdHead"}, {{"K1", "bkcolor=1;"}, {"K2", "bkcolor=2;"}, {"K2", "bkcolor=9;"}});
    const auto brushOf = [&](const char* key) {
        TColor brush = colors::clWindow;
        TFont font;
        EXPECT_TRUE(rules.PaintGridCell(f.gdHead, "MB002", brush, font, ds.get(), Variant(key), "MB001"));
        return brush;
    };
    EXPECT_EQ(brushOf("K2"), 2); // the first record of a key
    ds->Locate("MB001", Variant("K2"));
    ds->Edit();
    ds->FieldByName("gdHead")->SetAsString("bkcolor=3;");
    ds->Post();
    EXPECT_EQ(brushOf("K2"), 3);
    // Keys exchanged, same number of records.
    ds->First();
    ds->Edit();
    ds->FieldByName("MB001")->SetAsString("K9");
    ds->Post();
    ds->Next();
    ds->Edit();
    ds->FieldByName("MB001")->SetAsString("K1");
    ds->Post();
    EXPECT_EQ(brushOf("K1"), 3);
    EXPECT_EQ(brushOf("K9"), 1);
    EXPECT_EQ(brushOf("K2"), 9);
    ds->Append();
    ds->FieldByName("MB001")->SetAsString("K4");
    ds->FieldByName("gdHead")->SetAsString("bkcolor=4;");
    ds->Post();
    EXPECT_EQ(brushOf("K4"), 4);
    ds->EmptyDataSet();
    EXPECT_EQ(brushOf("K4"), colors::clWindow);
}

TEST(ColourConditions, AssignCopiesTextsAndFlags) {
    TColorConditions a, b;
    TColorCondition* c = a.Add();
    c->Value = "MB002 = '2'";
    c->ColorX = "1";
    c->BkColor = "2";
    c->Msg = "m";
    c->Tag = 1;
    b.Add()->Msg = "old";
    b.Add();
    b.Assign(a);
    ASSERT_EQ(b.Count(), 1);
    EXPECT_EQ(b.Items(0)->Value, "MB002 = '2'");
    EXPECT_EQ(b.Items(0)->ColorX, "1");
    EXPECT_EQ(b.Items(0)->BkColor, "2");
    EXPECT_EQ(b.Items(0)->Msg, "m");
    EXPECT_EQ(b.Items(0)->Tag, 1);
    c->Msg = "changed";
    EXPECT_EQ(b.Items(0)->Msg, "m"); // a copy
}
