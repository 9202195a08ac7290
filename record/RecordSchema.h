#pragma once

#include <string>

#include "record/SqlConnection.h"

namespace zelv4 {

// The record's tables as this program writes them. 1: the chip rows; 2: serial
// counters, the numbers they handed out, and each chip's serial.
inline constexpr int RECORD_SCHEMA_VERSION = 2;

// Creates the tables, or brings an older record up to `version`, in one transaction
// that other stations opening the record at the same moment wait for. Refuses a record
// of a newer program, and (SQLite) a database file of another program. Returns the
// version found before.
RecordResult<int> MigrateRecord(SqlConnection& connection, const std::string& display,
                                int version = RECORD_SCHEMA_VERSION);

}  // namespace zelv4
