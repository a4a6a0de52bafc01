// Code pages: the system ANSI code page and conversions between Unicode and the code pages the system
// knows (936 GBK, 950 Big5, 437 and any other iconv knows as "CP<n>").
#pragma once

#include <QByteArray>
#include <QString>

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

// Whether the byte starts a two-byte character in the code page (936 and 950: 0x81..0xFE).
bool isLeadByte(unsigned char b, int codePage);

// Whether bytes are well-formed UTF-8.
bool isValidUtf8(const QByteArray& bytes);

} // namespace kvx::codepage
