#pragma once

#include <string>

#include "cli/Command.h"

namespace zelv4 {

// image FILE -o OUT: the exact 20480 bytes Write would send, in place of OUT only
// once all of it is on the disk (a stream gets them directly).
class ImageCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    std::string m_file;
    std::string m_output;
};

}  // namespace zelv4
