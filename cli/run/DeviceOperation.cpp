#include "cli/run/DeviceOperation.h"

#include "cli/run/OutputPaths.h"
#include "device/DevicePlatform.h"

namespace zelv4 {

DeviceOperation::DeviceOperation(DevicePlatform& platform, const OperationRequest& request, OutputSink& output,
                                 std::function<bool(const std::string& path)> selection, std::function<bool()> stop)
    // A dump on standard output leaves no room there for the messages.
    : m_window(output, request.dumpPath && IsStandardOutput(*request.dumpPath) ? OutputStream::Err : OutputStream::Out),
      m_device(platform.Hid()), m_bus(platform.UsbBus()),
      m_operations(m_window, m_fields, m_reports, m_device, m_bus, m_files), m_operation(request.operation)
{
    m_window.SetDialogAnswer(request.dumpPath);
    m_fields.m_strFile = request.imagePath;
    m_device.SetSelection(std::move(selection));
    m_operations.SetLoadedImage(request.image);
    m_operations.SetStopRequest(std::move(stop));
}

OperationResult DeviceOperation::Run(ProgressSink* progress)
{
    m_operations.SetProgressSink(progress);
    return (m_operations.*m_operation)();
}

}  // namespace zelv4
