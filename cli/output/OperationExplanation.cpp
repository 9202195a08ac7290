#include "cli/output/OperationExplanation.h"

#include <sstream>

#include "cli/output/ImageWarnings.h"
#include "core/HexText.h"
#include "core/IspConstants.h"
#include "sys/PermissionHint.h"

namespace zelv4 {

namespace {

const char* IconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return "information";
    case MessageIcon::Error:
        return "error";
    case MessageIcon::None:
        break;
    }
    return "none";
}

}  // namespace

std::string ExplainResult(const OperationResult& result, bool lenient, bool sayNoDevice)
{
    std::ostringstream err;
    // A strict reading refused whatever would deserve a warning.
    if (lenient && result.image && result.image->ok)
        err << ToleratedWarnings(*result.image);
    if (result.difference) {
        err << "first difference at " << AddressText(result.difference->address) << ": chip "
            << ByteText(result.difference->chipByte) << ", file " << ByteText(result.difference->fileByte) << "\n";
    }
    if (result.outcome == OperationOutcome::ImageOpenFailed && result.image && !result.image->reason.empty())
        err << result.image->reason << "\n";
    if ((result.outcome == OperationOutcome::DumpOpenFailed || result.outcome == OperationOutcome::DumpWriteFailed) &&
        !result.fileError.empty())
        err << result.fileError << "\n";
    if (sayNoDevice && result.outcome == OperationOutcome::NoDevice && result.deniedPaths.empty() &&
        result.kind != OperationKind::Auto && result.kind != OperationKind::Reconnect)
        err << "no ZEL-V4 ISP device (" << UsbIdText(ISP_VENDOR_ID) << ":" << UsbIdText(ISP_PRODUCT_ID)
            << ") was found\n";
    if (result.outcome == OperationOutcome::DeviceBusy) {
        for (const std::string& path : result.busyPaths)
            err << "device busy: " << path << " is in use by another program; one programmer per chip\n";
    }
    if (result.outcome == OperationOutcome::ReportTooShort) {
        err << "the device's feature report is " << result.reportLength
            << " bytes long, too short for the protocol's block requests (" << ISP_BLOCK_REPORT_MIN
            << " bytes); nothing was sent to the device\n";
    }
    if (result.outcome == OperationOutcome::Interrupted) {
        err << "interrupted";
        if (result.failingBlock)
            err << " before block " << *result.failingBlock << " of " << ISP_BLOCK_COUNT;
        err << ": no more requests were sent\n";
    }
    if (result.outcome == OperationOutcome::TransferFailed && result.failingBlock) {
        err << "the device failed a transfer at block " << *result.failingBlock << " (address "
            << AddressText(*result.failingBlock * ISP_BLOCK_SIZE) << ")\n";
    }
    if (result.resetFailed)
        err << "the flash was programmed and verified, but the chip did not take the request to leave ISP mode\n";
    if (!result.deniedPaths.empty()) {
        for (const std::string& path : result.deniedPaths)
            err << "permission denied: " << path << "\n";
        err << DevicePermissionHint();
    }
    return err.str();
}

nlohmann::json OperationDetails(const OperationResult& result, const std::string& devicePath)
{
    nlohmann::json details = nlohmann::json::object();
    details["device_found"] = result.deviceFound;
    details["device_path"] = devicePath.empty() ? nlohmann::json(nullptr) : nlohmann::json(devicePath);
    if (result.image) {
        details["image_path"] = result.imagePath;
        details["image_format"] = result.image->format == ImageFormat::Hex ? "hex" : "binary";
        details["tolerated"] = ToleratedJson(*result.image);
        if (result.image->fileLength)
            details["image_length"] = *result.image->fileLength;
        if (!result.image->ok)
            details["reason"] = result.image->reason;
    }
    if (result.checksum) {
        details["checksum"] = *result.checksum;
        details["checksum_text"] = ChecksumText(*result.checksum);
    }
    if (result.difference) {
        details["difference"] = {
            {"address", result.difference->address},
            {"chip_byte", result.difference->chipByte},
            {"file_byte", result.difference->fileByte},
        };
    }
    if (result.failingBlock)
        details["failing_block"] = *result.failingBlock;
    if (result.kind == OperationKind::Write || result.kind == OperationKind::Verify ||
        result.kind == OperationKind::Read || result.kind == OperationKind::Auto)
        details["blocks_done"] = result.blocksDone;
    if (!result.dumpPath.empty())
        details["dump_path"] = result.dumpPath;
    if (!result.deniedPaths.empty())
        details["denied_paths"] = result.deniedPaths;
    if (!result.busyPaths.empty())
        details["busy_paths"] = result.busyPaths;
    if (!result.fileError.empty())
        details["file_error"] = result.fileError;
    if (result.outcome == OperationOutcome::ReportTooShort)
        details["feature_report_length"] = result.reportLength;
    if (result.kind == OperationKind::Auto)
        details["wait_attempts"] = result.waitAttempts;
    if (result.busDeviceCount)
        details["bus_device_count"] = *result.busDeviceCount;
    if (result.kind == OperationKind::Auto)
        details["reset_failed"] = result.resetFailed;
    nlohmann::json boxes = nlohmann::json::array();
    for (const ShownMessage& message : result.messages)
        boxes.push_back({{"text", message.text}, {"icon", IconName(message.icon)}});
    details["window_messages"] = boxes;
    return details;
}

}  // namespace zelv4
