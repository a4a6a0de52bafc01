#include "LibStrs.h"

#include "platform/CodePage.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

using kvx::Variant;

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

// Trim as the platform's string functions do: every character up to the space goes.
QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= ' ')
        ++b;
    while (e > b && s.at(e - 1).unicode() <= ' ')
        --e;
    return s.mid(b, e - b);
}

// Optional sign and at least one digit, nothing else; false on overflow.
bool parseInt(const QString& s, qint64& out) {
    qsizetype i = 0;
    bool neg = false;
    if (i < s.size() && (s.at(i) == QLatin1Char('-') || s.at(i) == QLatin1Char('+'))) neg = s.at(i++) == '-';
    if (i >= s.size()) return false;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        if (v > (std::numeric_limits<qint64>::max() - 9) / 10) return false;
        v = v * 10 + (c.unicode() - '0');
    }
    out = neg ? -v : v;
    return true;
}

// A number or -1.
qint64 intOrMinusOne(const QString& s) {
    qint64 v = 0;
    return parseInt(s, v) ? v : -1;
}

QString separatorOf(const QString& sep) {
    return sep.isEmpty() ? QString() : sep.left(1);
}

// Decimal text with 15 significant digits, the form in which values are rounded and compared.
double throughDecimalText(double v) {
    return QString::number(v, 'g', 15).toDouble();
}

double daysOf(const QDate& d) {
    return double(kEpoch.daysTo(d));
}

// Year, month, day of three fields in the order of a layout; era years become Gregorian ones.
void fieldsToYmd(int layout, qint64 a, qint64 b, qint64 c, qint64& y, qint64& m, qint64& d) {
    switch (layout) {
    case 2:
        m = a, d = b, y = c;
        break;
    case 3:
        d = a, m = b, y = c;
        break;
    case 4:
    case 5:
        y = a + 1911, m = b, d = c;
        break;
    default:
        y = a, m = b, d = c;
        break;
    }
}

bool validYmd(qint64 y, qint64 m, qint64 d) {
    return y >= 1 && y <= 9999 && QDate::isValid(int(y), int(m), int(d));
}

// Converts every item of one kind (text or byte string) of a value, arrays included; the rest is kept.
template <typename F> Variant convertStrings(const Variant& v, kvx::VarType kind, F&& conv) {
    if (v.type() == kind) return conv(v);
    if (!v.isArray()) return v;
    Variant out = v;
    const kvx::VarArray* a = v.arrayData();
    if (a->dims == 1) {
        for (int i = a->lo[0]; i <= a->hi[0]; ++i)
            out[i] = convertStrings(v.at(i), kind, conv);
    } else if (a->dims == 2) {
        for (int i = a->lo[0]; i <= a->hi[0]; ++i)
            for (int j = a->lo[1]; j <= a->hi[1]; ++j)
                out.item(i, j) = convertStrings(v.at(i, j), kind, conv);
    }
    return out;
}

int effectiveCodePage(int codePage) {
    return codePage == 0 ? kvx::codepage::systemCodePage() : codePage;
}

} // namespace

// --- tokens ---------------------------------------------------------------------------------------------

QString GetToken(const QString& Text, const QString& Delimiter, int N) {
    if (N < 1) return {};
    if (Delimiter.isEmpty()) return N == 1 ? Text : QString();
    qsizetype start = 0;
    for (int field = 1; field < N; ++field) {
        const qsizetype p = Text.indexOf(Delimiter, start);
        if (p < 0) return {};
        start = p + Delimiter.size();
    }
    const qsizetype end = Text.indexOf(Delimiter, start);
    return end < 0 ? Text.mid(start) : Text.mid(start, end - start);
}

bool TTokenCursor::Next(QStringView& Field) {
    if (AtEnd()) return false;
    const qsizetype end = delimiter_.isEmpty() ? -1 : text_.indexOf(delimiter_, start_);
    if (end < 0) {
        Field = text_.sliced(start_);
        done_ = true;
    } else {
        Field = text_.sliced(start_, end - start_);
        start_ = end + delimiter_.size();
    }
    return true;
}

QString CutToken(QString& Text, const QString& Delimiter) {
    const qsizetype p = Delimiter.isEmpty() ? -1 : Text.indexOf(Delimiter);
    if (p < 0) {
        QString all = Text;
        Text.clear();
        return all;
    }
    QString head = Text.left(p);
    Text.remove(0, p + Delimiter.size());
    return head;
}

int NumToken(const QString& Text, const QString& Delimiter) {
    if (Text.isEmpty()) return 0;
    if (Delimiter.isEmpty()) return 1;
    int n = 1;
    for (qsizetype p = 0; (p = Text.indexOf(Delimiter, p)) >= 0; p += Delimiter.size())
        ++n; // occurrences do not overlap, as fields do not
    return n;
}

QString SwapStr(const QString& Text, const QString& Old, const QString& New, bool Trim) {
    QString result;
    if (Old.isEmpty() || Old.compare(New, Qt::CaseInsensitive) == 0) {
        result = Text;
    } else {
        qsizetype from = 0;
        for (qsizetype p; (p = Text.indexOf(Old, from)) >= 0; from = p + Old.size()) {
            result += QStringView(Text).mid(from, p - from);
            result += New;
        }
        result += QStringView(Text).mid(from);
    }
    return Trim ? trimBlanks(result) : result;
}

// --- widths and numbers ---------------------------------------------------------------------------------

namespace {
QString pad(const QString& text, std::initializer_list<int> args, bool left) {
    if (args.size() == 0) return text;
    const int width = *args.begin();
    const QChar fill = args.size() > 1 ? QChar(char16_t(*(args.begin() + 1))) : QLatin1Char(' ');
    if (text.size() >= width) return text;
    const QString filler(width - text.size(), fill);
    return left ? filler + text : text + filler;
}
} // namespace

QString PadL(const QString& Text, std::initializer_list<int> Args) {
    return pad(Text, Args, true);
}

QString PadR(const QString& Text, std::initializer_list<int> Args) {
    return pad(Text, Args, false);
}

QString ZeroATfirst(qint64 Value, int Width) {
    return QString::asprintf("%.*lld", Width < 0 ? 0 : Width, static_cast<long long>(Value));
}

double FourOutFiveIn(double Value, int Digits) {
    if (!std::isfinite(Value)) return Value;
    if (Value == 0) return 0.0; // no -0
    const int digits = std::clamp(Digits, 0, 18);
    // Rounded on the decimal digits of the value's shortest text (15 significant digits), so a half
    // rounds away from zero at every magnitude.
    const QString e = QString::number(std::fabs(Value), 'e', 14); // "d.dddddddddddddde+XX"
    const qsizetype ePos = e.indexOf(QLatin1Char('e'));
    QString mantissa = e.left(ePos).remove(QLatin1Char('.'));
    const int exponent = e.mid(ePos + 1).toInt() + 1; // value = 0.mantissa x 10^exponent
    const qsizetype keep = qsizetype(exponent) + digits;
    if (keep >= mantissa.size()) return Value;
    if (keep < 0) return 0.0;
    const bool up = mantissa.at(keep) >= QLatin1Char('5');
    QString kept = mantissa.left(keep);
    int scale = exponent;
    if (up) {
        qsizetype k = kept.size() - 1;
        while (k >= 0 && kept[k] == QLatin1Char('9'))
            kept[k--] = QLatin1Char('0');
        if (k >= 0)
            kept[k] = QChar(kept[k].unicode() + 1);
        else {
            kept.prepend(QLatin1Char('1'));
            ++scale;
        }
    }
    if (kept.isEmpty()) return 0.0;
    const double magnitude =
        (QStringLiteral("0.") + kept + QLatin1Char('e') + QString::number(scale)).toDouble();
    if (magnitude == 0) return 0.0;
    return Value < 0 ? -magnitude : magnitude;
}

int CompareFloat(double X, double Y) {
    const double x = throughDecimalText(X), y = throughDecimalText(Y);
    if (std::fabs(x - y) < 1e-10) return 0;
    return x < y ? -1 : 1;
}

Variant IIF(bool Condition, const Variant& WhenTrue, const Variant& WhenFalse) {
    return Condition ? WhenTrue : WhenFalse;
}

bool IsVarEmptyOrNull(const Variant& Value) {
    return Value.isUnassigned() || Value.isNull();
}

bool IsLocalAddress(const QString& Address) {
    return Address == QLatin1String("127.0.0.1");
}

// --- dates and times ------------------------------------------------------------------------------------

QString DateToString(TDateTime Date, int Layout, const QString& Separator) {
    if (Date == 0) return {};
    const QDate d = kvx::daysToDate(Date).date();
    const QString s = separatorOf(Separator);
    const qint64 y = d.year(), m = d.month(), day = d.day();
    switch (Layout) {
    case 2:
        return ZeroATfirst(m, 2) + s + ZeroATfirst(day, 2) + s + ZeroATfirst(y, 4);
    case 3:
        return ZeroATfirst(day, 2) + s + ZeroATfirst(m, 2) + s + ZeroATfirst(y, 4);
    case 4:
        return ZeroATfirst(y - 1911, 2) + s + ZeroATfirst(m, 2) + s + ZeroATfirst(day, 2);
    case 5:
        return ZeroATfirst(y - 1911, 3) + s + ZeroATfirst(m, 2) + s + ZeroATfirst(day, 2);
    default:
        return ZeroATfirst(y, 4) + s + ZeroATfirst(m, 2) + s + ZeroATfirst(day, 2);
    }
}

QString MyDateTimeToString(TDateTime Date, int Layout, const QString& Separator) {
    if (Date == 0) return {};
    const QTime t = kvx::daysToDate(Date).time();
    return DateToString(Date, Layout, Separator) +
           QString::asprintf(" %.2d:%.2d:%.2d:%.3d", t.hour(), t.minute(), t.second(), t.msec());
}

TDateTime StringToDate(const QString& Text, int Layout, const QString& Separator) {
    const QString s = separatorOf(Separator);
    const qint64 a = intOrMinusOne(trimBlanks(GetToken(Text, s, 1)));
    const qint64 b = intOrMinusOne(trimBlanks(GetToken(Text, s, 2)));
    const qint64 c = intOrMinusOne(trimBlanks(GetToken(Text, s, 3)));
    if (a <= 0 || b <= 0 || c <= 0) return 0;
    qint64 y, m, d;
    fieldsToYmd(Layout, a, b, c, y, m, d);
    // A day count past ten thousand years leaves the calendar.
    if (!validYmd(y, m, 1) || d > 3660000) return 0;
    const QDate date = QDate(int(y), int(m), 1).addDays(d - 1);
    if (!date.isValid() || date.year() > 9999) return 0; // rolled past the last date
    return daysOf(date);
}

TDateTime TransDateIn(const QString& Text) {
    if (Text.size() != 8) return 0;
    qint64 y, m, d;
    if (!parseInt(Text.mid(0, 4), y) || !parseInt(Text.mid(4, 2), m) || !parseInt(Text.mid(6, 2), d))
        return 0;
    if (y == 0 || m == 0 || d == 0 || !validYmd(y, m, d)) return 0;
    return daysOf(QDate(int(y), int(m), int(d)));
}

TDateTime TransDateTimeIn(const QString& Text) {
    static const int pos[7][2] = {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}, {14, 3}};
    qint64 v[7];
    for (int i = 0; i < 7; ++i)
        if (!parseInt(Text.mid(pos[i][0], pos[i][1]), v[i])) return 0;
    const qint64 y = v[0], m = v[1], d = v[2], h = v[3], n = v[4], s = v[5], ms = v[6];
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return 0;
    const QTime time{int(h), int(n), int(s), int(ms)};
    if (y == 0 || m == 0 || d == 0) return double(time.msecsSinceStartOfDay()) / kMsPerDay;
    if (!validYmd(y, m, d)) return 0;
    return kvx::dateToDays(QDateTime(QDate(int(y), int(m), int(d)), time));
}

bool CheckDate(const QString& Text) {
    if (Text.isEmpty()) return true;
    if (Text.size() != 8) return false;
    for (QChar c : Text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    qint64 y, m, d;
    if (!parseInt(Text.mid(0, 4), y) || !parseInt(Text.mid(4, 2), m) || !parseInt(Text.mid(6, 2), d))
        return false;
    if (!validYmd(y, m, d)) return false;
    return Text >= QLatin1String("17530101") && Text <= QLatin1String("99991231");
}

QString Changedate(const QString& Text, int Layout, const QString& Separator) {
    const QString s = separatorOf(Separator);
    QString f[3];
    if (s.isEmpty()) {
        f[0] = Text.mid(0, 4), f[1] = Text.mid(4, 2), f[2] = Text.mid(6, 2);
    } else {
        TTokenCursor fields(Text, s);
        QStringView field;
        for (int i = 0; i < 3 && fields.Next(field); ++i)
            f[i] = field.toString();
    }
    const qint64 a = intOrMinusOne(trimBlanks(f[0]));
    const qint64 b = intOrMinusOne(trimBlanks(f[1]));
    const qint64 c = intOrMinusOne(trimBlanks(f[2]));
    if (a <= 0 || b <= 0 || c <= 0) return QStringLiteral("0");
    qint64 y, m, d;
    fieldsToYmd(Layout, a, b, c, y, m, d);
    return ZeroATfirst(y, 4) + ZeroATfirst(m, 2) + ZeroATfirst(d, 2);
}

QString ConvertSecond(qint64 Seconds) {
    if (Seconds == 0 || Seconds == std::numeric_limits<qint64>::min()) return QStringLiteral("0000:00:00");
    const qint64 a = Seconds < 0 ? -Seconds : Seconds;
    return (Seconds < 0 ? QStringLiteral("-") : QString()) + ZeroATfirst(a / 3600, 4) + QLatin1Char(':') +
           ZeroATfirst(a % 3600 / 60, 2) + QLatin1Char(':') + ZeroATfirst(a % 60, 2);
}

namespace {
// "h..h:nn:ss" to seconds; false when the text breaks the rules.
bool timeToSeconds(const QString& t, qint64& out) {
    if (t.size() < 8 || t.count(QLatin1Char(':')) != 2) return false;
    for (QChar c : t)
        if (c != QLatin1Char(':') && (c < QLatin1Char('0') || c > QLatin1Char('9'))) return false;
    const QStringList parts = t.split(QLatin1Char(':'));
    qint64 h, m, s;
    if (parts[0].size() > 12 || !parseInt(parts[0], h) || !parseInt(parts[1], m) || !parseInt(parts[2], s))
        return false;
    out = h * 3600 + m * 60 + s;
    return true;
}
} // namespace

Variant CountSecond(const QString& Time1, const QString& Time2, int Sign) {
    qint64 a, b;
    if ((Sign == 1 || Sign == -1) && timeToSeconds(Time1, a) && timeToSeconds(Time2, b)) {
        const qint64 r = a + Sign * b;
        return Variant::fromList({Variant(r), Variant(ConvertSecond(r))});
    }
    return Variant::fromList({Variant(qint64(0)), Variant(QStringLiteral("000:00:00"))});
}

// --- other ----------------------------------------------------------------------------------------------

QString GetCHTButtonCaption(const QString& Name) {
    static const struct {
        const char* name;
        const char* caption;
    } table[] = {
        {"Yes", "是(&Y)"},       {"No", "否(&N)"},         {"OK", "确定"},         {"Cancel", "取消"},
        {"Abort", "中断(&A)"},   {"Retry", "重试(&R)"},    {"Ignore", "忽略(&I)"}, {"All", "全部(&A)"},
        {"NoToAll", "全否(&o)"}, {"YesToAll", "全是(&A)"}, {"Help", "帮助(&H)"},
    };
    for (const auto& e : table)
        if (Name == QLatin1String(e.name)) return QString::fromUtf8(e.caption);
    return Name;
}

Variant KVStrToWideString(const Variant& Value, int CodePage) {
    const int cp = effectiveCodePage(CodePage);
    return convertStrings(Value, kvx::VarType::ByteString, [cp](const Variant& bytes) {
        return Variant(kvx::codepage::decode(bytes.toBytes(), cp));
    });
}

Variant KVWideStringToStr(const Variant& Value, int CodePage) {
    const int cp = effectiveCodePage(CodePage);
    return convertStrings(Value, kvx::VarType::String, [cp](const Variant& text) {
        return Variant::fromBytes(kvx::codepage::encode(text.toString(), cp));
    });
}

QString MakeFullPath(const QString& Path, const QString& Base) {
    // A drive (C:\x, C:x) or a share (\\host\share, //host/share) is a full path already.
    const bool drive =
        Path.size() >= 2 && Path[1] == QLatin1Char(':') && Path[0].isLetter() && Path[0].unicode() < 128;
    const bool share = Path.startsWith(QLatin1String("\\\\")) || Path.startsWith(QLatin1String("//"));
    if (drive || share) return Path;
    if (Path.startsWith(QLatin1Char('\\')))
        return Base + QString(Path.mid(1)).replace(QLatin1Char('\\'), '/');
    if (QDir::isAbsolutePath(Path)) return Path;
    return Base + QString(Path).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString AlertLogFolder() {
    QString base;
    kvx::Registry reg;
    if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) {
        base = reg.readString(QStringLiteral("ClientPath"));
        if (base.isEmpty()) base = reg.readString(QStringLiteral("ServerPath"));
    }
    if (base.isEmpty())
        base = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
    return base + QStringLiteral("Log/");
}

bool WriteToAlertFile(const QString& Name, const QString& Text, const QString& Period) {
    const QString folder = AlertLogFolder();
    if (!QDir().mkpath(folder)) return false;

    const QDateTime now = QDateTime::currentDateTime();
    QString stamp;
    if (Period == QLatin1String("M"))
        stamp = now.toString(QStringLiteral("yyyyMM"));
    else if (Period == QLatin1String("Y"))
        stamp = now.toString(QStringLiteral("yyyy"));
    else
        stamp = now.toString(QStringLiteral("yyyyMMdd"));

    // A name is one file name: separators would reach outside the log folder.
    QString name = Name;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    QString fileName = folder + QStringLiteral("Alert_") + name + QLatin1Char('_') + stamp;
    if (!name.contains(QLatin1Char('.'))) fileName += QStringLiteral(".log");

    const QString line = QLatin1Char('[') + now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")) +
                         QStringLiteral("] ") + Text + QStringLiteral("\r\n");
    // Chinese systems get their ANSI code page; others UTF-8, since code page 437 cannot hold the
    // Chinese texts the module itself logs.
    const int cp = kvx::codepage::systemCodePage();
    const QByteArray bytes = (cp == 936 || cp == 950) ? kvx::codepage::encode(line, cp) : line.toUtf8();

    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

QString QuotedSql(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}
