#include "cli/output/ChipRunText.h"

#include <cstdio>
#include <sstream>

#include "cli/ExitCodes.h"
#include "cli/output/OperationExplanation.h"
#include "cli/run/ChipRun.h"

namespace zelv4 {

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::string ResultLine(const ChipRun& run)
{
    std::string line = (run.port.empty() ? std::string("-") : run.port) + "  " + run.path + "  " + run.outcome + "  " +
                       SecondsText(run.seconds);
    if (run.serial)
        line += "  serial " + std::to_string(*run.serial);
    if (!run.message.empty())
        line += "  " + run.message;
    return line;
}

std::string ExplanationText(const ChipRun& run)
{
    const std::string& name = run.port.empty() ? run.path : run.port;
    std::string text;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != run.message)
            text += name + ": " + line + "\n";
    return text;
}

std::string SpoiledSerialsText(const std::vector<std::uint64_t>& serials)
{
    if (serials.empty())
        return {};
    std::string text = "Serial numbers spoiled (their chips failed):";
    for (std::size_t i = 0; i < serials.size(); ++i)
        text += (i == 0 ? " " : ", ") + std::to_string(serials[i]);
    return text + "\n";
}

nlohmann::json ChipRunJson(const ChipRun& run)
{
    nlohmann::json chip = {
        {"port", run.port.empty() ? nlohmann::json(nullptr) : nlohmann::json(run.port)},
        {"device_path", run.path},
        {"outcome", run.outcome},
        {"ok", run.exitCode == EXIT_OK},
        {"exit_code", run.exitCode},
        {"seconds", run.seconds},
        {"message", run.message},
        {"details", OperationDetails(run.result, run.result.deviceFound ? run.path : std::string())},
    };
    if (run.serial)
        chip["serial"] = *run.serial;
    return chip;
}

}  // namespace zelv4
