#pragma once
// Template fonts and dialog units.
//
// A dialog unit is a quarter of the template font's average character width horizontally and an
// eighth of its height vertically, so a window laid out in dialog units keeps its proportions
// whatever font or screen it ends up with.

#include <QFont>
#include <QRect>

namespace fw {

// The template's font, with the Japanese families installed on Linux standing in for it.
QFont TemplateFont(const char* face, int pointSize);

struct DialogUnits {
    int baseX;  // average character width, pixels
    int baseY;  // character height, pixels
    int ToPixelsX(int du) const { return (du * baseX + 2) / 4; }
    int ToPixelsY(int du) const { return (du * baseY + 4) / 8; }
    QRect ToPixels(int x, int y, int cx, int cy) const {
        return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(cx), ToPixelsY(cy));
    }
};

DialogUnits MeasureDialogUnits(const QFont& font);

}  // namespace fw
