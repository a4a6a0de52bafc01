// The Windows font families that forms, language packages and screen settings name ("宋体", "SimSun",
// "MS Sans Serif", "Tahoma", ...) are not installed on Linux. Left to themselves, Qt asks fontconfig for a
// fallback list per family and draws Latin text in one font (DejaVu) and Chinese text in another: two
// font engines, each loading its own glyph metrics, per size and weight. The substitution table maps every
// such family that is not installed to the one CJK family installed here, which draws both.
#pragma once

#include <QStringList>

class QFont;

namespace kvx::fonts {

// The Windows family names substituted (Simplified and Traditional Chinese faces, in both spellings, and
// the dialog faces).
const QStringList& windowsFamilies();

// The CJK families preferred, best first.
const QStringList& preferredCjkFamilies();

// The first of preferredCjkFamilies() that the font database knows; empty when none is installed.
QString installedCjkFamily();

// Enters the substitution into QFont's table (process-wide, read by every font lookup): each Windows
// family that is not installed is drawn in the installed CJK family. Families that are installed, or a
// system without a CJK family, are left alone. Returns the family substituted in (in lower case, as
// QFont keeps it, when the table had it already), empty when none. Needs the QGuiApplication; once the
// table holds the substitution, a call looks nothing up and adds nothing.
QString installFontSubstitutions();

// The family the code converter's UI font names after its face, so that Chinese text is drawn in it
// where the face is missing.
QString cjkFallbackFamily();

// The faces windows are designed in: "宋体" (the forms) and "SimSun" (the code converter's UI font).
const QStringList& designFamilies();

// Qt computes a fallback list per requested family that is not installed, per style and script, asking
// fontconfig (about a million instructions each), and keeps the lists for the process; font engines it
// keeps per thread. Loading the engines for Latin and Chinese text of every design family, of "SimSun"
// followed by cjkFallbackFamily() as the code converter names it, and of the application font fills
// those lists: a second thread can do it while the main thread builds a window. Call after
// installFontSubstitutions(), whose table the lists depend on.
void warmFallbackLists();

// Whether `text` in the italic of `font` is exactly as wide as upright: the family `font` resolves to has
// no italic or oblique face, so Qt slants the upright glyphs (which keeps their advances), and that face
// has every character of `text` (no fallback family, which might have an italic of its own). Asks the font
// database and the face's character map only: no glyph is loaded, no italic engine made.
bool italicKeepsAdvances(const QFont& font, const QString& text);

// Whether `text` in `font` is certainly no wider than `room` pixels, known without shaping it or loading
// a glyph: the font adds no letter or word spacing, every character is one its face has, of the scripts
// that take one advance per character (Latin, CJK ideographs and punctuation, full-width forms), and
// their count times the face's widest advance (plus a pixel each) fits. False means only that the text
// has to be measured.
bool fitsUnmeasured(const QFont& font, const QString& text, int room);

} // namespace kvx::fonts
