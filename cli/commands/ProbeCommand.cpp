#include "cli/commands/ProbeCommand.h"

#include <string>

#include "cli/run/Machine.h"
#include "core/OperationMessages.h"
#include "device/DevicePlatform.h"
#include "device/UsbBusScan.h"
#include "sys/PermissionHint.h"

namespace zelv4 {

void ProbeCommand::AddOptions(CLI::App& /*command*/) {}

CommandResult ProbeCommand::Run(const GlobalOptions& /*options*/, CommandServices& services)
{
    const Expected<DevicePlatform*, CommandResult> platform = services.machine.Platform();
    if (!platform)
        return platform.error();
    unsigned denied = 0;
    const int found = UsbBusScan((*platform)->UsbBus()).CountBusDevices([&denied](const UsbBusEvent& event) {
        if (event.kind == UsbBusEventKind::DeviceNotAsked && event.error == UsbRequestError::PermissionDenied)
            ++denied;
    });
    CommandResult result =
        found > 0 ? CommandResult::Succeeded(ISP_MSG_DEVICE_FOUND).Out(ISP_MSG_DEVICE_FOUND + std::string("\n"))
                  : CommandResult::Failed(Error(ErrorCode::NotFound, ISP_MSG_DEVICE_NOT_FOUND), "no-device");
    // Any device may be behind a refused node, not only a ZEL-V4: still "not found".
    if (found <= 0 && denied > 0)
        result.Err(std::to_string(denied) + " USB device(s) could not be asked: permission denied.\n" +
                   BusPermissionHint());
    result.details["bus_device_count"] = found;
    result.details["denied_devices"] = denied;
    return result;
}

}  // namespace zelv4
