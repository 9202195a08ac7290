#include "cli/DeviceJob.h"

#include <chrono>
#include <cstdio>
#include <sstream>

#include "cli/CliExitCodes.h"
#include "cli/CliOperation.h"
#include "cli/CliWindow.h"
#include "cli/Interruption.h"
#include "cli/OperationReport.h"
#include "device/DevicePlatform.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

DeviceJobResult RunDeviceJob(DevicePlatform& platform, const DeviceJob& job, const std::string& path,
                             const std::string& port)
{
    const auto start = std::chrono::steady_clock::now();
    DeviceJobResult run;
    run.path = path;
    run.port = port;
    // The result line carries the message; only the explanations on stderr are kept.
    std::ostringstream out, err;
    CliOperation operation(platform, out, err,
                           {SelectPath(path), job.imagePath, job.image, job.dumpPath,
                            job.interruption ? job.interruption->After(job.stopAt) : std::function<bool()>()});
    operation.device.SetWaitCutShort(job.waitCutShort);
    run.result = (operation.operations.*job.operation)();
    ExplainResult(run.result, false, err);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = run.result.outcome == OperationOutcome::Interrupted && job.interruption
                       ? job.interruption->ExitCode()
                       : ExitCodeFor(run.result);
    run.outcome = OutcomeName(run.result);
    run.err = err.str();
    return run;
}

std::string EndMessage(const DeviceJobResult& run)
{
    // Auto says "Device not found !!" of a chip that is there, held by another program.
    if (run.result.outcome == OperationOutcome::DeviceBusy)
        return "held by another program; left alone";
    return AsLine(run.result.LastMessage());
}

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::string ResultLine(const DeviceJobResult& run)
{
    std::string line = (run.port.empty() ? std::string("-") : run.port) + "  " + run.path + "  " + run.outcome + "  " +
                       SecondsText(run.seconds);
    const std::string message = EndMessage(run);
    if (!message.empty())
        line += "  " + message;
    return line;
}

void WriteExplanation(std::ostream& stream, const DeviceJobResult& run)
{
    const std::string shown = EndMessage(run);
    const std::string& name = run.port.empty() ? run.path : run.port;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != shown)
            stream << name << ": " << line << "\n";
}

}  // namespace zelv4
