// The three exports of TdmSingle, read back from the files they write: .xlsx through the spreadsheet
// stand-in (unzip + the sheet XML), .xls through the BIFF8 writer (libfreexl).
#include "SingleTestEnv.h"
#include "XlsReader.h"
#include "XlsxReader.h"

#include "data/KnlRadical.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace kvx;
using namespace datatest;

namespace {

Row exportRow(int i, const QString& mode) {
    return {QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0')),
            mode,
            QStringLiteral("备注%1").arg(i),
            i * 1.5,
            0.25,
            QStringLiteral("USD"),
            i,
            QStringLiteral("DEMO"),
            QStringLiteral("DS"),
            QStringLiteral("ADMIN"),
            QStringLiteral("20260101"),
            QString(),
            QString(),
            1.0};
}

struct ExportEnv : SingleEnv {
    kvxtest::ScopedEnv noDesktop{"KVX_NO_DESKTOP_OPEN", "1"};
    ExportEnv() {
        tree.setRegistryValue("Library", KVX_SPREADSHEET_LIB, "Classes\\Excel.Application");
        tree.setRegistryValue("Factory", "CreateSpreadsheetApplication", "Classes\\Excel.Application");
        form.controlTypes = {"MB002;CustomEdit;cboMB002"};
        form.combos["cboMB002"] = {"1:不处理\t1", "2:汇出\t2", "3.汇入\t3"};
    }
    void open(int rows) {
        QList<Row>& r = provider.table("pvdMain").rows;
        for (int i = 1; i <= rows; ++i)
            r << exportRow(i, QString::number(i % 3 + 1));
        dm->cdsMain->Open();
        // Audit columns are not exported.
        for (const char* f :
             {"COMPANY", "CREATOR", "USR_GROUP", "CREATE_DATE", "MODIFIER", "MODI_DATE", "FLAG"})
            field(f)->SetVisible(false);
        field("MB001")->SetDisplayLabel("单据编号");
    }
    QString folder() const { return tree.clientPath() + "c_data/DS"; }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files); }
};

} // namespace

TEST(SingleExportExcel, TypedCellsNumberFormatsAndComboTextsComeBackFromTheWorkbook) {
    ExportEnv env;
    env.open(4);
    env.dm->DecimalRules = QStringList{"2=cdsMain:QTY"};
    env.dm->cdsMain->SetRecNo(3);
    DialogService::instance().queueAnswer(mrNo);
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(env.dm->cdsMain->RecNo(), 3);
    EXPECT_FALSE(env.dm->cdsMain->ControlsDisabled());
    EXPECT_TRUE(env.dm->OLEExcel1.isUnassigned()); // "No": the application was closed

    const QStringList files = env.files();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression("^QLDI05_\\d{14}\\.xlsx$").match(files[0]).hasMatch())
        << files[0].toStdString();
    const QString path = env.folder() + "/" + files[0];
    ASSERT_EQ(SingleEnv::messageCount(), 1);
    EXPECT_EQ(SingleEnv::lastMessage(), "<转出文档: \r" + path + "\r\r是否打开文档?>");

    kvxtest::XlsxReader r(path);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_EQ(r.sheetNames(), QStringList{"QLDI05"});
    // Header: the visible fields' labels in field order, the selection column first (hidden: not here).
    const QStringList header{"单据编号", "MB002", "MB005", "AMT", "QTY", "CUR", "N"};
    for (int c = 0; c < header.size(); ++c) {
        EXPECT_EQ(r.cell(0, 1, c + 1).value, header[c]);
        EXPECT_EQ(r.cell(0, 1, c + 1).numberFormat, "@");
    }
    EXPECT_EQ(r.rowCount(0), 5);
    for (int i = 1; i <= 4; ++i) {
        const int row = i + 1;
        EXPECT_EQ(r.cell(0, row, 1).value, QString("K%1").arg(i, 5, 10, QChar('0')));
        EXPECT_EQ(r.cell(0, row, 1).type, "s");
        const QString mode = QStringList{"1:不处理", "2:汇出", "3.汇入"}[i % 3];
        EXPECT_EQ(r.cell(0, row, 2).value, mode);
        EXPECT_EQ(r.cell(0, row, 3).value, QString("备注%1").arg(i));
        // AMT: no decimal rule, 7 decimals; QTY: rule 2.
        EXPECT_EQ(r.cell(0, row, 4).type, "n");
        EXPECT_EQ(r.cell(0, row, 4).number(), i * 1.5);
        EXPECT_EQ(r.cell(0, row, 4).numberFormat, "#,##0.0000000_ ");
        EXPECT_EQ(r.cell(0, row, 5).number(), 0.25);
        EXPECT_EQ(r.cell(0, row, 5).numberFormat, "#,##0.00_ ");
        EXPECT_EQ(r.cell(0, row, 7).type, "n");
        EXPECT_EQ(r.cell(0, row, 7).number(), i);
        EXPECT_EQ(r.cell(0, row, 7).numberFormat, "0_ ");
    }
    // The progress window counted every row and was closed.
    EXPECT_TRUE(env.form.calls.contains("progress:<查询结果转 Excel 文件进度>"));
    EXPECT_EQ(env.form.steps, 4);
    EXPECT_EQ(env.form.progressMax, 4);
    EXPECT_TRUE(env.form.progressClosed);
}

TEST(SingleExportExcel, YesShowsTheApplicationWithTheSavedWorkbook) {
    ExportEnv env;
    env.open(2);
    DialogService::instance().queueAnswer(mrYes);
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    const std::shared_ptr<Dispatch> app = env.dm->OLEExcel1.toDispatch();
    ASSERT_TRUE(app);
    EXPECT_TRUE(app->getProperty("Visible").toBool());
    EXPECT_EQ(app->getProperty("OpenedDocument").toString(), env.folder() + "/" + env.files().value(0));
}

TEST(SingleExportExcel, WithoutTheFormatFlagOrWithAPercentMaskFloatsAreTexts) {
    ExportEnv env;
    env.open(1);
    env.field("QTY")->SetEditMask(PercentEditMask());
    env.field("QTY")->OnGetText = [](TField* f, QString& t, bool) {
        t = QString::number(f->AsFloat() * 100) + "%";
    };
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, false));
    kvxtest::XlsxReader r(env.folder() + "/" + env.files().value(0));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.cell(0, 2, 4).type, "s");
    EXPECT_EQ(r.cell(0, 2, 4).value, "1.5");
    EXPECT_EQ(r.cell(0, 2, 5).value, "25%");
}

TEST(SingleExportExcel, TheTextExportWritesDisplayedTextsAndItsOwnMessages) {
    ExportEnv env;
    env.open(2);
    env.field("AMT")->SetDisplayFormat("0.00");
    DialogService::instance().queueAnswer(mrNo);
    EXPECT_TRUE(env.dm->ExportToExcelText(env.dm->cdsMain, &env.form, true));
    const QString path = env.folder() + "/" + env.files().value(0);
    EXPECT_EQ(SingleEnv::lastMessage(), "<转出文档: \r" + path + "\r\r是否打开文档?>");
    kvxtest::XlsxReader r(path);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.cell(0, 2, 2).value, "2:汇出");
    EXPECT_EQ(r.cell(0, 2, 4).type, "s");
    EXPECT_EQ(r.cell(0, 2, 4).value, "1.50");
    EXPECT_EQ(r.cell(0, 3, 7).type, "s");
    EXPECT_EQ(r.cell(0, 3, 7).value, "2");
}

TEST(SingleExportExcel, ACellThatCannotBeWrittenSaysErrorInRed) {
    ExportEnv env;
    env.open(2);
    env.field("MB005")->OnGetText = [](TField* f, QString& t, bool) {
        if (f->AsString() == "备注2") throw std::runtime_error("no text");
        t = f->AsString();
    };
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    kvxtest::XlsxReader r(env.folder() + "/" + env.files().value(0));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.cell(0, 2, 3).value, "备注1");
    EXPECT_EQ(r.cell(0, 3, 3).value, "Error!");
    EXPECT_EQ(r.cell(0, 3, 3).fontColor, "FF0000");
    EXPECT_EQ(r.cell(0, 3, 4).number(), 3.0); // the row goes on
}

TEST(SingleExportExcel, ColourRulesBecomeFillsAndFontColoursWhenAskedFor) {
    ExportEnv env;
    env.open(2);
    env.form.cellColors = [&](TField* f, TCellColors& c) {
        if (f->FieldName() != "MB005" || env.field("N")->AsInteger() != 2) return false;
        c.Background = QColor(255, 0, 0);
        c.Font = QColor(0, 0, 255);
        c.Italic = true;
        return true;
    };
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    kvxtest::XlsxReader plain(env.folder() + "/" + env.files().value(0));
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.cell(0, 3, 3).fillColor, ""); // off by default

    env.dm->ExportColors = true;
    QDir(env.folder()).removeRecursively();
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    kvxtest::XlsxReader r(env.folder() + "/" + env.files().value(0));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.cell(0, 2, 3).fillColor, "");
    EXPECT_EQ(r.cell(0, 3, 3).fillColor, "FF0000");
    EXPECT_EQ(r.cell(0, 3, 3).fontColor, "0000FF");
    EXPECT_TRUE(r.cell(0, 3, 3).italic);
    EXPECT_EQ(r.cell(0, 3, 3).value, "备注2");
}

TEST(SingleExportExcel, AnEmptyDatasetExportsNothingAndShowsNothing) {
    ExportEnv env;
    env.open(0);
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    EXPECT_TRUE(env.dm->ExportToExcelText(env.dm->cdsMain, &env.form, true));
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(SingleEnv::messageCount(), 0);
    EXPECT_TRUE(env.form.calls.isEmpty() || !env.form.calls.last().startsWith("progress"));
    EXPECT_FALSE(QDir(env.folder()).exists());
    env.dm->cdsMain->Close();
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(SingleEnv::messageCount(), 0);
}

TEST(SingleExportExcel, WithoutTheApplicationTheExportStopsWithAnErrorBox) {
    ExportEnv env;
    env.tree.setRegistryValue("Library", "/no/such/library.so", "Classes\\Excel.Application");
    env.open(1);
    EXPECT_FALSE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(SingleEnv::lastMessage(), "<创建新的 EXCEL 文件>"); // through the display conversion
    EXPECT_EQ(DialogService::instance().shown().last().type, MsgDlgType::Error);
    EXPECT_TRUE(env.files().isEmpty());
}

TEST(SingleExportExcel, CancelStopsTheExportLeavesNoFileAndSaysSo) {
    ExportEnv env;
    env.open(10);
    env.form.cancelAtStep = 3;
    env.dm->cdsMain->SetRecNo(7);
    EXPECT_FALSE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(env.form.steps, 3);
    EXPECT_TRUE(env.form.progressClosed);
    EXPECT_TRUE(env.files().isEmpty());
    EXPECT_EQ(SingleEnv::lastMessage(), "<转出已取消, 未保存任何文件!>");
    EXPECT_EQ(env.dm->cdsMain->RecNo(), 7);

    env.form.steps = 0;
    env.form.progressClosed = false;
    EXPECT_FALSE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(env.form.steps, 3);
    EXPECT_TRUE(env.form.progressClosed);
    EXPECT_TRUE(env.files().isEmpty());
    EXPECT_TRUE(QDir(env.folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(SingleEnv::lastMessage(), "<转出已取消, 未保存任何文件!>");
    EXPECT_EQ(env.dm->cdsMain->RecNo(), 7);
}

TEST(SingleExportExcel, AFolderThatCannotBeMadeStopsBeforeSaving) {
    ExportEnv env;
    env.open(1);
    env.tree.writeText("client/c_data", "a file where the folder should be");
    EXPECT_FALSE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(SingleEnv::lastMessage(), "<创建目录" + env.folder() + "失败!>");
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    EXPECT_EQ(SingleEnv::lastMessage(), "<创建目录：" + env.folder() + " 失败!>");
}

// --- the .xls file export ------------------------------------------------------------------------------

TEST(SingleExportXls, NumbersTextsAndComboTextsComeBackThroughLibfreexl) {
    ExportEnv env;
    env.open(3);
    DialogService::instance().queueAnswer(mrYes);
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    const QStringList files = env.files();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression("^QLDI05_\\d{14}\\.xls$").match(files[0]).hasMatch());
    const QString path = env.folder() + "/" + files[0];
    EXPECT_EQ(SingleEnv::lastMessage(), "<转出文档: \r" + path + "\r\r是否打开文档?>");
    EXPECT_EQ(env.form.opened, QStringList{path});

    const auto sheets = kvxtest::readXlsWorkbook(path);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, "QLDI05");
    ASSERT_EQ(sheets[0].rows, 4u);
    ASSERT_EQ(sheets[0].columns, 7);
    EXPECT_EQ(sheets[0].cells[0][0].text, "单据编号");
    EXPECT_EQ(sheets[0].cells[0][6].text, "N");
    for (int i = 1; i <= 3; ++i) {
        const auto& row = sheets[0].cells[size_t(i)];
        EXPECT_EQ(row[0].text, QString("K%1").arg(i, 5, 10, QChar('0')));
        EXPECT_EQ(row[1].text, (QStringList{"1:不处理", "2:汇出", "3.汇入"}[i % 3]));
        EXPECT_EQ(row[3].kind, kvxtest::XlsCell::Number);
        EXPECT_EQ(row[3].number, i * 1.5);
        EXPECT_EQ(row[5].text, "USD");
        EXPECT_EQ(row[6].kind, kvxtest::XlsCell::Number);
        EXPECT_EQ(row[6].number, i);
    }
}

TEST(SingleExportXls, SeventyThousandRowsLandOnTwoSheetsWithEveryRow) {
    ExportEnv env;
    env.open(70000);
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    const auto sheets = kvxtest::readXlsWorkbook(env.folder() + "/" + env.files().value(0));
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "QLDI05");
    EXPECT_EQ(sheets[1].name, "QLDI05_2");
    ASSERT_EQ(sheets[0].rows, 65536u);
    ASSERT_EQ(sheets[1].rows, 70000u - 65535u + 1u);
    // Each sheet starts with the header; the rows follow without a gap or a repeat.
    int expected = 1;
    for (const auto& sheet : sheets) {
        EXPECT_EQ(sheet.cells[0][0].text, "单据编号");
        for (size_t r = 1; r < sheet.cells.size(); ++r, ++expected)
            ASSERT_EQ(sheet.cells[r][6].number, expected)
                << "sheet " << sheet.name.toStdString() << " row " << r;
    }
    EXPECT_EQ(expected, 70001);
    EXPECT_EQ(env.form.steps, 70000);
}

// An empty text is a blank cell in both formats: nothing is lost, and readers that refuse a zero-length
// string (libfreexl) still read the workbook.
TEST(SingleExportXls, EmptyTextsAreBlankCellsInBothFormats) {
    ExportEnv env;
    env.open(2);
    env.dm->cdsMain->First();
    env.dm->cdsMain->Edit();
    env.field("MB005")->SetAsString("");
    env.dm->cdsMain->Post();
    EXPECT_TRUE(env.dm->ExportToXlsFile(env.dm->cdsMain, &env.form, true));
    const auto sheets = kvxtest::readXlsWorkbook(env.folder() + "/" + env.files().value(0));
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells[1][2].kind, kvxtest::XlsCell::Null);
    EXPECT_EQ(sheets[0].cells[2][2].text, "备注2");

    QDir(env.folder()).removeRecursively();
    EXPECT_TRUE(env.dm->ExportToExcel(env.dm->cdsMain, &env.form, true));
    kvxtest::XlsxReader r(env.folder() + "/" + env.files().value(0));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.cell(0, 2, 3).type, ""); // no value, at most the text format
    EXPECT_EQ(r.cell(0, 2, 3).value, "");
    EXPECT_EQ(r.cell(0, 3, 3).value, "备注2");
}
