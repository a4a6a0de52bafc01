// TFont: the font of a control as an object-valued published property, so that "Font.Name",
// "Font.Size", "Font.Height", "Font.Style", "Font.Color" and "Font.Charset" can be set by path.
// Height is the character height in pixels, negative as stored by the forms (-13 = 13 pixels);
// Size is in points at 96 pixels per inch.
#pragma once

#include "platform/Color.h"

#include <QFont>
#include <QObject>

namespace kvx {

class TFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE setName)
    Q_PROPERTY(int Size READ Size WRITE setSize)
    Q_PROPERTY(int Height READ Height WRITE setHeight)
    Q_PROPERTY(FontStyles Style READ Style WRITE setStyle)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(int Charset READ Charset WRITE setCharset)
public:
    enum FontStyle { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
    Q_DECLARE_FLAGS(FontStyles, FontStyle)
    Q_FLAG(FontStyles)

    explicit TFont(QObject* parent = nullptr);

    QString Name() const { return font_.family(); }
    void setName(const QString& name);
    int Size() const;
    void setSize(int points);
    int Height() const;
    void setHeight(int height);
    FontStyles Style() const;
    void setStyle(FontStyles style);
    TColor Color() const { return color_; }
    void setColor(TColor c);
    int Charset() const { return charset_; }
    void setCharset(int cs);

    // The Qt font described (family, size, weight, style).
    QFont font() const { return font_; }
    void setFont(const QFont& f);
    void Assign(const TFont& other);

signals:
    void changed();

private:
    QFont font_;
    TColor color_ = colors::clWindowText;
    int charset_ = 1; // DEFAULT_CHARSET
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFont::FontStyles)

} // namespace kvx
