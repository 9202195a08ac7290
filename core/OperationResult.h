#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ImageFile.h"
#include "core/WindowServices.h"

namespace zelv4 {

// None: no operation has run (a result not yet filled in).
enum class OperationKind { None, OpenFile, MassErase, Write, Verify, Read, ExitIsp, ReadProtect, Auto, Reconnect };

// How an operation ended. Each failure kind stands for one cause, so a front end can
// map it to an exit code without looking at the message texts.
enum class OperationOutcome {
    Succeeded,
    Cancelled,        // the user cancelled a file dialog (Read); nothing was shown
    ImageOpenFailed,  // the firmware file could not be loaded (or the path was empty)
    DumpOpenFailed,   // the dump file could not be created
    DumpWriteFailed,  // writing or closing the dump file failed
    NoDevice,         // no ISP device was open when the requests were due, or none on the bus
    DeviceBusy,       // the ISP device is there, but another program is using it
    TimedOut,         // Auto: a signature device was seen but the ISP device never came
    TransferFailed,   // the device was open and a HID call failed
    VerifyMismatch,   // a byte read back differs from the image
    ReportTooShort,   // the device's feature report cannot carry a block request; nothing was sent
    Interrupted,      // the front end asked the operation to stop; no request was sent after that
};

// Which box showed a message: the application-caption box, the window's own box
// with an empty caption (Auto's time-out), or the plain box without an icon.
enum class MessageCaption { Application, WindowEmpty, Plain };

struct ShownMessage {
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageCaption caption = MessageCaption::Application;

    bool operator==(const ShownMessage&) const = default;
};

// First byte where the chip and the image differ.
struct VerifyDifference {
    std::size_t address = 0;
    std::uint8_t chipByte = 0;
    std::uint8_t fileByte = 0;
};

struct OperationResult {
    OperationKind kind = OperationKind::None;
    OperationOutcome outcome = OperationOutcome::Succeeded;

    // Every box the operation showed, in order, the device search's plain box too.
    std::vector<ShownMessage> messages;

    // The block whose request failed, or that held the first difference.
    std::optional<std::size_t> failingBlock;
    // Blocks completed in the last block phase (written, verified or stored).
    std::size_t blocksDone = 0;
    std::optional<VerifyDifference> difference;

    // Set whenever an image was loaded (or its load was attempted).
    std::optional<ImageLoadResult> image;
    std::optional<std::uint16_t> checksum;  // of the loaded image
    std::string imagePath;
    std::string dumpPath;  // Read: the file chosen in the save dialog
    // Why the dump file could not be created or written, as the system says it.
    std::string fileError;

    // Whether an ISP device was open when the requests went out.
    bool deviceFound = false;
    // Device nodes the search skipped for lack of permission (NoDevice, TimedOut).
    std::vector<std::string> deniedPaths;
    // ISP devices the search found in use by another program.
    std::vector<std::string> busyPaths;
    // The open device's feature report length (ReportTooShort).
    std::uint16_t reportLength = 0;
    // Auto: number of one-second waits made; Re-connect and Auto: the bus count.
    std::size_t waitAttempts = 0;
    std::optional<int> busDeviceCount;

    // Auto: verification passed but the leave-ISP request then failed
    // ("Reset Fail !!!" after "ButtonAuto Function OK !!!"). outcome stays Succeeded.
    bool resetFailed = false;

    bool Succeeded() const { return outcome == OperationOutcome::Succeeded && !resetFailed; }
    // The text of the operation's outcome box (the last one shown), empty when none.
    std::string LastMessage() const { return messages.empty() ? std::string() : messages.back().text; }
};

}  // namespace zelv4
