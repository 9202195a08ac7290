#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace zelv4 {

namespace {

// The letters Windows measures for a dialog font's average character width.
constexpr char DIALOG_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int DIALOG_ALPHABET_HALF = 26;

// a * b / c rounded to nearest with halves away from zero; c > 0.
int MulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : -((-product + half) / c));
}

}  // namespace

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : m_baseX(averageCharWidth > 0 ? averageCharWidth : 1), m_baseY(charHeight > 0 ? charHeight : 1)
{}

DialogUnits::DialogUnits(const QFont& font)
    : DialogUnits(AverageCharWidth(QFontMetrics(font).horizontalAdvance(QString::fromLatin1(DIALOG_ALPHABET))),
                  QFontMetrics(font).height())
{}

int DialogUnits::AverageCharWidth(int alphabetWidth)
{
    return (alphabetWidth / DIALOG_ALPHABET_HALF + 1) / 2;
}

int DialogUnits::ToPixelsX(int dlu) const
{
    return MulDiv(dlu, m_baseX, 4);
}

int DialogUnits::ToPixelsY(int dlu) const
{
    return MulDiv(dlu, m_baseY, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const
{
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

}  // namespace zelv4
