#include "record/SqlConnection.h"

namespace zelv4 {

RecordResult<void> InWriteTransaction(SqlConnection& connection, const std::function<RecordResult<void>()>& body)
{
    RecordResult<void> result =
        connection.Run(connection.Dialect() == SqlDialect::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    if (!result)
        return result;
    result = body();
    if (result)
        result = connection.Run("COMMIT");
    if (!result)
        connection.Run("ROLLBACK");  // a lost connection has rolled back already
    return result;
}

RecordResult<std::vector<SqlRow>> QueryRows(SqlConnection& connection, std::string_view sql,
                                            std::span<const SqlValue> params)
{
    std::vector<SqlRow> rows;
    const RecordResult<void> done = connection.Run(sql, params, [&rows](const SqlRow& row) { rows.push_back(row); });
    if (!done)
        return done.Error();
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
