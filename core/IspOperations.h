#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "core/DialogFields.h"
#include "core/ImageFile.h"
#include "core/IspDevicePort.h"
#include "core/IspReportBuffers.h"
#include "core/OperationResult.h"
#include "core/OutputFile.h"
#include "core/ProgressSink.h"
#include "core/UsbBusPort.h"
#include "core/WindowServices.h"

namespace zelv4 {

// The click handlers of the main window, written once over the window's services
// and the device and bus ports, so the window and the command line run the same steps.
// Each runs to its end and returns what happened; none prints.
class IspOperations {
public:
    // `files` creates Read's dump file.
    IspOperations(WindowServices& window, DialogFields& fields, IspReportBuffers& reports, IspDevicePort& device,
                  UsbBusPort& bus, OutputFileSystem& files);

    // Null: no progress reported (the window's case).
    void SetProgressSink(ProgressSink* sink);
    // How every operation reads its image; tolerant unless set.
    void SetImageLoadOptions(const ImageLoadOptions& options) { m_imageOptions = options; }
    // Every operation takes this image instead of reading the file named in the
    // fields again (null: read the file each time, as the window does).
    void SetLoadedImage(std::shared_ptr<const LoadedImageFile> loaded) { m_loaded = std::move(loaded); }
    // Asked before each request and each of Auto's waits: once it says stop, no more
    // requests go out and the operation ends as Interrupted (null: never; the
    // window's case). Called from the operation's thread.
    void SetStopRequest(std::function<bool()> stop) { m_stop = std::move(stop); }

    OperationResult OnOpenFile();
    OperationResult OnMassErase();
    OperationResult OnWrite();
    OperationResult OnVerify();
    OperationResult OnRead();
    OperationResult OnExitIsp();
    OperationResult OnReadProtect();  // the hidden button does nothing
    OperationResult OnAuto();
    OperationResult OnReconnect();

private:
    class Run;

    WindowServices& m_window;
    DialogFields& m_fields;
    IspReportBuffers& m_reports;
    IspDevicePort& m_device;
    UsbBusPort& m_bus;
    OutputFileSystem& m_files;
    ImageLoadOptions m_imageOptions;
    std::shared_ptr<const LoadedImageFile> m_loaded;
    ProgressSink* m_progress = nullptr;
    std::function<bool()> m_stop;
};

}  // namespace zelv4
