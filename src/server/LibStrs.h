// LibStrs: stateless helpers shared by the whole module — tokens on delimited strings, padding, the
// "YYYYMMDD" date form, rounding and comparison of floating-point values, small variant helpers, button
// captions, installation-relative paths and the alert log.
//
// Dates are TDateTime values: days since 1899-12-30 with the time of day as the fraction (as
// kvx::Variant dates). The value 0 stands for "no date".
#pragma once

#include "platform/Variant.h"

#include <QString>
#include <initializer_list>

using TDateTime = double;

// --- tokens (the delimiter may be longer than one character; searches are case-sensitive) ---------------

// The N-th field (from 1) of Text split at Delimiter; the last field runs to the end of Text. Empty when
// Text has fewer than N fields.
QString GetToken(const QString& Text, const QString& Delimiter, int N);
// Walks the fields of a text in order in linear time: the i-th call of Next yields what GetToken(Text,
// Delimiter, i) returns, as a view into Text (which must outlive the cursor). An empty Text has no fields.
class TTokenCursor {
public:
    TTokenCursor(QStringView Text, QStringView Delimiter) : text_(Text), delimiter_(Delimiter) {}
    bool Next(QStringView& Field);
    bool AtEnd() const { return done_ || text_.isEmpty(); }

private:
    QStringView text_, delimiter_;
    qsizetype start_ = 0;
    bool done_ = false;
};
// Returns the part of Text before the first Delimiter and removes that part and the delimiter from Text;
// without a delimiter returns all of Text and leaves it empty.
QString CutToken(QString& Text, const QString& Delimiter);
// Number of fields: occurrences of Delimiter plus one; 0 for an empty Text.
int NumToken(const QString& Text, const QString& Delimiter);
// Replaces every occurrence of Old by New; inserted text is not searched again. Nothing is replaced when
// Old is empty or Old and New are equal ignoring case. Trims the result when Trim is set.
QString SwapStr(const QString& Text, const QString& Old, const QString& New, bool Trim);
// Single-quoted SQL literal with embedded quotes doubled: a value never changes a statement's shape.
QString QuotedSql(const QString& value);

// --- widths and numbers ---------------------------------------------------------------------------------

// Text preceded (PadL) or followed (PadR) by a fill character up to Width characters. Args: Width, then
// optionally the code of the fill character (space when not given). Unchanged when Text is long enough.
QString PadL(const QString& Text, std::initializer_list<int> Args);
QString PadR(const QString& Text, std::initializer_list<int> Args);
// Decimal Value with leading zeros to Width digits ("%.*d"): ZeroATfirst(7, 3) == "007".
QString ZeroATfirst(qint64 Value, int Width);
// Rounds half away from zero to Digits decimals, on the value's decimal text rather than its binary one:
// FourOutFiveIn(2.675, 2) == 2.68.
double FourOutFiveIn(double Value, int Digits);
// -1, 0 or 1; values closer than 1e-10 (after passing through their decimal text) compare equal.
int CompareFloat(double X, double Y);
kvx::Variant IIF(bool Condition, const kvx::Variant& WhenTrue, const kvx::Variant& WhenFalse);
// True for Unassigned and for Null.
bool IsVarEmptyOrNull(const kvx::Variant& Value);
// True exactly for "127.0.0.1".
bool IsLocalAddress(const QString& Address);

// --- dates and times ------------------------------------------------------------------------------------
//
// Layouts: 1 Y-M-D with a four-digit year; 2 M-D-Y; 3 D-M-Y; 4 Republic-of-China era year (year - 1911)
// with two digits, M, D; 5 the era year with three digits. Other layout numbers are taken as layout 1.
// The separator is the first character of Separator (none when it is empty).

// Empty for date 0.
QString DateToString(TDateTime Date, int Layout, const QString& Separator);
// The date part followed by " hh:nn:ss:zzz"; empty for date 0.
QString MyDateTimeToString(TDateTime Date, int Layout, const QString& Separator);
// Three fields split at the separator, each trimmed; 0 unless all three are positive numbers. The day is
// added to the first of the month, so an overlong day rolls into the next month ("2008/02/30" is
// 2008-03-01). 0 when the date cannot be built.
TDateTime StringToDate(const QString& Text, int Layout, const QString& Separator);
// "YYYYMMDD" (exactly 8 characters) to a date; 0 for a wrong length, a zero or non-numeric part or an
// invalid date.
TDateTime TransDateIn(const QString& Text);
// "YYYYMMDDhhnnsszzz" to a date-time; only the time when year, month or day is 0; 0 on any error.
TDateTime TransDateTimeIn(const QString& Text);
// True for an empty text; otherwise true when the first eight characters form a valid date and the text
// lies between "17530101" and "99991231".
bool CheckDate(const QString& Text);
// Three numbers of Text (split at the separator, or at positions 1-4, 5-6, 7-8 without one) in the given
// layout as "YYYYMMDD" (era years + 1911); "0" when any of them is not positive.
QString Changedate(const QString& Text, int Layout, const QString& Separator);
// "[-]hhhh:nn:ss" of the absolute value, hours with at least four digits; "0000:00:00" for 0.
QString ConvertSecond(qint64 Seconds);
// [seconds, text] of Time1 + Sign * Time2 for Sign 1 or -1; both times "h..h:nn:ss" of at least 8
// characters with exactly two ":" and digits only. [0, "000:00:00"] otherwise.
kvx::Variant CountSecond(const QString& Time1, const QString& Time2, int Sign);

// --- other ----------------------------------------------------------------------------------------------

// Chinese caption of a message-box button by its name ("Yes" -> "是(&Y)"); other names unchanged.
QString GetCHTButtonCaption(const QString& Name);

// Variant code-page conversions between text and byte strings (VarType::ByteString). KVWideStringToStr
// encodes every text in CodePage into a byte string (characters the code page lacks become "?");
// KVStrToWideString decodes every byte string (bytes that are no text of CodePage become U+FFFD). Text
// given to KVStrToWideString and byte strings given to KVWideStringToStr stay as they are. Every string of
// a one- or two-dimensional array (nested arrays included) is converted; other values are returned
// unchanged. CodePage 0 is the system code page.
kvx::Variant KVStrToWideString(const kvx::Variant& Value, int CodePage);
kvx::Variant KVWideStringToStr(const kvx::Variant& Value, int CodePage);

// Path unchanged when it is absolute; Base + Path without its leading separator when it starts with "\";
// otherwise Base + Path. "\" separators of a relative Path become "/".
QString MakeFullPath(const QString& Path, const QString& Base);

// Appends "[YYYY/MM/DD hh:nn:ss:zzz] Text" to <installation>/Log/Alert_<Name>_<stamp>[.log].
// Period "D" (or anything else) stamps by day, "M" by month, "Y" by year. False on any I/O error.
bool WriteToAlertFile(const QString& Name, const QString& Text, const QString& Period);

// The folder the alert log is written to: ClientPath, else ServerPath of the registry, else the folder
// of the running program, followed by "Log/".
QString AlertLogFolder();
