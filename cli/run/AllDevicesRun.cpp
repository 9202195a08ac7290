#include "cli/run/AllDevicesRun.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/output/ChipRunText.h"
#include "cli/run/ChipRun.h"
#include "cli/run/Interruption.h"
#include "core/HexText.h"
#include "core/IspConstants.h"
#include "device/DevicePlatform.h"
#include "device/IspDeviceConnection.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

namespace {

// Each device's own dump file: {port} replaced by its port, or by its node's name
// when the platform cannot tell the port.
std::string DumpPathFor(const std::string& pattern, const AttachedIspDevice& device)
{
    std::string name = device.port;
    if (name.empty()) {
        const auto slash = device.path.find_last_of("/\\:");
        name = slash == std::string::npos ? device.path : device.path.substr(slash + 1);
    }
    std::string path = pattern;
    const std::string placeholder = PORT_PLACEHOLDER;
    for (auto at = path.find(placeholder); at != std::string::npos; at = path.find(placeholder, at + name.size()))
        path.replace(at, placeholder.size(), name);
    return path;
}

// The listing's open handle of the device at `path`, when it left one.
std::optional<FoundIspDevice> TakeFound(std::vector<FoundIspDevice>& found, const std::string& path)
{
    const auto it =
        std::find_if(found.begin(), found.end(), [&path](const FoundIspDevice& device) { return device.path == path; });
    if (it == found.end())
        return std::nullopt;
    FoundIspDevice taken = std::move(*it);
    found.erase(it);
    return taken;
}

}  // namespace

CommandResult RunOnAllDevices(DevicePlatform& platform, const OperationRequest& request,
                              const Interruption& interruption, nlohmann::json details, ChipHooks* hooks)
{
    std::vector<FoundIspDevice> found;
    std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid(), &found);
    details["devices"] = nlohmann::json::array();
    if (attached.empty()) {
        CommandResult none =
            CommandResult::Failed(Error(ErrorCode::NotFound, "no ZEL-V4 ISP device (" + UsbIdText(ISP_VENDOR_ID) + ":" +
                                                                 UsbIdText(ISP_PRODUCT_ID) + ") is attached"),
                                  "no-device");
        none.details = std::move(details);
        return none;
    }
    std::stable_sort(attached.begin(), attached.end(),
                     [](const AttachedIspDevice& a, const AttachedIspDevice& b) { return a.port < b.port; });

    const ChipRunSettings settings{&interruption, 1, {}, hooks};
    std::vector<ChipRun> runs(attached.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < attached.size(); ++i) {
            OperationRequest own = request;
            if (own.dumpPath)
                own.dumpPath = DumpPathFor(*own.dumpPath, attached[i]);
            workers.emplace_back([&platform, &runs, &attached, &settings, i, own = std::move(own),
                                  device = TakeFound(found, attached[i].path)]() mutable {
                runs[i] = RunOnChip(platform, own, attached[i].path, attached[i].port, settings, std::move(device));
            });
        }
    }

    std::vector<OutputText> lines;
    std::vector<int> codes;
    std::size_t passed = 0;
    std::size_t interrupted = 0;
    std::vector<std::uint64_t> spoiled;
    for (const ChipRun& run : runs) {
        if (run.serial && run.exitCode != EXIT_OK && !run.recordFailed)
            spoiled.push_back(*run.serial);
        // Each device's explanation right under its line, also when both streams
        // go to one terminal.
        lines.push_back({OutputStream::Out, ResultLine(run) + "\n"});
        if (run.exitCode != EXIT_OK)
            if (std::string explanation = ExplanationText(run); !explanation.empty())
                lines.push_back({OutputStream::Err, std::move(explanation)});
        codes.push_back(run.exitCode);
        passed += run.exitCode == EXIT_OK ? 1 : 0;
        interrupted += run.result.outcome == OperationOutcome::Interrupted ? 1 : 0;
        details["devices"].push_back(ChipRunJson(run));
    }
    // Ctrl-C abandoned the devices in progress: the run says so, whatever else failed.
    const bool stopped = interruption.Count() >= settings.stopAt;
    const std::size_t failed = runs.size() - passed - interrupted;
    std::string summary = std::to_string(runs.size()) + (runs.size() == 1 ? " device: " : " devices: ") +
                          std::to_string(passed) + " succeeded, " + std::to_string(failed) + " failed";
    if (interrupted != 0)
        summary += ", " + std::to_string(interrupted) + " interrupted";
    CommandResult ended = CommandResult::Tally(stopped ? interruption.ExitCode() : MostSeriousExitCode(codes), summary);
    ended.lines = std::move(lines);
    ended.Out(summary + "\n");
    ended.Out(SpoiledSerialsText(spoiled));
    ended.details = std::move(details);
    if (hooks != nullptr)
        ended.details["spoiled_serials"] = spoiled;
    ended.details["succeeded"] = passed;
    ended.details["failed"] = failed;
    ended.details["interrupted"] = interrupted;
    return ended;
}

}  // namespace zelv4
