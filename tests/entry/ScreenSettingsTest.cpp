// Screen settings applied to real controls and datasets: visibility words, moves between panels and
// pages (also under a Big5 interface), column order by index text, memo fields, unknown names, defaults,
// and documents that do not load.
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "entry/MT_Doc.h"
#include "lang/CodeConverter.h"
#include "lang/Translator.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/DataSource.h"
#include "platform/Field.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString doc(const char* components, const char* rest = "") {
    return u("<?xml version=\"1.0\" encoding=\"GB2312\"?><MT_User CompanyID=\"DEMO\" ProgID=\"QLDI05\">"
             "<Components>%1</Components>%2</MT_User>")
        .arg(u(components), u(rest));
}

// A window laid out as the maintenance windows are: header and footer panels, pages in pgHead, a grid.
struct Window {
    TClientDataSet ds;
    TDataSource src;
    QWidget form;
    QWidget* pnlHead = new QWidget(&form);
    QWidget* pnlFoot = new QWidget(&form);
    TExtPageControl* pgHead = new TExtPageControl(&form);
    TTabSheet* tbsBrowse = new TTabSheet(pgHead);
    TTabSheet* tbsEdit = new TTabSheet(pgHead);
    TTabSheet* tbsOther = new TTabSheet(pgHead);
    TKvDBEdit* edMB001 = new TKvDBEdit(tbsEdit);
    TKvDBEdit* edMB005 = new TKvDBEdit(tbsEdit);
    TKvDBComboBox* cboMB002 = new TKvDBComboBox(tbsEdit);
    TKvDBComboBox* cboUDF01 = new TKvDBComboBox(tbsEdit);
    TFDBGrid* gdHead = new TFDBGrid(tbsBrowse);

    Window() {
        form.setObjectName("frmTest");
        pnlHead->setObjectName("pnlHead");
        pnlHead->setLayout(new QVBoxLayout);
        pnlFoot->setObjectName("pnlFoot");
        pgHead->setObjectName("pgHead");
        tbsBrowse->setObjectName("tbsBrowse");
        tbsBrowse->setCaption(u("浏览"));
        tbsEdit->setObjectName("tbsEdit");
        tbsEdit->setCaption(u("资料"));
        tbsOther->setObjectName("tbsOther");
        tbsOther->setCaption(u("资料")); // same caption as tbsEdit: the last page wins
        edMB001->setObjectName("edMB001");
        edMB001->setCaption(u("文档编号"));
        edMB005->setObjectName("edMB005");
        edMB005->setCaption(u("备注"));
        cboMB002->setObjectName("cboMB002");
        cboUDF01->setObjectName("cboUDF01");
        gdHead->setObjectName("gdHead");

        auto& defs = ds.FieldDefs();
        defs.Add("MB001", FieldType::String, 20);
        defs.Add("MB002", FieldType::String, 1);
        defs.Add("MB004", FieldType::String, 1);
        defs.Add("MB005", FieldType::String, 60);
        defs.Add("MB003", FieldType::Memo);
        ds.CreateDataSet();
        ds.Append();
        ds.FindField("MB001")->SetAsString("QLDI01");
        ds.FindField("MB002")->SetAsString("1");
        ds.Post();
        src.SetDataSet(&ds);
        gdHead->setDataSource(&src);
        cboMB002->setDataSource(&src);
        cboMB002->setDataField("MB002");
        cboMB002->setItems({u("1:不处理\t1"), u("2:汇出\t2")});
        cboMB002->move(10, 10);
    }
    QStringList fieldOrder() const {
        QStringList names;
        for (TField* f : ds.Fields())
            names << f->FieldName();
        return names;
    }
};

} // namespace

TEST(ScreenSettings, VisibilityWordsHideOrShowControlsAndTabs) {
    const struct {
        const char* value;
        bool visible;
    } cases[] = {{"0", false}, {"n", false}, {"false", false}, {"F", false}, {"N", false},
                 {"1", true},  {"Y", true},  {"", true},       {"yes", true}};
    for (const auto& c : cases) {
        Window w;
        w.edMB005->setVisible(!c.visible);
        w.tbsOther->setTabVisible(!c.visible);
        const QString text =
            QStringLiteral("<Component ID=\"edMB005\"><DCVisible>%1</DCVisible></Component>"
                           "<Component ID=\"tbsOther\"><DCVisible>%1</DCVisible></Component>")
                .arg(u(c.value));
        auto d = TMT_Doc::CreateFromXml(doc(text.toUtf8().constData()));
        d->ApplyToForm(&w.form);
        EXPECT_EQ(!w.edMB005->isHidden(), c.visible) << "DCVisible " << c.value;
        // A tab page hides its tab, not itself.
        EXPECT_EQ(w.tbsOther->TabVisible(), c.visible) << "DCVisible " << c.value;
    }
}

TEST(ScreenSettings, ParentMovesControlsToPanelsAndPagesUnderABig5Interface) {
    Window w;
    TCodeConverter big5(lang::CodePageSettings::from("936", "950", "936"),
                        std::make_unique<TTranslator>(qEnvironmentVariable("KVX_BUILD_DIR") +
                                                      QStringLiteral("/lib/Kvlanguage.so")));
    ASSERT_EQ(big5.UILangMode(), 2);
    auto d = TMT_Doc::CreateFromXml(
        doc("<Component ID=\"edMB001\"><Parent>Header</Parent></Component>"
            "<Component ID=\"edMB005\"><Parent>单尾</Parent><DisplayLabel>说明</DisplayLabel></Component>"
            "<Component ID=\"cboMB002\"><Parent>资料</Parent></Component>"
            "<Component ID=\"cboUDF01\"><Parent>tbsBrowse</Parent></Component>"));
    d->SetConverter(&big5);
    w.edMB001->hide();
    d->ApplyToForm(&w.form);

    EXPECT_EQ(w.edMB001->parentWidget(), w.pnlHead);
    EXPECT_TRUE(w.edMB001->isHidden()); // a move keeps the visibility
    EXPECT_EQ(w.pnlHead->layout()->indexOf(w.edMB001), 0);
    // Texts of the document are converted for the interface, the panel words with them.
    EXPECT_EQ(w.edMB005->parentWidget(), w.pnlFoot);
    EXPECT_EQ(w.edMB005->Caption(), u("說明"));
    // A page by caption (converted as well) and by name; with two pages of one caption the last counts.
    EXPECT_EQ(w.cboMB002->parentWidget(), w.tbsEdit); // no page is captioned "資料" yet: stays
    w.tbsEdit->setCaption(u("資料"));
    w.tbsOther->setCaption(u("資料"));
    d->ApplyToForm(&w.form);
    EXPECT_EQ(w.cboMB002->parentWidget(), w.tbsOther);
    EXPECT_EQ(w.cboUDF01->parentWidget(), w.tbsBrowse);
}

TEST(ScreenSettings, ColumnOrderFollowsTheIndexTexts) {
    TClientDataSet ds;
    for (const char* f : {"MB001", "MB002", "MB004", "MB005"})
        ds.FieldDefs().Add(f, FieldType::String, 10);
    ds.CreateDataSet();
    TDataSource src;
    src.SetDataSet(&ds);
    QWidget form;
    auto* grid = new TFDBGrid(&form);
    grid->setObjectName("gdHead");
    grid->setDataSource(&src);
    // Texts 10, 2 and 3 apply in that order (as texts), so the field with "3" ends last.
    auto d = TMT_Doc::CreateFromXml(
        doc("", "<gdHead>"
                "<Field ID=\"MB002\"><Index>10</Index></Field>"
                "<Field ID=\"MB004\"><Index>2</Index></Field>"
                "<Field ID=\"MB001\"><Index>3</Index>"
                "<DisplayLabel>单号</DisplayLabel><DisplayWidth>12</DisplayWidth></Field>"
                "</gdHead>"));
    d->ApplyToGrid(grid);
    QStringList order;
    for (TField* f : ds.Fields())
        order << f->FieldName();
    EXPECT_EQ(order, QStringList({"MB005", "MB004", "MB002", "MB001"}));
    TField* mb001 = ds.FindField("MB001");
    EXPECT_EQ(mb001->DisplayLabel(), u("单号"));
    EXPECT_EQ(mb001->DisplayWidth(), 12);
    grid->RebuildColumns();
    ASSERT_NE(grid->columnByField("MB001"), nullptr);
    EXPECT_EQ(grid->columnByField("MB001")->Title()->Caption(), u("单号"));
    EXPECT_EQ(grid->column(3)->FieldName(), "MB001");
}

TEST(ScreenSettings, MemoFieldsAndUnknownNamesAreLeftAlone) {
    Window w;
    TField* memo = w.ds.FindField("MB003");
    memo->SetDisplayLabel("items");
    auto d = TMT_Doc::CreateFromXml(
        doc("<Component ID=\"edMissing\"><Caption>x</Caption><Visible>0</Visible></Component>"
            "<Component ID=\"edMB001\"><caption>lower</caption><Bogus>1</Bogus><Width>77</Width>"
            "<DataSource>pvdOther</DataSource></Component>"
            "<Component ID=\"frmTest\"><Caption>标题</Caption></Component>",
            "<gdHead><Field ID=\"MB003\"><DisplayLabel>清单</DisplayLabel><Visible>0</Visible>"
            "<Index>0</Index></Field><Field ID=\"NOFIELD\"><Index>1</Index></Field></gdHead>"));
    const QStringList before = w.fieldOrder();
    d->ApplyToForm(&w.form);
    d->ApplyToGrid(w.gdHead);

    EXPECT_EQ(memo->DisplayLabel(), "items");
    EXPECT_TRUE(memo->Visible());
    EXPECT_EQ(w.fieldOrder(), before);
    // Names are matched exactly; a lookup definition is no property to set.
    EXPECT_EQ(w.edMB001->Caption(), u("文档编号"));
    EXPECT_EQ(w.edMB001->Width(), 77);
    EXPECT_EQ(w.edMB001->DataSource(), nullptr);
    // The window's own name addresses the window (a plain widget publishes no Caption: nothing happens).
    EXPECT_EQ(w.form.windowTitle(), QString());
}

TEST(ScreenSettings, TextsThatDoNotLoadGiveTheEmptyDocument) {
    Window w;
    TMT_Doc d;
    EXPECT_TRUE(d.IsEmpty());
    ASSERT_TRUE(d.LoadXml(doc("<Component ID=\"edMB005\"><Visible>0</Visible></Component>")));
    EXPECT_FALSE(d.IsEmpty());
    EXPECT_EQ(QString::fromUtf8(d.Root().attribute("CompanyID").value()), "DEMO");

    for (const QString& bad :
         {doc("<Component ID=\"edMB005\"><Visible>0</Visible></Component>").chopped(3), u(""), u("<!-- -->"),
          u("<MT_User><Components><Component ID=\"edMB005\"><Visible>0</Visible></Components></MT_User>")}) {
        EXPECT_FALSE(d.LoadXml(bad)) << bad.toStdString();
        EXPECT_TRUE(d.IsEmpty());
        EXPECT_EQ(QString::fromUtf8(d.Root().name()), "MT_User");
        ASSERT_TRUE(d.ComponentsNode());
        d.ApplyToForm(&w.form);
        EXPECT_FALSE(w.edMB005->isHidden()); // nothing half-applied
    }
    // A document without Components gets one.
    ASSERT_TRUE(d.LoadXml(u("<MT_User CompanyID=\"DEMO\"/>")));
    EXPECT_EQ(QString::fromUtf8(d.ComponentsNode().name()), "Components");
}

TEST(ScreenSettings, Gb2312BytesAreDecodedBeforeParsing) {
    Window w;
    const QByteArray gb =
        codepage::encode(doc("<Component ID=\"edMB005\"><DisplayLabel>说明</DisplayLabel></Component>"), 936);
    ASSERT_FALSE(codepage::isValidUtf8(gb));
    auto d = TMT_Doc::CreateFromXml(gb);
    d->ApplyToForm(&w.form);
    EXPECT_EQ(w.edMB005->Caption(), u("说明"));
}

TEST(ScreenSettings, LookupsRequiredListAndIdsWithQuotes) {
    auto d = TMT_Doc::CreateFromXml(
        doc("<Component ID=\"edMB005\"><Required>-1</Required><F2Field>MA001</F2Field></Component>"
            "<Component ID=\"cboMB002\"><Required>0</Required></Component>"
            "<Component ID=\"edTA001\"><Required>-1</Required></Component>"
            "<Component ID=\"ed&apos;Q&quot;1\"><RefFileID>CMSI05</RefFileID></Component>",
            "<gdHead><Field ID=\"MB002\"><F2FieldID>MX</F2FieldID></Field></gdHead>"));
    EXPECT_EQ(d->ListIDs("Components/*[Required='-1']"), "MB005,TA001");
    EXPECT_EQ(d->GetComponentValue("edMB005", "F2Field"), "MA001");
    EXPECT_EQ(d->GetComponentValue("ed'Q\"1", "RefFileID"), "CMSI05");
    EXPECT_EQ(d->GetComponentValue("edMB005", "Missing"), QString());
    EXPECT_EQ(d->GetComponentValue("edNone", "F2Field"), QString());
    QString value = "stale";
    d->GetFieldValue("gdHead", "MB002", value, "F2FieldID");
    EXPECT_EQ(value, "MX");
    d->GetFieldValue("gdOther", "MB002", value, "F2FieldID");
    EXPECT_EQ(value, QString());
    EXPECT_THROW(d->ListIDs("Components/*["), EMTDocError);
}

TEST(ScreenSettings, DefaultsFillNewRecordsAndUdfCombosTakeItems) {
    Window w;
    auto d = TMT_Doc::CreateFromXml(
        doc("<Component ID=\"cboMB002\"><DEFAULTTEXT>2</DEFAULTTEXT></Component>"
            "<Component ID=\"cboUDF01\"><Items>A&#13;&#10;a\nB&#13;&#10;b</Items></Component>"
            "<Component ID=\"edMB005\"><DefaultText>x</DefaultText></Component>"));
    d->ApplyToForm(&w.form);
    EXPECT_EQ(w.cboUDF01->Items(), QStringList({"A\ta", "B\tb"}));

    d->ApplyDefaults(&w.form); // browsing: the record is not touched
    EXPECT_EQ(w.ds.FindField("MB002")->AsString(), "1");
    EXPECT_EQ(w.ds.State(), TDataSetState::dsBrowse);

    w.ds.Append();
    d->ApplyDefaults(&w.form);
    EXPECT_EQ(w.ds.FindField("MB002")->AsString(), "2");
    EXPECT_EQ(w.ds.FindField("MB005")->AsString(), QString());

    // Hidden or at the left edge: no default.
    w.ds.Cancel();
    w.ds.Append();
    w.cboMB002->move(0, 10);
    d->ApplyDefaults(&w.form);
    EXPECT_EQ(w.ds.FindField("MB002")->AsString(), QString());
}

TEST(ScreenSettings, DisplayTextsPassTheWindowsTranslatorOtherValuesDoNot) {
    Window w;
    w.edMB005->setToolTip("Remark hint");
    auto d = TMT_Doc::CreateFromXml(
        doc("<Component ID=\"edMB005\"><DisplayLabel>说明</DisplayLabel><Hint>提示</Hint><Width>90</Width>"
            "</Component><Component ID=\"edMB001\"><Caption>单号</Caption></Component>",
            "<gdHead><Field ID=\"MB005\"><DisplayLabel>说明</DisplayLabel><Index>0</Index></Field>"
            "<Field ID=\"MB002\"><DisplayLabel>方式</DisplayLabel></Field></gdHead>"));
    QStringList asked;
    // Words "说明", keeps its own text for everything else that holds Chinese, passes the rest.
    d->SetTextTranslator([&asked](const QString& text, const QString& converted) -> std::optional<QString> {
        asked << text;
        EXPECT_EQ(converted, text); // no converter attached
        if (text == u("说明")) return QStringLiteral("Description");
        return std::nullopt;
    });
    d->ApplyToForm(&w.form);
    d->ApplyToGrid(w.gdHead);
    EXPECT_EQ(w.edMB005->Caption(), "Description");
    EXPECT_EQ(w.edMB005->toolTip(), "Remark hint");
    EXPECT_EQ(w.edMB005->Width(), 90); // not a text: never asked
    EXPECT_EQ(w.edMB001->Caption(), u("文档编号"));
    EXPECT_EQ(w.ds.FindField("MB005")->DisplayLabel(), "Description");
    EXPECT_EQ(w.ds.FindField("MB002")->DisplayLabel(), "MB002");
    EXPECT_EQ(w.fieldOrder().first(), "MB005"); // the index still applies
    asked.sort();
    EXPECT_EQ(asked, QStringList({u("单号"), u("提示"), u("方式"), u("说明"), u("说明")}));
    EXPECT_TRUE(TMT_Doc::IsDisplayText("Hint"));
    EXPECT_FALSE(TMT_Doc::IsDisplayText("Index"));
}
