#include "platform/Font.h"

#include <QtMath>

namespace kvx {

TFont::TFont(QObject* parent) : QObject(parent) {}

void TFont::setName(const QString& name) {
    if (name == font_.family()) return;
    font_.setFamilies({name});
    emit changed();
}

int TFont::Size() const {
    if (font_.pointSize() > 0) return font_.pointSize();
    return qRound(font_.pixelSize() * 72.0 / 96.0);
}

void TFont::setSize(int points) {
    if (points <= 0 || (font_.pointSize() == points)) return;
    font_.setPointSize(points);
    emit changed();
}

int TFont::Height() const {
    if (font_.pixelSize() > 0) return -font_.pixelSize();
    return -qRound(font_.pointSizeF() * 96.0 / 72.0);
}

void TFont::setHeight(int height) {
    if (height == 0) return;
    if (height > 0) {
        // A positive height includes the internal leading; take the character height as 5/6 of it.
        height = -qMax(1, qRound(height * 5.0 / 6.0));
    }
    if (font_.pixelSize() == -height) return;
    font_.setPixelSize(-height);
    emit changed();
}

TFont::FontStyles TFont::Style() const {
    FontStyles s;
    if (font_.bold()) s |= fsBold;
    if (font_.italic()) s |= fsItalic;
    if (font_.underline()) s |= fsUnderline;
    if (font_.strikeOut()) s |= fsStrikeOut;
    return s;
}

void TFont::setStyle(FontStyles style) {
    if (style == Style()) return;
    font_.setBold(style.testFlag(fsBold));
    font_.setItalic(style.testFlag(fsItalic));
    font_.setUnderline(style.testFlag(fsUnderline));
    font_.setStrikeOut(style.testFlag(fsStrikeOut));
    emit changed();
}

void TFont::setColor(TColor c) {
    if (c == color_) return;
    color_ = c;
    emit changed();
}

void TFont::setCharset(int cs) {
    if (cs == charset_) return;
    charset_ = cs;
    emit changed();
}

void TFont::setFont(const QFont& f) {
    if (f == font_) return;
    font_ = f;
    emit changed();
}

void TFont::Assign(const TFont& other) {
    QSignalBlocker block(this);
    font_ = other.font_;
    color_ = other.color_;
    charset_ = other.charset_;
    block.unblock();
    emit changed();
}

} // namespace kvx
