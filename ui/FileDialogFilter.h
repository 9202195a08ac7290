#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace zelv4 {

// File-type filters of the Windows form "Text|pattern|Text|pattern||" turned into
// the name filters a QFileDialog takes.
class FileDialogFilter {
public:
    // Each pair becomes "Text (p1 p2)": the text loses a "(...)" it already ends
    // with, ';' separated patterns become space separated, and "*.*" becomes "*"
    // (on Windows it also matches names without a dot). An unpaired last text is
    // dropped, as Windows does.
    static QStringList ToNameFilters(const std::string& filter);
};

}  // namespace zelv4
