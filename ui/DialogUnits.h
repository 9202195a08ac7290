#pragma once

#include <QFont>
#include <QRect>

namespace zelv4 {

// Dialog units to pixels, from the dialog font, the way Windows lays out a dialog
// template: one horizontal unit is a quarter of the font's average character width,
// one vertical unit an eighth of its character height.
class DialogUnits {
public:
    // Base units straight from the font measures (for tests and other fonts).
    DialogUnits(int averageCharWidth, int charHeight);
    explicit DialogUnits(const QFont& font);

    // Windows takes the average width of the 52 Latin letters, rounded half up:
    // (width / 26 + 1) / 2 in integers.
    static int AverageCharWidth(int alphabetWidth);

    int AverageCharWidth() const { return m_baseX; }
    int CharHeight() const { return m_baseY; }

    // Rounded to the nearest pixel, halves away from zero, like MulDiv.
    int ToPixelsX(int dlu) const;
    int ToPixelsY(int dlu) const;
    QRect ToPixels(int x, int y, int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace zelv4
