// IniFile: initialisation files with the profile-file semantics the system relies on.
//
// Sections and keys compare without case; a missing file or key yields the caller's default; integer
// reads fall back to the default when the text is no number. A file is read as UTF-8 when it is valid
// UTF-8 (with or without a byte-order mark), otherwise in the system code page. Writes keep the other
// lines of the file as they were and save it as UTF-8.
//
// Each construction reads the file as it is on disk now. Parsed contents are kept in a small
// process-wide cache keyed by path, device, inode, size, and modification and change times in
// nanoseconds, so that a file read many times is parsed once while it stays unchanged. A file changed
// less than 100 ms before it was read is not kept (a file-system time stamp is as coarse as a clock
// tick, so a change still to come could carry the same one), and every write through this class drops
// its entry.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kvx {

class IniFile {
public:
    explicit IniFile(const QString& path);

    const QString& fileName() const { return path_; }
    bool exists() const { return exists_; }

    QString readString(const QString& section, const QString& key, const QString& def = {}) const;
    // Leading digits with an optional sign, or a "0x" hex number; anything else gives def.
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    bool sectionExists(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;
    QStringList sections() const;
    // Key names of a section, in file order.
    QStringList readSection(const QString& section) const;
    // "Name=Value" lines of a section, in file order (comments and blank lines left out).
    QStringList readSectionValues(const QString& section) const;

    // Changes (and saves at once). Returns false when the file cannot be written.
    bool writeString(const QString& section, const QString& key, const QString& value);
    bool eraseSection(const QString& section);
    bool deleteKey(const QString& section, const QString& key);

    // Files parsed so far in this process: constructions the cache could not serve.
    static quint64 parseCount();

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
        QStringList rawLines; // the section's lines as read, including comments
    };
    QString path_;
    bool exists_ = false;
    QStringList preamble_; // lines before the first section
    QList<Section> sections_;

    friend class IniParseCache;
    void load();
    bool save() const;
    const Section* find(const QString& section) const;
    Section* find(const QString& section);
};

} // namespace kvx
