#include "cli/CliExitCodes.h"

namespace zelv4 {

int ExitCodeFor(const OperationResult& result)
{
    switch (result.outcome) {
    case OperationOutcome::Succeeded:
        // Programmed and verified, but the chip did not take the leave-ISP request.
        return result.resetFailed ? EXIT_TRANSFER_FAILED : EXIT_OK;
    case OperationOutcome::Cancelled:
        return EXIT_FILE;
    case OperationOutcome::ImageOpenFailed:
    case OperationOutcome::DumpOpenFailed:
    case OperationOutcome::DumpWriteFailed:
        return EXIT_FILE;
    case OperationOutcome::NoDevice:
    case OperationOutcome::TimedOut:
        return result.deniedPaths.empty() ? EXIT_NO_DEVICE : EXIT_PERMISSION_DENIED;
    case OperationOutcome::TransferFailed:
        return EXIT_TRANSFER_FAILED;
    case OperationOutcome::VerifyMismatch:
        return EXIT_VERIFY_DIFFERENCE;
    }
    return EXIT_TRANSFER_FAILED;
}

const char* ExitCodeName(int code)
{
    switch (code) {
    case EXIT_OK:
        return "succeeded";
    case EXIT_TRANSFER_FAILED:
        return "transfer-failed";
    case EXIT_USAGE:
        return "usage-error";
    case EXIT_FILE:
        return "file-error";
    case EXIT_NO_DEVICE:
        return "no-device";
    case EXIT_VERIFY_DIFFERENCE:
        return "verify-mismatch";
    case EXIT_PERMISSION_DENIED:
        return "permission-denied";
    }
    return "failed";
}

std::string ExitCodeHelp()
{
    return "Exit status:\n"
           "  0  success\n"
           "  1  the device failed a transfer (also: auto verified, but the chip did not leave ISP mode)\n"
           "  2  usage error\n"
           "  3  the firmware file cannot be loaded, the dump file cannot be created or written,\n"
           "     or the --sim=STATE file is damaged, of the wrong size, or cannot be saved\n"
           "  4  no device, or the wait for the ISP device timed out\n"
           "  5  verify found a difference\n"
           "  6  permission denied on the device (see the udev rule 70-zelv4-writer.rules)\n"
           "\n"
           "--json prints exactly one JSON object on stdout, errors included: command, outcome, ok,\n"
           "exit_code, message, messages (every line the text output would have), and details\n"
           "(device path, checksum, first difference, tolerated file problems, ...).\n"
           "--sim runs on a fresh simulated chip; --sim=STATE keeps its flash in the file STATE\n"
           "(exactly 20480 bytes; created erased when missing, saved when the run ends).";
}

}  // namespace zelv4
