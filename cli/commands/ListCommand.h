#pragma once

#include "cli/Command.h"

namespace zelv4 {

// list: what the ISP device search sees on each HID interface and why, every ISP
// device with its node and port, and what the bus scan asks.
class ListCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;
};

}  // namespace zelv4
