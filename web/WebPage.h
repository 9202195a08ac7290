#pragma once

#include <optional>
#include <string>

#include "core/DialogFields.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "web/WebDumpFiles.h"
#include "web/WebIspDevice.h"
#include "web/WebWindow.h"

namespace zelv4 {

// The programmer behind the page: the same operations as the window's and the
// command line's, over the page's window, loader and downloads. The page calls in
// for each click, one at a time; an operation that waits (a transfer, a message
// box, Auto's wait) suspends and resumes through Asyncify.
class WebPage {
public:
    WebPage();

    // The operation of the button with this control name; false for a name that
    // is no operation button.
    bool Click(const std::string& control);
    // Open File with what the file input chose: the name the file was stored
    // under in the current directory, or nothing when the choice was cancelled.
    void OpenFile(std::optional<std::string> name);

private:
    void Finished(const char* control, const OperationResult& result);

    DialogFields m_fields;
    IspReportBuffers m_reports;
    WebWindow m_window;
    WebIspDevice m_device;
    WebDumpFiles m_files;
    IspOperations m_operations;
};

}  // namespace zelv4
