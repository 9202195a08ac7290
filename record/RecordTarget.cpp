#include "record/RecordTarget.h"

#include <cctype>

#include "record/sqlite/SqliteConnection.h"
#ifdef ZELV4_RECORD_POSTGRES
#include "record/postgres/PostgresConnection.h"
#endif

namespace zelv4 {

namespace {

constexpr std::string_view POSTGRES_SCHEMES[] = {"postgresql://", "postgres://"};
constexpr std::string_view HIDDEN = "***";

// "scheme://" at the start: a URI rather than a path.
bool HasScheme(std::string_view text)
{
    const std::size_t end = text.find("://");
    if (end == std::string_view::npos || end == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char c : text.substr(0, end))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// The URI with the password of its user part and any password= parameter replaced.
std::string WithoutPassword(std::string_view uri, std::size_t schemeLength)
{
    std::string shown(uri);
    const std::size_t authorityEnd = std::min(shown.find_first_of("/?", schemeLength), shown.size());
    const std::size_t at = shown.rfind('@', authorityEnd);
    if (at != std::string::npos && at >= schemeLength) {
        const std::size_t colon = shown.find(':', schemeLength);
        if (colon < at)
            shown.replace(colon + 1, at - colon - 1, HIDDEN);
    }
    for (std::size_t key = shown.find('?'); key != std::string::npos; key = shown.find('&', key + 1)) {
        const std::size_t name = key + 1;
        if (shown.compare(name, 9, "password=") != 0)
            continue;
        const std::size_t value = name + 9;
        const std::size_t end = std::min(shown.find('&', value), shown.size());
        shown.replace(value, end - value, HIDDEN);
    }
    return shown;
}

}  // namespace

RecordResult<RecordTarget> ParseRecordTarget(std::string_view text)
{
    if (text.empty())
        return RecordFail(RecordErrorKind::BadTarget,
                          "the record is empty: give a file path (SQLite) or a postgresql:// URI");
    RecordTarget target;
    target.location = std::string(text);
    for (std::string_view scheme : POSTGRES_SCHEMES) {
        if (text.starts_with(scheme)) {
            target.backend = RecordBackend::Postgres;
            target.display = WithoutPassword(text, scheme.size());
            return target;
        }
    }
    if (HasScheme(text))
        return RecordFail(RecordErrorKind::BadTarget,
                          "record " + std::string(text) + ": not a file path, nor a postgresql:// URI");
    // SQLite keeps ":memory:" in memory: the record would vanish with the program.
    if (text.starts_with(':'))
        target.location = "./" + target.location;
    target.display = std::string(text);
    return target;
}

RecordResult<std::unique_ptr<SqlConnection>> ConnectRecord(const RecordTarget& target, const RecordOptions& options)
{
    if (target.backend == RecordBackend::Sqlite)
        return SqliteConnection::Open(target.location, target.display, options.busyTimeout, options.createMissing);
#ifdef ZELV4_RECORD_POSTGRES
    return PostgresConnection::Open(target.location, target.display,
                                    {options.connectTimeout, options.busyTimeout, options.applicationName});
#else
    return RecordFail(RecordErrorKind::ClientMissing,
                      "record " + target.display +
                          ": this zelv4-isp was built without the PostgreSQL client (libpq-dev was missing)");
#endif
}

}  // namespace zelv4
