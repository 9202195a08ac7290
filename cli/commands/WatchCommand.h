#pragma once

#include <optional>
#include <string>

#include "cli/Command.h"
#include "cli/record/RecordingChoice.h"
#include "cli/run/DeviceChoice.h"

namespace zelv4 {

// watch FILE: the production station. Programs every ISP device attached at the
// start and each one as it appears, a line per chip and a running tally, until
// Ctrl-C or --count; --log keeps one JSON object per chip, --record a row per chip in
// the production record, and --serial gives each chip its number.
class WatchCommand : public Command {
public:
    void AddOptions(CLI::App& command) override;
    CommandResult Run(const GlobalOptions& options, CommandServices& services) override;

private:
    std::string m_imagePath;
    std::string m_operation = "auto";
    std::string m_logPath;
    std::optional<unsigned> m_count;
    DeviceChoice m_choice;
    RecordingChoice m_recording;
};

}  // namespace zelv4
