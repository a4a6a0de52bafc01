#include "IniFile.h"

#include "CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>

namespace kvx {

// Identity of one version of a file on disk.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

// Parsed contents of recently read files (IniFile.h says when an entry is kept and dropped).
class IniParseCache {
public:
    static IniParseCache& instance() {
        static IniParseCache cache;
        return cache;
    }

    // The stamp of the file now; false when it cannot be examined (missing).
    static bool stampOf(const QString& path, FileStamp& stamp) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modified = st.st_mtim;
        stamp.changed = st.st_ctim;
        return true;
    }

    // Fills `file` from the cache when it holds this version, read in the same code page.
    bool lookUp(const QString& path, const FileStamp& stamp, IniFile& file) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(path);
        if (it == entries_.end()) return false;
        if (!(it->second.stamp == stamp) ||
            (it->second.codePage >= 0 && it->second.codePage != codepage::systemCodePage())) {
            entries_.erase(it);
            return false;
        }
        file.preamble_ = it->second.preamble;
        file.sections_ = it->second.sections;
        return true;
    }

    void store(const QString& path, const FileStamp& stamp, int codePage, const IniFile& file) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        // A file changed within kSettleNs may share its time stamps with a change still to come.
        const auto settled = [&](const timespec& t) {
            return qint64(now.tv_sec - t.tv_sec) * 1000000000 + (now.tv_nsec - t.tv_nsec) >= kSettleNs;
        };
        if (!settled(stamp.modified) || !settled(stamp.changed)) return;
        std::lock_guard lock(mutex_);
        if (entries_.size() >= kMaxEntries && !entries_.count(path)) entries_.erase(entries_.begin());
        entries_[path] = Entry{stamp, codePage, file.preamble_, file.sections_};
    }

    void drop(const QString& path) {
        std::lock_guard lock(mutex_);
        entries_.erase(path);
    }

    std::atomic<quint64> parses{0};

private:
    static constexpr size_t kMaxEntries = 64;
    // Far above the granularity of file time stamps (a clock tick of at most 10 ms).
    static constexpr qint64 kSettleNs = 100000000;
    struct Entry {
        FileStamp stamp;
        int codePage; // the system code page the text was decoded in; -1: UTF-8
        QStringList preamble;
        QList<IniFile::Section> sections;
    };
    struct PathHash {
        size_t operator()(const QString& s) const { return qHash(s); }
    };
    std::mutex mutex_;
    std::unordered_map<QString, Entry, PathHash> entries_;
};

namespace {
bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool splitEntry(const QString& line, QString& key, QString& value) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'))) return false;
    int eq = t.indexOf(QLatin1Char('='));
    if (eq < 0) {
        key = t;
        value.clear();
        return true;
    }
    key = t.left(eq).trimmed();
    value = t.mid(eq + 1).trimmed();
    // A value in double quotes keeps its inner text, as profile readers do.
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return true;
}
} // namespace

IniFile::IniFile(const QString& path) : path_(path) {
    load();
}

quint64 IniFile::parseCount() {
    return IniParseCache::instance().parses.load();
}

void IniFile::load() {
    IniParseCache& cache = IniParseCache::instance();
    FileStamp stamp;
    if (!IniParseCache::stampOf(path_, stamp)) {
        cache.drop(path_);
        return;
    }
    if (cache.lookUp(path_, stamp, *this)) {
        exists_ = true;
        return;
    }
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return;
    exists_ = true;
    const QByteArray bytes = f.readAll();
    FileStamp after;
    // Changed while being read: parse what was read, keep nothing.
    const bool stable = IniParseCache::stampOf(path_, after) && after == stamp && after.size == bytes.size();
    int decodedWith = -1;
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else if (codepage::isValidUtf8(bytes)) {
        text = QString::fromUtf8(bytes);
    } else {
        decodedWith = codepage::systemCodePage();
        text = codepage::decode(bytes, decodedWith);
    }
    ++cache.parses;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    Section* cur = nullptr;
    for (const QString& line : lines) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char(']'))) {
            const QString name = t.mid(1, t.indexOf(QLatin1Char(']')) - 1).trimmed();
            cur = find(name);
            if (!cur) {
                sections_.append(Section{name, {}, {}});
                cur = &sections_.last();
            }
            continue;
        }
        if (!cur) {
            preamble_.append(line);
            continue;
        }
        cur->rawLines.append(line);
        QString key, value;
        if (splitEntry(line, key, value) && !key.isEmpty()) cur->entries.append(Entry{key, value});
    }
    if (!preamble_.isEmpty() && preamble_.last().isEmpty()) preamble_.removeLast();
    if (stable) cache.store(path_, stamp, decodedWith, *this);
}

const IniFile::Section* IniFile::find(const QString& section) const {
    for (const Section& s : sections_)
        if (sameName(s.name, section)) return &s;
    return nullptr;
}

IniFile::Section* IniFile::find(const QString& section) {
    for (Section& s : sections_)
        if (sameName(s.name, section)) return &s;
    return nullptr;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            if (sameName(e.key, key)) return e.value;
    return def;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    const QString v = readString(section, key, QString()).trimmed();
    if (v.isEmpty()) return def;
    bool ok = false;
    if (v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        int h = v.mid(2).toInt(&ok, 16);
        return ok ? h : def;
    }
    int i = v.toInt(&ok);
    return ok ? i : def;
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::sectionExists(const QString& section) const {
    return find(section) != nullptr;
}

bool IniFile::valueExists(const QString& section, const QString& key) const {
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            if (sameName(e.key, key)) return true;
    return false;
}

QStringList IniFile::sections() const {
    QStringList out;
    for (const Section& s : sections_)
        out.append(s.name);
    return out;
}

QStringList IniFile::readSection(const QString& section) const {
    QStringList out;
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            out.append(e.key);
    return out;
}

QStringList IniFile::readSectionValues(const QString& section) const {
    QStringList out;
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            out.append(e.key + QLatin1Char('=') + e.value);
    return out;
}

bool IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    Section* s = find(section);
    if (!s) {
        sections_.append(Section{section, {}, {}});
        s = &sections_.last();
    }
    bool done = false;
    for (Entry& e : s->entries)
        if (sameName(e.key, key)) {
            e.value = value;
            done = true;
            break;
        }
    QString newLine = key + QLatin1Char('=') + value;
    if (done) {
        for (QString& line : s->rawLines) {
            QString k, v;
            if (splitEntry(line, k, v) && sameName(k, key)) {
                line = newLine;
                break;
            }
        }
    } else {
        s->entries.append(Entry{key, value});
        // Insert after the last non-blank line of the section.
        qsizetype at = s->rawLines.size();
        while (at > 0 && s->rawLines[at - 1].trimmed().isEmpty())
            --at;
        s->rawLines.insert(at, newLine);
    }
    return save();
}

bool IniFile::eraseSection(const QString& section) {
    for (qsizetype i = 0; i < sections_.size(); ++i)
        if (sameName(sections_[i].name, section)) {
            sections_.removeAt(i);
            return save();
        }
    return true;
}

bool IniFile::deleteKey(const QString& section, const QString& key) {
    Section* s = find(section);
    if (!s) return true;
    s->entries.removeIf([&](const Entry& e) { return sameName(e.key, key); });
    s->rawLines.removeIf([&](const QString& line) {
        QString k, v;
        return splitEntry(line, k, v) && sameName(k, key);
    });
    return save();
}

bool IniFile::save() const {
    QFileInfo fi(path_);
    QDir().mkpath(fi.absolutePath());
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QString out;
    for (const QString& line : preamble_)
        out += line + QLatin1Char('\n');
    if (!preamble_.isEmpty()) out += QLatin1Char('\n');
    for (const Section& s : sections_) {
        out += QLatin1Char('[') + s.name + QLatin1String("]\n");
        QStringList lines = s.rawLines;
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        for (const QString& line : lines)
            out += line + QLatin1Char('\n');
        out += QLatin1Char('\n');
    }
    f.write(out.toUtf8());
    const bool written = f.commit();
    IniParseCache::instance().drop(path_);
    return written;
}

} // namespace kvx
