#pragma once

#include <optional>
#include <string>

#include "cli/Command.h"

namespace zelv4 {

// record summary | find SERIAL | export: reads the production record that
// --record TARGET names (written by write, auto, watch ... --record).
class RecordCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    CLI::App* m_summary = nullptr;
    CLI::App* m_find = nullptr;
    CLI::App* m_export = nullptr;
    std::string m_target;
    std::string m_serial;
    std::string m_format = "csv";
    std::string m_since;
    std::string m_output;
};

}  // namespace zelv4
