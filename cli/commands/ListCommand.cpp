#include "cli/commands/ListCommand.h"

#include "cli/output/BusScanText.h"
#include "cli/output/HidInterfacesText.h"
#include "cli/run/Machine.h"
#include "device/DevicePlatform.h"

namespace zelv4 {

void ListCommand::AddOptions(CLI::App& /*command*/) {}

CommandResult ListCommand::Run(const GlobalOptions& /*options*/, CommandServices& services)
{
    if (services.StdoutClosed())
        return CommandResult::StdoutClosed();
    const Expected<DevicePlatform*, CommandResult> platform = services.machine.Platform();
    if (!platform)
        return platform.error();
    CommandResult listing = CommandResult::Succeeded();
    DescribeHidInterfaces((*platform)->Hid(), listing);
    DescribeBusScan((*platform)->UsbBus(), listing);
    // A listing is a success even when it shows no device: it says why.
    listing.message = listing.details.value("isp_device_found", false) ? "ISP device: found" : "ISP device: not found";
    return listing;
}

}  // namespace zelv4
