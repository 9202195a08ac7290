#pragma once

#include <memory>

class QApplication;

namespace zelv4 {

// Creates the QApplication, which connects to the display. When the window system
// cannot be reached, Qt ends the process with an abort; this says why on stderr
// ("zelv4-writer: cannot open the display: DISPLAY is not set") and exits with 1
// instead.
class GuiStartup {
public:
    // argc must outlive the application, as QApplication requires.
    static std::unique_ptr<QApplication> CreateApplication(int& argc, char** argv);
};

}  // namespace zelv4
