#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "record/SqlConnection.h"

struct pg_conn;

namespace zelv4 {

struct PostgresApi;

struct PostgresSettings {
    std::chrono::seconds connectTimeout{10};       // unless the URI says otherwise
    std::chrono::milliseconds busyTimeout{30000};  // how long a row lock is waited for
    std::string applicationName;                   // unless the URI says otherwise
};

// A record on a PostgreSQL server. libpq is loaded the first time a server record is
// opened, never at start-up. Notices (e.g. "already exists, skipping") are dropped:
// the program's output is its own.
class PostgresConnection : public SqlConnection {
public:
    // Connects to `uri`; `display` names it in messages (without its password).
    static RecordResult<std::unique_ptr<SqlConnection>> Open(const std::string& uri, const std::string& display,
                                                             const PostgresSettings& settings);
    ~PostgresConnection() override;

    SqlDialect Dialect() const override { return SqlDialect::Postgres; }
    RecordResult<void> Run(std::string_view sql, std::span<const SqlValue> params = {},
                           const SqlRowSink& sink = {}) override;
    RecordResult<void> Reconnect() override;

private:
    PostgresConnection(const PostgresApi& api, pg_conn* conn, std::string display)
        : m_api(api), m_conn(conn), m_display(std::move(display))
    {}
    RecordError ConnectError() const;

    const PostgresApi& m_api;
    pg_conn* m_conn;
    std::string m_display;
};

}  // namespace zelv4
