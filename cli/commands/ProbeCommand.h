#pragma once

#include "cli/Command.h"

namespace zelv4 {

// probe: whether any device on the USB bus answers the ZEL-V4 signature, as
// Re-connect asks: "ZEL-V4 Found !" or "Device not found !!".
class ProbeCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;
};

}  // namespace zelv4
