// Colours as the component model stores them: a 32-bit integer with blue in the high byte
// ($00BBGGRR), or a system colour ($80000000 + index) that follows the current palette.
#pragma once

#include <QColor>
#include <QList>
#include <QPair>
#include <QPalette>
#include <QString>
#include <optional>

namespace kvx {

using TColor = int;

constexpr TColor tcolorRGB(int r, int g, int b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

namespace colors {
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                 clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor sys(int index) {
    return int(0x80000000u | unsigned(index));
}
constexpr TColor clScrollBar = sys(0), clBackground = sys(1), clActiveCaption = sys(2),
                 clInactiveCaption = sys(3), clMenu = sys(4), clWindow = sys(5), clWindowFrame = sys(6),
                 clMenuText = sys(7), clWindowText = sys(8), clCaptionText = sys(9), clHighlight = sys(13),
                 clHighlightText = sys(14), clBtnFace = sys(15), clBtnShadow = sys(16), clGrayText = sys(17),
                 clBtnText = sys(18), clBtnHighlight = sys(20), clInfoText = sys(23), clInfoBk = sys(24);
} // namespace colors

// Identifier table of colour names (clRed, clWindow, ...), in the platform's order.
const QList<QPair<QString, int>>& colorIdents();

// Colour names and "$00BBGGRR"/decimal texts to a colour value.
std::optional<TColor> colorFromText(const QString& text);
// The colour's name when it has one, else "$00BBGGRR".
QString colorToText(TColor c);

// Resolves system colours against the palette; clNone and clDefault give an invalid QColor.
QColor toQColor(TColor c, const QPalette& palette);
QColor toQColor(TColor c); // against the application palette
TColor fromQColor(const QColor& c);

} // namespace kvx
