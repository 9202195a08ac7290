#pragma once

#include <optional>
#include <string>

#include "cli/Command.h"
#include "cli/run/DeviceChoice.h"

namespace zelv4 {

// erase, write FILE, verify FILE, read OUT, exit-isp and auto FILE: one of the
// window's buttons on the ISP device chosen (--port, --device, the only one), or on
// every one attached (--all).
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
};

}  // namespace zelv4
