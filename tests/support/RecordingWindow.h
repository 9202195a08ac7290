#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/IspDevicePort.h"
#include "core/UsbBusPort.h"
#include "core/WindowServices.h"

namespace zelv4::test {

// One log shared by the fake window and the device wrapper, so that tests can check
// the order of field exchange, gating, searches and messages together.
using EventLog = std::vector<std::string>;

inline const char* IconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        return "none";
    case MessageIcon::Information:
        return "info";
    case MessageIcon::Error:
        return "error";
    }
    return "?";
}

// Records every service call. Dialogs answer with the path set beforehand (none:
// the user cancels); Sleep returns at once.
class RecordingWindow : public WindowServices {
public:
    explicit RecordingWindow(EventLog& log) : m_log(log) {}

    void ShowFields() override { m_log.push_back("show"); }
    void CollectFields() override { m_log.push_back("collect"); }
    void DisableButtons() override { m_log.push_back("disable"); }
    void EnableButtons() override { m_log.push_back("enable"); }

    void MessageBox(const std::string& text, MessageIcon icon) override
    {
        m_log.push_back(std::string("message:") + IconName(icon) + ":" + text);
    }
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override
    {
        m_log.push_back(std::string("window-message:") + IconName(icon) + ":[" + caption + "]:" + text);
    }

    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override
    {
        m_log.push_back("open-dialog");
        openOptions = options;
        return openAnswer;
    }
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override
    {
        m_log.push_back("save-dialog");
        saveOptions = options;
        return saveAnswer;
    }

    void Sleep(unsigned milliseconds) override
    {
        m_log.push_back("sleep:" + std::to_string(milliseconds));
        ++sleeps;
    }

    std::optional<std::string> openAnswer;
    std::optional<std::string> saveAnswer;
    std::optional<FileDialogOptions> openOptions;
    std::optional<FileDialogOptions> saveOptions;
    int sleeps = 0;

private:
    EventLog& m_log;
};

// Passes everything to the real device search and logs searches and closes.
class RecordingDevice : public IspDevicePort {
public:
    RecordingDevice(IspDevicePort& inner, EventLog& log) : m_inner(inner), m_log(log) {}

    HidTransport* Device() const override { return m_inner.Device(); }
    std::uint16_t FeatureReportLength() const override { return m_inner.FeatureReportLength(); }
    IspSearchNotes FindIspDevice() override
    {
        IspSearchNotes notes = m_inner.FindIspDevice();
        m_log.push_back(m_inner.IsOpen() ? "find:found" : "find:none");
        return notes;
    }
    void CloseIspDevice() override
    {
        m_log.push_back("close");
        m_inner.CloseIspDevice();
    }

private:
    IspDevicePort& m_inner;
    EventLog& m_log;
};

// Passes the scan to the real one and logs its count, in the same log.
class RecordingBus : public UsbBusPort {
public:
    RecordingBus(UsbBusPort& inner, EventLog& log) : m_inner(inner), m_log(log) {}

    int CountBusDevices() override
    {
        const int count = m_inner.CountBusDevices();
        m_log.push_back("scan:" + std::to_string(count));
        return count;
    }

private:
    UsbBusPort& m_inner;
    EventLog& m_log;
};

}  // namespace zelv4::test
