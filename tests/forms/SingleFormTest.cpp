// The single-table window on an in-memory provider and a fake work center whose counter answers the
// statements the window sends: layout, keep-on-add, key controls by state, pages and focus-page-one,
// the calculator keys, Enter through the pages, voucher formats, run modes, combo requirements by code
// page, user-defined-field binding, drill-down links, the colour filter with its menu and colour query
// form, the options dialog, the XML import and the attachment clean-up after a delete - driven by real
// key presses and clicks where the user would press keys or click.
#include "FakeWorkCenter.h"
#include "MemoryProvider.h"
#include "SampleSingleForm.h"
#include "TempTree.h"

#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "data/libColormanage.h"
#include "entry/MT_Doc.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "platform/PropertySetter.h"
#include "query/KvColorQBE.h"
#include "query/OptionsCF.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const char* kFullRights = "QLDI05,N,N,NYYYYYYYYYYY,YYYYYYY,YYYYYYY";

// The counter's server functions as the window uses them: SimpleSQL answered by the first handler whose
// text occurs in the statement, everything recorded.
class SqlCounter : public brokertest::FakeCounter {
public:
    QList<QPair<QString, Variant>> answers; // statement part -> rows
    QStringList statements;                 // SimpleSQL texts
    QStringList transactions;               // TransactionSQL texts
    QList<VariantList> udfCalls;
    Variant udfAnswer;
    bool udfThrows = false;
    QHash<QString, QString> userDefines; // section -> the XML GetUserDefine answers
    QList<VariantList> setUserDefines;

    SqlCounter() {
        addRecorded(QStringLiteral("GETCOUNTER"), [this](VariantList& args) -> Variant {
            const QString name = args[0].toString();
            if (name.compare("SimpleSQL", Qt::CaseInsensitive) == 0) {
                const QString sql = args[1].at(0).toString();
                statements << sql;
                for (const auto& [part, rows] : answers)
                    if (sql.contains(part)) return rows;
                return Variant();
            }
            if (name.compare("TransactionSQL", Qt::CaseInsensitive) == 0) {
                transactions << args[1].at(0).toString();
                return QString();
            }
            if (name.compare("GetUserDefine", Qt::CaseInsensitive) == 0)
                return userDefines.value(args[1].at(3).toString());
            if (name.compare("SetUserDefine", Qt::CaseInsensitive) == 0) {
                setUserDefines << args[1].toList();
                return QString();
            }
            if (name.compare("QueryUDFData", Qt::CaseInsensitive) == 0) {
                udfCalls << args[1].toList();
                if (udfThrows) throw AutomationError("rule failed");
                return udfAnswer;
            }
            return Variant();
        });
    }
};

// The lookup service with a calculator that answers a set text when one is given.
class CalcF2 : public brokertest::FakeF2Window {
public:
    QString calcAnswer;
    QStringList calcInputs;
    CalcF2() {
        addRecorded(QStringLiteral("GetCalcValue"), [this](VariantList& args) -> Variant {
            const QString in = args[0].toString();
            calcInputs << in;
            if (!calcAnswer.isNull()) return calcAnswer;
            return QString::number(in.toInt() * 2);
        });
    }
};

class SingleWorkCenter : public brokertest::FakeWorkCenter {
public:
    std::shared_ptr<SqlCounter> sql = std::make_shared<SqlCounter>();
    std::shared_ptr<CalcF2> calc = std::make_shared<CalcF2>();
    SingleWorkCenter() {
        addRecorded(QStringLiteral("Com_Counter"),
                    [this](VariantList&) { return Variant(std::shared_ptr<Dispatch>(sql)); });
        addRecorded(QStringLiteral("Com_F2Window"),
                    [this](VariantList&) { return Variant(std::shared_ptr<Dispatch>(calc)); });
    }
};

// The program's server object: row count, SetTopRow and the saved-condition calls.
class SingleServer : public DispatchObject {
public:
    QList<int> topRows;
    SingleServer() : DispatchObject("Fake.Server") {
        addMethod("GetRecCount", [](VariantList&) { return Variant(2); });
        addMethod("SetTopRow", [this](VariantList& a) {
            topRows << int(a.value(0).toIntDef(-1));
            return Variant();
        });
        addMethod("LoadTable", [](VariantList&) { return Variant(QString()); });
        addMethod("GetFormat", [](VariantList&) { return Variant(QString()); });
        addMethod("Whatis", [](VariantList&) { return Variant(0); });
    }
};

// The single-table module with the connection already made by the test.
class ConnectedModule : public TdmSingle {
public:
    using TdmSingle::TdmSingle;
    QStringList loginInfo;
    bool ConnectServer() override {
        Broker->LoginInfo = loginInfo;
        return true;
    }
};

Variant rows(std::initializer_list<VariantList> list) {
    VariantList out;
    for (const VariantList& r : list)
        out << Variant::fromList(r);
    return Variant::fromList(out);
}

struct Env {
    kvxtest::TempTree tree;
    test::MemoryProvider provider;
    std::shared_ptr<SingleWorkCenter> wc = std::make_shared<SingleWorkCenter>();
    std::shared_ptr<SingleServer> server = std::make_shared<SingleServer>();
    std::unique_ptr<TfrmSingleSample> w;

    explicit Env(bool withUdf = false, const QString& uiCodePage = "936") {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        for (const char* m : {"C/000001", "C/000002", "C/000004", "E/000003", "E/000007", "E/000008",
                              "E/000032", "E/000033", "W/000001", "W/100079"})
            wc->catalogue.insert(m, QString::fromLatin1(m) + " %s");
        FieldDesc key("MB001", FieldType::String, 20);
        key.inKey = true;
        auto& t = provider.table("pvdMain");
        t.fields = {key,
                    FieldDesc("MB002", FieldType::String, 1),
                    FieldDesc("MB005", FieldType::String, 40),
                    FieldDesc("N", FieldType::Integer),
                    FieldDesc("RATE", FieldType::Float),
                    FieldDesc("CREATOR", FieldType::String, 10),
                    FieldDesc("USR_GROUP", FieldType::String, 10),
                    FieldDesc("FLAG", FieldType::Float)};
        if (withUdf) t.fields << FieldDesc("UDF01", FieldType::String, 20);
        for (int i = 1; i <= 2; ++i) {
            Row r{QStringLiteral("K%1").arg(i),
                  "1",
                  QStringLiteral("remark %1").arg(i),
                  i * 10,
                  0.5,
                  "DS",
                  "ADMIN",
                  1.0};
            if (withUdf) r << QStringLiteral("u%1").arg(i);
            t.rows << r;
        }

        w = std::make_unique<TfrmSingleSample>();
        w->ModuleFactory = [](QObject* owner) {
            auto* m = new ConnectedModule(owner);
            m->loginInfo = {"M11_TABLE=QLDMB", QStringLiteral("POWER_DATA=") + kFullRights,
                            "USER_GROUP=ADMIN"};
            return m;
        };
        w->ModulePath = "/opt/kvx/C_PKG/QLDI05C.so";
        installPackages();
        Settings s;
        s.client = CodePages::from(CodePage::Gbk, codePageFromText(uiCodePage), CodePage::Gbk);
        s.clientPath = tree.clientPath();
        w->setSettings(s);
        w->AfterConstruction();
        w->SetBrokerWorkCenter(Variant(std::shared_ptr<Dispatch>(wc)));
        TBrokers* b = w->Broker;
        b->ConnectServices();
        b->ProgID = "QLDI05";
        b->UserID = "DS";
        b->CompanyID = "DEMO";
        b->DBName = "DEMO";
        b->LoginInfo = {"M11_TABLE=QLDMB"};
        b->SetSysParam("SYS151", "200");
        w->PrintID = "QLDR05";
        TdmSingle* dm = w->dm();
        dm->Broker = b;
        dm->KeyFields = "MB001";
        dm->MainTable = "QLDMB";
        dm->ServerDate = "20261209";
        dm->AppServer = Variant(std::shared_ptr<Dispatch>(server));
        dm->cdsMain->SetRemoteServer(&provider);
        dm->cdsMain->SetPacketRecords(-1);
        w->RightsSet = ParseRights(QString::fromLatin1(kFullRights));
        w->LoadRights();
        w->InitSettings();
    }
    ~Env() { w.reset(); }

    // The language packages of the windows, and English texts of the sample's own controls.
    void installPackages() {
        for (const char* layer : {"lang", "forms"}) {
            const QString folder =
                qEnvironmentVariable("KVX_SOURCE_DIR") + "/src/" + layer + "/MultiLanguage";
            for (const QString& code : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                for (const QString& f : QDir(folder + '/' + code).entryList({"*.Lng"})) {
                    QDir(tree.clientPath()).mkpath("MultiLanguage/" + code);
                    QFile::copy(folder + '/' + code + '/' + f,
                                tree.clientPath() + "MultiLanguage/" + code + '/' + f);
                }
        }
        tree.writeText(
            "client/MultiLanguage/ENG/TfrmSingleSample.Lng",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TfrmSingleSample>"
            "<edMB001 Caption=\"Document\"/><cboMB002 Caption=\"Mode\"/><edMB005 Caption=\"Remark\"/>"
            "<tbsHead2 Caption=\"Amounts\"/><edN Caption=\"Quantity\"/><edRATE Caption=\"Rate\"/>"
            "</TfrmSingleSample>\n");
    }

    // Colour management on for this user, and colour rules of the program with three grid conditions.
    void colourRules() {
        wc->sql->userDefines.insert(
            "InputSettings003", "<InputSettings003><IsColorManage>True</IsColorManage></InputSettings003>");
        wc->sql->answers << qMakePair(
            QString("FROM $$ADMNH"),
            rows({{"<colormanager><head><component name=\"gdHead\" enable=\"Y\">"
                   "<condition value=\"MB002='2'\" colorx=\"255\" bkcolor=\"65535\" msg=\"汇出\"/>"
                   "<condition value=\"MB002='3'\" colorx=\"\" bkcolor=\"\" msg=\"汇入\"/>"
                   "<condition value=\"$$QLDMB.MB005=''\" colorx=\"8421504\" bkcolor=\"\" msg=\"无说明\"/>"
                   "</component></head></colormanager>"}}));
    }
    // Clicks the main part of a drop-down tool button (not its arrow).
    static void clickButton(QToolButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    // The connection steps of the window on the open data: page ends, field binding, rights.
    void open() {
        ASSERT_TRUE(w->OpenMainData(w->dm()->cdsMain, {}, {}));
        w->ConnectDataModule();
        w->ApplyFieldRights();
        w->UpdateRecordInfo(w->dm()->cdsMain);
        w->SetState(TfrmBase::esBrowse);
    }
    void showActive() {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    TClientDataSet* cds() const { return w->dm()->cdsMain; }
    bool storedKey(const QString& key) {
        for (const Row& r : provider.table("pvdMain").rows)
            if (r.value(0).toString() == key) return true;
        return false;
    }
    static QStringList texts() {
        QStringList out;
        for (const MessageRequest& r : DialogService::instance().shown())
            out << r.text.trimmed();
        return out;
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key(k), m);
    }
    void type(QWidget* control, const QString& text) {
        control->setFocus();
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
};

// --- layout ---

TEST(SingleLayout, ToolbarMenusPagesAndGrid) {
    Env env;
    TfrmSingle& w = *env.w;
    QStringList names;
    for (QObject* c : w.ToolBar1->children())
        if (auto* b = qobject_cast<TToolButton*>(c)) names << b->objectName();
    const int six = names.indexOf("ToolButton6");
    ASSERT_GE(six, 0);
    EXPECT_EQ(names.mid(six + 1), QStringList({"btnOK", "btnCancel", "btnColorQuery", "btnCalc"}));
    EXPECT_EQ(w.btnOK->Tag(), 4000);
    EXPECT_EQ(w.btnOK->toolTip(), "保存");
    EXPECT_EQ(w.btnCancel->toolTip(), "取消");
    EXPECT_EQ(w.btnPrint->menu(), w.popPrint);
    EXPECT_FALSE(w.btnReFresh->isEnabled());
    EXPECT_FALSE(w.btnColorQuery->isVisible());

    EXPECT_EQ(w.miOK->shortcut(), QKeySequence(Qt::Key_F12));
    EXPECT_EQ(w.miTable2Excel->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
    EXPECT_EQ(w.miTable2Excel2->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
    EXPECT_EQ(w.miPrior->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_EQ(w.miNext->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QStringList tops;
    for (QAction* a : w.MainMenu->actions())
        tops << a->text();
    EXPECT_EQ(tops.mid(tops.indexOf("汇出(&E)"), 4),
              QStringList({"汇出(&E)", "整批处理(&P)", "工具(&T)", "退出(&X)"}));
    QStringList popup;
    for (QAction* a : w.popPrint->actions())
        popup << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(popup, QStringList({"直接打印", "打印预览", "-", "凭证格式"}));

    ASSERT_EQ(w.pgHead->PageCount(), 4);
    EXPECT_EQ(w.pgHead->Pages(0), w.tbsHead1);
    EXPECT_EQ(w.pgHead->Pages(2), w.tbsUDF);
    EXPECT_EQ(w.pgHead->Pages(3), w.tbsBrowse);
    EXPECT_EQ(w.tbsHead1->Caption(), "详细字段");
    EXPECT_EQ(w.tbsUDF->Caption(), "自定义信息");
    EXPECT_EQ(w.tbsBrowse->Caption(), "信息浏览");
    EXPECT_EQ(w.UdfEdits.size(), 24);
    EXPECT_EQ(w.UdfCombos.size(), 12);
    EXPECT_EQ(w.UdfEdits[6]->objectName(), "edUDF51");
    EXPECT_EQ(w.UdfEdits[23]->Caption(), "自定义项24");
    EXPECT_EQ(w.gdHead->Color(), TColor(15532027));
    EXPECT_EQ(w.gdHead->LayoutDelimiter(), ";;");
}

TEST(SingleCommands, PrintExportAndSaveFollowTheState) {
    Env env;
    env.open();
    EXPECT_TRUE(env.w->btnPrint->isEnabled());
    EXPECT_TRUE(env.w->miPrint->isEnabled());
    EXPECT_TRUE(env.w->miPreview->isEnabled());
    EXPECT_TRUE(env.w->miTable2Excel->isEnabled());
    EXPECT_FALSE(env.w->btnOK->isEnabled());
    EXPECT_TRUE(env.w->miBBPrint->isEnabled());
    EXPECT_TRUE(env.w->tbsBrowse->TabVisible());
    // Without a print identifier nothing prints; the exports stay.
    env.w->PrintID.clear();
    env.w->UpdateCommands();
    EXPECT_FALSE(env.w->btnPrint->isEnabled());
    EXPECT_FALSE(env.w->miBBPrint->isEnabled());
    EXPECT_FALSE(env.w->miBBSelectAll->isEnabled());
    EXPECT_TRUE(env.w->miTable2Excel->isEnabled());
    ASSERT_TRUE(env.w->DoEdit());
    EXPECT_TRUE(env.w->btnOK->isEnabled());
    EXPECT_TRUE(env.w->miCancel->isEnabled());
    EXPECT_FALSE(env.w->miTable2Excel->isEnabled());
    EXPECT_FALSE(env.w->tbsBrowse->TabVisible());
}

// --- adding, editing, keys ---

TEST(SingleEdit, KeepOnAddStartsTheNextRecordOnPageOne) {
    Env env;
    env.open();
    env.w->KeepOnAdd = true;
    env.showActive();
    env.key(Qt::Key_F5);
    ASSERT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead1);
    env.type(env.w->edMB001->editor(), "NEW1");
    env.key(Qt::Key_F12);
    EXPECT_TRUE(env.storedKey("NEW1")) << Env::texts().join('|').toStdString();
    EXPECT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_EQ(env.cds()->State(), TDataSetState::dsInsert);
    EXPECT_TRUE(env.cds()->FieldByName("MB001")->AsString().isEmpty());
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead1);
    EXPECT_TRUE(env.w->edMB001->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == env.w->edMB001);
}

TEST(SingleEdit, WithoutKeepOnAddTheWindowReturnsToBrowseOnTheSavedRecord) {
    Env env;
    env.open();
    env.w->KeepOnAdd = false;
    env.showActive();
    env.key(Qt::Key_F5);
    env.type(env.w->edMB001->editor(), "NEW2");
    env.key(Qt::Key_F12);
    EXPECT_TRUE(env.storedKey("NEW2"));
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);
    EXPECT_EQ(env.cds()->FieldByName("MB001")->AsString(), "NEW2");
    EXPECT_TRUE(env.w->tbsBrowse->TabVisible());
}

TEST(SingleEdit, KeyControlsAreDisabledInEditAndEnabledInAdd) {
    Env env;
    env.open();
    env.showActive();
    env.key(Qt::Key_F7);
    ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
    EXPECT_FALSE(env.w->edMB001->isEnabled());
    EXPECT_TRUE(env.w->edMB005->isEnabled());
    EXPECT_FALSE(env.w->tbsBrowse->TabVisible());
    // The first-edit control has the focus.
    EXPECT_TRUE(env.w->cboMB002->isAncestorOf(QApplication::focusWidget()));
    env.key(Qt::Key_Escape);
    ASSERT_EQ(env.w->EditState, TfrmBase::esBrowse);
    env.key(Qt::Key_F5);
    ASSERT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_TRUE(env.w->edMB001->isEnabled());
}

TEST(SingleEdit, ABlankKeyIsReportedBeforeOtherRequiredFields) {
    Env env;
    env.open();
    env.w->SetRequiredFields("cdsMain:MB005");
    env.showActive();
    env.key(Qt::Key_F5);
    env.key(Qt::Key_F12);
    ASSERT_FALSE(Env::texts().isEmpty());
    EXPECT_TRUE(Env::texts().first().startsWith("E/000003")) << Env::texts().join('|').toStdString();
    EXPECT_TRUE(Env::texts().first().contains("MB001")) << Env::texts().join('|').toStdString();
    EXPECT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_TRUE(env.w->SaveFailed);
    EXPECT_EQ(env.w->RequiredFields(), "cdsMain:MB005");
}

TEST(SingleEdit, AFailedApplyShowsTheSaveErrorAndKeepsEditing) {
    Env env;
    env.open();
    env.showActive();
    env.key(Qt::Key_F5);
    env.type(env.w->edMB001->editor(), "K1"); // the key exists: the provider refuses it
    env.key(Qt::Key_F12);
    EXPECT_TRUE(Env::texts().contains("E/000008 %s") || Env::texts().join('|').contains("E/000008"))
        << Env::texts().join('|').toStdString();
    EXPECT_EQ(env.w->EditState, TfrmBase::esAdd);
    EXPECT_TRUE(env.w->SaveFailed);
}

// --- pages ---

TEST(SinglePages, FocusPageOneKeepsTheEditPageWhenTheBrowsePageIsChosen) {
    Env env;
    env.open();
    env.showActive();
    env.key(Qt::Key_F7);
    env.w->FocusPageOne = true;
    env.w->pgHead->setActivePage(env.w->tbsBrowse);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead1);
    env.key(Qt::Key_Escape);
    // In browse the browse page is reachable again; Enter in the grid opens page 0.
    env.w->pgHead->setActivePage(env.w->tbsBrowse);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsBrowse);
    env.w->gdHead->view()->setFocus();
    env.key(Qt::Key_Return);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead1);
}

TEST(SinglePages, RefusedPageRightKeepsThePreviousPage) {
    Env env;
    env.open();
    env.w->RightsSet |= rights::bit(16); // page 1 refused
    env.showActive();
    env.key(Qt::Key_F7);
    env.w->pgHead->setActivePageIndex(1);
    EXPECT_EQ(env.w->pgHead->ActivePageIndex(), 0);
}

TEST(SinglePages, CtrlTabWrapsOverTheEditPagesWhileEditing) {
    Env env;
    env.open();
    env.showActive();
    env.key(Qt::Key_F7);
    env.key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead2);
    // tbsUDF has no visible tab (no user-defined field): the next page wraps to page 0.
    env.key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead1);
    env.key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead2);
}

TEST(SinglePages, EnterOnAPageEndGoesToTheNextPageAndOnTheLastControlSaves) {
    Env env;
    env.open();
    env.w->KeepOnAdd = false;
    env.showActive();
    EXPECT_EQ(env.w->PageEndNames.value(0), "edMB005");
    EXPECT_EQ(env.w->LastControlName, "edRATE");
    env.key(Qt::Key_F7);
    env.w->edMB005->setFocus();
    env.key(Qt::Key_Return);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsHead2);
    EXPECT_EQ(env.w->EditState, TfrmBase::esEdit);
    env.w->edRATE->setFocus();
    env.type(env.w->edRATE->editor(), "7");
    env.key(Qt::Key_Return);
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse) << Env::texts().join('|').toStdString();
}

// --- calculator keys ---

TEST(SingleCalculator, StarInANumberFieldCalculatesAndInATextFieldIsTyped) {
    Env env;
    env.open();
    env.showActive();
    env.key(Qt::Key_F7);
    env.w->pgHead->setActivePage(env.w->tbsHead2);
    env.w->edN->setFocus();
    env.key(Qt::Key_Asterisk); // the fake calculator doubles "10"
    EXPECT_EQ(env.cds()->FieldByName("N")->AsInteger(), 20);
    EXPECT_EQ(env.wc->calc->calcInputs, QStringList({"10"}));
    env.w->pgHead->setActivePage(env.w->tbsHead1);
    env.w->edMB005->setFocus();
    env.w->edMB005->editor()->end(false);
    env.key(Qt::Key_Asterisk);
    EXPECT_TRUE(env.w->edMB005->Text().endsWith("*")) << env.w->edMB005->Text().toStdString();
    EXPECT_EQ(env.wc->calc->calcInputs.size(), 1);
}

TEST(SingleCalculator, APercentFieldStoresTheResultTimesHundred) {
    Env env;
    env.open();
    // Shown as a percentage, edited as the plain number.
    env.cds()->FieldByName("RATE")->OnGetText = [](TField* f, QString& text, bool display) {
        text = QString::number(f->AsFloat()) + (display ? QStringLiteral("%") : QString());
    };
    env.wc->calc->calcAnswer = "0.25";
    env.showActive();
    env.key(Qt::Key_F7);
    env.w->pgHead->setActivePage(env.w->tbsHead2);
    env.w->edRATE->setFocus();
    env.key(Qt::Key_Slash);
    EXPECT_EQ(env.wc->calc->calcInputs, QStringList({"0.5"}));
    EXPECT_DOUBLE_EQ(env.cds()->FieldByName("RATE")->AsFloat(), 25.0);
    // A calculator answer of nothing leaves the field alone.
    env.wc->calc->calcAnswer = "";
    env.key(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(env.cds()->FieldByName("RATE")->AsFloat(), 25.0);
}

// --- printing and voucher formats ---

TEST(SinglePrint, NoFormatRowsShowOneDisabledNoFormatItem) {
    Env env;
    env.open();
    env.w->FillVoucherFormats(env.w->miVoucherFormats, true);
    const QList<QAction*> items = env.w->miVoucherFormats->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "<无格式>");
    EXPECT_FALSE(items[0]->isEnabled());
    ASSERT_FALSE(env.wc->sql->statements.isEmpty());
    EXPECT_EQ(env.wc->sql->statements.last(),
              "select NT001,NT002 from WARRANT where UPPER(NT001) like '%QLDR05%' order by NT002");
}

TEST(SinglePrint, FormatRowsAreRadioItemsAndTheDefaultIsStoredPerMachine) {
    Env env;
    env.open();
    env.wc->sql->answers << qMakePair(QString("from WARRANT"),
                                      rows({{"QLDR05-01", "标准格式"}, {"QLDR05-03", "O'Neil 格式"}}));
    env.w->FillVoucherFormats(env.w->miVoucherFormats, true);
    QList<QAction*> items = env.w->miVoucherFormats->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_FALSE(items[1]->isChecked());
    DialogService::instance().queueAnswer(mrOk);
    items[1]->trigger();
    EXPECT_TRUE(items[1]->isChecked());
    EXPECT_EQ(env.w->VoucherDefault("QLDR05", "K1"), "O'Neil 格式");
    // Refilling marks the stored default; answering Cancel to clearing keeps it.
    env.w->FillVoucherFormats(env.w->miVoucherFormats, true);
    items = env.w->miVoucherFormats->actions();
    EXPECT_TRUE(items[1]->isChecked());
    DialogService::instance().queueAnswer(mrCancel);
    items[1]->trigger();
    EXPECT_TRUE(items[1]->isChecked());
    EXPECT_EQ(env.w->VoucherDefault("QLDR05", "K1"), "O'Neil 格式");
}

TEST(SinglePrint, RunModeFivePrintsOnceWithoutPreview) {
    Env env;
    env.open();
    env.w->RunMode = 5;
    env.w->AfterShow();
    EXPECT_EQ(env.w->PrintJournal, QStringList({"print"}));
    env.w->miPreviewClick();
    EXPECT_EQ(env.w->PrintJournal, QStringList({"print", "preview"}));
    EXPECT_FALSE(env.w->PrintPreview);
}

TEST(SinglePrint, BatchPrintingPrintsEachSelectedRowThenClearsTheSelection) {
    Env env;
    env.open();
    env.w->gdHead->setMultiSelect(true);
    env.w->gdHead->SetSelected(0, true);
    env.w->gdHead->SetSelected(1, true);
    env.w->miBBPrintClick();
    EXPECT_EQ(env.w->PrintJournal.size(), 2);
    EXPECT_EQ(env.w->gdHead->SelectedCount(), 0);
}

// --- combo requirements ---

TEST(SingleRequired, GbUiAndDataMakeNoComboRequired) {
    Env env;
    env.open();
    EXPECT_FALSE(env.w->RequiredFields().contains("MB002"));
}

// An English interface takes the same rule as a Big5 one (anything but GB on GB data).
TEST(SingleRequired, NonGbUiMakesTheWritableBoundComboRequiredButNotTheUdfCombos) {
    Env env(true, "437");
    env.open();
    EXPECT_EQ(env.w->RequiredFields(), "cdsMain:MB002") << env.w->RequiredFields().toStdString();
    // A combo box that is read-only does not count.
    env.w->SetRequiredFields(QString());
    env.w->cboMB002->setReadOnly(true);
    env.w->AddComboRequirements();
    EXPECT_EQ(env.w->RequiredFields(), "");
}

// --- user-defined fields ---

TEST(SingleUdf, NoUserDefinedFieldBindsNothingAndAsksNoLabels) {
    Env env;
    env.open();
    EXPECT_EQ(env.w->AdmmdLookups(), 0);
    EXPECT_EQ(env.wc->validator->count("QueryData"), 0);
    EXPECT_FALSE(env.w->tbsUDF->TabVisible());
}

TEST(SingleUdf, ABoundFieldTakesItsLabelOnceAndLeavesTheGrid) {
    Env env(true);
    env.wc->validator->checkResult = rows({{"UDF01", "客户等级", "Customer grade"}});
    env.open();
    EXPECT_EQ(env.w->AdmmdLookups(), 1);
    auto* edit = env.w->findChild<TKvBtnDBEdit*>("edUDF01");
    EXPECT_FALSE(edit->isHidden());
    EXPECT_EQ(edit->DataField(), "UDF01");
    EXPECT_EQ(edit->Caption(), "客户等级");
    EXPECT_FALSE(env.cds()->FieldByName("UDF01")->Visible());
    auto* combo = env.w->findChild<TKvDBComboBox*>("cboUDF01");
    EXPECT_EQ(combo->x(), -1000);
    // The page itself stays without a tab until the screen settings show it.
    EXPECT_FALSE(env.w->tbsUDF->TabVisible());
    EXPECT_TRUE(env.w->findChild<TKvBtnDBEdit*>("edUDF02")->isHidden()); // no field UDF02
}

TEST(SingleUdf, HiddenControlsAreFoundTranslatedAndTabbedThroughInTheirPlaceWhenShown) {
    if (qEnvironmentVariableIsEmpty("KVX_SOURCE_DIR")) GTEST_SKIP() << "needs the language packages";
    Env env(true, "437");
    env.wc->validator->checkResult = rows({{"UDF01", "客户等级", "Customer grade"}});
    env.open();
    env.showActive();
    auto* bound = env.w->findChild<TKvBtnDBEdit*>("edUDF01");
    auto* second = env.w->findChild<TKvBtnDBEdit*>("edUDF02");
    auto* column2 = env.w->findChild<TKvBtnDBEdit*>("edUDF51");
    auto* list = env.w->findChild<TKvDBComboBox*>("cboUDF05");
    ASSERT_TRUE(bound && second && column2 && list);
    EXPECT_TRUE(bound->partsBuilt());
    // The unused ones were looked up by name, translated and set up without building anything.
    EXPECT_FALSE(second->partsBuilt());
    EXPECT_FALSE(column2->partsBuilt());
    EXPECT_FALSE(list->partsBuilt());
    EXPECT_EQ(second->Caption(), "User field 2");
    EXPECT_EQ(column2->Caption(), "User field 7");
    EXPECT_EQ(list->Caption(), "User field 5");
    EXPECT_EQ(bound->label()->text(), bound->Caption());

    // The extra rights disable one by name while it is unbuilt; its editor is built disabled.
    env.w->ExtraRights = "edUDF51=N";
    env.w->UpdateCommands();
    EXPECT_FALSE(column2->isEnabled());
    EXPECT_FALSE(column2->partsBuilt());
    env.w->ExtraRights = "edUDF51=Y";
    env.w->UpdateCommands();

    // Shown by the screen settings and by name, they show their translated labels and take the focus in
    // the order they were created in: 01, 02, then the second column.
    TMT_Doc::CreateFromXml(QStringLiteral("<?xml version=\"1.0\"?><MT_User><Components>"
                                          "<Component ID=\"edUDF51\"><DCVisible>Y</DCVisible></Component>"
                                          "</Components></MT_User>"))
        ->ApplyToForm(env.w.get());
    EXPECT_TRUE(column2->partsBuilt());
    EXPECT_TRUE(PropertySetter::set(second, "Visible", "True"));
    EXPECT_EQ(second->label()->text(), "User field 2");
    EXPECT_EQ(column2->label()->text(), "User field 7");
    env.key(Qt::Key_F7); // the edit pages take the focus while editing
    ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
    env.w->tbsUDF->setTabVisible(true);
    env.w->pgHead->setActivePage(env.w->tbsUDF);
    ASSERT_TRUE(second->editor()->isVisible());
    bound->editor()->setFocus();
    env.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), second->editor());
    env.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), column2->editor());
    env.key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), second->editor());
    env.key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), bound->editor());
}

TEST(SingleUdf, AutomaticValuesFollowTheirSourceAndReportTheFirstFailureOnce) {
    Env env(true);
    env.wc->sql->answers << qMakePair(QString("FROM $$ADMTK"), rows({{"UDF01", "R001", "QLDMB.MB005;"},
                                                                     {"MB002", "R002", "QLDMB.MB005;"}}));
    env.wc->sql->udfAnswer = rows({{"computed"}});
    env.open();
    ASSERT_EQ(env.w->UdfRules.size(), 2);
    ASSERT_EQ(env.w->UdfRules[0].sourceFields.value(0).data(), env.cds()->FieldByName("MB005"));
    env.showActive();
    env.key(Qt::Key_F7);
    env.cds()->FieldByName("MB005")->SetAsString("new remark");
    ASSERT_EQ(env.wc->sql->udfCalls.size(), 2);
    EXPECT_EQ(env.wc->sql->udfCalls[0][0].toString(), "R001");
    EXPECT_EQ(env.cds()->FieldByName("UDF01")->AsString(), "computed");
    // MB002 holds one character: the second rule fails and is reported once.
    env.wc->sql->udfThrows = true;
    DialogService::instance().clear();
    env.cds()->FieldByName("MB005")->SetAsString("again");
    EXPECT_EQ(Env::texts().size(), 1) << Env::texts().join('|').toStdString();
}

// --- drill-down links ---

TEST(SingleLinks, SelectorRowsWithBlankMR010FollowNoLink) {
    Env env;
    env.open();
    env.wc->sql->answers << qMakePair(
        QString("FROM ADMMR AS ADMMR"),
        rows({{"01", "MB002", "MB001", "MB001", "INVI02", "MB001", "MB001", "", "", 1},
              {"02", "MB002", "MB001", "MB001", "COPI01", "MA001", "MA001", "", " ", 2}}));
    for (int c = 0; c < env.w->gdHead->columnCount(); ++c)
        if (env.w->gdHead->column(c)->FieldName() == "MB001") env.w->gdHead->setCurrentColumn(c);
    ASSERT_EQ(env.w->gdHead->SelectedField(), "MB001");
    env.w->FollowLink(env.w->gdHead, env.cds());
    EXPECT_TRUE(env.w->LinkJournal.isEmpty());
}

TEST(SingleLinks, CtrlClickOnALinkCellRunsTheLinkedProgramAndOnABlankCellNothing) {
    Env env;
    env.provider.table("pvdMain").rows[1][0] = QString("O'K");
    env.provider.table("pvdMain").rows[0][2] = QString();
    env.wc->sql->answers << qMakePair(QString("MR004,MR005 FROM ADMMR"), rows({{"MB001", "MB005"}}))
                         << qMakePair(
                                QString("FROM ADMMR AS ADMMR"),
                                rows({{"01", "", "MB001", "MB001", "INVI02", "MB001", "MB001", "", "", 1}}));
    env.open();
    env.showActive();
    ASSERT_TRUE(env.w->LinkFields.contains("MB005"));
    QTableView* view = env.w->gdHead->view();
    int colKey = -1, colRemark = -1;
    for (int c = 0; c < env.w->gdHead->columnCount(); ++c) {
        if (env.w->gdHead->column(c)->FieldName() == "MB005") colRemark = c;
        if (env.w->gdHead->column(c)->FieldName() == "MB001") colKey = c;
    }
    ASSERT_GE(colRemark, 0);
    ASSERT_GE(colKey, 0);
    // Row 0's remark is blank: a Ctrl+click there does nothing.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(view->model()->index(0, colRemark)).center());
    EXPECT_TRUE(env.w->LinkJournal.isEmpty());
    // Row 1's key: the condition doubles the apostrophe.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(view->model()->index(1, colKey)).center());
    EXPECT_EQ(env.w->LinkJournal, QStringList({"INVI02|MB001='O''K'"}));
    // Without Ctrl a click only selects.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(1, colKey)).center());
    EXPECT_EQ(env.w->LinkJournal.size(), 1);
}

// --- colour filter ---

TEST(SingleColorFilter, TwoConditionsAreCombinedWithTheCurrentQuery) {
    Env env;
    env.open();
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "MB002='1'", "MB001"));
    env.w->ColorConditions = {{"汇出", "MB002='2'", "255", "", true},
                              {"汇入", "$$QLDMB.MB002='3'", "", "", true}};
    env.w->ApplyColorFilter();
    ASSERT_FALSE(env.provider.requests.isEmpty());
    EXPECT_EQ(env.provider.requests.last().condition,
              "(MB002='1') and ( ( MB002='2' ) or  ( DEMO..QLDMB.MB002='3' ) )");
    EXPECT_EQ(env.w->LastWhere, "MB002='1'");
    EXPECT_EQ(env.server->topRows.size(), 1);
    // A menu click selects only its condition; without a current query it stands alone.
    env.w->LastWhere.clear();
    env.w->ColorMenuClick(0);
    EXPECT_EQ(env.provider.requests.last().condition, " ( MB002='2' ) ");
}

// --- XML import ---

TEST(SingleImport, TwoDataImportChildrenSaveTwoRecords) {
    Env env;
    env.open();
    env.w->KeepOnAdd = true;
    env.w->ImportXml("<dataimport headfields=\"MB001|MB005\" bodyfields=\"\">"
                     "<r><head><row MB001=\"X1\" MB005=\"a\"/></head></r>"
                     "<r><head><row MB001=\"X2\" MB005=\"O'b\"/></head></r></dataimport>");
    EXPECT_TRUE(env.storedKey("X1"));
    EXPECT_TRUE(env.storedKey("X2"));
    EXPECT_FALSE(env.w->KeepOnAdd);
    EXPECT_TRUE(env.w->CloseAfterShow);
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);
}

TEST(SingleImport, AnEmptyTextImportsNothingAndKeepsTheWindow) {
    Env env;
    env.open();
    env.w->ImportXml("  ");
    EXPECT_FALSE(env.w->CloseAfterShow);
    EXPECT_EQ(env.provider.table("pvdMain").rows.size(), 2);
}

// --- delete and attachments ---

TEST(SingleDelete, AttachmentsGoOnlyAfterTheDeleteReachedTheServer) {
    Env env;
    env.provider.table("pvdMain").rows[0][0] = QString("A'1");
    env.open();
    env.cds()->First();
    ASSERT_EQ(env.w->CurrentKeyString(), "A'1");
    DialogService::instance().queueAnswer(mrOk);
    ASSERT_TRUE(env.w->DoDelete(true));
    ASSERT_EQ(env.wc->sql->transactions.size(), 1);
    EXPECT_EQ(
        env.wc->sql->transactions[0],
        " DELETE FROM ATTACH  WHERE Parent = 'QLDI05'        AND CompanyID = 'DEMO'        AND KeyValues = "
        "'A''1' ");

    // A record the server no longer has: the delete fails, the attachments stay.
    env.provider.table("pvdMain").rows.clear();
    DialogService::instance().queueAnswer(mrOk);
    EXPECT_FALSE(env.w->DoDelete(true));
    EXPECT_EQ(env.wc->sql->transactions.size(), 1);
}

// --- colour menu, numbering and rule services ---

TEST(SingleColorMenu, TheGridConditionsBecomeOwnerDrawnItemsThatFilter) {
    Env env;
    env.wc->sql->answers << qMakePair(
        QString("FROM $$ADMNH"),
        rows({{"<colormanager><head><component name=\"gdHead\" enable=\"Y\">"
               "<condition value=\"MB002='2'\" colorx=\"255\" bkcolor=\"x\" msg=\"汇出\"/>"
               "<condition value=\"MB002='1'\" colorx=\"\" bkcolor=\"65535\" msg=\"不处理\"/>"
               "</component><component name=\"edMB005\"><condition value=\"1=1\"/></component></head>"
               "</colormanager>"}}));
    env.open();
    env.w->ColorManage = true;
    env.showActive();
    ASSERT_EQ(env.w->ColorConditions.size(), 2);
    // The colour rules of the definition were created for the window's components.
    ASSERT_NE(env.w->ColorComponents(), nullptr);
    EXPECT_GT(env.w->ColorComponents()->Count(), 0);
    const QList<QAction*> items = env.w->pmColorCondition->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->objectName(), "mnuColor0");
    EXPECT_EQ(items[1]->text(), "不处理");
    EXPECT_TRUE(env.wc->sql->statements.contains("SELECT NH003 FROM $$ADMNH WHERE NH001 = 'QLDI05'"));
    // The grid entry has conditions: the colour query form exists and the button shows.
    EXPECT_NE(env.w->ColorQueryForm(), nullptr);
    EXPECT_TRUE(env.w->btnColorQuery->isVisible());
    items[1]->trigger();
    EXPECT_FALSE(env.w->ColorConditions[0].selected);
    EXPECT_TRUE(env.w->ColorConditions[1].selected);
    EXPECT_EQ(env.provider.requests.last().condition, " ( MB002='1' ) ");
}

namespace {
// Pops the menu up and clicks the item where the user would: on the widget under the item's centre.
void clickMenuItem(QWidget* window, QMenu* menu, QAction* item) {
    menu->popup(window->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QPoint centre = menu->actionGeometry(item).center();
    QWidget* target = menu->childAt(centre) ? menu->childAt(centre) : menu;
    const QPoint at = target->mapFrom(menu, centre);
    QTest::mouseMove(target, at);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
}
} // namespace

TEST(SingleColorFilter, TheColourQueryFormCombinesTwoConditionsWithTheCurrentQuery) {
    Env env;
    env.colourRules();
    env.open();
    env.showActive();
    ASSERT_TRUE(env.w->ColorManage);
    ASSERT_TRUE(env.w->btnColorQuery->isVisible());
    TColorQBEForm* form = env.w->ColorQueryForm();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "MB002='1'", "MB001"));
    env.server->topRows.clear();

    // Check the first and the third rule and press Enter.
    QTimer::singleShot(0, form, [form] {
        ASSERT_EQ(form->RuleBoxes().size(), 3);
        EXPECT_EQ(form->RuleBoxes()[2]->Caption(), "无说明");
        QTest::mouseClick(form->RuleBoxes()[0]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(form->RuleBoxes()[2]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(form, Qt::Key_Return);
    });
    Env::clickButton(env.w->btnColorQuery);
    EXPECT_EQ(env.provider.requests.last().condition,
              "(MB002='1') and ( ( MB002='2' ) or  ( DEMO..QLDMB.MB005='' ) )");
    EXPECT_EQ(env.w->LastWhere, "MB002='1'");
    EXPECT_EQ(env.w->LastOrder, "MB001");
    EXPECT_EQ(env.server->topRows.size(), 1);
    EXPECT_EQ(env.w->pgHead->ActivePage(), env.w->tbsBrowse);
    EXPECT_TRUE(env.w->ColorConditions[0].selected);
    EXPECT_FALSE(env.w->ColorConditions[1].selected);
    EXPECT_TRUE(env.w->ColorConditions[2].selected);

    // The next run shows the chosen rules; Esc changes neither the selection nor the data.
    const int requests = env.provider.requests.size();
    QTimer::singleShot(0, form, [form] {
        EXPECT_TRUE(form->RuleBoxes()[0]->Checked());
        EXPECT_FALSE(form->RuleBoxes()[1]->Checked());
        EXPECT_TRUE(form->RuleBoxes()[2]->Checked());
        QTest::mouseClick(form->RuleBoxes()[1]->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(form, Qt::Key_Escape);
    });
    Env::clickButton(env.w->btnColorQuery);
    EXPECT_EQ(env.provider.requests.size(), requests);
    EXPECT_FALSE(env.w->ColorConditions[1].selected);

    // A click on a menu item filters by that condition alone, still on top of the current query.
    clickMenuItem(env.w.get(), env.w->pmColorCondition, env.w->pmColorCondition->actions()[1]);
    EXPECT_EQ(env.provider.requests.last().condition, "(MB002='1') and ( ( MB002='3' ) )");
    EXPECT_FALSE(env.w->ColorConditions[0].selected);
    EXPECT_TRUE(env.w->ColorConditions[1].selected);
}

TEST(SingleColorFilter, TheMenuDrawsEachRuleInItsColoursAndWorksByKeyboard) {
    Env env;
    env.colourRules();
    env.open();
    env.showActive();
    QMenu* menu = env.w->pmColorCondition;
    ASSERT_EQ(menu->actions().size(), 3);
    menu->popup(env.w->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Down);
    ASSERT_EQ(menu->activeAction(), menu->actions()[1]);
    const QImage image = menu->grab().toImage();
    const auto pixel = [&](int item) {
        const QRect r = menu->actionGeometry(menu->actions()[item]);
        return image.pixelColor(r.left() + 2, r.top() + 2);
    };
    EXPECT_EQ(pixel(0), QColor(255, 255, 0));                        // bkcolor 65535
    EXPECT_EQ(pixel(1), menu->palette().color(QPalette::Highlight)); // the highlighted item
    EXPECT_EQ(pixel(2), menu->palette().color(QPalette::Window));    // no background of its own
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(env.w->ColorConditions[1].selected);
    EXPECT_EQ(env.provider.requests.last().condition, " ( MB002='3' ) ");
}

TEST(SingleColorFilter, SwitchingColourManagementOffInTheFormHidesTheButtonAndDropsTheFilter) {
    Env env;
    env.colourRules();
    env.open();
    env.showActive();
    TColorQBEForm* form = env.w->ColorQueryForm();
    ASSERT_NE(form, nullptr);
    env.w->ColorConditions[0].selected = true;
    ASSERT_TRUE(env.w->OpenMainData(env.cds(), "MB002='1'", ""));
    QTimer::singleShot(0, form, [form] {
        form->pnlHead->show();
        QTest::mouseClick(form->chkColorManage->box(), Qt::LeftButton, {}, QPoint(5, 5));
        // Switching off clears every rule.
        EXPECT_FALSE(form->RuleBoxes()[0]->Checked());
        QTest::mouseClick(form->BBOK, Qt::LeftButton);
    });
    Env::clickButton(env.w->btnColorQuery);
    EXPECT_FALSE(env.w->ColorManage);
    EXPECT_FALSE(env.w->btnColorQuery->isVisible());
    // No rule is left: the data are the current query's.
    EXPECT_EQ(env.provider.requests.last().condition, "MB002='1'");
    // The switch is stored for every program.
    ASSERT_EQ(env.wc->sql->setUserDefines.size(), 1);
    EXPECT_EQ(env.wc->sql->setUserDefines[0].value(2).toString(), "********************");
    EXPECT_EQ(env.wc->sql->setUserDefines[0].value(4).toString(), "False");
}

TEST(SingleColorFilter, WithoutColourRulesThereIsNoButtonAndNoForm) {
    Env env;
    env.wc->sql->userDefines.insert(
        "InputSettings003", "<InputSettings003><IsColorManage>True</IsColorManage></InputSettings003>");
    env.open();
    env.showActive();
    EXPECT_TRUE(env.w->ColorManage);
    EXPECT_EQ(env.w->ColorQueryForm(), nullptr);
    EXPECT_FALSE(env.w->btnColorQuery->isVisible());
    EXPECT_TRUE(env.w->pmColorCondition->actions().isEmpty());
}

TEST(SingleOptions, TheOptionsDialogSetsKeepOnAddAndSwitchesColourManagementOff) {
    Env env;
    env.colourRules();
    env.w->DefaultOptions = true;
    env.open();
    env.showActive();
    ASSERT_TRUE(env.w->btnColorQuery->isVisible());
    env.w->KeepOnAdd = true;
    QTimer::singleShot(0, env.w.get(), [&env] {
        auto* dialog = env.w->findChild<TfrmOptions*>();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
        // The dialog shows the user's settings: keep-on-add by default, colour management as stored.
        EXPECT_TRUE(dialog->chkKeepOnAdd->Checked());
        EXPECT_TRUE(dialog->chkColorManage->Checked());
        QTest::mouseClick(dialog->chkKeepOnAdd->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(dialog->chkColorManage->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    env.w->miOptions->trigger();
    EXPECT_FALSE(env.w->KeepOnAdd);
    EXPECT_FALSE(env.w->ColorManage);
    EXPECT_FALSE(env.w->btnColorQuery->isVisible());
    QStringList paths;
    for (const VariantList& call : env.wc->sql->setUserDefines)
        paths << call.value(3).toString() + "=" + call.value(4).toString();
    EXPECT_TRUE(paths.contains("InputSettings002/IsKeepOnAdd=False")) << paths.join(' ').toStdString();
    EXPECT_TRUE(paths.contains("InputSettings003/IsColorManage=False")) << paths.join(' ').toStdString();

    // Keep-on-add is off: a saved new record returns to Browse.
    ASSERT_TRUE(env.w->DoAdd(true));
    env.cds()->FieldByName("MB001")->SetAsString("K9");
    env.cds()->FieldByName("MB002")->SetAsString("1");
    ASSERT_TRUE(env.w->DoSave());
    EXPECT_EQ(env.w->EditState, TfrmBase::esBrowse);

    // Cancel changes nothing.
    env.w->KeepOnAdd = true;
    QTimer::singleShot(0, env.w.get(), [&env] {
        auto* dialog = env.w->findChild<TfrmOptions*>();
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->chkKeepOnAdd->box(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
    });
    env.w->miOptions->trigger();
    EXPECT_TRUE(env.w->KeepOnAdd);
}

TEST(SingleNumbering, TheNextNumberComesFromTheValidatorOrIsUnknown) {
    Env env;
    env.open();
    env.wc->validator->maxSeq = "0042";
    EXPECT_EQ(env.w->GetNextNumber(), "0042");
    const brokertest::Call* call = env.wc->validator->last("QueryMaxSeq");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[0].toString(), "QLDMB");
    EXPECT_EQ(call->args[3].toString(), QDate::currentDate().toString("yyyyMMdd")); // style 1, no separator
    env.wc->validator->answer = false;
    DialogService::instance().clear();
    EXPECT_EQ(env.w->GetNextNumber(), "unknown");
    EXPECT_TRUE(Env::texts().join('|').contains("E/000033"))
        << DialogService::instance().shown().size() << " " << Env::texts().join('|').toStdString();
}

TEST(SingleServices, ProgramRulesAndLinkedData) {
    Env env;
    env.open();
    env.wc->sql->answers << qMakePair(QString("FROM $$ADMMQ AS ADMMQ"), rows({{"C%03d"}}))
                         << qMakePair(QString("MR005,MR004,MR007"), rows({{"QLDMB", "MB001", "MB005"}}))
                         << qMakePair(QString("SELECT   MB005 FROM  DEMO..QLDMB QLDMB  WHERE MB001='K1'"),
                                      rows({{"remark 1"}}));
    EXPECT_EQ(env.w->GetProgramRule("COPI01", "NUMBER"), QStringList({"0", "C%03d"}));
    env.wc->sql->answers.removeFirst();
    EXPECT_EQ(env.w->GetProgramRule("COPI01", "NUMBER"), QStringList({"N", ""}));
    // Without SYS060 the top rule is not asked.
    const int before = int(env.wc->sql->statements.size());
    EXPECT_EQ(env.w->GetProgramRuleTop("COPI01", "NUMBER"), QStringList({"N", ""}));
    EXPECT_EQ(env.wc->sql->statements.size(), before);
    EXPECT_EQ(env.w->GetLinkedData("QLDI05", "QLDMB", "MB001='K1'", "01", "OTHER"), "MB001,C,remark 1;");
}

// --- screenshots ---

TEST(SingleScreenshots, BrowseAndEditInChineseAndEnglish) {
    if (qEnvironmentVariableIsEmpty("KVX_SOURCE_DIR")) GTEST_SKIP() << "needs the source tree";
    for (const char* lang : {"chs", "eng"}) {
        Env env(true, QString::fromLatin1(lang) == "chs" ? "936" : "437");
        env.colourRules();
        env.open();
        env.showActive();
        ASSERT_TRUE(env.w->btnColorQuery->isVisible());
        env.w->pgHead->setActivePage(env.w->tbsBrowse);
        const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
        QDir().mkpath(dir);
        const QImage browse = env.w->grab().toImage();
        ASSERT_TRUE(browse.save(dir + QStringLiteral("/single-browse-%1.png").arg(lang)));
        // The colour-filter menu, each rule in its own colours.
        env.w->pmColorCondition->popup(
            env.w->btnColorQuery->mapToGlobal(QPoint(0, env.w->btnColorQuery->height())));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(env.w->pmColorCondition));
        ASSERT_TRUE(env.w->pmColorCondition->grab().toImage().save(
            dir + QStringLiteral("/single-colour-menu-%1.png").arg(lang)));
        env.w->pmColorCondition->hide();
        env.key(Qt::Key_F7);
        ASSERT_EQ(env.w->EditState, TfrmBase::esEdit);
        const QImage edit = env.w->grab().toImage();
        ASSERT_TRUE(edit.save(dir + QStringLiteral("/single-edit-%1.png").arg(lang)));
        if (QString::fromLatin1(lang) == "eng")
            EXPECT_EQ(env.w->tbsHead1->Caption(), "Details");
        else
            EXPECT_EQ(env.w->tbsHead1->Caption(), "详细字段");
    }
}

} // namespace
