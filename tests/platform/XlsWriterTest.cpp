// XlsWriter read back through libfreexl, an independent reader of BIFF8 workbooks.
#include "platform/XlsWriter.h"
#include "XlsReader.h"

#include <freexl.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <vector>

#include <sys/resource.h>

using kvx::XlsWriteError;
using kvx::XlsWriter;

namespace {

using Cell = kvxtest::XlsCell;
using Sheet = kvxtest::XlsSheet;

std::vector<Sheet> readWorkbook(const QString& path) {
    return kvxtest::readXlsWorkbook(path);
}

class XlsWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

TEST_F(XlsWriterTest, CellsComeBackWithTheirTypes) {
    const QString file = path(QStringLiteral("mixed.xls"));
    const QString chinese = QStringLiteral("文档传输设置作业：汇出");
    const QString longText = QString(5000, QChar(u'汉')) + QStringLiteral("end"); // crosses SST records
    {
        XlsWriter w(file, QStringLiteral("QLDI05"));
        EXPECT_EQ(w.addRow(), 0);
        w.writeText(0, QStringLiteral("代号"));
        w.writeText(1, QStringLiteral("Amount"));
        w.writeText(2, QString());
        EXPECT_EQ(w.addRow(), 1);
        w.writeNumber(0, 42);
        w.writeNumber(1, -1234.5678);
        w.writeText(2, chinese);
        EXPECT_EQ(w.addRow(), 2);
        w.writeNumber(1, 1e-300); // column 0 left empty
        w.writeText(3, longText);
        w.close();
    }
    const auto sheets = readWorkbook(file);
    ASSERT_EQ(sheets.size(), 1u);
    const Sheet& s = sheets[0];
    EXPECT_EQ(s.name, QStringLiteral("QLDI05"));
    ASSERT_EQ(s.rows, 3u);
    ASSERT_EQ(s.columns, 4);
    EXPECT_EQ(s.cells[0][0].kind, Cell::Text);
    EXPECT_EQ(s.cells[0][0].text, QStringLiteral("代号"));
    EXPECT_EQ(s.cells[0][1].text, QStringLiteral("Amount"));
    EXPECT_EQ(s.cells[0][2].kind, Cell::Null); // empty text: a blank cell, and the rest still reads
    EXPECT_EQ(s.cells[0][3].kind, Cell::Null);
    EXPECT_EQ(s.cells[1][0].kind, Cell::Number);
    EXPECT_EQ(s.cells[1][0].number, 42.0);
    EXPECT_EQ(s.cells[1][1].number, -1234.5678);
    EXPECT_EQ(s.cells[1][2].kind, Cell::Text);
    EXPECT_EQ(s.cells[1][2].text, chinese);
    EXPECT_EQ(s.cells[2][0].kind, Cell::Null);
    EXPECT_EQ(s.cells[2][1].number, 1e-300);
    EXPECT_EQ(s.cells[2][3].text.size(), longText.size());
    EXPECT_TRUE(s.cells[2][3].text == longText) << s.cells[2][3].text.right(20).toStdString();

    // The container is recognised as a compound document.
    QProcess fileCmd;
    fileCmd.start(QStringLiteral("file"), {QStringLiteral("-b"), file});
    ASSERT_TRUE(fileCmd.waitForFinished());
    const QByteArray magic = fileCmd.readAllStandardOutput();
    EXPECT_TRUE(magic.contains("CDFV2") || magic.contains("Composite Document File")) << magic.toStdString();
}

// libfreexl reads a string continued over one CONTINUE record but misreads one spread over three
// records or more (about 8,200 characters and up). xlrd (Debian python3-xlrd) reads the same file
// correctly, which shows the records are right; it checks them here.
TEST_F(XlsWriterTest, StringsOverSeveralContinueRecordsReadBackWithXlrd) {
    const QString file = path(QStringLiteral("long.xls"));
    const QString wide = QString(20000, QChar(u'汉')) + QStringLiteral("end");
    QString narrow;
    for (int i = 0; i < 9000; ++i)
        narrow += QChar('a' + i % 26);
    {
        XlsWriter w(file, QStringLiteral("S"));
        w.addRow();
        w.writeText(0, QStringLiteral("before"));
        w.writeText(1, wide);
        w.writeText(2, narrow);
        w.writeText(3, QStringLiteral("after"));
        w.close();
    }
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import sys, xlrd, hashlib\n"
                             "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                             "for c in range(4):\n"
                             "    v = s.cell_value(0, c)\n"
                             "    print(len(v), hashlib.md5(v.encode('utf-8')).hexdigest())\n"),
              file});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    auto expected = [](const QString& t) {
        return QString::number(t.size()) + ' ' +
               QString::fromLatin1(QCryptographicHash::hash(t.toUtf8(), QCryptographicHash::Md5).toHex());
    };
    EXPECT_EQ(lines, (QStringList{expected(QStringLiteral("before")), expected(wide), expected(narrow),
                                  expected(QStringLiteral("after"))}));
}

TEST_F(XlsWriterTest, FullSheetContinuesOnNumberedSheetsWithEveryRow) {
    const QString file = path(QStringLiteral("big.xls"));
    const int total = 70000;
    {
        XlsWriter w(file, QStringLiteral("QLDMB"));
        int restarts = 0;
        for (int i = 0; i < total; ++i) {
            if (w.addRow() == 0) ++restarts;
            w.writeNumber(0, i);
            w.writeText(1, QStringLiteral("行%1").arg(i));
        }
        EXPECT_EQ(restarts, 2);
        EXPECT_EQ(w.sheetCount(), 2);
        EXPECT_EQ(w.totalRows(), total);
        w.close();
    }
    const auto sheets = readWorkbook(file);
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, QStringLiteral("QLDMB"));
    EXPECT_EQ(sheets[1].name, QStringLiteral("QLDMB_2"));
    EXPECT_EQ(sheets[0].rows, unsigned(XlsWriter::kMaxRowsPerSheet));
    EXPECT_EQ(sheets[1].rows, unsigned(total - XlsWriter::kMaxRowsPerSheet));
    int expected = 0;
    for (const Sheet& s : sheets)
        for (const auto& row : s.cells) {
            ASSERT_EQ(row.size(), 2u);
            ASSERT_EQ(row[0].kind, Cell::Number) << expected;
            ASSERT_EQ(row[0].number, double(expected));
            ASSERT_EQ(row[1].text, QStringLiteral("行%1").arg(expected));
            ++expected;
        }
    EXPECT_EQ(expected, total);
}

TEST_F(XlsWriterTest, SheetNamesAreCleanedAndKeptShort) {
    const QString file = path(QStringLiteral("names.xls"));
    XlsWriter w(file, QStringLiteral("a/b:c*[d]?\\一二三四五六七八九十一二三四五六七八九十"));
    EXPECT_EQ(w.sheetName(0), QStringLiteral("a_b_c__d___一二三四五六七八九十一二三四五六七八九十").left(31));
    EXPECT_EQ(w.sheetName(11).size(), 31);
    EXPECT_TRUE(w.sheetName(11).endsWith(QStringLiteral("_12")));
    w.close(); // nothing written: one empty sheet
    const auto sheets = readWorkbook(file);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, w.sheetName(0));
    EXPECT_EQ(sheets[0].rows, 0u);
}

TEST_F(XlsWriterTest, FailuresAreTypedAndLeaveNoFile) {
    // A folder that does not exist.
    const QString missing = path(QStringLiteral("no/such/folder/x.xls"));
    try {
        XlsWriter w(missing, QStringLiteral("S"));
        FAIL() << "no error for an unwritable path";
    } catch (const XlsWriteError& e) {
        EXPECT_TRUE(e.text().contains(missing)) << e.text().toStdString();
    }
    EXPECT_FALSE(QFile::exists(missing));

    // Misuse is refused, and a writer dropped without close() or after a failure leaves nothing.
    const QString file = path(QStringLiteral("dropped.xls"));
    {
        XlsWriter w(file, QStringLiteral("S"));
        EXPECT_THROW(w.writeNumber(0, 1), XlsWriteError); // before the first row
        w.addRow();
        EXPECT_THROW(w.writeText(XlsWriter::kMaxColumns, QStringLiteral("x")), XlsWriteError);
        EXPECT_THROW(w.writeNumber(-1, 1), XlsWriteError);
        w.writeNumber(0, 1);
    }
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // A full disk: the file-size limit makes every write past 256 KiB fail.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString full = path(QStringLiteral("full.xls"));
    bool failed = false;
    try {
        XlsWriter w(full, QStringLiteral("S"));
        for (int i = 0; i < 100000; ++i) {
            w.addRow();
            w.writeNumber(0, i);
        }
        w.close();
    } catch (const XlsWriteError& e) {
        failed = true;
        EXPECT_FALSE(e.text().isEmpty());
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed) << "a failed write was reported as success";
    EXPECT_FALSE(QFile::exists(full));
}
