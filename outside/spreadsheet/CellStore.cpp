#include "CellStore.h"

#include "platform/Dispatch.h"

#include <QDir>

#include <cstring>

namespace kvxsheet {

namespace {

constexpr int kSpoolBuffer = 64 * 1024;

const int kPalette[56] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
                          0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
                          0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
                          0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
                          0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
                          0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
                          0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

template <class T> void put(QByteArray& b, const T& v) {
    b.append(reinterpret_cast<const char*>(&v), sizeof(T));
}

template <class T> bool take(const char*& p, const char* end, T& v) {
    if (end - p < qint64(sizeof(T))) return false;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return true;
}

// One spooled cell: row, column, kind, style, then the number or the UTF-16 text with its length.
struct SpoolReader {
    QTemporaryFile* file;
    QByteArray chunk;
    const char* p = nullptr;
    const char* end = nullptr;
    bool eof = false;

    explicit SpoolReader(QTemporaryFile* f) : file(f) {
        if (file) file->seek(0);
        eof = !file;
    }
    bool fill(qint64 need) {
        if (end - p >= need) return true;
        QByteArray rest(p, end - p);
        const QByteArray more = file->read(std::max<qint64>(kSpoolBuffer, need));
        chunk = rest + more;
        p = chunk.constData();
        end = p + chunk.size();
        return end - p >= need;
    }
    bool next(int& row, int& column, Cell& c) {
        if (eof) return false;
        constexpr qint64 head = 4 + 4 + 1 + 4;
        if (!fill(head)) return eof = true, false;
        qint32 r = 0, col = 0, style = 0;
        quint8 kind = 0;
        take(p, end, r);
        take(p, end, col);
        take(p, end, kind);
        take(p, end, style);
        c = Cell();
        c.kind = Cell::Kind(kind);
        c.style = style;
        if (c.kind == Cell::Number || c.kind == Cell::Boolean) {
            if (!fill(8)) throw kvx::AutomationError("spreadsheet spool is damaged");
            take(p, end, c.number);
        } else if (c.kind == Cell::Text) {
            qint32 len = 0;
            if (!fill(4)) throw kvx::AutomationError("spreadsheet spool is damaged");
            take(p, end, len);
            if (!fill(qint64(len) * 2)) throw kvx::AutomationError("spreadsheet spool is damaged");
            c.text = QString(reinterpret_cast<const QChar*>(p), len);
            p += qint64(len) * 2;
        }
        row = r;
        column = col;
        return true;
    }
};

} // namespace

size_t qHash(const CellStyle& s, size_t seed) {
    return ::qHash(s.numberFormat, seed) ^ ::qHash(s.fontColor, seed << 1) ^ ::qHash(s.fillColor, seed << 2) ^
           (s.bold ? 0x9e3779b9u : 0) ^ (s.italic ? 0x7f4a7c15u : 0);
}

int StyleTable::indexOf(const CellStyle& s) {
    const auto it = index_.constFind(s);
    if (it != index_.constEnd()) return it.value();
    if (s == styles_.front()) return 0;
    styles_.push_back(s);
    const int i = int(styles_.size()) - 1;
    index_.insert(s, i);
    return i;
}

CellStore::CellStore() = default;
CellStore::~CellStore() = default;

Cell& CellStore::cellForWrite(int row, int column) {
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        throw kvx::AutomationError(QStringLiteral("cell (%1, %2) lies outside the sheet")
                                       .arg(row + 1)
                                       .arg(column + 1)
                                       .toStdString());
    lastRow_ = std::max(lastRow_, row);
    lastColumn_ = std::max(lastColumn_, column);
    if (row < spooledBelow_) {
        auto it = late_.find({row, column});
        if (it == late_.end())
            it = late_.emplace(std::make_pair(row, column), findSpooled(row, column)).first;
        return it->second;
    }
    if (row >= spooledBelow_ + kOpenRows) spoolRowsBelow(row - kOpenRows + 1);
    std::vector<Cell>& cells = open_[row];
    if (int(cells.size()) <= column) cells.resize(size_t(column) + 1);
    return cells[size_t(column)];
}

Cell CellStore::cell(int row, int column) const {
    if (row < spooledBelow_) {
        const auto it = late_.find({row, column});
        return it != late_.end() ? it->second : findSpooled(row, column);
    }
    const auto it = open_.find(row);
    if (it == open_.end() || column < 0 || column >= int(it->second.size())) return {};
    return it->second[size_t(column)];
}

void CellStore::spoolRowsBelow(int row) {
    while (!open_.empty() && open_.begin()->first < row) {
        const auto it = open_.begin();
        for (int c = 0; c < int(it->second.size()); ++c)
            if (!it->second[size_t(c)].isBlank()) appendToSpool(it->first, c, it->second[size_t(c)]);
        open_.erase(it);
    }
    spooledBelow_ = std::max(spooledBelow_, row);
}

void CellStore::appendToSpool(int row, int column, const Cell& c) {
    if (!spool_) {
        spool_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/kvx-sheet-XXXXXX"));
        if (!spool_->open())
            throw kvx::AutomationError(QStringLiteral("no temporary file for the sheet: %1")
                                           .arg(spool_->errorString())
                                           .toStdString());
    }
    put(buffer_, qint32(row));
    put(buffer_, qint32(column));
    put(buffer_, quint8(c.kind));
    put(buffer_, qint32(c.style));
    if (c.kind == Cell::Number || c.kind == Cell::Boolean) {
        put(buffer_, c.number);
    } else if (c.kind == Cell::Text) {
        put(buffer_, qint32(c.text.size()));
        buffer_.append(reinterpret_cast<const char*>(c.text.utf16()), c.text.size() * 2);
    }
    ++spooledCells_;
    if (buffer_.size() >= kSpoolBuffer) flushBuffer();
}

void CellStore::flushBuffer() const {
    if (buffer_.isEmpty() || !spool_) return;
    spool_->seek(spool_->size());
    if (spool_->write(buffer_) != buffer_.size())
        throw kvx::AutomationError(QStringLiteral("the sheet's temporary file cannot be written: %1")
                                       .arg(spool_->errorString())
                                       .toStdString());
    buffer_.clear();
}

Cell CellStore::findSpooled(int row, int column) const {
    flushBuffer();
    SpoolReader reader(spool_.get());
    int r = 0, c = 0;
    Cell cell, found;
    while (reader.next(r, c, cell)) {
        if (r > row) break;
        if (r == row && c == column) found = cell;
    }
    return found;
}

void CellStore::forEach(const std::function<void(int, int, const Cell&)>& fn) const {
    flushBuffer();
    SpoolReader reader(spool_.get());
    auto late = late_.begin();
    int r = 0, c = 0;
    Cell cell;
    bool have = reader.next(r, c, cell);
    while (have || late != late_.end()) {
        const bool takeLate = late != late_.end() && (!have || late->first <= std::make_pair(r, c));
        if (takeLate) {
            if (have && late->first == std::make_pair(r, c)) have = reader.next(r, c, cell);
            if (!late->second.isBlank()) fn(late->first.first, late->first.second, late->second);
            ++late;
        } else {
            fn(r, c, cell);
            have = reader.next(r, c, cell);
        }
    }
    for (const auto& [row, cells] : open_)
        for (int col = 0; col < int(cells.size()); ++col)
            if (!cells[size_t(col)].isBlank()) fn(row, col, cells[size_t(col)]);
}

void assignValue(Cell& cell, const kvx::Variant& v) {
    switch (v.type()) {
    case kvx::VarType::Unassigned:
    case kvx::VarType::Null:
        cell.kind = Cell::Empty;
        cell.text.clear();
        break;
    case kvx::VarType::Bool:
        cell.kind = Cell::Boolean;
        cell.number = v.toBool() ? 1 : 0;
        cell.text.clear();
        break;
    case kvx::VarType::Int:
    case kvx::VarType::Double:
    case kvx::VarType::Currency:
    case kvx::VarType::Date:
        cell.kind = Cell::Number;
        cell.number = v.toDouble();
        cell.text.clear();
        break;
    case kvx::VarType::Array:
    case kvx::VarType::Dispatch:
        throw kvx::AutomationError("a cell holds a number, a text or a boolean");
    default:
        cell.kind = Cell::Text;
        cell.text = v.toString();
        break;
    }
}

kvx::Variant valueOf(const Cell& cell) {
    switch (cell.kind) {
    case Cell::Number:
        return cell.number;
    case Cell::Boolean:
        return cell.number != 0;
    case Cell::Text:
        return cell.text;
    case Cell::Empty:
        break;
    }
    return {};
}

int paletteColor(int index) {
    if (index < 1 || index > 56) throw kvx::AutomationError("colour index must lie between 1 and 56");
    return kPalette[index - 1];
}

int paletteIndexOf(int rgb) {
    int best = 1;
    long bestDistance = -1;
    for (int i = 0; i < 56; ++i) {
        const int p = kPalette[i];
        const long dr = ((p >> 16) & 0xFF) - ((rgb >> 16) & 0xFF);
        const long dg = ((p >> 8) & 0xFF) - ((rgb >> 8) & 0xFF);
        const long db = (p & 0xFF) - (rgb & 0xFF);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i + 1;
        }
    }
    return best;
}

} // namespace kvxsheet
