#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "record/RecordStore.h"
#include "support/ScratchDir.h"

namespace zelv4::test {

// The server scripts/with-postgres started, if any.
inline const char* PostgresUri()
{
    const char* uri = std::getenv("ZELV4_POSTGRES_URI");
    return uri != nullptr && *uri != '\0' ? uri : nullptr;
}

// A record's kind, for tests run on each: SQLite always, PostgreSQL when a server is
// given in ZELV4_POSTGRES_URI.
struct RecordKind {
    std::string label;
    RecordBackend backend;
};

inline void PrintTo(const RecordKind& kind, std::ostream* out)
{
    *out << kind.label;
}

inline std::vector<RecordKind> RecordKinds(bool sqlite = true)
{
    std::vector<RecordKind> kinds;
    if (sqlite)
        kinds.push_back({"Sqlite", RecordBackend::Sqlite});
    if (PostgresUri() != nullptr)
        kinds.push_back({"Postgres", RecordBackend::Postgres});
    return kinds;
}

// A fresh, empty record: a new file in a scratch directory, or a new schema on the
// server (the URI then selects it through search_path), dropped at the end.
class ScratchRecord {
public:
    explicit ScratchRecord(RecordBackend backend)
    {
        if (backend == RecordBackend::Sqlite) {
            m_target = m_dir.Path("record.db");
            return;
        }
        static std::atomic<unsigned> counter{0};
        m_schema = "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        const std::string uri = PostgresUri();
        m_target = uri + (uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + m_schema;
        Admin("CREATE SCHEMA " + m_schema);
    }
    ~ScratchRecord()
    {
        if (!m_schema.empty())
            Admin("DROP SCHEMA " + m_schema + " CASCADE");
    }
    ScratchRecord(const ScratchRecord&) = delete;
    ScratchRecord& operator=(const ScratchRecord&) = delete;

    const std::string& Target() const { return m_target; }
    const std::string& Schema() const { return m_schema; }  // PostgreSQL: the record's schema

    // The record opened as a station opens it; a test failure and null when it cannot be.
    std::unique_ptr<RecordStore> Open(const RecordOptions& options = {}) const
    {
        auto store = RecordStore::Open(m_target, options);
        if (!store) {
            ADD_FAILURE() << "cannot open " << m_target << ": " << store.error().message;
            return nullptr;
        }
        return std::move(*store);
    }

    // A connection of the test's own, beside the store's: to hold locks, or to write
    // what an older program wrote.
    std::unique_ptr<SqlConnection> Connect(const RecordOptions& options = {}) const
    {
        auto target = ParseRecordTarget(m_target);
        auto connection = ConnectRecord(*target, options);
        if (!connection) {
            ADD_FAILURE() << connection.error().message;
            return nullptr;
        }
        return std::move(*connection);
    }

    // Runs SQL on the record's own connection; a test failure when it fails.
    void Sql(const std::string& sql) const
    {
        if (auto connection = Connect())
            if (auto done = connection->Run(sql); !done)
                ADD_FAILURE() << sql << ": " << done.error().message;
    }

private:
    void Admin(const std::string& sql) const
    {
        auto connection = ConnectRecord(*ParseRecordTarget(PostgresUri()));
        auto done = connection ? (*connection)->Run(sql) : RecordResult<void>(Unexpected(connection.error()));
        if (!done)
            ADD_FAILURE() << sql << ": " << done.error().message;
    }

    ScratchDir m_dir;
    std::string m_target;
    std::string m_schema;
};

}  // namespace zelv4::test
