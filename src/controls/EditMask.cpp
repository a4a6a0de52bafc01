#include "controls/EditMask.h"

#include <QLineEdit>

namespace kvx {

namespace {
bool isQtSpecial(QChar c) {
    return QStringLiteral("AaNnXx90DdHhBb#><![]{}\\").contains(c);
}
bool isMaskChar(QChar c) {
    return QStringLiteral("09#LlAaCc").contains(c);
}

QString literal(QChar sep) {
    // A separator that is itself a mask character is escaped.
    return (isMaskChar(sep) || sep == '\\' || sep == '>' || sep == '<' || sep == ';') ? QString('\\') + sep
                                                                                      : QString(sep);
}

QString yearPart(int style) {
    return style == 4 ? "99" : style == 5 ? "999" : "9999";
}
} // namespace

EditMask::EditMask(const QString& mask) : source_(mask) {
    // Sections are split at the last two unescaped ";".
    QList<int> semis;
    for (int i = 0; i < mask.size(); ++i) {
        if (mask[i] == '\\') {
            ++i;
            continue;
        }
        if (mask[i] == ';') semis.append(i);
    }
    mask_ = mask;
    if (semis.size() >= 2) {
        const int a = semis[semis.size() - 2], b = semis.last();
        mask_ = mask.left(a);
        saveLiterals_ = mask.mid(a + 1, b - a - 1).trimmed() != "0";
        const QString bl = mask.mid(b + 1);
        if (!bl.isEmpty()) blank_ = bl[0];
    } else if (semis.size() == 1) {
        mask_ = mask.left(semis[0]);
        saveLiterals_ = mask.mid(semis[0] + 1).trimmed() != "0";
    }
    for (int i = 0; i < mask_.size(); ++i) {
        const QChar c = mask_[i];
        if (c == '\\' && i + 1 < mask_.size()) {
            positions_.append({mask_[++i], true});
        } else if (c == '>' || c == '<' || c == '!') {
            if (c == '<' && i + 1 < mask_.size() && mask_[i + 1] == '>') ++i;
            continue; // case and blank-trimming directives take no position
        } else {
            positions_.append({c, !isMaskChar(c)});
        }
    }
}

QString EditMask::qtInputMask() const {
    if (mask_.isEmpty()) return {};
    QString out;
    for (int i = 0; i < mask_.size(); ++i) {
        const QChar c = mask_[i];
        if (c == '\\' && i + 1 < mask_.size()) {
            const QChar n = mask_[++i];
            out += isQtSpecial(n) ? QString('\\') + n : QString(n);
            continue;
        }
        switch (c.unicode()) {
        case '0':
            out += '9';
            break;
        case '9':
            out += '0';
            break;
        case '#':
            out += '#';
            break;
        case 'L':
            out += 'A';
            break;
        case 'l':
            out += 'a';
            break;
        case 'A':
            out += 'N';
            break;
        case 'a':
            out += 'n';
            break;
        case 'C':
            out += 'X';
            break;
        case 'c':
            out += 'x';
            break;
        case '>':
            out += '>';
            break;
        case '<':
            if (i + 1 < mask_.size() && mask_[i + 1] == '>') {
                out += '!';
                ++i;
            } else {
                out += '<';
            }
            break;
        case '!':
            break;
        default:
            out += isQtSpecial(c) ? QString('\\') + c : QString(c);
        }
    }
    return out + ';' + blank_;
}

QString EditMask::maskedText(const QString& displayText) const {
    if (mask_.isEmpty()) return displayText;
    QString out;
    for (int i = 0; i < positions_.size(); ++i) {
        const QChar shown = i < displayText.size() ? displayText[i] : blank_;
        if (positions_[i].literal) {
            if (saveLiterals_) out += positions_[i].ch;
        } else {
            // What the edit shows as blank is a blank in the field's text.
            out += shown == blank_ ? QChar(' ') : shown;
        }
    }
    return out;
}

QString EditMask::emptyMaskedText() const {
    return maskedText(QString());
}

void EditMask::applyTo(QLineEdit* edit) const {
    if (!edit) return;
    edit->setInputMask(qtInputMask());
}

QString EditMask::dateMask(int style, QChar sep) {
    const QString s = literal(sep);
    if (style == 2 || style == 3) return "99" + s + "99" + s + yearPart(style) + ";1; ";
    return yearPart(style) + s + "99" + s + "99;1; ";
}

QString EditMask::yearMonthMask(int style, QChar sep) {
    const QString s = literal(sep);
    if (style == 2 || style == 3) return "99" + s + yearPart(style) + ";1; ";
    return yearPart(style) + s + "99;1; ";
}

QString EditMask::monthDayMask(QChar sep) {
    return "99" + literal(sep) + "99;1; ";
}

QString EditMask::yearMask(int style) {
    return yearPart(style) + ";1; ";
}

} // namespace kvx
