#include "record/sqlite/SqliteConnection.h"

#include <sqlite3.h>

#include <system_error>
#include <thread>

#include "sys/SharedLibrary.h"

namespace zelv4 {

// What the record uses of libsqlite3, bound when the first record is opened. RETURNING
// and ON CONFLICT need 3.35.
constexpr int SQLITE_OLDEST = 3035000;

#define ZELV4_SQLITE_FUNCTIONS(X)                                                                                      \
    X(sqlite3_libversion_number)                                                                                       \
    X(sqlite3_open_v2)                                                                                                 \
    X(sqlite3_close_v2)                                                                                                \
    X(sqlite3_extended_result_codes)                                                                                   \
    X(sqlite3_busy_timeout)                                                                                            \
    X(sqlite3_errmsg)                                                                                                  \
    X(sqlite3_system_errno)                                                                                            \
    X(sqlite3_get_autocommit)                                                                                          \
    X(sqlite3_prepare_v2)                                                                                              \
    X(sqlite3_finalize)                                                                                                \
    X(sqlite3_step)                                                                                                    \
    X(sqlite3_bind_parameter_index)                                                                                    \
    X(sqlite3_bind_null)                                                                                               \
    X(sqlite3_bind_int64)                                                                                              \
    X(sqlite3_bind_double)                                                                                             \
    X(sqlite3_bind_text)                                                                                               \
    X(sqlite3_column_count)                                                                                            \
    X(sqlite3_column_type)                                                                                             \
    X(sqlite3_column_int64)                                                                                            \
    X(sqlite3_column_double)                                                                                           \
    X(sqlite3_column_text)                                                                                             \
    X(sqlite3_column_bytes)
struct SqliteApi {
    static constexpr const char* LIBRARY = "libsqlite3.so.0";
    static constexpr const char* PACKAGE = "libsqlite3-0";
    ZELV4_LIBRARY_TABLE(ZELV4_SQLITE_FUNCTIONS)
    Expected<void> Check() const
    {
        if (sqlite3_libversion_number() < SQLITE_OLDEST)
            return Fail(ErrorCode::Unavailable, "SQLite 3.35 or newer is needed");
        return {};
    }
};

namespace {

// Finalizes the statement however Run leaves.
class Statement {
public:
    Statement(const SqliteApi& api) : m_api(api) {}
    ~Statement() { m_api.sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt*& Handle() { return m_stmt; }

private:
    const SqliteApi& m_api;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace

RecordResult<std::unique_ptr<SqlConnection>> SqliteConnection::Open(const std::string& path, const std::string& display,
                                                                    std::chrono::milliseconds busyTimeout, bool create)
{
    const Expected<const SqliteApi*> loaded = LoadLibraryApi<SqliteApi>();
    if (!loaded)
        return RecordFail(RecordErrorKind::ClientMissing, "SQLite records cannot be used: " + loaded.error().message);
    const SqliteApi& api = **loaded;
    sqlite3* db = nullptr;
    const int code = api.sqlite3_open_v2(
        path.c_str(), &db, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX, nullptr);
    // Even a failed open gives a handle to ask why and to close.
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection(api, db, display, busyTimeout));
    if (db == nullptr)
        return RecordFail(RecordErrorKind::CannotOpen, "cannot open the record " + display + ": out of memory");
    api.sqlite3_extended_result_codes(db, 1);
    if (code != SQLITE_OK)
        return Unexpected(connection->Error(code));
    api.sqlite3_busy_timeout(db, static_cast<int>(busyTimeout.count()));
    // WAL survives in the file; the first statement also tells a file that is no database.
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"})
        if (RecordResult<void> done = connection->Run(pragma); !done)
            return Unexpected(done.error());
    return std::unique_ptr<SqlConnection>(std::move(connection));
}

SqliteConnection::~SqliteConnection()
{
    m_api.sqlite3_close_v2(m_db);
}

RecordError SqliteConnection::Error(int code) const
{
    std::string reason = m_api.sqlite3_errmsg(m_db);
    const int primary = code & 0xFF;
    RecordErrorKind kind = RecordErrorKind::Failed;
    if (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) {
        // SQLite's own words ("unable to open database file") hide the cause.
        const int system = m_api.sqlite3_system_errno(m_db);
        if (system != 0)
            reason += " (" + std::generic_category().message(system) + ")";
        kind = system == EACCES || system == EPERM || system == EROFS ? RecordErrorKind::Denied
               : primary == SQLITE_CANTOPEN                           ? RecordErrorKind::CannotOpen
                                                                      : RecordErrorKind::Failed;
    } else if (primary == SQLITE_PERM || primary == SQLITE_READONLY || primary == SQLITE_AUTH) {
        kind = RecordErrorKind::Denied;
    } else if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
        kind = RecordErrorKind::NotARecord;
    } else if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        kind = RecordErrorKind::Busy;
        reason += " (other stations held it for longer than the busy timeout)";
    } else if (primary == SQLITE_CONSTRAINT) {
        kind = RecordErrorKind::Refused;
    }
    return RecordError(kind, "record " + m_display + ": " + reason);
}

RecordResult<void> SqliteConnection::Run(std::string_view sql, std::span<const SqlValue> params, const SqlRowSink& sink)
{
    // SQLite returns "busy" at once where waiting could deadlock, and around a file's
    // switch to WAL: outside a transaction a statement is simply tried again, within
    // the busy timeout, as long as it returned no row.
    const auto giveUp = std::chrono::steady_clock::now() + m_busyTimeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        bool delivered = false;
        const bool outside = m_api.sqlite3_get_autocommit(m_db) != 0;
        RecordResult<void> done = RunOnce(sql, params, [&](const SqlRow& row) {
            delivered = true;
            if (sink)
                sink(row);
        });
        if (done || done.error().kind != RecordErrorKind::Busy || !outside || delivered ||
            std::chrono::steady_clock::now() >= giveUp)
            return done;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

RecordResult<void> SqliteConnection::RunOnce(std::string_view sql, std::span<const SqlValue> params,
                                             const SqlRowSink& sink)
{
    Statement statement(m_api);
    int code = m_api.sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &statement.Handle(), nullptr);
    if (code != SQLITE_OK)
        return Unexpected(Error(code));
    sqlite3_stmt* stmt = statement.Handle();
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int index = m_api.sqlite3_bind_parameter_index(stmt, ("$" + std::to_string(i + 1)).c_str());
        if (index == 0)
            continue;
        const SqlValue& value = params[i];
        if (const auto* integer = std::get_if<std::int64_t>(&value))
            code = m_api.sqlite3_bind_int64(stmt, index, *integer);
        else if (const auto* real = std::get_if<double>(&value))
            code = m_api.sqlite3_bind_double(stmt, index, *real);
        else if (const auto* text = std::get_if<std::string>(&value))
            code = m_api.sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
        else
            code = m_api.sqlite3_bind_null(stmt, index);
        if (code != SQLITE_OK)
            return Unexpected(Error(code));
    }
    SqlRow row;
    while ((code = m_api.sqlite3_step(stmt)) == SQLITE_ROW) {
        row.assign(static_cast<std::size_t>(m_api.sqlite3_column_count(stmt)), SqlValue());
        for (int column = 0; column < static_cast<int>(row.size()); ++column) {
            SqlValue& value = row[static_cast<std::size_t>(column)];
            switch (m_api.sqlite3_column_type(stmt, column)) {
            case SQLITE_INTEGER:
                value = static_cast<std::int64_t>(m_api.sqlite3_column_int64(stmt, column));
                break;
            case SQLITE_FLOAT:
                value = m_api.sqlite3_column_double(stmt, column);
                break;
            case SQLITE_NULL:
                break;
            default: {
                const auto* text = reinterpret_cast<const char*>(m_api.sqlite3_column_text(stmt, column));
                value = std::string(text != nullptr ? text : "",
                                    static_cast<std::size_t>(m_api.sqlite3_column_bytes(stmt, column)));
            }
            }
        }
        sink(row);
    }
    if (code != SQLITE_DONE)
        return Unexpected(Error(code));
    return {};
}

}  // namespace zelv4
