#pragma once

#include <string>

#include "cli/Command.h"

namespace zelv4 {

// checksum FILE: the image checksum as the window shows it.
class ChecksumCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    std::string m_file;
};

}  // namespace zelv4
