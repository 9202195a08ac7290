#include "DialogUnitsTest.h"

#include <QFontMetrics>
#include <QTest>

#include "ui/CIspWriterDlg.h"
#include "ui/DialogUnits.h"

using zelv4::DialogUnits;

void DialogUnitsTest::averageCharWidthRoundsHalfUp_data()
{
    QTest::addColumn<int>("alphabetWidth");
    QTest::addColumn<int>("expected");
    // width / 26 is twice the average; the +1 rounds it half up.
    QTest::newRow("exact 6") << 312 << 6;
    QTest::newRow("11.96 -> 6") << 311 << 6;
    QTest::newRow("10.96 -> 5") << 285 << 5;
    QTest::newRow("11.0 -> 6") << 286 << 6;
    QTest::newRow("10.8 -> 5") << 281 << 5;
    QTest::newRow("empty font") << 0 << 0;
}

void DialogUnitsTest::averageCharWidthRoundsHalfUp()
{
    QFETCH(int, alphabetWidth);
    QFETCH(int, expected);
    QCOMPARE(DialogUnits::AverageCharWidth(alphabetWidth), expected);
}

void DialogUnitsTest::convertsToNearestPixel_data()
{
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<int>("dlu");
    QTest::addColumn<int>("pixelsX");
    QTest::addColumn<int>("pixelsY");
    QTest::newRow("template width, 6x12") << 6 << 12 << 250 << 375 << 375;
    QTest::newRow("template height, 6x12") << 6 << 12 << 152 << 228 << 228;
    QTest::newRow("half rounds up, 6x12") << 6 << 12 << 1 << 2 << 2;  // 1.5 and 1.5
    QTest::newRow("7x13, one unit") << 7 << 13 << 1 << 2 << 2;        // 1.75, 1.625
    QTest::newRow("7x13, 14 units") << 7 << 13 << 14 << 25 << 23;     // 24.5, 22.75
    QTest::newRow("5x13 below half") << 5 << 13 << 3 << 4 << 5;       // 3.75, 4.875
    QTest::newRow("negative rounds away from 0") << 6 << 12 << -1 << -2 << -2;
    QTest::newRow("zero") << 6 << 12 << 0 << 0 << 0;
}

void DialogUnitsTest::convertsToNearestPixel()
{
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(int, dlu);
    QFETCH(int, pixelsX);
    QFETCH(int, pixelsY);
    const DialogUnits units(baseX, baseY);
    QCOMPARE(units.ToPixelsX(dlu), pixelsX);
    QCOMPARE(units.ToPixelsY(dlu), pixelsY);
}

void DialogUnitsTest::rectanglesConvertEachFieldAlone()
{
    // Windows converts position and size separately, not the far edge: one unit
    // at one unit is 2 + 2 pixels with 6x12, where converting the edge gives 2 + 1.
    QCOMPARE(DialogUnits(6, 12).ToPixels(1, 1, 1, 1), QRect(2, 2, 2, 2));
    QCOMPARE(DialogUnits(7, 13).ToPixels(25, 17, 219, 28), QRect(44, 28, 383, 46));
}

void DialogUnitsTest::nonPositiveBaseUnitsAreClamped()
{
    const DialogUnits units(0, -3);
    QCOMPARE(units.AverageCharWidth(), 1);
    QCOMPARE(units.CharHeight(), 1);
    QCOMPARE(units.ToPixelsX(8), 2);
}

void DialogUnitsTest::fontMeasuresMatchTheTemplateFont()
{
    const QFont font = zelv4::CIspWriterDlg::DialogFont();
    const QFontMetrics metrics(font);
    const DialogUnits units(font);
    QCOMPARE(units.CharHeight(), metrics.height());
    // Four horizontal units are about one average character; eight vertical ones one line.
    QVERIFY(qAbs(units.ToPixelsX(4) - metrics.averageCharWidth()) <= 2);
}
