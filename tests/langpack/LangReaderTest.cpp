// Applying packages to component trees, and the language controller's activation.
#include "LangTestSupport.h"
#include "SampleWidgets.h"
#include "lang/LangCommon.h"
#include "lang/LanguageController.h"
#include "lang/TranslatorU.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A window with the components the packages address.
struct Tree {
    QWidget form;
    TTestComboBox* combo = new TTestComboBox(&form);
    TTestGrid* grid = new TTestGrid(&form);
    TTestStatusBar* status = new TTestStatusBar(&form);
    QWidget* panel = new QWidget(&form);
    QLabel* inner = new QLabel(QStringLiteral("内部"), panel);

    Tree() {
        form.setObjectName("frmTest");
        combo->setObjectName("cboMode");
        combo->SetItems({"1:不处理\t1", "2:汇出\t2"});
        combo->setCurrentIndex(1);
        grid->setObjectName("gdMain");
        for (const char* c : {"单据", "名称", "方式"})
            grid->AddColumn(QString::fromUtf8(c));
        status->setObjectName("stbMain");
        status->AddPanel("浏览", 80);
        status->AddPanel("记录", 80);
        panel->setObjectName("pnlTop");
        panel->setToolTip("面板");
        inner->setObjectName("lblInner");
    }
};

std::unique_ptr<TLanguageController> controllerFor(const QString& xml) {
    auto c = std::make_unique<TLanguageController>();
    c->setLangPackage(xml.split(u'\n'));
    c->SetActive(true);
    return c;
}

} // namespace

TEST(LangReader, ItemsIndexGrowsTheListAndKeepsTheSelection) {
    Tree t;
    auto c = controllerFor(R"(<P><cboMode Items_3="4:全部&#9;4"/></P>)");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.combo->Items(), (QStringList{"1:不处理\t1", "2:汇出\t2", "", "4:全部\t4"}));
    EXPECT_EQ(t.combo->count(), 4);
    EXPECT_EQ(t.combo->currentIndex(), 1);
}

TEST(LangReader, DataAwareComboBoxKeepsItsItemIndex) {
    QWidget form;
    auto* combo = new TKvDBComboBox(&form);
    combo->setObjectName("cboKind");
    combo->SetItems({"1:基本信息\t1", "2:单据\t2"});
    combo->setCurrentIndex(1);
    EXPECT_TRUE(TReaderFactory::IsDataAwareComboBox(combo));
    auto c = controllerFor(R"(<P><cboKind Items="1:Basic data&#9;1&#10;2:Documents&#9;2"/></P>)");
    c->GetLangReader()->Apply(&form);
    EXPECT_EQ(combo->Items(), (QStringList{"1:Basic data\t1", "2:Documents\t2"}));
    EXPECT_EQ(combo->currentText(), "2:Documents");
}

TEST(LangReader, PathsIntoCollectionsAndTheirItems) {
    Tree t;
    auto c = controllerFor(R"(<P>
        <gdMain Columns_1.Title.Caption="File name" Columns_7.Title.Caption="beyond the count"/>
        <stbMain Panels.Items_1.Text="Record 1 of 2"/>
      </P>)");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.grid->Columns()->itemAs<TTestColumn>(0)->Title()->Caption(), "单据");
    EXPECT_EQ(t.grid->Columns()->itemAs<TTestColumn>(1)->Title()->Caption(), "File name");
    EXPECT_EQ(t.grid->horizontalHeaderItem(1)->text(), "File name");
    EXPECT_EQ(t.grid->Columns()->Count(), 3);
    EXPECT_EQ(t.status->PanelText(0), "浏览");
    EXPECT_EQ(t.status->PanelText(1), "Record 1 of 2");
}

TEST(LangReader, UnresolvablePathsAreSkippedAndLaterAttributesStillApply) {
    Tree t;
    auto c = controllerFor(R"(<P>
        <pnlTop NoSuchProperty="x" Font_2.Name="y" ToolTip.Caption="z" ToolTip="Top panel"/>
      </P>)");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.panel->toolTip(), "Top panel");
}

TEST(LangReader, DocumentElementGoesToTheWindowAndTheFirstMatchingElementCounts) {
    Tree t;
    auto c = controllerFor(R"(<P WindowTitle="Window">
        <group><lblInner Text="first"/></group>
        <lblInner Text="second"/>
        <frmTest ToolTip="by name"/>
      </P>)");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.form.windowTitle(), "Window");
    EXPECT_EQ(t.form.toolTip(), "by name");
    EXPECT_EQ(t.inner->text(), "first");

    // A control (not a window) does not receive the document element, nor does a window it owns: the
    // document element belongs to the object the package is applied to.
    QWidget holder;
    auto* label = new QLabel("原文", &holder);
    auto* dialog = new QWidget(&holder, Qt::Dialog);
    dialog->setWindowTitle("对话框");
    auto c2 = controllerFor(R"(<P Text="from the root" WindowTitle="from the root"/>)");
    c2->GetLangReader()->Apply(label);
    EXPECT_EQ(label->text(), "原文");
    c2->GetLangReader()->Apply(&holder);
    EXPECT_EQ(holder.windowTitle(), "from the root");
    EXPECT_EQ(dialog->windowTitle(), "对话框");
}

TEST(LangReader, AttributesApplyInDocumentOrder) {
    Tree t;
    auto c = controllerFor(R"(<P><cboMode Items="a&#10;b" Items_1="B" Items_2="C"/></P>)");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.combo->Items(), (QStringList{"a", "B", "C"}));
}

TEST(LangReader, ExcludedComponentKeepsItsTextsButItsChildrenAreTranslated) {
    Tree t;
    auto c = controllerFor(R"(<P><pnlTop ToolTip="Top panel"/><lblInner Text="Inner"/></P>)");
    c->setExcludeControls({"  PNLTOP "});
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.panel->toolTip(), "面板");
    EXPECT_EQ(t.inner->text(), "Inner");

    // Changing the exclusions reaches the reader at once.
    c->setExcludeControls({"lblInner"});
    t.inner->setText("内部");
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(t.panel->toolTip(), "Top panel");
    EXPECT_EQ(t.inner->text(), "内部");
}

TEST(LangReader, LoadNotificationsSurroundEachElement) {
    Tree t;
    auto c = controllerFor(R"(<P WindowTitle="W"><lblInner Text="Inner"/></P>)");
    QStringList log;
    QObject::connect(c.get(), &TLanguageController::BeforeLoadComponent,
                     [&](QObject* o, const pugi::xml_node& e) {
                         log << "before " + o->objectName() + " " + e.name() + " " +
                                    qobject_cast<QLabel*>(t.inner)->text();
                     });
    QObject::connect(c.get(), &TLanguageController::AfterLoadComponent,
                     [&](QObject* o, const pugi::xml_node& e) {
                         log << "after " + o->objectName() + " " + e.name() + " " + t.inner->text();
                     });
    c->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(log, (QStringList{"before frmTest P 内部", "after frmTest P 内部",
                                "before lblInner lblInner 内部", "after lblInner lblInner Inner"}));
}

TEST(LanguageController, ActivationLoadsAndDeactivationDrops) {
    LangTree lang("437");
    const QString file = lang.writePackage("ENG", "TfrmA", "<TfrmA Caption='A'/>");
    TLanguageController c;
    QStringList events;
    for (auto sig : {&TLanguageController::BeforeOpen, &TLanguageController::AfterOpen,
                     &TLanguageController::BeforeClose, &TLanguageController::AfterClose}) {
        QObject::connect(&c, sig, [&, sig](TLanguageController* s) {
            EXPECT_EQ(s, &c);
            events << QString::number(sig == &TLanguageController::BeforeOpen    ? 1
                                      : sig == &TLanguageController::AfterOpen   ? 2
                                      : sig == &TLanguageController::BeforeClose ? 3
                                                                                 : 4) +
                          (c.GetActive() ? "+" : "-");
        });
    }
    c.setFileName(file);
    c.SetActive(true);
    EXPECT_TRUE(c.GetActive());
    EXPECT_STREQ(c.Document().document_element().name(), "TfrmA");
    c.SetActive(true); // no change, no events
    c.SetActive(false);
    EXPECT_FALSE(c.GetActive());
    c.SetActive(false);
    EXPECT_EQ(events, (QStringList{"1-", "2+", "3+", "4-"}));
}

TEST(LanguageController, ErrorsCarryTheirMessages) {
    TLanguageController c;
    try {
        c.GetLangReader();
        ADD_FAILURE() << "no error";
    } catch (const LanguageControllerError& e) {
        EXPECT_EQ(e.message(), "No active LanguageController!");
    }
    try {
        c.SetActive(true);
        ADD_FAILURE() << "no error";
    } catch (const LanguageControllerError& e) {
        EXPECT_EQ(e.message(), "Cannot Find File !");
    }
    c.setLangPackage({"<P>", "<a></b>", "</P>"});
    try {
        c.SetActive(true);
        ADD_FAILURE() << "no error";
    } catch (const LanguageControllerError& e) {
        EXPECT_EQ(e.message(), "Start-end tags mismatch");
    }
    EXPECT_FALSE(c.GetActive());
    c.setLangPackage({});
    c.setFileName("/nonexistent/TfrmA.Lng");
    EXPECT_THROW(c.SetActive(true), LanguageControllerError);
    EXPECT_FALSE(c.GetActive());
}

TEST(LanguageController, InlineTextWinsOverTheFile) {
    LangTree lang("437");
    TLanguageController c;
    c.setFileName(lang.writePackage("ENG", "TfrmA", "<FromFile/>"));
    c.setLangPackage({"<Inline/>"});
    c.SetActive(true);
    EXPECT_STREQ(c.Document().document_element().name(), "Inline");
}

TEST(LanguageController, ActiveIsAppliedWhenLoadingEnds) {
    LangTree lang("437");
    TLanguageController c;
    c.BeginLoading();
    c.SetActive(true);
    EXPECT_FALSE(c.GetActive());
    c.setFileName(lang.writePackage("ENG", "TfrmA", "<TfrmA/>"));
    c.Loaded();
    EXPECT_TRUE(c.GetActive());
}

TEST(KvLangController, PackageNameFormsTheFileAndDeactivates) {
    LangTree lang("950");
    lang.writePackage("CHT", "TfrmA", "<TfrmA/>");
    lang.writePackage("CHT", "TfrmB", "<TfrmB/>");
    TKvLangController c;
    c.SetLangPackageName("TfrmA");
    EXPECT_EQ(c.FileName(), lang.clientPath() + "MultiLanguage/CHT/TfrmA.Lng");
    c.SetActive(true);
    ASSERT_TRUE(c.GetActive());
    QSignalSpy closed(&c, &TLanguageController::AfterClose);
    c.SetLangPackageName("TfrmA");
    EXPECT_TRUE(c.GetActive()) << "the same name changes nothing";
    c.setLangPackage({"<Inline/>"});
    c.SetActive(true);
    c.SetLangPackageName("TfrmB");
    EXPECT_FALSE(c.GetActive());
    EXPECT_TRUE(c.LangPackage().isEmpty());
    EXPECT_EQ(c.FileName(), lang.clientPath() + "MultiLanguage/CHT/TfrmB.Lng");
    EXPECT_EQ(closed.count(), 2);
}

TEST(KvLangController, ServerDesignTypeUsesTheServerFolder) {
    LangTree lang("437");
    lang.writePackage("ENG", "TdmX", "<TdmX/>", true);
    lang.writePackage("ENG", "TdmX", "<TdmX/>");
    TKvLangController c;
    c.SetLangPackageName("TdmX");
    EXPECT_EQ(c.FileName(), lang.clientPath() + "MultiLanguage/ENG/TdmX.Lng");
    c.SetActive(true);
    c.setDesignType(dtServer);
    EXPECT_EQ(c.FileName(), lang.tree().serverPath() + "MultiLanguage/ENG/TdmX.Lng");
    EXPECT_FALSE(c.GetActive()) << "the loaded document was the client's";
}

TEST(LangReader, TextAlreadyHeldIsNotWrittenAgain) {
    Tree t;
    auto* edit = new QLineEdit(QStringLiteral("文档编号"), &t.form);
    edit->setObjectName("edNo");
    edit->setCursorPosition(1);
    QSignalSpy rebuilt(t.combo->model(), &QAbstractItemModel::rowsInserted);
    // The design texts themselves: nothing is rewritten (a rewrite would move the cursor to the end and
    // rebuild the list).
    auto same = controllerFor(
        R"(<P><edNo text="文档编号"/><cboMode Items_0="1:不处理&#9;1" Items_1="2:汇出&#9;2"/></P>)");
    same->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_EQ(rebuilt.count(), 0);
    EXPECT_EQ(t.combo->currentIndex(), 1);

    // A different text is written; the lines around a changed one stay.
    auto other = controllerFor(
        R"(<P><edNo text="文件名"/><cboMode Items_0="1:不处理&#9;1" Items_1="2:导出&#9;2"/></P>)");
    other->GetLangReader()->Apply(&t.form);
    EXPECT_EQ(edit->text(), QStringLiteral("文件名"));
    EXPECT_EQ(edit->cursorPosition(), 3);
    EXPECT_GT(rebuilt.count(), 0);
    EXPECT_EQ(t.combo->Items(), (QStringList{"1:不处理\t1", "2:导出\t2"}));
    EXPECT_EQ(t.combo->itemText(1), QStringLiteral("2:导出"));
    EXPECT_EQ(t.combo->currentIndex(), 1);
}

TEST(LangReader, PackageWithOnlyRootAttributesStillReachesTheWindow) {
    Tree t;
    int loaded = 0;
    auto apply = [&](const char* xml) {
        TLangReader reader(std::make_shared<const kvx::lang::PackageDocument>(QByteArray(xml)), {},
                           [&loaded](QObject*, const pugi::xml_node&) { ++loaded; });
        reader.Apply(&t.form);
    };
    apply("<P/>");
    EXPECT_EQ(loaded, 0);
    apply(R"(<P toolTip="窗口"/>)");
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(t.form.toolTip(), QStringLiteral("窗口"));
    // The document element goes to the window as before, then the label's element.
    apply(R"(<P><lblInner text="外部"/></P>)");
    EXPECT_EQ(loaded, 3);
    EXPECT_EQ(t.inner->text(), QStringLiteral("外部"));
}

namespace {

// A window with two panels of labels, and a reader that records which components it applies to and
// deletes one chosen object right after the element of another.
struct DeletingTree {
    QWidget* form = new QWidget;
    QWidget* pnlA = new QWidget(form);
    QLabel* lblA1 = new QLabel(pnlA);
    QLabel* lblA2 = new QLabel(pnlA);
    QWidget* pnlB = new QWidget(form);
    QLabel* lblB1 = new QLabel(pnlB);
    QPointer<QWidget> formGuard{form};
    QStringList applied;

    DeletingTree() {
        form->setObjectName("frmTest");
        for (auto [w, n] : {std::pair<QWidget*, const char*>{pnlA, "pnlA"},
                            {lblA1, "lblA1"},
                            {lblA2, "lblA2"},
                            {pnlB, "pnlB"},
                            {lblB1, "lblB1"}})
            w->setObjectName(n);
    }
    ~DeletingTree() { delete formGuard.data(); }

    void apply(const QString& after, QObject* victim) {
        QPointer<QObject> target(victim);
        TLangReader reader(
            std::make_shared<const kvx::lang::PackageDocument>(
                QByteArray(R"(<P><lblA1 text="1"/><lblA2 text="2"/><lblB1 text="3"/></P>)")),
            {}, [this](QObject* c, const pugi::xml_node&) { applied << c->objectName(); },
            [&](QObject* c, const pugi::xml_node&) {
                if (c->objectName() == after) delete target.data();
            });
        reader.Apply(form);
    }
};

} // namespace

TEST(LangReader, ComponentsDeletedByAWriteAreSkipped) {
    {
        // A later sibling.
        DeletingTree t;
        t.apply("lblA1", t.lblA2);
        EXPECT_EQ(t.applied, (QStringList{"frmTest", "lblA1", "lblB1"}));
        EXPECT_EQ(t.lblB1->text(), "3");
    }
    {
        // The parent of the component applied: its other children go with it, the next panel still gets
        // its texts.
        DeletingTree t;
        t.apply("lblA1", t.pnlA);
        EXPECT_EQ(t.applied, (QStringList{"frmTest", "lblA1", "lblB1"}));
        EXPECT_EQ(t.lblB1->text(), "3");
    }
    {
        // The window itself: the walk ends.
        DeletingTree t;
        t.apply("lblA1", t.form);
        EXPECT_TRUE(t.formGuard.isNull());
        EXPECT_EQ(t.applied, (QStringList{"frmTest", "lblA1"}));
    }
    {
        // Nothing deleted: every element in tree order.
        DeletingTree t;
        t.apply("none", nullptr);
        EXPECT_EQ(t.applied, (QStringList{"frmTest", "lblA1", "lblA2", "lblB1"}));
        EXPECT_EQ(t.lblA2->text(), "2");
    }
}
