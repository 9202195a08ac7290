#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/UtcTime.h"
#include "record/ChipRecord.h"
#include "record/RecordError.h"
#include "record/RecordTarget.h"
#include "record/SqlConnection.h"

namespace zelv4 {

// The production record: a row per chip and operation, and the named serial counters
// that several stations draw from.
//
// Threads: one store may be shared by all workers of a run. Each call holds the store
// for its whole transaction, so the workers' requests take turns on the one
// connection; a request waiting for a busy database holds the others back, which they
// would have waited for anyway. A store per worker (each its own connection) works as
// well: the database then orders them as it orders stations.
//
// Processes: any number of stations may open one record. SQLite serialises writers on
// the file's lock (BEGIN IMMEDIATE, waiting up to the busy timeout); PostgreSQL on the
// counter's row. Taking a number is one transaction that also notes who took it, so a
// number is never handed out twice, and one handed out whose chip was never recorded
// stays visible ("unsettled") instead of vanishing.
//
// Durability: taking a number waits for the disk, so that no power cut can make the
// record hand it out again. A chip's row does not wait: it is visible to every station
// at once and survives the program's crash, and the next number taken puts it on the
// disk too. A power cut can lose the rows of its last moment; their numbers then stay
// unsettled, never reused. (One disk sync per chip instead of two: on a slow disk that
// is the record's whole cost.)
//
// Start-up: nothing here touches a database client until Open; libsqlite3 and libpq
// are loaded then, on the first use of each.
class RecordStore {
public:
    // Opens TARGET (a file path for SQLite, created when missing, or a postgresql://
    // URI), creating or updating its tables.
    static RecordResult<std::unique_ptr<RecordStore>> Open(std::string_view target, const RecordOptions& options = {});

    const std::string& Display() const { return m_target.display; }
    RecordBackend Backend() const { return m_target.backend; }

    // Whether the record answers now: before a chip is programmed, so that a record
    // that cannot take its row leaves the chip untouched. A server connection that
    // dropped is made anew.
    RecordResult<void> Ping();

    // The counter `name`, created counting from `first` by `step` (1 and 1 when not
    // given) if it does not exist. An existing counter keeps its own: a `first` or
    // `step` given that differs from it is a CounterMismatch.
    RecordResult<SerialCounter> OpenCounter(const std::string& name, std::optional<std::uint64_t> first = {},
                                            std::optional<std::uint64_t> step = {});

    // Hands out the counter's next number to `station`, in one transaction; never the
    // same number twice. CounterExhausted when the next number is above `largest` (the
    // largest the field holds): then nothing is taken. ConnectionLost: the server went
    // away during the request, so a number may have been taken; it then stays in the
    // record as unsettled, and is never handed out again.
    RecordResult<std::uint64_t> TakeSerial(const std::string& counter, std::uint64_t largest,
                                           const std::string& station);

    // Gives up a number that was handed out but will be on no chip.
    RecordResult<void> SpoilSerial(const std::string& counter, std::uint64_t number);

    // Writes a finished chip's row and returns its id. A chip with a serial settles its
    // number in the same transaction: used when the chip passed (exit code 0), spoiled
    // otherwise. A serial the counter did not hand out, or one already settled, is
    // Refused. Times must be ISO-8601 UTC; text that is not UTF-8 is stored with U+FFFD
    // in place of the bad bytes.
    RecordResult<std::int64_t> AddChip(const ChipRecord& chip);

    // Chips per UTC day, station and outcome, and what each counter's numbers became.
    RecordResult<RecordSummary> Summary();

    // Every counter's number `serial` and every chip row carrying it.
    RecordResult<SerialHistory> FindSerial(std::uint64_t serial);

    // Each chip row started at or after `since` (all when absent), oldest first, to
    // `sink`; returns how many.
    RecordResult<std::uint64_t> ExportChips(std::optional<UtcTime> since,
                                            const std::function<void(const ChipRecord&)>& sink);

private:
    RecordStore(RecordTarget target, std::unique_ptr<SqlConnection> connection)
        : m_target(std::move(target)), m_connection(std::move(connection))
    {}
    // Locks the store and makes sure the connection is up.
    RecordResult<void> Begin(std::unique_lock<std::mutex>& lock);

    RecordTarget m_target;
    std::mutex m_mutex;
    std::unique_ptr<SqlConnection> m_connection;
};

}  // namespace zelv4
