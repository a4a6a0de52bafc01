// What users type and what a window shows must survive conversion: characters one side cannot encode,
// stored values of lists, bound texts, byte pairs that are no character, the one-character table.
#include "LangTestSupport.h"
#include "TempTree.h"
#include "lang/CodeConverter.h"
#include "lang/FixWideCharCodepage.h"
#include "lang/LangCommon.h"
#include "lang/Language_Convert.h"
#include "lang/TranslatorU.h"
#include "platform/CodePage.h"
#include "platform/Collection.h"
#include "platform/Font.h"
#include "platform/PropertySetter.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>
#include <gtest/gtest.h>

using kvx::Variant;
using kvx::lang::CodePageSettings;
using kvx::lang::LanguageConvert;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

std::unique_ptr<TCodeConverter> bigFiveUiOverGbData(QObject* owner = nullptr) {
    return std::make_unique<TCodeConverter>(
        CodePageSettings::from(QStringLiteral("936"), QStringLiteral("950"), QStringLiteral("936")),
        std::make_unique<TTranslator>(langtest::kvlanguagePath()), owner);
}

} // namespace

// A bound control of the library: its text is the field's, writing it would edit the record.
class TFakeBoundEdit : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString DataField MEMBER dataField)
    Q_PROPERTY(QString Text READ text WRITE setText)
public:
    using QObject::QObject;
    QString text() const { return text_; }
    void setText(const QString& t) {
        text_ = t;
        ++writes;
    }
    QString dataField, text_;
    int writes = 0;
};

// A status-bar panel, the selection panel's lists and a control whose font is an object.
class TFakePanel : public kvx::TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER text)
public:
    using kvx::TCollectionItem::TCollectionItem;
    QString text;
};

class TFakeStatusBar : public QObject {
    Q_OBJECT
    Q_PROPERTY(kvx::TCollection* Panels READ panels)
    Q_PROPERTY(kvx::TFont* Font READ font)
    Q_PROPERTY(kvx::TFont* TitleFont READ titleFont)
public:
    explicit TFakeStatusBar(QObject* parent)
        : QObject(parent), panels_([](kvx::TCollection* c) { return new TFakePanel(c); }, this) {}
    kvx::TCollection* panels() { return &panels_; }
    kvx::TFont* font() { return &font_; }
    kvx::TFont* titleFont() { return &titleFont_; }
    kvx::TCollection panels_;
    kvx::TFont font_, titleFont_;
};

class TFakeSelectPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items MEMBER items)
    Q_PROPERTY(QStringList Selected MEMBER selected)
public:
    using QWidget::QWidget;
    QStringList items, selected;
};

TEST(TextSurvival, CharactersBigFiveCannotHoldReachTheScreenAndComeBackUnchanged) {
    auto c = bigFiveUiOverGbData();
    // GBK has them, Big5 has not: shown as themselves, never '?'.
    const QString stored = u("叁仟元 喆 酶 ① Привет 个");
    const QString shown = c->ConvertDataString(Variant(stored)).toString();
    EXPECT_EQ(shown, u("叁仟元 喆 酶 ① Привет 個"));
    EXPECT_FALSE(shown.contains(QLatin1Char('?')));
    // Saving converts back: the data is what it was.
    EXPECT_EQ(c->RecoverDataString(Variant(shown)).toString(), stored);
    // A question mark of the user's stays one.
    EXPECT_EQ(c->ConvertDataString(Variant(u("叁?"))).toString(), u("叁?"));
    // Arrays of rows keep them too.
    Variant row = Variant::array(0, 1);
    row[0] = Variant(u("叁号"));
    row[1] = Variant(7);
    const Variant back = c->RecoverDataString(c->ConvertDataString(row));
    EXPECT_EQ(back.at(0).toString(), u("叁号"));
    EXPECT_EQ(back.at(1).toInt(), 7);
}

TEST(TextSurvival, BytePairsThatAreNoCharacterBecomeOneQuestionMark) {
    TTranslator t(langtest::kvlanguagePath());
    // Shaped like a pair of the source encoding, but no character of it: both bytes give one '?', never
    // an unrelated character of the target.
    for (const char* gb : {"\xAA\xA1", "\xF8\xA1", "\xD7\xFA"})
        EXPECT_EQ(t.GBToBig5(QByteArray(gb)), QByteArray("?")) << QByteArray(gb).toHex().constData();
    for (const char* big5 : {"\x81\x40", "\xFA\x40"})
        EXPECT_EQ(t.Big5ToGB(QByteArray(big5)), QByteArray("?")) << QByteArray(big5).toHex().constData();
    // Around real characters the text stays aligned.
    EXPECT_EQ(t.GBToBig5(QByteArray("a\xAA\xA1\xCE\xC4")), QByteArray("a?\xA4\xE5")); // a?文
    // A lone lead byte at the end passes through.
    EXPECT_EQ(t.GBToBig5(QByteArray("\xCE")), QByteArray("\xCE"));
    // The table-driven conversion falls back the same way for such pairs.
    const kvx::lang::GbBig5Tables tables;
    for (const char* gb : {"\xAA\xA1", "\xF8\xA1", "\xD7\xFA"})
        EXPECT_EQ(tables.gbToBig5(QByteArray(gb)), QByteArray("?")) << QByteArray(gb).toHex().constData();
    for (const char* big5 : {"\x81\x40", "\xFA\x40"})
        EXPECT_EQ(tables.big5ToGb(QByteArray(big5)), QByteArray("?")) << QByteArray(big5).toHex().constData();
    EXPECT_EQ(tables.gbToBig5(QByteArray("\xCE\xC4\xAA\xA1")), QByteArray("\xA4\xE5?"));
}

TEST(TextSurvival, HangulAndYiSurviveBigFiveToGbWithTheExtendedMapping) {
    kvxtest::ScopedEnv cp("KVX_CODEPAGE", "950");
    kvxtest::TempTree tree;
    kvx::lang::TFixWideCharCodepage fix;
    ASSERT_TRUE(fix.installed());
    // The euro sign of code page 950 stays the euro sign.
    EXPECT_EQ(kvx::codepage::decode("\xA3\xE1", 950), u("€"));
    EXPECT_EQ(kvx::codepage::encode(u("€"), 950), QByteArray("\xA3\xE1"));
    TTranslator t(langtest::kvlanguagePath());
    const QString text = u("한국어 ꀀꀁ 文檔 €");
    EXPECT_EQ(t.Big5ToGB(text), u("한국어 ꀀꀁ 文档 €"));
    EXPECT_EQ(t.GBToBig5(u("한국어 文档")), u("한국어 文檔"));
}

TEST(TextSurvival, ListsConvertTheirDisplayPartAndKeepTheStoredValue) {
    QWidget form;
    auto c = bigFiveUiOverGbData(&form);
    auto* combo = new QComboBox(&form);
    combo->setObjectName("cboMB002");
    combo->addItems({u("1:不处理\t1"), u("2:汇出\t2"), u("3.汇入\t汇入")});
    combo->setCurrentIndex(2);
    auto* list = new QListWidget(&form);
    list->setObjectName("lstMode");
    list->addItems({u("汇出\t汇出"), u("设置")});
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(combo->itemText(0), u("1:不處理\t1"));
    EXPECT_EQ(combo->itemText(1), u("2:匯出\t2"));
    EXPECT_EQ(combo->itemText(2), u("3.匯入\t汇入")); // a stored value in Chinese stays GB data
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(list->item(0)->text(), u("匯出\t汇出"));
    EXPECT_EQ(list->item(1)->text(), u("設置"));
}

TEST(TextSurvival, TranslatingNeverWritesABoundText) {
    QWidget form;
    auto c = bigFiveUiOverGbData(&form);
    auto* bound = new TFakeBoundEdit(&form);
    bound->setObjectName("edMB005");
    bound->dataField = QStringLiteral("MB005");
    bound->text_ = u("备注");
    auto* unbound = new TFakeBoundEdit(&form);
    unbound->setObjectName("edNote");
    unbound->text_ = u("备注");
    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(bound->writes, 0);
    EXPECT_EQ(bound->text_, u("备注"));
    EXPECT_EQ(unbound->text_, u("備註")); // an unbound text is the window's own
}

TEST(TextSurvival, PanelsGridCellsChosenItemsAndFontObjectsFollowTheLanguage) {
    QWidget form;
    auto c = bigFiveUiOverGbData(&form);
    auto* bar = new TFakeStatusBar(&form);
    bar->setObjectName("stbMain");
    static_cast<TFakePanel*>(bar->panels_.Add())->text = u("记录");
    static_cast<TFakePanel*>(bar->panels_.Add())->text = u("状态");
    // A control of the library with its grid inside (unnamed, not a component of its own).
    auto* gridControl = new QWidget(&form);
    gridControl->setObjectName("sgAdvanced");
    auto* inner = new QTableWidget(1, 2, gridControl);
    inner->setItem(0, 0, new QTableWidgetItem(u("条件")));
    inner->item(0, 0)->setToolTip(u("输入条件"));
    inner->setItem(0, 1, new QTableWidgetItem(u("数值")));
    auto* panel = new TFakeSelectPanel(&form);
    panel->setObjectName("spFields");
    panel->items = {u("单号"), u("说明"), u("类别")};
    panel->selected = {u("说明")};

    c->DoTranslate(&form, QString(), true);
    EXPECT_EQ(static_cast<TFakePanel*>(bar->panels_.Item(0))->text, u("記錄"));
    EXPECT_EQ(static_cast<TFakePanel*>(bar->panels_.Item(1))->text, u("狀態"));
    EXPECT_EQ(bar->font_.Name(), QStringLiteral("SimSun"));
    EXPECT_EQ(bar->font_.Charset(), 136);
    EXPECT_EQ(bar->titleFont_.Charset(), 136);
    EXPECT_EQ(inner->item(0, 0)->text(), u("條件"));
    EXPECT_EQ(inner->item(0, 0)->toolTip(), u("輸入條件"));
    EXPECT_EQ(inner->item(0, 1)->text(), u("數值"));
    EXPECT_EQ(panel->items, QStringList({u("單號"), u("說明"), u("類別")}));
    EXPECT_EQ(panel->selected, QStringList{u("說明")}); // still one of the items: shown once
}

TEST(TextSurvival, MessageKeysAreLookedUpLiterally) {
    kvxtest::TempTree tree;
    const QString file =
        tree.writeFile("pkg.Lng", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<TfrmSample><x><sOther Msg=\"other\"/></x><sSave Msg=\"save\"/>"
                                  "<sEmpty/><sEmpty Msg=\"second\"/></TfrmSample>");
    EXPECT_EQ(kvx::lang::GetMessageFromFile(file, QStringLiteral("sSave"), QStringLiteral("d")), "save");
    EXPECT_EQ(kvx::lang::GetMessageFromFile(file, QStringLiteral("sOther"), QStringLiteral("d")), "other");
    // The first element of that name carrying a message.
    EXPECT_EQ(kvx::lang::GetMessageFromFile(file, QStringLiteral("sEmpty"), QStringLiteral("d")), "second");
    // Query syntax in a key selects nothing.
    for (const char* key : {"x|//sOther", "*", "x/sOther", "sSave[1]", "..", "", "sSave/@Msg|//x"})
        EXPECT_EQ(kvx::lang::GetMessageFromFile(file, QString::fromLatin1(key), QStringLiteral("d")), "d")
            << key;
}

TEST(TextSurvival, PackagePathsReachListAndTreeViewItems) {
    QTreeWidget tree;
    tree.setHeaderLabels({u("单号"), u("说明")});
    auto* top = new QTreeWidgetItem(&tree, {u("单据")});
    new QTreeWidgetItem(top, {u("报表")});
    new QTreeWidgetItem(&tree, {u("设置")});
    EXPECT_TRUE(SetLangProperty(&tree, QStringLiteral("Columns_1.Caption"), u("Remark")));
    EXPECT_TRUE(
        SetLangProperty(&tree, QStringLiteral("Items_1.Text"), u("Report"))); // the child, in index order
    EXPECT_TRUE(SetLangProperty(&tree, QStringLiteral("Items_2.Caption"), u("Setup")));
    EXPECT_FALSE(SetLangProperty(&tree, QStringLiteral("Items_3.Text"), u("none")));
    EXPECT_FALSE(SetLangProperty(&tree, QStringLiteral("Columns_2.Caption"), u("none")));
    EXPECT_EQ(tree.headerItem()->text(1), u("Remark"));
    EXPECT_EQ(top->child(0)->text(0), u("Report"));
    EXPECT_EQ(tree.topLevelItem(1)->text(0), u("Setup"));
    EXPECT_EQ(top->text(0), u("单据"));

    QListWidget list;
    list.addItems({u("汇出"), u("汇入")});
    EXPECT_TRUE(SetLangProperty(&list, QStringLiteral("Items_1"), u("Import")));
    EXPECT_TRUE(SetLangProperty(&list, QStringLiteral("items_0.caption"), u("Export")));
    EXPECT_FALSE(SetLangProperty(&list, QStringLiteral("Items_2"), u("none")));
    EXPECT_EQ(list.item(0)->text(), u("Export"));
    EXPECT_EQ(list.item(1)->text(), u("Import"));
    EXPECT_EQ(list.count(), 2);
}

TEST(TextSurvival, AFarLineIndexIsRefusedAtOnce) {
    TFakeSelectPanel panel;
    panel.items = {u("a"), u("b")};
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(kvx::PropertySetter::set(&panel, QStringLiteral("Items_40000000"), u("x")));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(panel.items.size(), 2);
    // A near line still grows the list.
    EXPECT_TRUE(kvx::PropertySetter::set(&panel, QStringLiteral("Items_3"), u("d")));
    EXPECT_EQ(panel.items, QStringList({u("a"), u("b"), QString(), u("d")}));
}

TEST(TextSurvival, OneCharacterTableTakesTheFormRealTextNeeds) {
    kvxtest::TempTree tree;
    QFile generated(langtest::generatedMappingFile());
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly)) << qPrintable(generated.fileName());
    tree.writeFile("client/Language", generated.readAll());
    LanguageConvert& lc = LanguageConvert::instance();
    lc.unload();
    // Where OpenCC's single form is another, the table takes the one real text needs most.
    EXPECT_EQ(lc.GBToBIG5(u("复制")), u("複制"));
    EXPECT_EQ(lc.GBToBIG5(u("日志 注释 公里 时钟 汇总")), u("日誌 註釋 公里 時鐘 彙總"));
    // Characters with one form are unchanged by the choice.
    EXPECT_EQ(lc.GBToBIG5(u("文档传输")), u("文檔傳輸"));
    lc.unload();
}

#include "TextSurvivalTest.moc"
