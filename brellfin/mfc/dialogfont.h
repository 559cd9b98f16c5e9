#pragma once

// The face and the dialog base units behind a template's "MS Shell Dlg".
// A template's size and places are in dialog units of that font on the
// platform it was made for, where 8 pt at 96 DPI gives base units of 6 x 13 px;
// the window takes that size here too, at every DPI. Its controls are drawn in
// Wine's metric-compatible Tahoma (Debian's fonts-wine), loaded from its file;
// Chinese glyphs come from the system's CJK font. Where that file is missing
// the system's sans face stands in, at the largest size whose own base units
// stay within the template's, so that the window keeps its size and every
// text still fits its control.

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

namespace Mfc {

class DialogFont {
public:
    // The base units of "MS Shell Dlg" at pointSize on the template's own
    // platform at dpi: 6 x 13 px for 8 pt at 96 DPI, in proportion elsewhere.
    static QSize templateBaseUnits(int pointSize, int dpi);
    // The base units a font gives by the platform's rule: a quarter of the
    // average width of the Latin letters across, an eighth of its height down.
    static QSize measuredBaseUnits(const QFont& font);
    // The font a template's controls are drawn with at dpi, from base (the
    // widget's font, whose other properties it keeps).
    static QFont forTemplate(const QFont& base, int pointSize, int dpi);
    // Whether the Tahoma face has been loaded from its file.
    static bool faceLoaded();

    static QString fontFolder();
    // Fonts from another folder from the next forTemplate on; an empty
    // folder restores Wine's.
    static void setFontFolderForTesting(const QString& folder);
};

// Pixels of a rectangle in dialog units, at the given base units.
QRect dialogUnitsToPixels(const QRect& units, const QSize& baseUnits);

} // namespace Mfc
