#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "record/SqlConnection.h"

struct sqlite3;

namespace zelv4 {

struct SqliteApi;

// A record in one SQLite file. libsqlite3 is loaded the first time a file is opened,
// never at start-up. The file is kept in WAL mode with full syncs: every commit is on
// the disk when it returns, readers never wait for a writer, and writers (stations
// and workers) take turns through the busy timeout.
class SqliteConnection : public SqlConnection {
public:
    // Opens `path`, creating it when missing if `create`; `display` names it in
    // messages.
    static RecordResult<std::unique_ptr<SqlConnection>> Open(const std::string& path, const std::string& display,
                                                             std::chrono::milliseconds busyTimeout, bool create = true);
    ~SqliteConnection() override;

    SqlDialect Dialect() const override { return SqlDialect::Sqlite; }
    RecordResult<void> Run(std::string_view sql, std::span<const SqlValue> params = {},
                           const SqlRowSink& sink = {}) override;
    RecordResult<void> Reconnect() override { return {}; }

private:
    SqliteConnection(const SqliteApi& api, sqlite3* db, std::string display, std::chrono::milliseconds busyTimeout)
        : m_api(api), m_db(db), m_display(std::move(display)), m_busyTimeout(busyTimeout)
    {}
    RecordResult<void> RunOnce(std::string_view sql, std::span<const SqlValue> params, const SqlRowSink& sink);
    RecordError Error(int code) const;

    const SqliteApi& m_api;
    sqlite3* m_db;
    std::string m_display;
    std::chrono::milliseconds m_busyTimeout;
};

}  // namespace zelv4
