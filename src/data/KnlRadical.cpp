#include "KnlRadical.h"

#include "platform/CodePage.h"
#include "platform/DialogService.h"
#include "server/LibStrs.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <cmath>

namespace kvx {

TDataSetEvents CloseDataSetEvent(TClientDataSet* ds) {
    TDataSetEvents e{ds->AfterEdit,    ds->AfterInsert, ds->AfterOpen,  ds->AfterPost,    ds->BeforeEdit,
                     ds->BeforeInsert, ds->BeforeOpen,  ds->BeforePost, ds->BeforeScroll, ds->AfterScroll};
    ds->AfterEdit = {};
    ds->AfterInsert = {};
    ds->AfterOpen = {};
    ds->AfterPost = {};
    ds->BeforeEdit = {};
    ds->BeforeInsert = {};
    ds->BeforeOpen = {};
    ds->BeforePost = {};
    ds->BeforeScroll = {};
    ds->AfterScroll = {};
    return e;
}

void RestoreDataSetEvent(TClientDataSet* ds, const TDataSetEvents& e) {
    ds->AfterEdit = e.AfterEdit;
    ds->AfterInsert = e.AfterInsert;
    ds->AfterOpen = e.AfterOpen;
    ds->AfterPost = e.AfterPost;
    ds->BeforeEdit = e.BeforeEdit;
    ds->BeforeInsert = e.BeforeInsert;
    ds->BeforeOpen = e.BeforeOpen;
    ds->BeforePost = e.BeforePost;
    ds->BeforeScroll = e.BeforeScroll;
    ds->AfterScroll = e.AfterScroll;
}

namespace {

// Bytes of `text` in `cp`, cut to at most `size` bytes without splitting a double-byte character.
QString cutToBytes(const QString& text, int size, int cp) {
    const QByteArray bytes = codepage::encode(text, cp);
    if (bytes.size() <= size) return text;
    int pos = 0; // start of the character that holds byte index size - 1
    while (pos < size) {
        const int len = codepage::isLeadByte(uchar(bytes[pos]), cp) && pos + 1 < bytes.size() ? 2 : 1;
        if (pos + len > size) break; // a double-byte character starts at the size position
        pos += len;
    }
    return codepage::decode(bytes.left(pos), cp);
}

} // namespace

void SetFieldValue(TField* field, const QString& text, bool typed) {
    const bool wasReadOnly = field->ReadOnly();
    field->SetReadOnly(false);
    const auto restore = qScopeGuard([&] { field->SetReadOnly(wasReadOnly); });
    const FieldType t = field->DataType();
    const bool numeric = field->IsNumeric();
    if (numeric && typed) {
        field->SetText(text);
        return;
    }
    QString value = text;
    if (field->IsStringKind() && t != FieldType::WideString && field->Size() > 0 && field->DataSet())
        value = cutToBytes(text, field->Size(), field->DataSet()->CodePage());
    field->SetAsString(value);
}

bool IsNestedDetail(const TClientDataSet* ds) {
    return ds && ds->DataSetField() != nullptr;
}

qint64 NextChangeFlag(qint64 flag) {
    return -(flag + 1) % 1000; // C++ division truncates, as the counter needs
}

namespace {

void prepareRecord(TClientDataSet* ds) {
    for (TClientDataSet* nested : ds->NestedDataSets())
        if (nested->Active()) PrepareFlags(nested, true);
    TField* flag = ds->FindField(QStringLiteral("FLAG"));
    if (!flag || ds->IsEmpty() || flag->IsNull()) return;
    const double v = flag->AsFloat();
    if (v >= 0) return;
    ds->Edit();
    SetFieldValue(flag, QString::number(qint64(std::llround(-v))), true);
    ds->Post();
}

} // namespace

void PrepareFlags(TClientDataSet* ds, bool nested) {
    if (!ds || !ds->Active()) return;
    TDataSetEventsOff off(ds);
    TControlsDisabled disabled(ds);
    if (nested && IsNestedDetail(ds)) {
        ds->Last();
        while (!ds->IsEmpty()) {
            prepareRecord(ds);
            if (ds->RecNo() <= 1) break;
            ds->Prior();
        }
    } else {
        prepareRecord(ds);
    }
}

bool ShowFileProperties(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists()) return false;
    const QString stamp = QStringLiteral("yyyy/MM/dd hh:mm:ss");
    QStringList lines;
    lines << QStringLiteral("名称: %1").arg(info.fileName())
          << QStringLiteral("位置: %1").arg(QDir::toNativeSeparators(info.absolutePath()))
          << QStringLiteral("类型: %1").arg(info.isDir() ? QStringLiteral("文件夹") : info.suffix().toUpper())
          << QStringLiteral("大小: %1 (%2 字节)")
                 .arg(QLocale::c().formattedDataSize(info.size()), QString::number(info.size()))
          << QStringLiteral("修改时间: %1").arg(info.lastModified().toString(stamp))
          << QStringLiteral("访问时间: %1").arg(info.lastRead().toString(stamp))
          << QStringLiteral("只读: %1").arg(info.isWritable() ? QStringLiteral("否") : QStringLiteral("是"));
    DialogService::instance().inform(lines.join(QLatin1Char('\n')),
                                     QStringLiteral("%1 属性").arg(info.fileName()));
    return true;
}

// --- field-kind conversions ---------------------------------------------------------------------------

namespace {

QString pad(const QString& s, int width) {
    return PadL(s.trimmed(), {width, '0'});
}

bool allDigits(const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (!c.isDigit()) return false;
    return true;
}

int toInt(const QString& s, bool* ok = nullptr) {
    bool k = false;
    const int v = s.trimmed().toInt(&k);
    if (ok) *ok = k;
    return k ? v : 0;
}

QString sep1(const QString& separator) {
    return separator.left(1);
}

// Splits into two parts at the separator; without a separator at a fixed position.
bool twoParts(const QString& text, const QString& separator, int firstLen, QString& a, QString& b) {
    const QString s = sep1(separator);
    if (!s.isEmpty()) {
        const int p = text.indexOf(s);
        if (p < 0) return false;
        a = text.left(p);
        b = text.mid(p + 1);
        return true;
    }
    a = text.left(firstLen);
    b = text.mid(firstLen);
    return true;
}

int yearDigits(int style) {
    return style == 4 ? 2 : style == 5 ? 3 : 4;
}

} // namespace

QString TimeTextIn(const QString& typed) {
    const int p = typed.indexOf(QLatin1Char(':'));
    const QString h = (p < 0 ? typed.left(2) : typed.left(p)).trimmed();
    const QString m = (p < 0 ? typed.mid(2) : typed.mid(p + 1)).trimmed();
    if (h.isEmpty() && m.isEmpty()) return {};
    return pad(h, 2) + pad(m, 2);
}

QString TimeTextOut(const QString& stored) {
    if (stored.isEmpty()) return {};
    return stored.left(2) + QLatin1Char(':') + stored.mid(2);
}

bool IsValidTime(const QString& stored) {
    if (stored.size() != 4 || !allDigits(stored)) return false;
    const int h = stored.left(2).toInt(), m = stored.mid(2).toInt();
    return h >= 0 && h <= 23 && m >= 0 && m <= 59;
}

QString TwoDigitTextIn(const QString& typed) {
    const QString t = typed.trimmed();
    if (t.isEmpty()) return {};
    return pad(t, 2);
}

QString YearMaskPart(int style) {
    return style == 4 ? QStringLiteral("99") : style == 5 ? QStringLiteral("999") : QStringLiteral("9999");
}

QString DateEditMask(int style, const QString& separator) {
    const QString s = sep1(separator), y = YearMaskPart(style);
    const QString body = (style == 2 || style == 3) ? QStringLiteral("99") + s + QStringLiteral("99") + s + y
                                                    : y + s + QStringLiteral("99") + s + QStringLiteral("99");
    return body + QStringLiteral(";1; ");
}

QString MonthDayEditMask(const QString& separator) {
    return QStringLiteral("99") + sep1(separator) + QStringLiteral("99;1; ");
}

QString YearMonthEditMask(int style, const QString& separator) {
    const QString s = sep1(separator), y = YearMaskPart(style);
    return ((style == 2 || style == 3) ? QStringLiteral("99") + s + y : y + s + QStringLiteral("99")) +
           QStringLiteral(";1; ");
}

QString YearEditMask(int style) {
    return YearMaskPart(style) + QStringLiteral(";1; ");
}

QString DateTextIn(const QString& typed, int style, const QString& separator) {
    if (typed.trimmed().isEmpty()) return {};
    const QString r = Changedate(typed, style, separator);
    return r == QLatin1String("0") ? QString() : r;
}

QString DateTextOut(const QString& stored, int style, const QString& separator) {
    if (stored.trimmed().isEmpty()) return {};
    return DateToString(TransDateIn(stored.trimmed()), style, separator);
}

QString MonthDayTextIn(const QString& typed, int style, const QString& separator) {
    QString a, b;
    if (!twoParts(typed, separator, 2, a, b)) return {};
    if (a.trimmed().isEmpty() && b.trimmed().isEmpty()) return {};
    return style == 3 ? pad(b, 2) + pad(a, 2) : pad(a, 2) + pad(b, 2);
}

QString MonthDayTextOut(const QString& stored, int style, const QString& separator) {
    if (stored.isEmpty()) return {};
    const QString m = stored.left(2), d = stored.mid(2, 2), s = sep1(separator);
    return style == 3 ? d + s + m : m + s + d;
}

bool IsValidMonthDay(const QString& stored, int year) {
    return stored.size() == 4 && allDigits(stored) && TransDateIn(ZeroATfirst(year, 4) + stored) != 0;
}

QString YearMonthTextIn(const QString& typed, int style, const QString& separator) {
    const bool monthFirst = style == 2 || style == 3;
    QString a, b;
    if (!twoParts(typed, separator, monthFirst ? 2 : yearDigits(style), a, b)) return {};
    const QString ys = monthFirst ? b : a, ms = monthFirst ? a : b;
    bool okY = false, okM = false;
    int y = toInt(ys, &okY);
    const int m = toInt(ms, &okM);
    if (!okY || !okM || y <= 0 || m <= 0) return {};
    if (style == 4 || style == 5) y += 1911;
    return ZeroATfirst(y, 4) + ZeroATfirst(m, 2);
}

QString YearMonthTextOut(const QString& stored, int style, const QString& separator) {
    if (stored.size() < 6) return {};
    int y = toInt(stored.left(4));
    const int m = toInt(stored.mid(4, 2));
    if (y <= 0 || m <= 0) return {};
    QString ys;
    if (style == 4 || style == 5) {
        y -= 1911;
        ys = ZeroATfirst(y, style == 5 ? 3 : 2);
    } else {
        ys = ZeroATfirst(y, 4);
    }
    const QString ms = ZeroATfirst(m, 2), s = sep1(separator);
    return (style == 2 || style == 3) ? ms + s + ys : ys + s + ms;
}

QString YearMonthError(const QString& stored) {
    if (stored.size() < 6) return QStringLiteral("200820");
    bool ok = false;
    const int y = stored.left(4).toInt(&ok);
    if (!ok || y < 1753 || y > 9999) return QStringLiteral("200820");
    const int m = stored.mid(4, 2).toInt(&ok);
    if (!ok || m < 1 || m > 12) return QStringLiteral("100002");
    return {};
}

QString YearTextIn(const QString& typed, int style) {
    bool ok = false;
    int y = toInt(typed, &ok);
    if (!ok) return {};
    if (style == 4 || style == 5) y += 1911;
    return ZeroATfirst(y, 4);
}

QString YearTextOut(const QString& stored, int style) {
    if (stored.trimmed().isEmpty()) return {};
    const int y = toInt(stored);
    if (style == 4) return QString::number(y - 1911);
    if (style == 5) return ZeroATfirst(y - 1911, 3);
    return ZeroATfirst(y, 4);
}

bool IsDurationClear(const QString& typed) {
    QString t = typed;
    t.remove(QLatin1Char(':'));
    t = t.trimmed();
    return t.isEmpty() || t == QLatin1String("0");
}

bool IsValidDuration(const QString& text) {
    if (text.size() != 10 || text[4] != QLatin1Char(':') || text[7] != QLatin1Char(':')) return false;
    const QString h = text.left(4), m = text.mid(5, 2), s = text.mid(8, 2);
    if (!allDigits(h) || !allDigits(m) || !allDigits(s)) return false;
    return h.toInt() >= 0 && m.toInt() <= 59 && s.toInt() <= 59;
}

std::optional<qint64> DurationTextIn(const QString& typed) {
    const QStringList parts = typed.split(QLatin1Char(':'));
    if (parts.size() != 3) return std::nullopt;
    const QString text =
        pad(parts[0], 4) + QLatin1Char(':') + pad(parts[1], 2) + QLatin1Char(':') + pad(parts[2], 2);
    if (!IsValidDuration(text)) return std::nullopt;
    const Variant r = CountSecond(text, QStringLiteral("0000:00:00"), 1);
    if (!r.isArray()) return std::nullopt;
    return r.at(r.lowBound()).toIntDef(0);
}

QString DurationTextOut(qint64 seconds) {
    const QString t = ConvertSecond(seconds);
    return seconds < 0 && !t.startsWith(QLatin1Char('-')) ? QLatin1Char('-') + t : t;
}

double PercentTextIn(const QString& typed) {
    const int p = typed.indexOf(QLatin1Char('%'));
    bool ok = false;
    const double v = (p < 0 ? typed : typed.left(p)).trimmed().toDouble(&ok);
    return ok ? v / 100.0 : 0.0;
}

QString PercentTextOut(double fraction) {
    return QString::asprintf("%3.2f%%", fraction * 100.0);
}

QString NumberFieldDisplayFormat(int decimals) {
    if (decimals == 0) return QStringLiteral("#,##0.#######");
    if (decimals > 0) return QStringLiteral("#,##0.") + QStringLiteral("00000000000").left(decimals);
    return {};
}

QString NumberFieldEditFormat() {
    return QStringLiteral("##0.#######");
}

} // namespace kvx
