#include "XlsWriter.h"

#include "Logging.h"

#include <QByteArray>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kvx {

namespace {

// Record types of the workbook stream.
constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kWindow1 = 0x003D;
constexpr quint16 kFont = 0x0031;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kStyle = 0x0293;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kWindow2 = 0x023E;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kBlank = 0x0201;

constexpr int kMaxRecordBody = 8224;
constexpr quint16 kCellXf = 15; // the first cell XF after the 15 style XFs
constexpr qint64 kFlushSize = 1 << 16;

// Compound-file constants.
constexpr int kSector = 512;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSect = 0xFFFFFFFF;
constexpr quint32 kFatSect = 0xFFFFFFFD;
constexpr quint32 kDifSect = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr int kHeaderDifat = 109;
constexpr qint64 kMiniStreamCutoff = 4096;

void put16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void put32(QByteArray& b, quint32 v) {
    put16(b, quint16(v & 0xFFFF));
    put16(b, quint16(v >> 16));
}

void putDouble(QByteArray& b, double v) {
    quint64 bits = 0;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof v);
    put32(b, quint32(bits & 0xFFFFFFFFu));
    put32(b, quint32(bits >> 32));
}

void putUtf16(QByteArray& b, const QString& s) {
    for (QChar c : s)
        put16(b, c.unicode());
}

void patch32(QByteArray& b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

void record(QByteArray& b, quint16 type, const QByteArray& body) {
    put16(b, type);
    put16(b, quint16(body.size()));
    b.append(body);
}

// A ShortXLUnicodeString stored as UTF-16.
QByteArray shortString(const QString& s) {
    QByteArray b;
    b.append(char(s.size()));
    b.append(char(0x01));
    putUtf16(b, s);
    return b;
}

QString cleanSheetName(const QString& base) {
    QString name;
    for (QChar c : base)
        name += QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20 ? QChar(u'_') : c;
    name = name.trimmed();
    if (name.startsWith(u'\'')) name[0] = u'_';
    return name.isEmpty() ? QStringLiteral("Sheet") : name;
}

// A temporary file written through a memory buffer.
class Spool {
public:
    bool open() {
        if (!file_.open()) return false;
        return true;
    }
    void append(const QByteArray& bytes) {
        buffer_.append(bytes);
        if (buffer_.size() >= kFlushSize) flush();
    }
    void flush() {
        if (buffer_.isEmpty()) return;
        if (file_.write(buffer_) != buffer_.size())
            throw XlsWriteError(QStringLiteral("Cannot write the temporary file %1: %2")
                                    .arg(file_.fileName(), file_.errorString()));
        buffer_.clear();
    }
    qint64 size() const { return file_.size() + buffer_.size(); }
    // Overwrites bytes already written (flushes first).
    void patch(qint64 at, const QByteArray& bytes) {
        flush();
        const qint64 end = file_.pos();
        if (!file_.seek(at) || file_.write(bytes) != bytes.size() || !file_.seek(end))
            throw XlsWriteError(QStringLiteral("Cannot write the temporary file %1: %2")
                                    .arg(file_.fileName(), file_.errorString()));
    }
    // Copies the whole content to out.
    void copyTo(QIODevice& out, const QString& target) {
        flush();
        if (!file_.seek(0))
            throw XlsWriteError(QStringLiteral("Cannot read the temporary file %1").arg(file_.fileName()));
        QByteArray chunk;
        while (!file_.atEnd()) {
            chunk = file_.read(kFlushSize);
            if (chunk.isEmpty())
                throw XlsWriteError(
                    QStringLiteral("Cannot read the temporary file %1").arg(file_.fileName()));
            if (out.write(chunk) != chunk.size())
                throw XlsWriteError(QStringLiteral("Cannot write %1: %2").arg(target, out.errorString()));
        }
    }

private:
    QTemporaryFile file_;
    QByteArray buffer_;
};

} // namespace

struct XlsWriter::Impl {
    QString fileName;
    QString baseName;
    std::unique_ptr<QSaveFile> out;
    Spool cells; // the worksheet substreams, one after the other
    Spool sst;   // the shared-string table records
    bool finished = false;

    struct Sheet {
        QString name;
        qint64 offset = 0; // of its BOF within `cells`
        qint64 dimensionsAt = 0;
        int rows = 0;
        int lastColumn = -1;
    };
    std::vector<Sheet> sheets;
    qint64 totalRows = 0;

    // Shared strings: the record being filled and the counters.
    QByteArray sstRecord;
    quint32 stringCount = 0;

    QString sheetNameFor(int index) const {
        if (index == 0) return baseName.left(31);
        const QString suffix = QStringLiteral("_%1").arg(index + 1);
        return baseName.left(31 - suffix.size()) + suffix;
    }

    void startSheet() {
        Sheet s;
        s.name = sheetNameFor(int(sheets.size()));
        s.offset = cells.size();
        QByteArray b;
        QByteArray bof;
        put16(bof, 0x0600);
        put16(bof, 0x0010); // worksheet
        put16(bof, 0x0DBB);
        put16(bof, 0x07CC);
        put32(bof, 0);
        put32(bof, 0x06);
        record(b, kBof, bof);
        s.dimensionsAt = s.offset + b.size() + 4;
        record(b, kDimensions, QByteArray(14, '\0'));
        QByteArray w2;
        put16(w2, sheets.empty() ? 0x06B6 : 0x00B6);
        put16(w2, 0);
        put16(w2, 0);
        put16(w2, 0x0040);
        put16(w2, 0);
        put16(w2, 0);
        put16(w2, 0);
        put16(w2, 0);
        put16(w2, 0);
        record(b, kWindow2, w2);
        cells.append(b);
        sheets.push_back(s);
    }

    void finishSheet() {
        Sheet& s = sheets.back();
        QByteArray dim;
        put32(dim, 0);
        put32(dim, quint32(s.rows));
        put16(dim, 0);
        put16(dim, quint16(s.lastColumn + 1));
        put16(dim, 0);
        cells.patch(s.dimensionsAt, dim);
        QByteArray eof;
        record(eof, kEof, {});
        cells.append(eof);
    }

    void checkCell(int column) const {
        if (finished) throw XlsWriteError(QStringLiteral("%1: the workbook is already closed").arg(fileName));
        if (sheets.empty())
            throw XlsWriteError(QStringLiteral("%1: a cell was written before the first row").arg(fileName));
        if (column < 0 || column >= kMaxColumns)
            throw XlsWriteError(QStringLiteral("%1: column %2 lies outside the sheet (at most %3 columns)")
                                    .arg(fileName)
                                    .arg(column + 1)
                                    .arg(kMaxColumns));
    }

    QByteArray cellHead(int column) {
        Sheet& s = sheets.back();
        if (column > s.lastColumn) s.lastColumn = column;
        QByteArray b;
        put16(b, quint16(s.rows - 1));
        put16(b, quint16(column));
        put16(b, kCellXf);
        return b;
    }

    void flushSstRecord() {
        QByteArray b;
        record(b, sst.size() == 0 ? kSst : kContinue, sstRecord);
        sst.append(b);
        sstRecord.clear();
    }

    // Appends one string to the table; a string crossing a record boundary continues in a
    // CONTINUE record that starts with the option flags again.
    quint32 addString(const QString& text) {
        if (sst.size() == 0 && sstRecord.isEmpty())
            sstRecord = QByteArray(8, '\0');       // total and unique counts, set at close
        if (kMaxRecordBody - sstRecord.size() < 5) // header plus one character
            flushSstRecord();
        put16(sstRecord, quint16(text.size()));
        sstRecord.append(char(0x01));
        qsizetype at = 0;
        while (at < text.size()) {
            const qsizetype room = (kMaxRecordBody - sstRecord.size()) / 2;
            if (room == 0) {
                flushSstRecord();
                sstRecord.append(char(0x01));
                continue;
            }
            const qsizetype n = std::min(room, text.size() - at);
            putUtf16(sstRecord, text.mid(at, n));
            at += n;
        }
        return stringCount++;
    }

    QByteArray globals(qint64 sstSize) const {
        QByteArray b;
        QByteArray bof;
        put16(bof, 0x0600);
        put16(bof, 0x0005); // workbook globals
        put16(bof, 0x0DBB);
        put16(bof, 0x07CC);
        put32(bof, 0);
        put32(bof, 0x06);
        record(b, kBof, bof);
        QByteArray cp;
        put16(cp, 1200); // UTF-16
        record(b, kCodePage, cp);
        QByteArray w1;
        for (quint16 v : {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258})
            put16(w1, v);
        record(b, kWindow1, w1);
        // Four identical fonts (index 4 does not exist in BIFF, so five records give 0-3 and 5).
        for (int i = 0; i < 5; ++i) {
            QByteArray f;
            for (quint16 v : {200, 0, 0x7FFF, 400, 0})
                put16(f, v);
            f.append(QByteArray(4, '\0'));
            f.append(shortString(QStringLiteral("Arial")));
            record(b, kFont, f);
        }
        // 15 style XFs, then the cell XF every cell uses.
        for (int i = 0; i < 16; ++i) {
            const bool style = i < 15;
            QByteArray xf;
            put16(xf, 0);                           // font
            put16(xf, 0);                           // General
            put16(xf, style ? 0xFFF5 : 0x0001);     // style/parent, locked
            xf.append(char(0x20));                  // bottom aligned
            xf.append(char(0));                     // rotation
            xf.append(char(0));                     // indent
            xf.append(char(style && i ? 0xF4 : 0)); // attributes taken from the parent
            put32(xf, 0);                           // borders
            put32(xf, 0);
            put16(xf, 0x20C0); // pattern colours: system foreground / background
            record(b, kXf, xf);
        }
        QByteArray style;
        put16(style, 0x8000); // built-in, XF 0
        style.append(char(0));
        style.append(char(char(0xFF)));
        record(b, kStyle, style);
        std::vector<qsizetype> offsetAt;
        for (const Sheet& s : sheets) {
            QByteArray bs;
            put32(bs, 0); // patched below
            bs.append(char(0));
            bs.append(char(0));
            bs.append(shortString(s.name));
            offsetAt.push_back(b.size() + 4);
            record(b, kBoundSheet, bs);
        }
        const qint64 sheetsStart = b.size() + sstSize + 4; // globals, table, EOF
        for (size_t i = 0; i < sheets.size(); ++i)
            patch32(b, offsetAt[i], quint32(sheetsStart + sheets[i].offset));
        return b;
    }

    void fail() {
        if (out) out->cancelWriting();
        out.reset();
        finished = true;
    }

    void writeContainer(const QByteArray& head, qint64 streamSize) {
        QIODevice& dev = *out;
        auto write = [&](const QByteArray& b) {
            if (dev.write(b) != b.size())
                throw XlsWriteError(QStringLiteral("Cannot write %1: %2").arg(fileName, out->errorString()));
        };
        const qint64 nStream = (std::max(streamSize, kMiniStreamCutoff) + kSector - 1) / kSector;
        qint64 nFat = 0;
        qint64 nDifat = 0;
        for (;;) {
            const qint64 total = nStream + 1 + nFat + nDifat;
            const qint64 needFat = (total + 127) / 128;
            const qint64 needDifat = needFat > kHeaderDifat ? (needFat - kHeaderDifat + 126) / 127 : 0;
            if (needFat == nFat && needDifat == nDifat) break;
            nFat = needFat;
            nDifat = needDifat;
        }
        const quint32 dirSector = quint32(nStream);
        const quint32 fatStart = dirSector + 1;
        const quint32 difatStart = fatStart + quint32(nFat);

        QByteArray h;
        h.append(QByteArray::fromHex("D0CF11E0A1B11AE1"));
        h.append(QByteArray(16, '\0'));
        put16(h, 0x003E);
        put16(h, 0x0003);
        put16(h, 0xFFFE);
        put16(h, 9);
        put16(h, 6);
        h.append(QByteArray(6, '\0'));
        put32(h, 0); // directory sectors (version 3)
        put32(h, quint32(nFat));
        put32(h, dirSector);
        put32(h, 0);
        put32(h, quint32(kMiniStreamCutoff));
        put32(h, kEndOfChain); // no mini FAT
        put32(h, 0);
        put32(h, nDifat ? difatStart : kEndOfChain);
        put32(h, quint32(nDifat));
        for (int i = 0; i < kHeaderDifat; ++i)
            put32(h, i < nFat ? fatStart + quint32(i) : kFreeSect);
        write(h);

        // The workbook stream, padded to whole sectors (and to the mini-stream cutoff).
        write(head);
        sst.copyTo(dev, fileName);
        QByteArray eof;
        record(eof, kEof, {});
        write(eof);
        cells.copyTo(dev, fileName);
        write(QByteArray(nStream * kSector - streamSize, '\0'));

        // Directory: root, "Workbook", two empty entries.
        auto entry = [&](const QString& name, quint8 type, quint32 child, quint32 start, quint32 size) {
            QByteArray e;
            putUtf16(e, name);
            e.append(QByteArray(64 - e.size(), '\0'));
            put16(e, name.isEmpty() ? 0 : quint16((name.size() + 1) * 2));
            e.append(char(type));
            e.append(char(type ? 1 : 0)); // black
            put32(e, kNoStream);
            put32(e, kNoStream);
            put32(e, child);
            e.append(QByteArray(16 + 4 + 16, '\0')); // class, state, times
            put32(e, start);
            put32(e, size);
            put32(e, 0);
            return e;
        };
        QByteArray dir;
        dir.append(entry(QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0));
        dir.append(entry(QStringLiteral("Workbook"), 2, kNoStream, 0,
                         quint32(std::max(streamSize, kMiniStreamCutoff))));
        dir.append(entry(QString(), 0, kNoStream, 0, 0));
        dir.append(entry(QString(), 0, kNoStream, 0, 0));
        write(dir);

        // FAT, written sector by sector.
        const qint64 total = nStream + 1 + nFat + nDifat;
        QByteArray fat;
        for (qint64 i = 0; i < nFat * 128; ++i) {
            quint32 v = kFreeSect;
            if (i < nStream - 1)
                v = quint32(i + 1);
            else if (i == nStream - 1 || i == dirSector)
                v = kEndOfChain;
            else if (i >= fatStart && i < difatStart)
                v = kFatSect;
            else if (i >= difatStart && i < total)
                v = kDifSect;
            put32(fat, v);
            if (fat.size() == kSector) {
                write(fat);
                fat.clear();
            }
        }
        // DIFAT sectors: 127 FAT locations and the next DIFAT sector each.
        for (qint64 k = 0; k < nDifat; ++k) {
            QByteArray s;
            for (qint64 j = 0; j < 127; ++j) {
                const qint64 fatIndex = kHeaderDifat + k * 127 + j;
                put32(s, fatIndex < nFat ? fatStart + quint32(fatIndex) : kFreeSect);
            }
            put32(s, k + 1 < nDifat ? difatStart + quint32(k + 1) : kEndOfChain);
            write(s);
        }
    }
};

XlsWriter::XlsWriter(const QString& fileName, const QString& sheetBaseName) : d_(std::make_unique<Impl>()) {
    d_->fileName = fileName;
    d_->baseName = cleanSheetName(sheetBaseName);
    d_->out = std::make_unique<QSaveFile>(fileName);
    if (!d_->out->open(QIODevice::WriteOnly)) {
        const QString why = d_->out->errorString();
        d_->fail();
        throw XlsWriteError(QStringLiteral("Cannot create %1: %2").arg(fileName, why));
    }
    if (!d_->cells.open() || !d_->sst.open()) {
        d_->fail();
        throw XlsWriteError(QStringLiteral("Cannot create a temporary file for %1").arg(fileName));
    }
}

XlsWriter::~XlsWriter() {
    if (!d_->finished) discard();
}

int XlsWriter::addRow() {
    if (d_->finished)
        throw XlsWriteError(QStringLiteral("%1: the workbook is already closed").arg(d_->fileName));
    auto failed = qScopeGuard([this] { d_->fail(); }); // a failed write discards the workbook
    if (d_->sheets.empty()) {
        d_->startSheet();
    } else if (d_->sheets.back().rows == kMaxRowsPerSheet) {
        d_->finishSheet();
        d_->startSheet();
    }
    failed.dismiss();
    ++d_->totalRows;
    return d_->sheets.back().rows++;
}

void XlsWriter::writeNumber(int column, double value) {
    d_->checkCell(column);
    QByteArray b = d_->cellHead(column);
    putDouble(b, value);
    QByteArray rec;
    record(rec, kNumber, b);
    auto failed = qScopeGuard([this] { d_->fail(); }); // a failed write discards the workbook
    d_->cells.append(rec);
    failed.dismiss();
}

void XlsWriter::writeText(int column, const QString& text) {
    d_->checkCell(column);
    // Excel keeps at most 32,767 characters in a cell.
    const QString kept = text.left(32767);
    if (kept.size() < text.size())
        qCWarning(lcPlatform) << "xls: text of" << text.size() << "characters cut to 32767 in"
                              << d_->fileName;
    QByteArray b = d_->cellHead(column);
    auto failed = qScopeGuard([this] { d_->fail(); }); // a failed write discards the workbook
    QByteArray rec;
    if (kept.isEmpty()) {
        // A zero-length string makes some readers (libfreexl) drop the whole workbook;
        // an empty text is written as a blank cell instead.
        record(rec, kBlank, b);
    } else {
        put32(b, d_->addString(kept));
        record(rec, kLabelSst, b);
    }
    d_->cells.append(rec);
    failed.dismiss();
}

void XlsWriter::close() {
    if (d_->finished)
        throw XlsWriteError(QStringLiteral("%1: the workbook is already closed").arg(d_->fileName));
    auto failed = qScopeGuard([this] { d_->fail(); }); // a failed write discards the workbook
    if (d_->sheets.empty()) d_->startSheet();          // a workbook holds at least one sheet
    d_->finishSheet();
    if (d_->sst.size() == 0 && d_->sstRecord.isEmpty()) d_->sstRecord = QByteArray(8, '\0');
    d_->flushSstRecord();
    QByteArray counts;
    put32(counts, d_->stringCount);
    put32(counts, d_->stringCount);
    d_->sst.patch(4, counts);
    const QByteArray head = d_->globals(d_->sst.size());
    const qint64 streamSize = head.size() + d_->sst.size() + 4 + d_->cells.size();
    if (streamSize > 0x7FFFFFFFLL)
        throw XlsWriteError(QStringLiteral("%1: the workbook would exceed 2 GB").arg(d_->fileName));
    d_->writeContainer(head, streamSize);
    if (!d_->out->commit())
        throw XlsWriteError(QStringLiteral("Cannot write %1: %2").arg(d_->fileName, d_->out->errorString()));
    d_->out.reset();
    d_->finished = true;
    failed.dismiss();
}

void XlsWriter::discard() {
    d_->fail();
}

int XlsWriter::sheetCount() const {
    return std::max<int>(1, int(d_->sheets.size()));
}

qint64 XlsWriter::totalRows() const {
    return d_->totalRows;
}

QString XlsWriter::sheetName(int index) const {
    return d_->sheetNameFor(index);
}

QString XlsWriter::fileName() const {
    return d_->fileName;
}

} // namespace kvx
