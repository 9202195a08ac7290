// Runs the suites that need fonts but no window.
#include <QApplication>
#include <QTest>

#include "DialogUnitsTest.h"
#include "FileDialogFilterTest.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    int failures = 0;
    {
        DialogUnitsTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        FileDialogFilterTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
