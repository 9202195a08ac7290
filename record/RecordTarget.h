#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "record/RecordError.h"
#include "record/SqlConnection.h"

namespace zelv4 {

enum class RecordBackend { Sqlite, Postgres };

// What --record TARGET names: a file path (SQLite) or a postgresql:// URI.
struct RecordTarget {
    RecordBackend backend = RecordBackend::Sqlite;
    std::string location;  // the path, or the URI as given
    std::string display;   // for messages and output: the URI with any password hidden
};

// Tells the kind of record; the URI's own syntax is checked when it is opened.
RecordResult<RecordTarget> ParseRecordTarget(std::string_view text);

struct RecordOptions {
    // How long a record that other stations hold is waited for before the request
    // fails as busy: seconds, as a line of stations contends only for moments.
    std::chrono::milliseconds busyTimeout{30000};
    // How long a server is tried before it counts as unreachable (unless the URI sets
    // connect_timeout).
    std::chrono::seconds connectTimeout{10};
    std::string applicationName = "zelv4-isp";
    // Whether a missing SQLite file is created: a run that records does, a command
    // that only reads the record must not make an empty one from a mistyped path.
    bool createMissing = true;
};

// Opens a connection to the record's database, loading its client library the first
// time. Nothing is created or checked beyond what opening needs: RecordStore::Open
// does the rest.
RecordResult<std::unique_ptr<SqlConnection>> ConnectRecord(const RecordTarget& target,
                                                           const RecordOptions& options = {});

}  // namespace zelv4
