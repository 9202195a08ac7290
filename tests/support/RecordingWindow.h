#pragma once

#include <chrono>
#include <functional>
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
// the user cancels).
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

    std::optional<std::string> openAnswer;
    std::optional<std::string> saveAnswer;
    std::optional<FileDialogOptions> openOptions;
    std::optional<FileDialogOptions> saveOptions;

private:
    EventLog& m_log;
};

// Passes everything to the real device search and logs searches and closes (when
// given a log); Auto's waits are recorded and return at once.
class RecordingDevice : public IspDevicePort {
public:
    explicit RecordingDevice(IspDevicePort& inner, EventLog* log = nullptr) : m_inner(inner), m_log(log) {}

    HidTransport* Device() const override { return m_inner.Device(); }
    std::uint16_t FeatureReportLength() const override { return m_inner.FeatureReportLength(); }
    IspSearchNotes FindIspDevice() override
    {
        IspSearchNotes notes = m_inner.FindIspDevice();
        Log(m_inner.IsOpen() ? "find:found" : "find:none");
        return notes;
    }
    void CloseIspDevice() override
    {
        Log("close");
        m_inner.CloseIspDevice();
    }
    void WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& /*stop*/) override
    {
        Log("sleep:" + std::to_string(timeout.count()));
        waits.push_back(static_cast<unsigned>(timeout.count()));
    }

    // Each wait's length in milliseconds.
    std::vector<unsigned> waits;

private:
    void Log(std::string entry)
    {
        if (m_log != nullptr)
            m_log->push_back(std::move(entry));
    }

    IspDevicePort& m_inner;
    EventLog* m_log;
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
