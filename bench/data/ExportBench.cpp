// Export benchmark: QLDMB rows (the transmission settings table's columns, 13 visible fields) exported
// by TdmSingle through each path, against the peer that writes the same cells with the same number
// formats straight through libxlsxwriter (constant memory) from values extracted beforehand:
//  - ExportToExcel (typed .xlsx through the spreadsheet stand-in), ExportToExcelText (.xlsx of texts),
//    ExportToXlsFile (.xls through the BIFF8 writer);
//  - the peak memory an export adds above the loaded dataset, at 10,000 and 100,000 rows (the dataset
//    itself holds the rows, as the grid shows them; what the export adds must not grow with them).
// Usage: export_bench [rows]   (default 100000)
#include "MemoryProvider.h"
#include "data/SingleCD.h"
#include "platform/DialogService.h"
#include "server/Brokers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <functional>
#include <xlsxwriter.h>

using namespace kvx;

namespace {

// CPU time of the process in ms: the machine is shared, wall time says more about the neighbours.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long procStatusKb(const char* key) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

// Resets the peak resident size to the current one (Linux: clear_refs 5).
void resetPeak() {
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

class BenchWindow : public QWidget, public TBrokerOwner, public TSingleModuleOwner {
public:
    QString workPath;
    QString ClientWorkPath() const override { return workPath; }
    QStringList ControlTypes(TClientDataSet*) const override {
        return {"MB002;CustomEdit;cboMB002", "MB004;CustomEdit;cboMB004"};
    }
    QStringList ComboItems(const QString& name) const override {
        if (name == "cboMB002") return {"1:不处理\t1", "2:汇出\t2", "3.汇入\t3"};
        if (name == "cboMB004") return {"1:基本信息\t1", "2:单据\t2"};
        return {};
    }
};

struct Setup {
    QTemporaryDir dir;
    test::MemoryProvider provider;
    BenchWindow window;
    TBrokers* broker = new TBrokers(&window);
    TdmSingle* dm = new TdmSingle(&window);

    explicit Setup(int rows) {
        qputenv("KVX_REGISTRY", dir.filePath("registry.ini").toUtf8());
        QFile reg(dir.filePath("registry.ini"));
        reg.open(QIODevice::WriteOnly);
        reg.write(
            QStringLiteral("[Classes\\Excel.Application]\nLibrary=%1\nFactory=CreateSpreadsheetApplication\n")
                .arg(QStringLiteral(KVX_SPREADSHEET_LIB))
                .toUtf8());
        reg.close();
        window.workPath = dir.filePath("client/");
        broker->ProgID = "QLDI05";
        broker->UserID = "DS";
        dm->Broker = broker;
        auto& t = provider.table("pvdMain");
        FieldDesc key("MB001", FieldType::String, 20);
        key.inKey = true;
        t.fields = {key,
                    FieldDesc("MB001C", FieldType::String, 60),
                    FieldDesc("MB002", FieldType::String, 1),
                    FieldDesc("MB003", FieldType::String, 255),
                    FieldDesc("MB004", FieldType::String, 1),
                    FieldDesc("MB005", FieldType::String, 255),
                    FieldDesc("COMPANY", FieldType::String, 10),
                    FieldDesc("CREATOR", FieldType::String, 10),
                    FieldDesc("USR_GROUP", FieldType::String, 10),
                    FieldDesc("CREATE_DATE", FieldType::String, 8),
                    FieldDesc("MODIFIER", FieldType::String, 10),
                    FieldDesc("MODI_DATE", FieldType::String, 8),
                    FieldDesc("FLAG", FieldType::Float)};
        for (int i = 1; i <= rows; ++i)
            t.rows << Row{QStringLiteral("K%1").arg(i, 6, 10, QChar('0')),
                          QStringLiteral("KV_%1.XML").arg(i, 6, 10, QChar('0')),
                          QString::number(i % 3 + 1),
                          QStringLiteral("MA001,MA002,MA003"),
                          QString::number(i % 2 + 1),
                          QStringLiteral("传输设置 %1").arg(i),
                          QStringLiteral("DEMO"),
                          QStringLiteral("DS"),
                          QStringLiteral("ADMIN"),
                          QStringLiteral("20261208"),
                          QStringLiteral("DS"),
                          QStringLiteral("20261208"),
                          double(i % 1000)};
        dm->cdsMain->SetRemoteServer(&provider);
        dm->cdsMain->SetPacketRecords(-1);
        dm->cdsMain->Open();
        dm->SetSelectionVisible(false);
    }
};

// The same cells written straight through libxlsxwriter: header texts, combo texts for MB002/MB004,
// texts, and FLAG with the 7-decimal number format, from values extracted before timing.
struct Peer {
    double direct = 0; // walking the dataset and writing each cell straight through libxlsxwriter
    double bare = 0;   // libxlsxwriter alone, from values extracted beforehand
};

Peer peerMs(TdmSingle* dm, TClientDataSet* ds, const QString& file) {
    Peer result;
    const double walkStart = cpuMs();
    QList<TField*> fields;
    for (TField* f : ds->Fields())
        if (f->Visible()) fields << f;
    std::vector<std::vector<QByteArray>> texts;
    std::vector<double> numbers;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        std::vector<QByteArray> row;
        for (TField* f : fields) {
            if (f->DataType() == FieldType::Float) {
                numbers.push_back(f->AsFloat());
            } else {
                QString out = f->DisplayText();
                dm->ComboDisplayText(ds, nullptr, out, out, f->FieldName());
                row.push_back(out.toUtf8());
            }
        }
        texts.push_back(std::move(row));
    }
    const double extraction = cpuMs() - walkStart;
    const double writeStart = cpuMs();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    QByteArray tmp = QFile::encodeName(QDir::tempPath());
    options.tmpdir = tmp.data();
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(QFile::encodeName(file).constData(), &options);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "QLDI05");
    lxw_format* text = workbook_add_format(wb);
    format_set_num_format(text, "@");
    lxw_format* number = workbook_add_format(wb);
    format_set_num_format(number, "#,##0.0000000_ ");
    for (int c = 0; c < fields.size(); ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), fields[c]->DisplayLabel().toUtf8().constData(), text);
    for (size_t r = 0; r < texts.size(); ++r) {
        size_t ti = 0;
        for (int c = 0; c < fields.size(); ++c)
            if (fields[c]->DataType() == FieldType::Float)
                worksheet_write_number(ws, lxw_row_t(r + 1), lxw_col_t(c), numbers[r], number);
            else
                worksheet_write_string(ws, lxw_row_t(r + 1), lxw_col_t(c), texts[r][ti++].constData(), text);
    }
    workbook_close(wb);
    result.bare = cpuMs() - writeStart;
    result.direct = result.bare + extraction;
    return result;
}

struct Measure {
    double ms = 0;
    long peakAddedKb = 0;
};

Measure run(const std::function<void()>& exportFn) {
    resetPeak();
    const long before = procStatusKb("VmRSS:");
    const double start = cpuMs();
    exportFn();
    Measure m;
    m.ms = cpuMs() - start;
    m.peakAddedKb = procStatusKb("VmHWM:") - before;
    return m;
}

} // namespace

// Child run: loads `rows` rows, then prints the peak memory one export adds (KiB).
int memoryRun(int rows, int kind) {
    Setup m(rows);
    TClientDataSet* d = m.dm->cdsMain;
    DialogService::instance().queueAnswer(mrNo);
    const Measure r = run([&] {
        if (kind == 0) m.dm->ExportToExcel(d, &m.window, true);
        if (kind == 1) m.dm->ExportToExcelText(d, &m.window, true);
        if (kind == 2) m.dm->ExportToXlsFile(d, &m.window, true);
    });
    std::printf("%ld\n", r.peakAddedKb);
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KVX_NO_DESKTOP_OPEN", "1");
    QApplication app(argc, argv);
    DialogService::instance().setScripted(true);
    if (argc > 3 && QByteArray(argv[1]) == "--memory")
        return memoryRun(std::atoi(argv[2]), std::atoi(argv[3]));
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;

    Setup s(rows);
    TClientDataSet* ds = s.dm->cdsMain;
    const Peer peers = peerMs(s.dm, ds, s.dir.filePath("peer.xlsx"));
    auto timed = [&](const std::function<void()>& fn) {
        DialogService::instance().queueAnswer(mrNo);
        return run(fn);
    };
    const Measure typed = timed([&] { s.dm->ExportToExcel(ds, &s.window, true); });
    const Measure text = timed([&] { s.dm->ExportToExcelText(ds, &s.window, true); });
    const Measure xls = timed([&] { s.dm->ExportToXlsFile(ds, &s.window, true); });
    const double peer = peers.direct;
    std::printf(
        "export of %d QLDMB rows (13 columns); peer: the dataset walked and the same cells written straight\n"
        "through libxlsxwriter %.0f ms (of which libxlsxwriter alone %.0f ms)\n",
        rows, peers.direct, peers.bare);
    const struct {
        const char* name;
        double ms;
    } lines[] = {{"ExportToExcel", typed.ms}, {"ExportToExcelText", text.ms}, {"ExportToXlsFile", xls.ms}};
    for (const auto& l : lines)
        std::printf("  %-17s %8.0f ms CPU  ratio %.2f (target 1.5); against libxlsxwriter alone %.2f\n",
                    l.name, l.ms, l.ms / peer, l.ms / peers.bare);

    // Peak memory one export adds above its loaded dataset, each in a fresh process.
    std::printf("peak memory added by the export (KiB), 10,000 rows -> 100,000 rows:\n");
    const char* names[3] = {"ExportToExcel", "ExportToExcelText", "ExportToXlsFile"};
    for (int k = 0; k < 3; ++k) {
        long kb[2] = {-1, -1};
        const int sizes[2] = {10000, 100000};
        for (int i = 0; i < 2; ++i) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--memory", QString::number(sizes[i]), QString::number(k)});
            if (child.waitForFinished(600000)) {
                const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split('\n');
                kb[i] = out.isEmpty() ? -1 : out.last().toLong();
            }
        }
        std::printf("  %-17s %8ld -> %8ld\n", names[k], kb[0], kb[1]);
    }
    return 0;
}
