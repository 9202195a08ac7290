#pragma once

#include "cli/Command.h"
#include "cli/run/DeviceChoice.h"

namespace zelv4 {

// reconnect: Re-connect as the window's button runs it, a count of the ZEL-V4
// devices on the whole bus (so it takes no device choice).
class ReconnectCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    DeviceChoice m_choice;
};

}  // namespace zelv4
