#include "platform/Color.h"

#include "platform/PropertySetter.h"

#include <QGuiApplication>

namespace kvx {

const QList<QPair<QString, int>>& colorIdents() {
    using namespace colors;
    static const QList<QPair<QString, int>> idents = {
        {"clBlack", clBlack},         {"clMaroon", clMaroon},
        {"clGreen", clGreen},         {"clOlive", clOlive},
        {"clNavy", clNavy},           {"clPurple", clPurple},
        {"clTeal", clTeal},           {"clGray", clGray},
        {"clSilver", clSilver},       {"clRed", clRed},
        {"clLime", clLime},           {"clYellow", clYellow},
        {"clBlue", clBlue},           {"clFuchsia", clFuchsia},
        {"clAqua", clAqua},           {"clWhite", clWhite},
        {"clMoneyGreen", 0xC0DCC0},   {"clSkyBlue", 0xF0CAA6},
        {"clCream", 0xF0FBFF},        {"clMedGray", 0xA4A0A0},
        {"clScrollBar", sys(0)},      {"clBackground", sys(1)},
        {"clActiveCaption", sys(2)},  {"clInactiveCaption", sys(3)},
        {"clMenu", sys(4)},           {"clWindow", sys(5)},
        {"clWindowFrame", sys(6)},    {"clMenuText", sys(7)},
        {"clWindowText", sys(8)},     {"clCaptionText", sys(9)},
        {"clActiveBorder", sys(10)},  {"clInactiveBorder", sys(11)},
        {"clAppWorkSpace", sys(12)},  {"clHighlight", sys(13)},
        {"clHighlightText", sys(14)}, {"clBtnFace", sys(15)},
        {"clBtnShadow", sys(16)},     {"clGrayText", sys(17)},
        {"clBtnText", sys(18)},       {"clInactiveCaptionText", sys(19)},
        {"clBtnHighlight", sys(20)},  {"cl3DDkShadow", sys(21)},
        {"cl3DLight", sys(22)},       {"clInfoText", sys(23)},
        {"clInfoBk", sys(24)},        {"clNone", clNone},
        {"clDefault", clDefault},
    };
    return idents;
}

std::optional<TColor> colorFromText(const QString& text) {
    const QString t = text.trimmed();
    for (const auto& [name, value] : colorIdents())
        if (name.compare(t, Qt::CaseInsensitive) == 0) return value;
    if (auto n = PropertySetter::parseInteger(t)) return TColor(*n);
    return std::nullopt;
}

QString colorToText(TColor c) {
    for (const auto& [name, value] : colorIdents())
        if (value == c) return name;
    return QStringLiteral("$%1").arg(uint(c), 8, 16, QLatin1Char('0')).toUpper();
}

QColor toQColor(TColor c, const QPalette& palette) {
    if (c == colors::clNone || c == colors::clDefault) return {};
    if (uint(c) & 0x80000000u) {
        const QPalette& pal = palette;
        switch (uint(c) & 0xFF) {
        case 5:
            return pal.color(QPalette::Base);
        case 8:
        case 7:
            return pal.color(QPalette::Text);
        case 13:
            return pal.color(QPalette::Highlight);
        case 14:
            return pal.color(QPalette::HighlightedText);
        case 15:
        case 4:
            return pal.color(QPalette::Button);
        case 16:
            return pal.color(QPalette::Dark);
        case 17:
            return pal.color(QPalette::Disabled, QPalette::Text);
        case 18:
            return pal.color(QPalette::ButtonText);
        case 20:
            return pal.color(QPalette::Light);
        case 21:
            return pal.color(QPalette::Shadow);
        case 22:
            return pal.color(QPalette::Midlight);
        case 23:
            return pal.color(QPalette::ToolTipText);
        case 24:
            return pal.color(QPalette::ToolTipBase);
        default:
            return pal.color(QPalette::Window);
        }
    }
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QColor toQColor(TColor c) {
    return toQColor(c, QGuiApplication::palette());
}

TColor fromQColor(const QColor& c) {
    if (!c.isValid()) return colors::clNone;
    return tcolorRGB(c.red(), c.green(), c.blue());
}

} // namespace kvx
