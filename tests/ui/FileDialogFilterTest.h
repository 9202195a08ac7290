#pragma once

#include <QObject>

class FileDialogFilterTest : public QObject {
    Q_OBJECT

private slots:
    void nameFilters_data();
    void nameFilters();
};
