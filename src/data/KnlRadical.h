// KnlRadical: module-level operations of the radical data module: taking a dataset's events off and
// putting them back, the set-field-text rule, FLAG preparation before applying, and the pure text
// conversions behind the field-kind handlers (time, day, month, date, month-day, year-month, year,
// duration, percent). The conversions take the date style (1..5) and separator and never touch a
// dataset, so the handlers of TdmRadical stay thin and the rules are testable on their own.
#pragma once

#include "platform/ClientDataSet.h"

#include <QString>
#include <optional>

namespace kvx {

// The ten handlers AfterEdit, AfterInsert, AfterOpen, AfterPost, BeforeEdit, BeforeInsert, BeforeOpen,
// BeforePost, BeforeScroll and AfterScroll of a dataset.
struct TDataSetEvents {
    TDataSetNotifyEvent AfterEdit, AfterInsert, AfterOpen, AfterPost, BeforeEdit, BeforeInsert, BeforeOpen,
        BeforePost, BeforeScroll, AfterScroll;
};

// Takes the ten handlers off and returns them.
TDataSetEvents CloseDataSetEvent(TClientDataSet* dataSet);
// Puts remembered handlers back.
void RestoreDataSetEvent(TClientDataSet* dataSet, const TDataSetEvents& events);

// Takes the handlers off for a scope and puts them back at its end, also on failure.
class TDataSetEventsOff {
public:
    explicit TDataSetEventsOff(TClientDataSet* dataSet) : ds_(dataSet), saved_(CloseDataSetEvent(dataSet)) {}
    ~TDataSetEventsOff() { RestoreDataSetEvent(ds_, saved_); }
    TDataSetEventsOff(const TDataSetEventsOff&) = delete;
    TDataSetEventsOff& operator=(const TDataSetEventsOff&) = delete;

private:
    TClientDataSet* ds_;
    TDataSetEvents saved_;
};

// Disables a dataset's controls for a scope.
class TControlsDisabled {
public:
    explicit TControlsDisabled(TClientDataSet* dataSet) : ds_(dataSet) { ds_->DisableControls(); }
    ~TControlsDisabled() { ds_->EnableControls(); }
    TControlsDisabled(const TControlsDisabled&) = delete;
    TControlsDisabled& operator=(const TControlsDisabled&) = delete;

private:
    TClientDataSet* ds_;
};

// Writes `text` into a field regardless of its read-only flag. Numeric fields with `typed` take the text
// as typed (through the field's input handler); a string text longer than the field is cut so that no
// double-byte character of the dataset's code page is split.
void SetFieldValue(TField* field, const QString& text, bool typed = true);

// Makes every negative FLAG positive before applying: for a nested detail with `nested` every record
// (last to first), otherwise the current record; the nested details of each record first.
void PrepareFlags(TClientDataSet* dataSet, bool nested);

// The audit FLAG after a change of a record carrying `flag`: -((flag + 1) mod 1000), truncating.
qint64 NextChangeFlag(qint64 flag);

// Whether a dataset hangs on a dataset field of a master.
bool IsNestedDetail(const TClientDataSet* dataSet);

// Shows the properties of a file (name, folder, size, times, permissions) in a message dialog; false when
// the file does not exist.
bool ShowFileProperties(const QString& fileName);

// --- field-kind conversions ---------------------------------------------------------------------------

// Time, stored "hhnn". Input "  :  " (blank parts) gives an empty text.
QString TimeTextIn(const QString& typed);
QString TimeTextOut(const QString& stored);
bool IsValidTime(const QString& stored);

// Day or month, stored as two digits; empty input gives an empty text.
QString TwoDigitTextIn(const QString& typed);

// Edit masks by date style and separator.
QString YearMaskPart(int style);
QString DateEditMask(int style, const QString& separator);
QString MonthDayEditMask(const QString& separator);
QString YearMonthEditMask(int style, const QString& separator);
QString YearEditMask(int style);
inline QString TimeEditMask() {
    return QStringLiteral("99:99;1; ");
}
inline QString DayEditMask() {
    return QStringLiteral("99;1; ");
}
inline QString DurationEditMask() {
    return QStringLiteral("9999:99:99;1; ");
}
inline QString PercentEditMask() {
    return QStringLiteral("###.##%;1; ");
}

// Date, stored "YYYYMMDD"; empty for input that gives no date.
QString DateTextIn(const QString& typed, int style, const QString& separator);
QString DateTextOut(const QString& stored, int style, const QString& separator);

// Month-day, stored "MMDD" (day first for style 3).
QString MonthDayTextIn(const QString& typed, int style, const QString& separator);
QString MonthDayTextOut(const QString& stored, int style, const QString& separator);
bool IsValidMonthDay(const QString& stored, int year);

// Year-month, stored "YYYYMM" (styles 4 and 5 count years from 1911).
QString YearMonthTextIn(const QString& typed, int style, const QString& separator);
QString YearMonthTextOut(const QString& stored, int style, const QString& separator);
// 0 when valid, else the message code: "200820" for the year, "100002" for the month.
QString YearMonthError(const QString& stored);

// Year, stored "YYYY".
QString YearTextIn(const QString& typed, int style);
QString YearTextOut(const QString& stored, int style);

// Duration in seconds, displayed "[-]hhhh:nn:ss". Input: nullopt for an invalid text; "0" (or blank)
// clears the field (IsDurationClear).
bool IsDurationClear(const QString& typed);
std::optional<qint64> DurationTextIn(const QString& typed);
QString DurationTextOut(qint64 seconds);
bool IsValidDuration(const QString& text);

// Percent, stored as a fraction: "12.5%" gives 0.125; shown "12.50%".
double PercentTextIn(const QString& typed);
QString PercentTextOut(double fraction);

// Display and edit formats of numbers with n decimals.
QString NumberFieldDisplayFormat(int decimals);
QString NumberFieldEditFormat();

} // namespace kvx
