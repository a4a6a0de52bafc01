// Code pages: the system ANSI code page and conversions between Unicode and the code pages the system
// knows (936 GBK, 950 Big5, 437 and any other iconv knows as "CP<n>").
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace kvx::codepage {

// $KVX_CODEPAGE when set, else derived from the locale: zh_CN/zh_SG -> 936, zh_TW/zh_HK/zh_MO -> 950,
// anything else -> 437.
int systemCodePage();

// iconv name of a code page ("GBK", "BIG5", "CP437", ...).
QByteArray iconvName(int codePage);

// Unicode -> code page; characters the code page lacks become '?'.
QByteArray encode(const QString& text, int codePage);
// Code page -> Unicode; invalid sequences become U+FFFD.
QString decode(const QByteArray& bytes, int codePage);

// Whether every character of the text is ASCII (below U+0080).
bool isAscii(QStringView text);

// Whether the byte starts a two-byte character in the code page (936 and 950: 0x81..0xFE).
bool isLeadByte(unsigned char b, int codePage);

// Whether bytes are well-formed UTF-8.
bool isValidUtf8(const QByteArray& bytes);

// An extension of one code page's conversions: byte pairs the code page lacks that map to characters of
// their own, and back. encode/decode consult it for every two-byte unit and every character; what it
// declines goes through iconv as usual. Installed process-wide (one per code page).
class Extension {
public:
    virtual ~Extension() = default;
    // The character for a lead/trail pair, or -1 to leave the pair to the code page.
    virtual int decodePair(unsigned char lead, unsigned char trail) const = 0;
    // The two bytes for a character; false to leave it to the code page.
    virtual bool encodeChar(char32_t c, char out[2]) const = 0;
};

// Installs `ext` for a code page (nullptr removes it); returns the one it replaces.
std::shared_ptr<const Extension> setExtension(int codePage, std::shared_ptr<const Extension> ext);
std::shared_ptr<const Extension> extension(int codePage);

} // namespace kvx::codepage
