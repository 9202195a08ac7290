#include "cli/CliOperation.h"

#include "device/DevicePlatform.h"

namespace zelv4 {

CliOperation::CliOperation(DevicePlatform& platform, std::ostream& out, std::ostream& err, const Setup& setup)
    : window(out, err), device(platform.Hid()), bus(platform.UsbBus()),
      operations(window, fields, reports, device, bus, files)
{
    window.SetDialogAnswer(setup.dumpPath);
    fields.m_strFile = setup.imagePath;
    device.SetSelection(setup.selection);
    operations.SetLoadedImage(setup.image);
    operations.SetStopRequest(setup.stop);
}

}  // namespace zelv4
