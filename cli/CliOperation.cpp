#include "cli/CliOperation.h"

#include "device/DevicePlatform.h"

namespace zelv4 {

CliOperation::CliOperation(DevicePlatform& platform, std::ostream& out, std::ostream& err, const Setup& setup)
    : window(out, err), device(platform), operations(window, fields, reports, device, files)
{
    window.SetDialogAnswer(setup.dumpPath);
    window.SetSleep(setup.sleep);
    window.SetStopRequest(setup.stop);
    fields.m_strFile = setup.imagePath;
    device.Connection().SetSelection(setup.selection);
    operations.SetLoadedImage(setup.image);
    operations.SetStopRequest(setup.stop);
}

}  // namespace zelv4
