#pragma once

#include <QObject>

class DialogUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void averageCharWidthRoundsHalfUp_data();
    void averageCharWidthRoundsHalfUp();
    void convertsToNearestPixel_data();
    void convertsToNearestPixel();
    void rectanglesConvertEachFieldAlone();
    void nonPositiveBaseUnitsAreClamped();
    void fontMeasuresMatchTheTemplateFont();
};
