// ImageLibrary: the numbered button images of the image-resource library. Images 1..n are PNG files
// compiled in as Qt resources (src/controls/images/<n>.png, 18x18 each; a wider image holds several
// glyphs side by side); a folder named by $KVX_BMP_DIR may hold "<n>.png" files that replace or add
// numbered images (a file that cannot be read is a load error).
#pragma once

#include <QPixmap>
#include <QString>

class QAbstractButton;

namespace kvx {

class ImageLibrary {
public:
    // The highest image number.
    static int GetMaxBmpID();
    // Loads image n into bmp; false when it cannot be loaded (the bitmap is then left unchanged).
    static bool LoadBmp(QPixmap& bmp, int n);
    // The message shown when an image cannot be loaded.
    static QString loadErrorText();
};

// The glyph of an image button: the image, how many glyphs it holds side by side (normal, disabled),
// and the number it came from. Setting a number shows the number as the button's text first; a number
// of 0 or above the highest clears the image; a loaded image clears the text and sets the glyph count
// to its width divided by its height; a load error shows an error message.
// The glyph of a button; without a button (one built later) it keeps the glyph until attach().
class ButtonGlyph {
public:
    explicit ButtonGlyph(QAbstractButton* button) : button_(button) {}
    void attach(QAbstractButton* button);

    int index() const { return index_; }
    void setIndex(int n);
    QPixmap glyph() const { return glyph_; }
    void setGlyph(const QPixmap& p);
    int numGlyphs() const { return numGlyphs_; }
    void setNumGlyphs(int n);

private:
    void refresh();
    void setText(const QString& text);

    QAbstractButton* button_;
    QString text_;
    QPixmap glyph_;
    int index_ = 0;
    int numGlyphs_ = 1;
};

} // namespace kvx
