#include "record/SqlConnection.h"

namespace zelv4 {

RecordResult<void> InWriteTransaction(SqlConnection& connection, const std::function<RecordResult<void>()>& body,
                                      SqlCommit commit)
{
    const bool sqlite = connection.Dialect() == SqlDialect::Sqlite;
    const bool unsynced = commit == SqlCommit::Unsynced;
    // SQLite in WAL mode: a commit at NORMAL is synced by the next one at FULL.
    if (unsynced && sqlite) {
        if (auto relaxed = connection.Run("PRAGMA synchronous = NORMAL"); !relaxed)
            return relaxed;
    }
    RecordResult<void> result = connection.Run(sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    if (result && unsynced && !sqlite)
        result = connection.Run("SET LOCAL synchronous_commit = off");
    if (result)
        result = body();
    if (result)
        result = connection.Run("COMMIT");
    if (!result)
        connection.Run("ROLLBACK");  // a lost connection has rolled back already
    if (unsynced && sqlite) {
        if (auto restored = connection.Run("PRAGMA synchronous = FULL"); !restored && result)
            result = restored;
    }
    return result;
}

RecordResult<std::vector<SqlRow>> QueryRows(SqlConnection& connection, std::string_view sql,
                                            std::span<const SqlValue> params)
{
    std::vector<SqlRow> rows;
    const RecordResult<void> done = connection.Run(sql, params, [&rows](const SqlRow& row) { rows.push_back(row); });
    if (!done)
        return Unexpected(done.error());
    return rows;
}

std::int64_t SqlInteger(const SqlValue& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return *integer;
    if (const auto* real = std::get_if<double>(&value))
        return static_cast<std::int64_t>(*real);
    return 0;
}

double SqlReal(const SqlValue& value)
{
    if (const auto* real = std::get_if<double>(&value))
        return *real;
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return static_cast<double>(*integer);
    return 0;
}

std::string SqlText(const SqlValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return {};
}

std::optional<std::int64_t> SqlOptionalInteger(const SqlValue& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return std::nullopt;
    return SqlInteger(value);
}

std::optional<std::string> SqlOptionalText(const SqlValue& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return std::nullopt;
    return SqlText(value);
}

}  // namespace zelv4
