#include "FontSubstitution.h"

#include "Logging.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

namespace kvx::fonts {

const QStringList& windowsFamilies() {
    static const QStringList names = {
        QStringLiteral("宋体"),          QStringLiteral("SimSun"),        QStringLiteral("新宋体"),
        QStringLiteral("NSimSun"),       QStringLiteral("黑体"),          QStringLiteral("SimHei"),
        QStringLiteral("新细明体"),      QStringLiteral("新細明體"),      QStringLiteral("PMingLiU"),
        QStringLiteral("细明体"),        QStringLiteral("細明體"),        QStringLiteral("MingLiU"),
        QStringLiteral("Tahoma"),        QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg"),
        QStringLiteral("MS Shell Dlg 2")};
    return names;
}

const QStringList& preferredCjkFamilies() {
    static const QStringList names = {
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Noto Sans SC"),
        QStringLiteral("Source Han Sans SC"),  QStringLiteral("Droid Sans Fallback"),
        QStringLiteral("AR PL UMing CN")};
    return names;
}

namespace {

// Whether the database holds the family under exactly this name: QFontDatabase::hasFamily also answers
// true for a name fontconfig merely maps to some installed family.
bool installed(const QStringList& families, const QString& name) {
    return families.contains(name, Qt::CaseInsensitive);
}

QString firstInstalled(const QStringList& families) {
    for (const QString& name : preferredCjkFamilies())
        if (installed(families, name)) return name;
    return {};
}

} // namespace

QString installedCjkFamily() {
    return firstInstalled(QFontDatabase::families());
}

QString installFontSubstitutions() {
    // Entered already (by the shell at start, or for an earlier window): nothing to look up again.
    if (const QStringList entered = QFont::substitutes(windowsFamilies().constFirst()); !entered.isEmpty())
        return entered.constFirst();
    const QStringList families = QFontDatabase::families();
    const QString cjk = firstInstalled(families);
    if (cjk.isEmpty()) {
        qCInfo(lcPlatform) << "no CJK font family installed: Windows font names left to fontconfig";
        return {};
    }
    for (const QString& name : windowsFamilies()) {
        if (!installed(families, name)) QFont::insertSubstitution(name, cjk);
    }
    return cjk;
}

QString cjkFallbackFamily() {
    return QStringLiteral("WenQuanYi Micro Hei");
}

const QStringList& designFamilies() {
    static const QStringList names = {QStringLiteral("宋体"), QStringLiteral("SimSun")};
    return names;
}

namespace {

// Loads the font's engines for the common script (Latin) and for Han, as the first text in either
// would: no glyph is shaped or measured.
void loadEngines(const QFont& font, bool han = true) {
    const QFontMetrics metrics(font);
    metrics.ascent();
    if (han) metrics.inFontUcs4(0x6C49);
}

} // namespace

void warmFallbackLists() {
    loadEngines(QGuiApplication::font(), false);
    QFont font;
    font.setPixelSize(13);
    for (const QString& name : designFamilies()) {
        font.setFamilies({name});
        loadEngines(font);
    }
    // The code converter's UI font.
    font.setFamilies({designFamilies().last(), cjkFallbackFamily()});
    loadEngines(font);
}

bool italicKeepsAdvances(const QFont& font, const QString& text) {
    if (font.italic()) return true; // measured in the font itself
    const QString family = QFontInfo(font).family();
    for (const QString& style : QFontDatabase::styles(family))
        if (QFontDatabase::italic(family, style)) return false;
    const QFontMetrics metrics(font);
    for (const char32_t c : text.toUcs4())
        if (!metrics.inFontUcs4(c)) return false;
    return true;
}

namespace {

// Characters that shape one to one, left to right, with no marks to stack or ligatures to form.
bool oneAdvanceEach(char16_t c) {
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF60);
}

} // namespace

bool fitsUnmeasured(const QFont& font, const QString& text, int room) {
    if (text.isEmpty()) return room >= 0;
    // A percentage of 100 (or the unset 0) keeps the advances.
    const qreal letter = font.letterSpacing();
    const bool spaced =
        font.letterSpacingType() == QFont::PercentageSpacing ? letter != 0 && letter != 100 : letter != 0;
    if (spaced || font.wordSpacing() != 0) return false;
    const QFontMetrics metrics(font);
    const qsizetype count = text.size();
    // A cheap refusal first: the text could not fit even at the widest advance.
    if (count * (qint64(metrics.maxWidth()) + 1) > room) return false;
    for (const QChar c : text)
        if (!oneAdvanceEach(c.unicode()) || !metrics.inFont(c)) return false;
    return true;
}

} // namespace kvx::fonts
