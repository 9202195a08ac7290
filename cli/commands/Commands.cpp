#include "cli/commands/Commands.h"

#include "cli/commands/ChecksumCommand.h"
#include "cli/commands/DeviceOperationCommand.h"
#include "cli/commands/ImageCommand.h"
#include "cli/commands/ListCommand.h"
#include "cli/commands/ProbeCommand.h"
#include "cli/commands/ReconnectCommand.h"
#include "cli/commands/RecordCommand.h"
#include "cli/commands/WatchCommand.h"

namespace zelv4 {

namespace {

template <typename T>
std::unique_ptr<Command> Make()
{
    return std::make_unique<T>();
}

template <DeviceOperationCommand::Kind kind>
std::unique_ptr<Command> MakeOperation()
{
    return std::make_unique<DeviceOperationCommand>(kind);
}

// Constant data: nothing runs before main() to build it.
constexpr CommandEntry COMMANDS[] = {
    {"checksum", "Print the image checksum as the window shows it", Make<ChecksumCommand>},
    {"image", "Write the exact 20480-byte image that Write would send", Make<ImageCommand>},
    {"erase", "Mass-erase the flash", MakeOperation<DeviceOperationCommand::Kind::Erase>},
    {"write", "Write FILE (Intel HEX or binary) to the flash; does not erase",
     MakeOperation<DeviceOperationCommand::Kind::Write>},
    {"verify", "Compare the flash with FILE", MakeOperation<DeviceOperationCommand::Kind::Verify>},
    {"read", "Read the whole flash into OUT (20480 bytes, no header)",
     MakeOperation<DeviceOperationCommand::Kind::Read>},
    {"exit-isp", "Send the chip out of ISP mode", MakeOperation<DeviceOperationCommand::Kind::ExitIsp>},
    {"auto",
     "Erase, write FILE, verify and leave ISP mode; waits up to 31 s for a chip that is attached but not yet in ISP "
     "mode",
     MakeOperation<DeviceOperationCommand::Kind::Auto>},
    {"reconnect", "Count the ZEL-V4 devices on the USB bus", Make<ReconnectCommand>},
    {"list", "List the HID interfaces the ISP device search examines, and the USB devices the bus scan asks",
     Make<ListCommand>},
    {"probe", "Scan the USB bus for devices that answer the ZEL-V4 signature", Make<ProbeCommand>},
    {"watch",
     "Station mode: program every ZEL-V4 ISP device as it appears (and those attached at the start), each on its own "
     "thread, until Ctrl-C; a line per chip and a running tally",
     Make<WatchCommand>},
    {"record", "Read the production record: summary, find SERIAL, export (--record TARGET)", Make<RecordCommand>},
};

}  // namespace

std::span<const CommandEntry> Commands()
{
    return COMMANDS;
}

}  // namespace zelv4
