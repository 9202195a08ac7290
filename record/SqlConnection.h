#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "record/RecordError.h"

namespace zelv4 {

// A parameter or a column: NULL, an integer, a real number or text.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string>;
using SqlRow = std::vector<SqlValue>;
using SqlRowSink = std::function<void(const SqlRow&)>;

enum class SqlDialect { Sqlite, Postgres };

// One connection to the record's database. Statements name their parameters $1, $2...
// in both dialects. Not thread-safe: RecordStore serialises its use.
class SqlConnection {
public:
    virtual ~SqlConnection() = default;

    virtual SqlDialect Dialect() const = 0;

    // Runs one statement; each row it returns goes to `sink`.
    virtual RecordResult<void> Run(std::string_view sql, std::span<const SqlValue> params = {},
                                   const SqlRowSink& sink = {}) = 0;

    // Before a request: a connection the server dropped is made anew (a server
    // restarted between two chips costs no chip); false with the reason when it cannot be.
    virtual RecordResult<void> Reconnect() = 0;
};

enum class SqlCommit {
    Synced,    // the commit returns once the transaction is on the disk
    Unsynced,  // it returns at once: the transaction is visible and survives the program's crash;
               // a power cut may lose it, unless a synced commit followed
};

// Runs `body` in a write transaction, committed when `body` succeeds and rolled back
// otherwise. SQLite takes the write lock at the start (BEGIN IMMEDIATE, waiting through
// the busy timeout), so no statement inside can fail on another station's lock.
RecordResult<void> InWriteTransaction(SqlConnection& connection, const std::function<RecordResult<void>()>& body,
                                      SqlCommit commit = SqlCommit::Synced);

// Every row of one statement.
RecordResult<std::vector<SqlRow>> QueryRows(SqlConnection& connection, std::string_view sql,
                                            std::span<const SqlValue> params = {});

// A column's value as the type the query selects; NULL reads as 0 or empty.
std::int64_t SqlInteger(const SqlValue& value);
double SqlReal(const SqlValue& value);
std::string SqlText(const SqlValue& value);
std::optional<std::int64_t> SqlOptionalInteger(const SqlValue& value);
std::optional<std::string> SqlOptionalText(const SqlValue& value);

}  // namespace zelv4
