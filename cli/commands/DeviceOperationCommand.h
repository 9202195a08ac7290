#pragma once

#include <optional>
#include <string>

#include "cli/Command.h"
#include "cli/record/RecordingChoice.h"
#include "cli/run/DeviceChoice.h"

namespace zelv4 {

// erase, write FILE, verify FILE, read OUT, exit-isp and auto FILE: one of the
// window's buttons on the ISP device chosen (--port, --device, the only one), or on
// every one attached (--all); write, verify, read and auto keep a row per chip in
// the production record (--record), and write and auto give each chip a serial number.
class DeviceOperationCommand : public Command {
public:
    enum class Kind { Erase, Write, Verify, Read, ExitIsp, Auto };

    explicit DeviceOperationCommand(Kind kind) : m_kind(kind) {}

    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    Kind m_kind;
    std::string m_path;  // FILE, or read's OUT
    DeviceChoice m_choice;
    RecordingChoice m_recording;
};

}  // namespace zelv4
