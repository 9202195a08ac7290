#include "FileDialogFilterTest.h"

#include <QTest>

#include "ui/FileDialogFilter.h"

using zelv4::FileDialogFilter;

void FileDialogFilterTest::nameFilters_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QStringList>("qt");
    QTest::newRow("image files, no terminator")
        << "Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*"
        << QStringList{"Hex Files (*.hex)", "Binary Files (*.bin)", "All Files (*)"};
    QTest::newRow("dump files, double bar ends the list")
        << "Dump Files (*.dmp)|*.dmp|All Files (*.*)|*.*||" << QStringList{"Dump Files (*.dmp)", "All Files (*)"};
    QTest::newRow("text after the terminator is ignored") << "A|*.a||B|*.b" << QStringList{"A (*.a)"};
    QTest::newRow("several patterns") << "Images|*.hex; *.bin||" << QStringList{"Images (*.hex *.bin)"};
    QTest::newRow("text without pattern list in it") << "Dumps|*.dmp" << QStringList{"Dumps (*.dmp)"};
    QTest::newRow("unpaired last text dropped") << "A|*.a|B" << QStringList{"A (*.a)"};
    QTest::newRow("empty pattern dropped") << "A||" << QStringList{};
    QTest::newRow("empty text keeps the pattern") << "|*.x" << QStringList{"*.x"};
    QTest::newRow("empty") << "" << QStringList{};
}

void FileDialogFilterTest::nameFilters()
{
    QFETCH(QString, windows);
    QFETCH(QStringList, qt);
    QCOMPARE(FileDialogFilter::ToNameFilters(windows.toStdString()), qt);
}
