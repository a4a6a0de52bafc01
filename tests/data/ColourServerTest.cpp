// Colour rules and user-defined-field rules against the real application server: the colour dataset of
// QLDMB opened through a data module carries, record by record, the settings of the seeded rules; refused
// conditions in a rule set are left out without stopping the others; the UDF rules are read with the
// rule statement and their server definition computes the value. A grid painted by the seeded rules is
// rendered to docs/images/colour-grid.png.
#include "DataTestEnv.h"
#include "ServerClasses.h"

#include "CounterServer.h"
#include "DaemonProcess.h"
#include "Storage.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "data/libColormanage.h"
#include "data/libUDF.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTableView>

using namespace kvx;
using namespace datatest;

namespace {

const QString kExport = "bkcolor=16771276;colorx=8388608;bold=N;italic=N;";
const QString kImport = "bkcolor=14087638;colorx=25600;bold=N;italic=N;";
const QString kNoRemark = "bkcolor=';colorx=8421504;bold=N;italic=Y;";

// What the seeded rules give a record: the first condition it meets, per component.
struct Expected {
    QString grid, combo, remark;
};
Expected expectedFor(const QString& mode, const QString& remark) {
    Expected e;
    const bool blank = remark.trimmed().isEmpty();
    if (mode == "2") {
        e.grid = kExport;
        e.combo = "bkcolor=16771276;colorx=8388608;bold=Y;italic=N;";
    } else if (mode == "3") {
        e.grid = kImport;
        e.combo = "bkcolor=14087638;colorx=25600;bold=Y;italic=N;";
    } else if (blank) {
        e.grid = kNoRemark;
    }
    if (blank) e.remark = "bkcolor=14745599;colorx=';bold=N;italic=N;";
    return e;
}

struct Client {
    FakeDataForm form;
    TBrokers* broker = new TBrokers(&form);
    TdmBase* dm = new TdmBase(&form);
    Client() {
        broker->ProgID = "QLDI05";
        broker->UserID = "DS";
        broker->CompanyID = "DEMO";
        broker->DBName = "DEMO";
        dm->Broker = broker;
    }
};

class ColourOnServer : public ::testing::TestWithParam<bool> {
protected:
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxtest::DaemonProcess> daemon;
    std::unique_ptr<kvxsrv::Storage> db;

    void SetUp() override {
        DialogService::instance().setScripted(true);
        kvxtest::registerServerClasses(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
    }
    void startServer() {
        if (GetParam()) {
            daemon = std::make_unique<kvxtest::DaemonProcess>();
            ASSERT_TRUE(daemon->start(config.resolveFile()));
        }
        kvxtest::pointClientAtServer(tree, daemon ? daemon->port() : 0);
    }
    QMap<QString, QPair<QString, QString>> storedModesAndRemarks() {
        QMap<QString, QPair<QString, QString>> out;
        QSqlQuery q(db->db());
        EXPECT_TRUE(q.exec("SELECT MB001, MB002, MB005 FROM QLDMB"));
        while (q.next())
            out.insert(q.value(0).toString(), {q.value(1).toString(), q.value(2).toString()});
        return out;
    }
};

} // namespace

TEST_P(ColourOnServer, ColourDatasetCarriesTheSeededRulesRecordByRecord) {
    startServer();
    Client c;
    ASSERT_TRUE(c.dm->ConnectServer());
    TClientDataSet* colour = c.dm->cdsMainColor;
    ASSERT_TRUE(colour->Active());
    colour->FetchAll();
    const auto stored = storedModesAndRemarks();
    ASSERT_EQ(colour->RecordCount(), stored.size());
    ASSERT_NE(colour->FindField("gdHead"), nullptr);
    ASSERT_NE(colour->FindField("cboMB002"), nullptr);
    ASSERT_NE(colour->FindField("edMB005"), nullptr);
    EXPECT_EQ(colour->FindField("edMB001C"), nullptr); // enable="N"

    QMap<QString, int> kinds;
    for (colour->First(); !colour->Eof(); colour->Next()) {
        const QString key = colour->FieldByName("MB001")->AsString();
        ASSERT_TRUE(stored.contains(key)) << key.toStdString();
        const Expected e = expectedFor(stored[key].first, stored[key].second);
        EXPECT_EQ(colour->FieldByName("gdHead")->AsString(), e.grid) << key.toStdString();
        EXPECT_EQ(colour->FieldByName("cboMB002")->AsString(), e.combo) << key.toStdString();
        EXPECT_EQ(colour->FieldByName("edMB005")->AsString(), e.remark) << key.toStdString();
        ++kinds[e.grid];
    }
    // The demo data meets every rule, and some records none.
    EXPECT_GT(kinds.value(kExport), 0);
    EXPECT_GT(kinds.value(kImport), 0);
    EXPECT_GT(kinds.value(kNoRemark), 0);
    EXPECT_GT(kinds.value(QString()), 0);
}

TEST_P(ColourOnServer, RefusedConditionsAreLeftOutAndTheOtherRulesStillApply) {
    // A second company whose rows a rule tries to read.
    db->exec("INSERT INTO KVXMB (MB001, MB002, MB003, MB004) VALUES ('ACME', 'Acme', 'ACME', '936')");
    const int rows = db->scalar("SELECT COUNT(*) FROM QLDMB").toInt();
    const char* hostile[] = {
        "1=1; DELETE FROM QLDMB",                              // a second statement
        "1=1 OR (DELETE FROM QLDMB) IS NULL",                  // a write
        "EXISTS (SELECT 1 FROM KVXMB WHERE MB001 <> 'DEMO')",  // another company's rows
        "(SELECT COUNT(*) FROM KVXMA WHERE MA007 <> '') >= 0", // users' password hashes
        "MB002 = '2') OR (1 = 1",                              // breaks out of its parentheses
        "1=1 -- ",                                             // a comment
        "load_extension('x') IS NULL",                         // a refused function
        "NOSUCHCOLUMN = 1",                                    // does not prepare
        "json('not json') IS NULL",                            // fails on every record when run
    };
    QString xml = "<colormanager><head><component name=\"gdHead\" enable=\"Y\">";
    for (const char* h : hostile) {
        QString v = QString::fromUtf8(h).toHtmlEscaped();
        xml += "<condition value=\"" + v + "\" colorx=\"255\" bkcolor=\"255\" msg=\"x\"/>";
    }
    xml += "<condition value=\"MB002 = '2'\" colorx=\"1\" bkcolor=\"2\" msg=\"export\"/>"
           "</component><component name=\"edMB005\" enable=\"Y\">"
           "<condition value=\"(SELECT MB002 FROM KVXMB LIMIT 1) = 'x'\" colorx=\"255\" bkcolor=\"255\"/>"
           "</component></head></colormanager>";
    db->exec("UPDATE ADMNH SET NH003 = ? WHERE NH001 = 'QLDI05'", {xml});
    startServer();

    Client c;
    ASSERT_TRUE(c.dm->ConnectServer());
    TClientDataSet* colour = c.dm->cdsMainColor;
    ASSERT_TRUE(colour->Active());
    colour->FetchAll();
    const auto stored = storedModesAndRemarks();
    ASSERT_EQ(colour->RecordCount(), rows);
    int exports = 0;
    for (colour->First(); !colour->Eof(); colour->Next()) {
        const QString key = colour->FieldByName("MB001")->AsString();
        const bool isExport = stored[key].first == "2";
        exports += isExport;
        EXPECT_EQ(colour->FieldByName("gdHead")->AsString(),
                  isExport ? "bkcolor=2;colorx=1;bold=N;italic=N;" : "")
            << key.toStdString();
        // A component whose only condition was refused is there, always empty.
        EXPECT_EQ(colour->FieldByName("edMB005")->AsString(), "");
    }
    EXPECT_GT(exports, 0);
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM QLDMB").toInt(), rows);
}

TEST_P(ColourOnServer, SeededRulesColourTheControlsAndPaintTheGrid) {
    startServer();
    Client c;
    ASSERT_TRUE(c.dm->ConnectServer());
    c.dm->cdsMain->FetchAll();
    c.dm->cdsMainColor->FetchAll();
    QWidget& w = c.form;
    w.setObjectName("frmQldi05");
    auto* edMB005 = new TKvDBEdit(&w);
    edMB005->setObjectName("edMB005");
    auto* cboMB002 = new TKvDBComboBox(&w);
    cboMB002->setObjectName("cboMB002");
    auto* gdHead = new TFDBGrid(&w);
    gdHead->setObjectName("gdHead");

    const QString xml = db->scalar("SELECT NH003 FROM ADMNH WHERE NH001 = 'QLDI05'").toString();
    TColorComponents rules(&w, "head", xml);
    rules.KeyFields = c.dm->KeyFields;
    ASSERT_EQ(rules.Count(), 3);
    ASSERT_NE(rules.FindComponentRule("gdHead", ""), nullptr);
    rules.SaveColors();

    TClientDataSet* colour = c.dm->cdsMainColor;
    ASSERT_TRUE(colour->Locate("MB001", Variant("COPTC"))); // an export setting
    rules.ApplyRecordColors(colour);
    EXPECT_EQ(cboMB002->Color(), 16771276);
    EXPECT_EQ(cboMB002->Font()->Color(), 8388608);
    EXPECT_TRUE(cboMB002->Font()->font().bold());
    ASSERT_TRUE(colour->Locate("MB001", Variant("CMSMR"))); // not transmitted, without a remark
    rules.ApplyRecordColors(colour);
    EXPECT_EQ(cboMB002->Color(), colors::clWindow);
    EXPECT_FALSE(cboMB002->Font()->font().bold());
    EXPECT_EQ(edMB005->Color(), 14745599);

    // The browse grid painted cell by cell.
    gdHead->setDataSource(c.dm->dsMain);
    QStringList painted;
    QObject::connect(
        gdHead, &TFDBGrid::CalcCellColors,
        [&](const QString& field, int row, bool, QFont& font, QColor& text, QColor& back) {
            const Variant keys = TColorComponents::KeyValuesAt(c.dm->cdsMain, row, rules.KeyFields);
            if (rules.PaintGridCell(gdHead, field, back, font, text, colour, keys, rules.KeyFields) &&
                field == "MB001")
                painted << keys.toList().value(0).toString() + "=" + back.name();
        });
    for (int i = 0; i < gdHead->Columns()->Count(); ++i)
        if (gdHead->column(i)->Width() < 70) gdHead->column(i)->setWidth(70);
    gdHead->resize(760, 420);
    w.resize(780, 440);
    gdHead->move(10, 10);
    edMB005->hide();
    cboMB002->hide();
    w.show();
    QApplication::processEvents();
    const QImage shot = w.grab().toImage();
    EXPECT_FALSE(painted.isEmpty());
    const int copTc = painted.indexOf(QRegularExpression("^COPTC=.*"));
    ASSERT_GE(copTc, 0) << painted.join(' ').toStdString();
    EXPECT_EQ(painted[copTc], "COPTC=" + toQColor(16771276).name());
    if (!GetParam()) {
        const QString dir = qEnvironmentVariable("KVX_SOURCE_DIR") + "/docs/images";
        QDir().mkpath(dir);
        EXPECT_TRUE(shot.save(dir + "/colour-grid.png"));
    }
}

TEST_P(ColourOnServer, UdfRulesAreReadByTheirFilterAndTheDefinitionComputesTheValue) {
    startServer();
    Client c;
    ASSERT_TRUE(c.dm->ConnectServer());
    auto counter = std::make_shared<kvxsrv::CounterServer>(config);
    c.broker->Counter = Variant(std::shared_ptr<Dispatch>(counter));
    const auto resolve = [&](const QString& name) { return c.dm->cdsMain->FindField(name); };

    TUDFFields withSources;
    withSources.Load(*c.broker, "Y", "Z09", resolve);
    ASSERT_EQ(withSources.Count(), 1);
    const TUDFField* rule = withSources.Items(0);
    EXPECT_EQ(rule->FieldName, "MB005");
    EXPECT_EQ(rule->DefineName, "R003");
    ASSERT_EQ(rule->RelatedFields->Count(), 2);
    EXPECT_EQ(rule->RelatedFields->Items(0)->FieldName, "QLDMB.MB002");
    EXPECT_EQ(rule->RelatedFields->Items(0)->Field, c.dm->cdsMain->FieldByName("MB002"));
    EXPECT_EQ(rule->RelatedFields->Items(1)->Field, c.dm->cdsMain->FieldByName("MB004"));
    EXPECT_EQ(withSources.RulesOf(c.dm->cdsMain->FieldByName("MB004")).value(0), rule);
    EXPECT_TRUE(withSources.RulesOf(c.dm->cdsMain->FieldByName("MB001")).isEmpty());

    TUDFFields without, all;
    without.Load(*c.broker, "N", "Z09", resolve);
    ASSERT_EQ(without.Count(), 1);
    EXPECT_EQ(without.Items(0)->RelatedFields->Count(), 0);
    all.Load(*c.broker, "", "Z09", resolve);
    EXPECT_EQ(all.Count(), 2); // the disabled line is never read
    TUDFFields otherKind;
    otherKind.Load(*c.broker, "Y", "Z01", resolve); // the kind windows apply automatically
    EXPECT_EQ(otherKind.Count(), 0);

    // The definition the rule names: mode and category, in the order of the related fields.
    const Variant answer = c.broker->CallCounter(
        "QueryUDFData",
        Variant::fromList({rule->DefineName, "", "DEMO", "N", Variant::fromList({"2", "1"})}));
    ASSERT_TRUE(answer.isArray());
    EXPECT_EQ(answer.toList().value(0).toList().value(0).toString(), "汇出·基本信息");
}

INSTANTIATE_TEST_SUITE_P(InProcessAndLoopback, ColourOnServer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return i.param ? "Loopback" : "InProcess";
                         });
