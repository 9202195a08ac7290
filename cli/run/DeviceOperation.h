#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/output/OutputSink.h"
#include "cli/run/CliWindow.h"
#include "core/DialogFields.h"
#include "core/ImageFile.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

class DevicePlatform;

using Operation = OperationResult (IspOperations::*)();

// What an operation does, the same on every device it runs on.
struct OperationRequest {
    Operation operation = nullptr;
    std::string imagePath;  // empty: none
    // The file as the command read it before any device was touched.
    std::shared_ptr<const LoadedImageFile> image;
    std::optional<std::string> dumpPath;  // what Read's save dialog answers
};

// One operation on the command line, run as a button click runs over the window: a
// terminal window that says its messages to `output`, the fields, report buffers, a
// device connection of its own limited to `selection`, a bus scan and the output
// files. `stop` (Ctrl-C) ends its requests; null: nothing does.
class DeviceOperation {
public:
    DeviceOperation(DevicePlatform& platform, const OperationRequest& request, OutputSink& output,
                    std::function<bool(const std::string& path)> selection, std::function<bool()> stop);
    DeviceOperation(const DeviceOperation&) = delete;
    DeviceOperation& operator=(const DeviceOperation&) = delete;

    IspDeviceConnection& Connection() { return m_device; }

    // `progress` is told of each phase; null: nobody.
    OperationResult Run(ProgressSink* progress = nullptr);

private:
    CliWindow m_window;
    DialogFields m_fields;
    IspReportBuffers m_reports;
    IspDeviceConnection m_device;
    UsbBusScan m_bus;
    SystemOutputFiles m_files;
    IspOperations m_operations;
    Operation m_operation;
};

}  // namespace zelv4
