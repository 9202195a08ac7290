#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "core/ImageFile.h"
#include "core/IspOperations.h"
#include "core/OperationResult.h"

namespace zelv4 {

class DevicePlatform;
class Interruption;

using Operation = OperationResult (IspOperations::*)();

// One operation on one device chosen by its path, as a worker thread runs it: with
// its own connection, bus scan, report buffers and window.
struct DeviceJob {
    Operation operation = nullptr;
    std::string imagePath;  // empty: none
    // The file as the command read it before any device was touched; every worker
    // programs these bytes, whatever happens to the file meanwhile.
    std::shared_ptr<const LoadedImageFile> image;
    std::optional<std::string> dumpPath;  // what Read's save dialog answers
    // Auto's waits also end once this says so; null: only a stop request ends them early.
    std::function<bool()> waitCutShort;
    // Ctrl-C: the job sends no more requests once this many came (null: never), and
    // ends with 128 + the signal's number.
    const Interruption* interruption = nullptr;
    unsigned stopAt = 1;
};

struct DeviceJobResult {
    std::string path;
    std::string port;
    OperationResult result;
    std::string err;  // the lines a single run would print on stderr, explanations included
    double seconds = 0;
    int exitCode = 0;
    std::string outcome;  // as --json names it
};

// Runs `job` on the device at `path` (found on `port`); thread-safe as long as the
// platform is.
DeviceJobResult RunDeviceJob(DevicePlatform& platform, const DeviceJob& job, const std::string& path,
                             const std::string& port);

// The message a job ended with, without its trailing line break.
std::string EndMessage(const DeviceJobResult& run);

// "1.23 s"
std::string SecondsText(double seconds);

// A job's one result line: port, node, outcome, seconds, message.
std::string ResultLine(const DeviceJobResult& run);

// A failed job's explanation, each line starting with its port (its node when the
// port is unknown), without repeating the message its result line already shows.
void WriteExplanation(std::ostream& stream, const DeviceJobResult& run);

}  // namespace zelv4
