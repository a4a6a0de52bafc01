// Table-driven conversion between GB (GB2312 with the GBK extension areas) and Big5 double-byte text over
// the mapping file "Language".
//
// File layout: "[" lines are headings, blank lines are skipped, every other line is key=value. Lines
// beginning "BIG5" are Big5 entries, otherwise lines beginning "GB" are GB entries; the n-th entry of a group
// is the entry for index n. A value is one skipped character and four hexadecimal digits: the code whose
// high byte is the first byte of the converted character. A blank entry (zero code) falls back to the
// system code pages (936 <-> Unicode <-> 950) for that pair.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace kvx::lang {

// A mapping value that is not hexadecimal stops the loading with this error.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Index of the pair at p (avail bytes from p) in the GB table, or -1 when it is no GB pair or has no entry.
int gbIndex(const unsigned char* p, qsizetype avail);
// Index of the pair at p in the Big5 table, or -1.
int big5Index(const unsigned char* p, qsizetype avail);
bool isGbPair(const unsigned char* p, qsizetype avail);
bool isBig5Pair(const unsigned char* p, qsizetype avail);

// The two tables of one mapping file.
class GbBig5Tables {
public:
    GbBig5Tables() = default; // empty: every pair falls back to the code pages
    // Reads a mapping file; throws ConvertError on a bad code, std::runtime_error when unreadable.
    static GbBig5Tables fromFile(const QString& path);
    static GbBig5Tables fromText(const QByteArray& text);

    QByteArray gbToBig5(const QByteArray& gb) const;
    QByteArray big5ToGb(const QByteArray& big5) const;

    int gbCount() const { return int(gb_.size()); }
    int big5Count() const { return int(big5_.size()); }
    quint16 gbEntry(int index) const { return gb_.at(size_t(index)); }
    quint16 big5Entry(int index) const { return big5_.at(size_t(index)); }

private:
    std::vector<quint16> big5_; // Big5 index -> GB code
    std::vector<quint16> gb_;   // GB index -> Big5 code
    // The same entries by pair (lead << 8 | trail), 0 where there is none; built once after loading.
    std::vector<quint16> big5ByPair_;
    std::vector<quint16> gbByPair_;
    bool euroInBig5Table_ = false;

    void indexByPair();
};

// The process-wide tables, loaded on first use from the client path, else from the program's folder.
// When neither has the file, "Can't find file Language !!" is shown, every pair falls back to the code
// pages and the next conversion tries again. The client path comes from the caller's settings; the forms
// without one take it from kvx::readSettings() when the tables are not loaded yet.
class LanguageConvert {
public:
    static LanguageConvert& instance();

    QByteArray GBToBIG5(const QByteArray& gb, const QString& clientPath);
    QByteArray BIG5ToGB(const QByteArray& big5, const QString& clientPath);
    // Unicode forms: encode (936 or 950), convert, decode; characters without a code stay as they are.
    QString GBToBIG5(const QString& text, const QString& clientPath);
    QString BIG5ToGB(const QString& text, const QString& clientPath);
    QByteArray GBToBIG5(const QByteArray& gb);
    QByteArray BIG5ToGB(const QByteArray& big5);
    QString GBToBIG5(const QString& text);
    QString BIG5ToGB(const QString& text);

    bool loaded() const;
    // The file that would be loaded now for a client path, empty when there is none.
    static QString locate(const QString& clientPath);
    static QString locate();
    // Forgets the tables (the next conversion loads again).
    void unload();

private:
    LanguageConvert() = default;
    std::shared_ptr<const GbBig5Tables> tables(const QString* clientPath);
    mutable std::mutex mutex_;
    std::shared_ptr<const GbBig5Tables> tables_;
};

} // namespace kvx::lang
