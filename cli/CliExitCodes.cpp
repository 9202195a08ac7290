#include "CliExitCodes.h"

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

}  // namespace zelv4
