#pragma once

#include <string>
#include <utility>

#include "core/Error.h"
#include "core/Expected.h"

namespace zelv4 {

// Why the production record could not do what was asked, finer than an error code:
// a caller tells a lost connection (a number may have been taken) from a busy
// record, a counter that ran out from one counting differently.
enum class RecordErrorKind {
    BadTarget,         // the TARGET names no record: empty, or an unusable URI
    ClientMissing,     // the database client library cannot be loaded, or was not built in
    CannotOpen,        // the file cannot be created or opened, or the server cannot be reached
    Denied,            // the file or the database refuses us
    NotARecord,        // not an SQLite database, a damaged one, or another program's
    NewerSchema,       // written by a newer zelv4-isp, whose tables this one does not know
    Busy,              // other stations held the record for longer than the busy timeout
    ConnectionLost,    // the server went away during a request: whether it took effect is unknown
    CounterMismatch,   // the counter exists, counting from another start or by another step
    CounterExhausted,  // the counter has no number left that fits the field
    Refused,           // a row or number the record does not accept (e.g. a serial it did not hand out)
    Failed,            // anything else the database reported
};

// The kind of error each reason is, as every front end reads errors.
constexpr ErrorCode RecordErrorCode(RecordErrorKind kind)
{
    switch (kind) {
    case RecordErrorKind::BadTarget:
    case RecordErrorKind::NewerSchema:
    case RecordErrorKind::CounterMismatch:
    case RecordErrorKind::CounterExhausted:
    case RecordErrorKind::Refused:
        return ErrorCode::InvalidInput;
    case RecordErrorKind::ClientMissing:
    case RecordErrorKind::ConnectionLost:
        return ErrorCode::Unavailable;
    case RecordErrorKind::CannotOpen:
    case RecordErrorKind::NotARecord:
    case RecordErrorKind::Failed:
        return ErrorCode::FileFailed;
    case RecordErrorKind::Denied:
        return ErrorCode::PermissionDenied;
    case RecordErrorKind::Busy:
        return ErrorCode::Busy;
    }
    return ErrorCode::FileFailed;
}

// The one error type, with the record's reason beside its code; the message names
// the record and the cause.
struct RecordError : Error {
    RecordErrorKind kind = RecordErrorKind::Failed;

    RecordError() = default;
    RecordError(RecordErrorKind reason, std::string text)
        : Error(RecordErrorCode(reason), std::move(text)), kind(reason)
    {}
};

// What the record's calls return: a value, or why there is none.
template <typename T>
using RecordResult = Expected<T, RecordError>;

// The usual way to fail: `return RecordFail(RecordErrorKind::Refused, "...");`
inline Unexpected<RecordError> RecordFail(RecordErrorKind kind, std::string message)
{
    return Unexpected<RecordError>(RecordError(kind, std::move(message)));
}

}  // namespace zelv4
