#pragma once

#include <string>
#include <utility>

namespace zelv4 {

// What kind of failure an Error is, so that a front end can choose its exit code or
// icon without reading the message.
enum class ErrorCode {
    InvalidInput,      // the input is refused: a malformed file, a bad value, two things that clash
    FileFailed,        // a file cannot be opened, read, written or replaced
    NotFound,          // what was asked for is not there
    PermissionDenied,  // the system refused access
    Busy,              // another program holds it
    Unavailable,       // a service or library the work needs cannot be reached or loaded
    Interrupted,       // a signal asked the program to stop
    DeviceFailed,      // a device refused a transfer
};

// The one error type: a kind and a message for a person to read, with the path or
// value it is about already quoted in it.
struct Error {
    ErrorCode code = ErrorCode::InvalidInput;
    std::string message;

    Error() = default;
    Error(ErrorCode errorCode, std::string text) : code(errorCode), message(std::move(text)) {}

    bool operator==(const Error&) const = default;
};

}  // namespace zelv4
