#include "cli/AllDevices.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/DeviceChoice.h"
#include "cli/HexText.h"
#include "cli/Interruption.h"
#include "cli/OperationReport.h"
#include "core/IspConstants.h"
#include "device/DevicePlatform.h"
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

}  // namespace

void RunOnAllDevices(CliContext& context, DevicePlatform& platform, const DeviceJob& job)
{
    std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid());
    nlohmann::json& details = context.report.Details();
    details["devices"] = nlohmann::json::array();
    if (attached.empty()) {
        const std::string message =
            "no ZEL-V4 ISP device (" + Hex4(ISP_VENDOR_ID) + ":" + Hex4(ISP_PRODUCT_ID) + ") is attached";
        context.err << message << "\n";
        context.report.SetOutcome("no-device", message);
        context.exitCode = EXIT_NO_DEVICE;
        return;
    }
    std::stable_sort(attached.begin(), attached.end(),
                     [](const AttachedIspDevice& a, const AttachedIspDevice& b) { return a.port < b.port; });

    std::vector<DeviceJobResult> runs(attached.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < attached.size(); ++i) {
            DeviceJob own = job;
            if (own.dumpPath)
                own.dumpPath = DumpPathFor(*own.dumpPath, attached[i]);
            workers.emplace_back([&platform, &runs, &attached, i, own = std::move(own)] {
                runs[i] = RunDeviceJob(platform, own, attached[i].path, attached[i].port);
            });
        }
    }

    std::vector<int> codes;
    std::size_t passed = 0;
    std::size_t interrupted = 0;
    for (const DeviceJobResult& run : runs) {
        // Each device's explanation right under its line, also when both streams
        // go to one terminal.
        context.out << ResultLine(run) << "\n";
        context.out.flush();
        if (run.exitCode != EXIT_OK)
            WriteExplanation(context.err, run);
        codes.push_back(run.exitCode);
        passed += run.exitCode == EXIT_OK ? 1 : 0;
        interrupted += run.result.outcome == OperationOutcome::Interrupted ? 1 : 0;
        nlohmann::json device = {
            {"port", run.port.empty() ? nlohmann::json(nullptr) : nlohmann::json(run.port)},
            {"device_path", run.path},
            {"outcome", run.outcome},
            {"ok", run.exitCode == EXIT_OK},
            {"exit_code", run.exitCode},
            {"seconds", run.seconds},
            {"message", EndMessage(run)},
            {"details", Details(run.result, run.result.deviceFound ? run.path : std::string())},
        };
        details["devices"].push_back(std::move(device));
    }
    // Ctrl-C abandoned the devices in progress: the run says so, whatever else failed.
    const bool stopped = job.interruption != nullptr && job.interruption->Count() >= job.stopAt;
    context.exitCode = stopped ? job.interruption->ExitCode() : MostSeriousExitCode(codes);
    const std::size_t failed = runs.size() - passed - interrupted;
    std::string summary = std::to_string(runs.size()) + (runs.size() == 1 ? " device: " : " devices: ") +
                          std::to_string(passed) + " succeeded, " + std::to_string(failed) + " failed";
    if (interrupted != 0)
        summary += ", " + std::to_string(interrupted) + " interrupted";
    context.out << summary << "\n";
    context.report.SetOutcome(ExitCodeName(context.exitCode), summary);
    details["succeeded"] = passed;
    details["failed"] = failed;
    details["interrupted"] = interrupted;
}

}  // namespace zelv4
