#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CliWindow.h"
#include "core/DialogFields.h"
#include "core/ImageFile.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

class DevicePlatform;

// What one operation runs over on the command line, as a button click runs over
// the window: a printing window, the fields, report buffers, a device connection
// of its own limited to `selection`, and the output files.
class CliOperation {
public:
    struct Setup {
        std::function<bool(const std::string& path)> selection;  // empty: any device
        std::string imagePath;                                   // empty: none
        std::shared_ptr<const LoadedImageFile> image;            // the file as the command read it
        std::optional<std::string> dumpPath;                     // what Read's save dialog answers
        std::function<bool()> stop;                              // Ctrl-C: no more requests; null: never
    };

    CliOperation(DevicePlatform& platform, std::ostream& out, std::ostream& err, const Setup& setup);
    CliOperation(const CliOperation&) = delete;
    CliOperation& operator=(const CliOperation&) = delete;

    CliWindow window;
    DialogFields fields;
    IspReportBuffers reports;
    IspDeviceConnection device;
    UsbBusScan bus;
    SystemOutputFiles files;
    IspOperations operations;
};

}  // namespace zelv4
