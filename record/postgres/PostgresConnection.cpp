#include "record/postgres/PostgresConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdio>
#include <vector>

#include "sys/SharedLibrary.h"

namespace zelv4 {

// What the record uses of libpq, bound when the first server record is opened.
#define ZELV4_POSTGRES_FUNCTIONS(X)                                                                                    \
    X(PQconninfoParse)                                                                                                 \
    X(PQconninfoFree)                                                                                                  \
    X(PQfreemem)                                                                                                       \
    X(PQconnectdbParams)                                                                                               \
    X(PQstatus)                                                                                                        \
    X(PQerrorMessage)                                                                                                  \
    X(PQsetNoticeProcessor)                                                                                            \
    X(PQreset)                                                                                                         \
    X(PQfinish)                                                                                                        \
    X(PQexecParams)                                                                                                    \
    X(PQresultStatus)                                                                                                  \
    X(PQresultErrorMessage)                                                                                            \
    X(PQresultErrorField)                                                                                              \
    X(PQntuples)                                                                                                       \
    X(PQnfields)                                                                                                       \
    X(PQftype)                                                                                                         \
    X(PQgetisnull)                                                                                                     \
    X(PQgetvalue)                                                                                                      \
    X(PQgetlength)                                                                                                     \
    X(PQclear)
struct PostgresApi {
    static constexpr const char* LIBRARY = "libpq.so.5";
    static constexpr const char* PACKAGE = "libpq5";
    ZELV4_LIBRARY_TABLE(ZELV4_POSTGRES_FUNCTIONS)
};

namespace {

// Column types read as numbers; everything else is text.
constexpr Oid OID_BOOL = 16, OID_INT8 = 20, OID_INT2 = 21, OID_INT4 = 23, OID_FLOAT4 = 700, OID_FLOAT8 = 701;

void IgnoreNotice(void*, const char*) {}

// libpq's messages span lines with tabs; one line reads better after our prefix.
std::string OneLine(const char* text)
{
    std::string line;
    bool blank = false;
    for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
        if (*c == '\n' || *c == '\t' || *c == ' ') {
            blank = !line.empty();
            continue;
        }
        if (blank)
            line += ' ';
        blank = false;
        line += *c;
    }
    return line;
}

class Result {
public:
    Result(const PostgresApi& api, PGresult* result) : m_api(api), m_result(result) {}
    ~Result() { m_api.PQclear(m_result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* Get() const { return m_result; }

private:
    const PostgresApi& m_api;
    PGresult* m_result;
};

SqlValue ColumnValue(Oid type, const char* text, std::size_t length)
{
    const char* end = text + length;
    if (type == OID_INT8 || type == OID_INT4 || type == OID_INT2) {
        std::int64_t value = 0;
        std::from_chars(text, end, value);
        return value;
    }
    if (type == OID_FLOAT8 || type == OID_FLOAT4) {
        double value = 0;
        std::from_chars(text, end, value);
        return value;
    }
    if (type == OID_BOOL)
        return std::int64_t{length > 0 && text[0] == 't'};
    return std::string(text, length);
}

}  // namespace

RecordResult<std::unique_ptr<SqlConnection>>
PostgresConnection::Open(const std::string& uri, const std::string& display, const PostgresSettings& settings)
{
    const Expected<const PostgresApi*> loaded = LoadLibraryApi<PostgresApi>();
    if (!loaded)
        return RecordFail(RecordErrorKind::ClientMissing,
                          "PostgreSQL records cannot be used: " + loaded.error().message);
    const PostgresApi& api = **loaded;

    // The URI is taken apart first: a malformed one is a usage error, not a server's.
    char* parseError = nullptr;
    PQconninfoOption* options = api.PQconninfoParse(uri.c_str(), &parseError);
    if (options == nullptr) {
        const std::string reason = OneLine(parseError);
        api.PQfreemem(parseError);
        return RecordFail(RecordErrorKind::BadTarget, "record " + display + " is not a usable URI: " + reason);
    }
    std::vector<std::string> keywords, values;
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val != nullptr) {
            keywords.emplace_back(option->keyword);
            values.emplace_back(option->val);
        }
    }
    api.PQconninfoFree(options);
    const auto set = [&](const std::string& keyword, const std::string& value, bool append) {
        for (std::size_t i = 0; i < keywords.size(); ++i) {
            if (keywords[i] == keyword) {
                if (append)
                    values[i] += " " + value;
                return;
            }
        }
        keywords.push_back(keyword);
        values.push_back(value);
    };
    set("connect_timeout", std::to_string(settings.connectTimeout.count()), false);
    set("application_name", settings.applicationName, false);
    set("client_encoding", "UTF8", false);
    // A server that vanished from the network is noticed in about 25 s, not hours.
    set("keepalives_idle", "10", false);
    set("keepalives_interval", "5", false);
    set("keepalives_count", "3", false);
    // A row lock held by another station is waited for this long, then reported as busy.
    set("options", "-c lock_timeout=" + std::to_string(settings.busyTimeout.count()), true);

    std::vector<const char*> keywordPointers, valuePointers;
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        keywordPointers.push_back(keywords[i].c_str());
        valuePointers.push_back(values[i].c_str());
    }
    keywordPointers.push_back(nullptr);
    valuePointers.push_back(nullptr);
    PGconn* conn = api.PQconnectdbParams(keywordPointers.data(), valuePointers.data(), 0);
    std::unique_ptr<PostgresConnection> connection(new PostgresConnection(api, conn, display));
    if (conn == nullptr)
        return RecordFail(RecordErrorKind::CannotOpen, "cannot reach record " + display + ": out of memory");
    api.PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    if (api.PQstatus(conn) != CONNECTION_OK)
        return Unexpected(connection->ConnectError());
    return std::unique_ptr<SqlConnection>(std::move(connection));
}

PostgresConnection::~PostgresConnection()
{
    m_api.PQfinish(m_conn);
}

RecordError PostgresConnection::ConnectError() const
{
    return RecordError(RecordErrorKind::CannotOpen,
                       "cannot reach record " + m_display + ": " + OneLine(m_api.PQerrorMessage(m_conn)));
}

RecordResult<void> PostgresConnection::Reconnect()
{
    if (m_api.PQstatus(m_conn) == CONNECTION_OK)
        return {};
    m_api.PQreset(m_conn);
    if (m_api.PQstatus(m_conn) != CONNECTION_OK)
        return Unexpected(ConnectError());
    return {};
}

RecordResult<void> PostgresConnection::Run(std::string_view sql, std::span<const SqlValue> params,
                                           const SqlRowSink& sink)
{
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (const auto* integer = std::get_if<std::int64_t>(&params[i])) {
            texts[i] = std::to_string(*integer);
        } else if (const auto* real = std::get_if<double>(&params[i])) {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", *real);
            texts[i] = text;
        } else if (const auto* text = std::get_if<std::string>(&params[i])) {
            texts[i] = *text;
        } else {
            continue;
        }
        values[i] = texts[i].c_str();
    }
    const Result result(m_api, m_api.PQexecParams(m_conn, std::string(sql).c_str(), static_cast<int>(params.size()),
                                                  nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = m_api.PQresultStatus(result.Get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* field =
            result.Get() != nullptr ? m_api.PQresultErrorField(result.Get(), PG_DIAG_SQLSTATE) : nullptr;
        const std::string state = field != nullptr ? field : "";
        const std::string reason =
            OneLine(result.Get() != nullptr ? m_api.PQresultErrorMessage(result.Get()) : m_api.PQerrorMessage(m_conn));
        RecordErrorKind kind = RecordErrorKind::Failed;
        std::string note;
        if (m_api.PQstatus(m_conn) != CONNECTION_OK || state.starts_with("08") || state.starts_with("57P")) {
            kind = RecordErrorKind::ConnectionLost;
        } else if (state == "55P03") {  // lock_not_available: lock_timeout ran out
            kind = RecordErrorKind::Busy;
            note = " (other stations held it for longer than the busy timeout)";
        } else if (state == "42501" || state.starts_with("28"))
            kind = RecordErrorKind::Denied;
        else if (state.starts_with("23"))
            kind = RecordErrorKind::Refused;
        return RecordFail(kind, "record " + m_display + ": " + reason + note);
    }
    if (!sink)
        return {};
    const int rows = m_api.PQntuples(result.Get());
    const int columns = m_api.PQnfields(result.Get());
    SqlRow row;
    for (int r = 0; r < rows; ++r) {
        row.assign(static_cast<std::size_t>(columns), SqlValue());
        for (int c = 0; c < columns; ++c) {
            if (!m_api.PQgetisnull(result.Get(), r, c))
                row[static_cast<std::size_t>(c)] =
                    ColumnValue(m_api.PQftype(result.Get(), c), m_api.PQgetvalue(result.Get(), r, c),
                                static_cast<std::size_t>(m_api.PQgetlength(result.Get(), r, c)));
        }
        sink(row);
    }
    return {};
}

}  // namespace zelv4
