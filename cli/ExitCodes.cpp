#include "cli/ExitCodes.h"

#include <iterator>

namespace zelv4 {

namespace {

struct ExitCodeInfo {
    int code;
    const char* name;
    const char* help;  // lines after the first are indented by the table
};

constexpr ExitCodeInfo EXIT_CODES[] = {
    {EXIT_OK, "succeeded", "success"},
    {EXIT_TRANSFER_FAILED, "transfer-failed",
     "the device failed a transfer (also: auto verified, but the chip did not leave ISP mode;\n"
     "or the device's feature report is too short for the protocol)"},
    {EXIT_USAGE, "usage-error", "usage error"},
    {EXIT_FILE, "file-error",
     "the firmware file is refused or cannot be loaded, the dump or output file cannot be\n"
     "created or written, or the --sim=STATE file is unusable"},
    {EXIT_NO_DEVICE, "no-device", "no device, or the wait for the ISP device timed out"},
    {EXIT_VERIFY_DIFFERENCE, "verify-mismatch", "verify found a difference"},
    {EXIT_PERMISSION_DENIED, "permission-denied",
     "permission denied on the device (zelv4-isp list says how to grant access)"},
    {EXIT_DEVICE_BUSY, "device-busy",
     "device busy: another program is programming the chip, or holds the --sim=STATE file"},
    {EXIT_INTERRUPTED, "interrupted",
     "interrupted by Ctrl-C: 128 + the signal's number (143 for SIGTERM, 129 for SIGHUP)"},
};

struct OutcomeInfo {
    OperationOutcome outcome;
    const char* name;
    int code;
};

constexpr OutcomeInfo OUTCOMES[] = {
    {OperationOutcome::Succeeded, "succeeded", EXIT_OK},
    // Only the window has a dialog to cancel; a command that ends so has no file.
    {OperationOutcome::Cancelled, "cancelled", EXIT_FILE},
    {OperationOutcome::ImageOpenFailed, "image-open-failed", EXIT_FILE},
    {OperationOutcome::DumpOpenFailed, "dump-open-failed", EXIT_FILE},
    {OperationOutcome::DumpWriteFailed, "dump-write-failed", EXIT_FILE},
    {OperationOutcome::NoDevice, "no-device", EXIT_NO_DEVICE},
    {OperationOutcome::DeviceBusy, "device-busy", EXIT_DEVICE_BUSY},
    {OperationOutcome::TimedOut, "timed-out", EXIT_NO_DEVICE},
    {OperationOutcome::TransferFailed, "transfer-failed", EXIT_TRANSFER_FAILED},
    {OperationOutcome::VerifyMismatch, "verify-mismatch", EXIT_VERIFY_DIFFERENCE},
    {OperationOutcome::ReportTooShort, "report-too-short", EXIT_TRANSFER_FAILED},
    {OperationOutcome::Interrupted, "interrupted", EXIT_INTERRUPTED},
};

const OutcomeInfo& Info(OperationOutcome outcome)
{
    for (const OutcomeInfo& info : OUTCOMES)
        if (info.outcome == outcome)
            return info;
    // An outcome the table does not know yet is a failure, never one it happens to end with.
    static constexpr OutcomeInfo UNKNOWN{OperationOutcome::TransferFailed, "failed", EXIT_TRANSFER_FAILED};
    return UNKNOWN;
}

// Nothing found because the only candidates were refused: that is the fix to name.
bool PermissionDenied(const OperationResult& result)
{
    return (result.outcome == OperationOutcome::NoDevice || result.outcome == OperationOutcome::TimedOut) &&
           !result.deniedPaths.empty();
}

// Most serious first.
constexpr int SEVERITY[] = {EXIT_VERIFY_DIFFERENCE, EXIT_TRANSFER_FAILED, EXIT_FILE, EXIT_PERMISSION_DENIED,
                            EXIT_DEVICE_BUSY,       EXIT_NO_DEVICE,       EXIT_USAGE};

// "5, then 1, 3, 6, 7, 4": the order of SEVERITY among the codes a device can end with.
std::string SeverityOrder()
{
    std::string text;
    for (const int code : SEVERITY) {
        if (code == EXIT_USAGE)
            continue;
        text += (text.empty() ? "" : text.find(',') == std::string::npos ? ", then " : ", ") + std::to_string(code);
    }
    return text;
}

}  // namespace

int MostSeriousExitCode(const std::vector<int>& codes)
{
    for (const int code : SEVERITY)
        for (const int given : codes)
            if (given == code)
                return code;
    for (const int given : codes)
        if (given != EXIT_OK)
            return given;
    return EXIT_OK;
}

int ExitCodeFor(const OperationResult& result)
{
    // Programmed and verified, but the chip did not take the leave-ISP request.
    if (result.resetFailed)
        return EXIT_TRANSFER_FAILED;
    if (PermissionDenied(result))
        return EXIT_PERMISSION_DENIED;
    return Info(result.outcome).code;
}

int ExitCodeFor(const OperationResult& result, int interrupted)
{
    return result.outcome == OperationOutcome::Interrupted ? interrupted : ExitCodeFor(result);
}

int ExitCodeFor(ErrorCode code)
{
    switch (code) {
    case ErrorCode::InvalidInput:
        return EXIT_USAGE;
    case ErrorCode::FileFailed:
        return EXIT_FILE;
    case ErrorCode::NotFound:
    case ErrorCode::Unavailable:  // a device backend (or a service) that cannot be had
        return EXIT_NO_DEVICE;
    case ErrorCode::PermissionDenied:
        return EXIT_PERMISSION_DENIED;
    case ErrorCode::Busy:
        return EXIT_DEVICE_BUSY;
    case ErrorCode::Interrupted:
        return EXIT_INTERRUPTED;
    case ErrorCode::DeviceFailed:
        return EXIT_TRANSFER_FAILED;
    }
    return EXIT_TRANSFER_FAILED;
}

const char* OutcomeName(const OperationResult& result)
{
    if (result.resetFailed)
        return "reset-failed";
    if (PermissionDenied(result))
        return "permission-denied";
    return Info(result.outcome).name;
}

const char* ExitCodeName(int code)
{
    for (const ExitCodeInfo& info : EXIT_CODES)
        if (info.code == code)
            return info.name;
    if (code > 128 && code < 192)
        return "interrupted";
    return "failed";
}

std::string ExitCodeHelp()
{
    std::string text = "Exit status:\n";
    for (const ExitCodeInfo& info : EXIT_CODES) {
        std::string help = info.help;
        for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, "     ");
        text += "  " + std::to_string(info.code) + "  " + help + "\n";
    }
    return text +
           "\n"
           "--json prints exactly one JSON object on stdout, errors included: command, outcome, ok,\n"
           "exit_code, message, messages (every line the text output would have), and details\n"
           "(device path, checksum, first difference, tolerated file problems, ...).\n"
           "Firmware files are read strictly: any HEX record problem, anything after the end-of-file\n"
           "record, UTF-16 text, an empty binary file, one longer than the flash, or HEX text in a file\n"
           "named as binary is refused (exit 3); --lenient reads them as the window does and warns.\n"
           "--sim runs on a fresh simulated chip; --sim=STATE keeps its flash in the file STATE\n"
           "(exactly 20480 bytes; created erased when missing, saved when the run ends).\n"
           "Outputs (read OUT, image -o OUT) replace OUT only when complete; -, /dev/stdout, devices and\n"
           "FIFOs are written directly. An output that is an input of the run, or a binary one named\n"
           "with .hex, is refused (exit 2).\n"
           "\n"
           "Several chips: list shows each ISP device's node and USB port (bus-port.port..., the same\n"
           "when a chip is replugged into the same socket). erase, write, verify, read, exit-isp and\n"
           "auto take --port PATH or --device NODE; with several ISP devices attached and none\n"
           "chosen, a command refuses (exit 2) and lists them. --all runs erase, write, verify, exit-isp,\n"
           "auto or read (with {port} in OUT) on every attached ISP device at once: a result line per\n"
           "device (port, node, outcome, seconds), then a summary; --json gives a devices array.\n"
           "watch FILE [--op auto|write|verify] [--log FILE] [--count N] [--port PATH]: station mode.\n"
           "Each ISP device is programmed as it appears (udev's events on Linux) and those attached at\n"
           "the start; a done chip is not programmed again, nor a failed one, until it is replugged; a\n"
           "chip another program holds as it arrives is skipped until it is replugged, and the next chip\n"
           "in a failed chip's socket is its retry, counted once. A line per chip (time, port, checksum,\n"
           "outcome, seconds, tally); --log appends one JSON object per chip and writes it at once;\n"
           "Ctrl-C lets the chips in progress finish, then prints the tally; a second one abandons them.\n"
           "Ctrl-C in any device command stops its requests; it still reports, and exits 130.\n"
           "--all and watch exit 0 only when every device passed, otherwise with the most serious\n"
           "code among them: " +
           SeverityOrder() + ".";
}

}  // namespace zelv4
