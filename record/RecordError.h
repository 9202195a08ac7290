#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zelv4 {

// Why the production record could not do what was asked. The command line turns
// each kind into its exit code; the message names the record and the cause.
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

struct RecordError {
    RecordErrorKind kind = RecordErrorKind::Failed;
    std::string message;  // for a person to read
};

// A value, or why there is none.
template <typename T>
class RecordResult {
public:
    RecordResult(T value) : m_value(std::move(value)) {}
    RecordResult(RecordError error) : m_error(std::move(error)) {}

    explicit operator bool() const { return !m_error; }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    const RecordError& Error() const { return *m_error; }

private:
    std::optional<T> m_value;
    std::optional<RecordError> m_error;
};

// Success, or why not.
template <>
class RecordResult<void> {
public:
    RecordResult() = default;
    RecordResult(RecordError error) : m_error(std::move(error)) {}

    explicit operator bool() const { return !m_error; }
    const RecordError& Error() const { return *m_error; }

private:
    std::optional<RecordError> m_error;
};

}  // namespace zelv4
