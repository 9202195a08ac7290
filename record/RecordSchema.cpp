#include "record/RecordSchema.h"

#include <array>
#include <vector>

namespace zelv4 {

namespace {

// The statements that take a record from version i to i + 1. "{ID}" is the dialect's
// row id column; other types are spelled so that both engines read them alike.
const std::array<std::vector<std::string_view>, RECORD_SCHEMA_VERSION> STEPS = {{
    {
        "CREATE TABLE chips (id {ID}, started_at TEXT NOT NULL, ended_at TEXT NOT NULL, station TEXT NOT NULL,"
        " port TEXT, device_path TEXT NOT NULL, operation TEXT NOT NULL, firmware_path TEXT,"
        " file_checksum INTEGER, chip_checksum INTEGER, outcome TEXT NOT NULL, exit_code INTEGER NOT NULL,"
        " message TEXT NOT NULL, seconds DOUBLE PRECISION NOT NULL)",
        "CREATE INDEX chips_by_start ON chips (started_at)",
    },
    {
        "ALTER TABLE chips ADD COLUMN serial_counter TEXT",
        "ALTER TABLE chips ADD COLUMN serial BIGINT",
        // One chip per number: the record itself refuses a second.
        "CREATE UNIQUE INDEX chips_by_serial ON chips (serial, serial_counter) WHERE serial IS NOT NULL",
        "CREATE TABLE serial_counters (name TEXT PRIMARY KEY, first_number BIGINT NOT NULL,"
        " step BIGINT NOT NULL, next_number BIGINT NOT NULL)",
        "CREATE TABLE serial_numbers (counter TEXT NOT NULL REFERENCES serial_counters (name),"
        " number BIGINT NOT NULL, state TEXT NOT NULL, station TEXT NOT NULL, taken_at TEXT NOT NULL,"
        " PRIMARY KEY (counter, number))",
        "CREATE INDEX serial_numbers_by_number ON serial_numbers (number)",
    },
}};

std::string ForDialect(std::string_view statement, SqlDialect dialect)
{
    std::string sql(statement);
    const std::size_t id = sql.find("{ID}");
    if (id != std::string::npos)
        sql.replace(id, 4,
                    dialect == SqlDialect::Sqlite ? "INTEGER PRIMARY KEY"
                                                  : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    return sql;
}

// The version the record is at; 0 for a record without tables yet.
RecordResult<int> StoredVersion(SqlConnection& connection)
{
    const bool sqlite = connection.Dialect() == SqlDialect::Sqlite;
    // PostgreSQL: a scan of the catalog, which sees what another station committed while
    // we waited for the lock (to_regclass() would answer from this session's cache).
    auto exists =
        QueryRows(connection, sqlite ? "SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'"
                                     : "SELECT count(*) FROM pg_catalog.pg_tables"
                                       " WHERE schemaname = current_schema() AND tablename = 'schema_version'");
    if (!exists)
        return Unexpected(exists.error());
    if (SqlInteger(exists->at(0).at(0)) == 0)
        return 0;
    auto version = QueryRows(connection, "SELECT max(version) FROM schema_version");
    if (!version)
        return Unexpected(version.error());
    return static_cast<int>(SqlInteger(version->at(0).at(0)));
}

Unexpected<RecordError> Newer(const std::string& display, int found)
{
    return RecordFail(RecordErrorKind::NewerSchema, "record " + display +
                                                        " was written by a newer zelv4-isp (schema version " +
                                                        std::to_string(found) + "; this one knows up to " +
                                                        std::to_string(RECORD_SCHEMA_VERSION) + ")");
}

}  // namespace

RecordResult<int> MigrateRecord(SqlConnection& connection, const std::string& display, int version)
{
    // Most opens find the record as it should be and write nothing.
    RecordResult<int> found = StoredVersion(connection);
    if (!found)
        return found;
    if (*found > RECORD_SCHEMA_VERSION)
        return Newer(display, *found);
    if (*found >= version)
        return found;

    const SqlDialect dialect = connection.Dialect();
    RecordResult<void> done = InWriteTransaction(connection, [&]() -> RecordResult<void> {
        // One station migrates; the others wait here, then find the work done.
        if (dialect == SqlDialect::Postgres) {
            if (auto locked = connection.Run("SELECT pg_advisory_xact_lock(hashtext(current_schema()))"); !locked)
                return locked;
        }
        found = StoredVersion(connection);
        if (!found)
            return Unexpected(found.error());
        if (*found > RECORD_SCHEMA_VERSION)
            return Newer(display, *found);
        if (*found == 0) {
            if (dialect == SqlDialect::Sqlite) {
                auto tables = QueryRows(connection, "SELECT count(*) FROM sqlite_master");
                if (!tables)
                    return Unexpected(tables.error());
                if (SqlInteger(tables->at(0).at(0)) != 0)
                    return RecordFail(RecordErrorKind::NotARecord,
                                      "record " + display + " is an SQLite database of another program");
            }
            for (const char* sql :
                 {"CREATE TABLE schema_version (version INTEGER NOT NULL)", "INSERT INTO schema_version VALUES (0)"})
                if (auto created = connection.Run(sql); !created)
                    return created;
        }
        if (*found >= version)
            return {};
        for (int step = *found; step < version; ++step)
            for (std::string_view statement : STEPS[static_cast<std::size_t>(step)])
                if (auto applied = connection.Run(ForDialect(statement, dialect)); !applied)
                    return applied;
        const SqlValue target = std::int64_t{version};
        return connection.Run("UPDATE schema_version SET version = $1", std::span(&target, 1));
    });
    if (!done)
        return Unexpected(done.error());
    return found;
}

}  // namespace zelv4
