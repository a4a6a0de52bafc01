// EditMask: the edit masks the fields carry ("99:99;1; ", "###.##%;1; ", date masks by date style).
//
// A mask has up to three sections separated by ";": the mask itself, "1" to keep literal characters in
// the text a field receives ("0" drops them), and the blank character shown in empty positions.
// Mask characters: 0 digit, 9 optional digit, # optional digit or sign, L/l letter, A/a letter or digit,
// C/c any character (capital = required), > and < upper/lower case, <> no case change, \ literal next;
// every other character is a literal. A QLineEdit runs the equivalent Qt input mask.
#pragma once

#include <QList>
#include <QString>

class QLineEdit;

namespace kvx {

class EditMask {
public:
    EditMask() = default;
    explicit EditMask(const QString& mask);

    bool isEmpty() const { return mask_.isEmpty(); }
    QString mask() const { return source_; }
    bool saveLiterals() const { return saveLiterals_; }
    QChar blank() const { return blank_; }

    // The equivalent Qt input mask, with the blank character ("00:00; ").
    QString qtInputMask() const;
    // The text a field receives from what the edit shows (the displayed text with blanks).
    QString maskedText(const QString& displayText) const;
    // The masked text of an empty edit ("  :  " for "99:99;1; ").
    QString emptyMaskedText() const;
    // Whether anything was typed: the masked text differs from the empty masked text.
    bool hasInput(const QString& displayText) const { return maskedText(displayText) != emptyMaskedText(); }

    // Sets the mask on an edit (an empty mask removes it).
    void applyTo(QLineEdit* edit) const;

    // Masks by date style (1 to 5) and separator: date, year-month, month-day, year.
    static QString dateMask(int style, QChar separator);
    static QString yearMonthMask(int style, QChar separator);
    static QString monthDayMask(QChar separator);
    static QString yearMask(int style);

private:
    struct Pos {
        QChar ch; // literal character, or the mask character
        bool literal = false;
    };
    QString source_, mask_;
    bool saveLiterals_ = true;
    QChar blank_ = QLatin1Char('_');
    QList<Pos> positions_;
};

} // namespace kvx
