#include "IniFile.h"

#include "CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace kvx {

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

void IniFile::load() {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return;
    exists_ = true;
    QByteArray bytes = f.readAll();
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else if (codepage::isValidUtf8(bytes)) {
        text = QString::fromUtf8(bytes);
    } else {
        text = codepage::decode(bytes, codepage::systemCodePage());
    }
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
    return f.commit();
}

} // namespace kvx
