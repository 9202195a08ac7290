#include "record/RecordStore.h"

#include <limits>
#include <vector>

#include "record/RecordSchema.h"

namespace zelv4 {

namespace {

constexpr std::uint64_t LARGEST_COUNT = std::numeric_limits<std::int64_t>::max();
constexpr std::size_t COUNTER_NAME_MAX = 200;

constexpr std::string_view CHIP_COLUMNS =
    "id, started_at, ended_at, station, port, device_path, operation, firmware_path, file_checksum,"
    " serial_counter, serial, chip_checksum, outcome, exit_code, message, seconds";

// A number handed out and not yet settled is in state 'taken', as the statements below spell it.
constexpr const char* STATE_USED = "used";
constexpr const char* STATE_SPOILED = "spoiled";

Unexpected<RecordError> Refused(std::string message)
{
    return RecordFail(RecordErrorKind::Refused, std::move(message));
}

RecordError WithContext(const std::string& context, RecordError error)
{
    error.message = context + ": " + error.message;
    return error;
}

SqlValue Text(const std::string& text)
{
    return text;
}

SqlValue Number(std::uint64_t number)
{
    return static_cast<std::int64_t>(number);
}

template <typename T>
SqlValue Optional(const std::optional<T>& value)
{
    if (!value)
        return SqlValue();
    if constexpr (std::is_same_v<T, std::string>)
        return *value;
    else
        return static_cast<std::int64_t>(*value);
}

std::string NowText()
{
    return UtcTimeText(UtcNow());
}

// Invalid UTF-8 (a path in another encoding) is stored with U+FFFD for each bad byte,
// so that PostgreSQL accepts the row and JSON output stays valid.
std::string ValidUtf8(std::string_view text)
{
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        bool good = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; good && k < length; ++k)
            good = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (good && length >= 3) {
            // No overlong forms, surrogates or code points past U+10FFFF.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            good = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second > 0x9F) &&
                   !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second > 0x8F);
        }
        if (good) {
            valid.append(text.substr(i, length));
            i += length;
        } else {
            valid += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return valid;
}

ChipRecord ChipFromRow(const SqlRow& row)
{
    ChipRecord chip;
    chip.id = SqlInteger(row[0]);
    chip.startedAt = SqlText(row[1]);
    chip.endedAt = SqlText(row[2]);
    chip.station = SqlText(row[3]);
    chip.port = SqlOptionalText(row[4]);
    chip.devicePath = SqlText(row[5]);
    chip.operation = SqlText(row[6]);
    chip.firmwarePath = SqlOptionalText(row[7]);
    if (const auto checksum = SqlOptionalInteger(row[8]))
        chip.fileChecksum = static_cast<std::uint16_t>(*checksum);
    chip.serialCounter = SqlOptionalText(row[9]);
    if (const auto serial = SqlOptionalInteger(row[10]))
        chip.serial = static_cast<std::uint64_t>(*serial);
    if (const auto checksum = SqlOptionalInteger(row[11]))
        chip.chipChecksum = static_cast<std::uint16_t>(*checksum);
    chip.outcome = SqlText(row[12]);
    chip.exitCode = static_cast<int>(SqlInteger(row[13]));
    chip.message = SqlText(row[14]);
    chip.seconds = SqlReal(row[15]);
    return chip;
}

SerialCounter CounterFromRow(const std::string& name, const SqlRow& row)
{
    return SerialCounter{name, static_cast<std::uint64_t>(SqlInteger(row[0])),
                         static_cast<std::uint64_t>(SqlInteger(row[1])),
                         static_cast<std::uint64_t>(SqlInteger(row[2]))};
}

SerialState StateFromText(const std::string& text)
{
    return text == STATE_USED ? SerialState::Used : text == STATE_SPOILED ? SerialState::Spoiled : SerialState::Taken;
}

// The time as the record writes it, or why it cannot be.
RecordResult<std::string> CanonicalTime(const std::string& text, const char* what)
{
    const Expected<UtcTime> parsed = ParseUtcTime(text);
    if (!parsed)
        return Refused(std::string("the chip's ") + what + " time: " + parsed.error().message);
    return UtcTimeText(*parsed);
}

}  // namespace

RecordResult<std::unique_ptr<RecordStore>> RecordStore::Open(std::string_view text, const RecordOptions& options)
{
    RecordResult<RecordTarget> target = ParseRecordTarget(text);
    if (!target)
        return Unexpected(target.error());
    RecordResult<std::unique_ptr<SqlConnection>> connection = ConnectRecord(*target, options);
    if (!connection)
        return Unexpected(connection.error());
    if (RecordResult<int> migrated = MigrateRecord(**connection, target->display); !migrated)
        return Unexpected(migrated.error());
    return std::unique_ptr<RecordStore>(new RecordStore(std::move(*target), std::move(*connection)));
}

RecordResult<void> RecordStore::Begin(std::unique_lock<std::mutex>& lock)
{
    lock = std::unique_lock(m_mutex);
    return m_connection->Reconnect();
}

RecordResult<void> RecordStore::Ping()
{
    std::unique_lock<std::mutex> lock;
    RecordResult<void> up = Begin(lock);
    if (up)
        up = m_connection->Run("SELECT 1");
    if (!up)
        return Unexpected(WithContext("the record cannot be reached", up.error()));
    return {};
}

RecordResult<SerialCounter> RecordStore::OpenCounter(const std::string& name, std::optional<std::uint64_t> first,
                                                     std::optional<std::uint64_t> step)
{
    const std::string context = "serial counter \"" + name + "\"";
    if (name.empty() || name.size() > COUNTER_NAME_MAX)
        return Refused(context + ": a counter's name has 1 to " + std::to_string(COUNTER_NAME_MAX) + " characters");
    if (first.value_or(1) > LARGEST_COUNT || step.value_or(1) > LARGEST_COUNT || step.value_or(1) == 0)
        return Refused(context + ": counters count from 0 to " + std::to_string(LARGEST_COUNT) +
                       " in steps of at least 1");
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    const SqlValue params[] = {Text(ValidUtf8(name)), Number(first.value_or(1)), Number(step.value_or(1))};
    if (auto created = m_connection->Run("INSERT INTO serial_counters (name, first_number, step, next_number)"
                                         " VALUES ($1, $2, $3, $2) ON CONFLICT (name) DO NOTHING",
                                         params);
        !created)
        return Unexpected(WithContext(context, created.error()));
    auto rows = QueryRows(*m_connection, "SELECT first_number, step, next_number FROM serial_counters WHERE name = $1",
                          std::span(params, 1));
    if (!rows)
        return Unexpected(WithContext(context, rows.error()));
    const SerialCounter counter = CounterFromRow(name, rows->at(0));
    if ((first && *first != counter.first) || (step && *step != counter.step))
        return RecordFail(RecordErrorKind::CounterMismatch,
                          context + " in record " + Display() + " counts from " + std::to_string(counter.first) +
                              " in steps of " + std::to_string(counter.step) + ", not from " +
                              std::to_string(first.value_or(counter.first)) + " in steps of " +
                              std::to_string(step.value_or(counter.step)));
    return counter;
}

RecordResult<std::uint64_t> RecordStore::TakeSerial(const std::string& counter, std::uint64_t largest,
                                                    const std::string& station)
{
    const std::string context = "cannot take a number from serial counter \"" + counter + "\"";
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    const SqlValue params[] = {Text(ValidUtf8(counter)), Number(std::min(largest, LARGEST_COUNT)),
                               Text(ValidUtf8(station)), Text(NowText())};
    // The counter moves on only while the number fits the field and the next one
    // stays a 64-bit number.
    constexpr std::string_view ADVANCE = "UPDATE serial_counters SET next_number = next_number + step"
                                         " WHERE name = $1 AND next_number <= $2"
                                         " AND step <= 9223372036854775807 - next_number";
    std::optional<std::uint64_t> taken;
    const auto keep = [&taken](const SqlRow& row) { taken = static_cast<std::uint64_t>(SqlInteger(row[0])); };
    RecordResult<void> done;
    if (m_connection->Dialect() == SqlDialect::Postgres) {
        // One statement, so one transaction of its own: the number and the note of who
        // took it are written together or not at all.
        done = m_connection->Run("WITH taken AS (" + std::string(ADVANCE) +
                                     " RETURNING next_number - step AS number)"
                                     " INSERT INTO serial_numbers (counter, number, state, station, taken_at)"
                                     " SELECT $1, number, 'taken', $3, $4 FROM taken RETURNING number",
                                 params, keep);
    } else {
        done = InWriteTransaction(*m_connection, [&]() -> RecordResult<void> {
            auto advanced =
                m_connection->Run(std::string(ADVANCE) + " RETURNING next_number - step", std::span(params, 2), keep);
            if (!advanced || !taken)
                return advanced;
            const SqlValue number = Number(*taken);
            const SqlValue note[] = {params[0], number, params[2], params[3]};
            return m_connection->Run("INSERT INTO serial_numbers (counter, number, state, station, taken_at)"
                                     " VALUES ($1, $2, 'taken', $3, $4)",
                                     note);
        });
    }
    if (!done) {
        RecordError error = WithContext(context, done.error());
        if (error.kind == RecordErrorKind::ConnectionLost)
            error.message += "; a number it may have taken stays in the record as unsettled and is never handed out"
                             " again";
        return Unexpected(std::move(error));
    }
    if (taken)
        return *taken;
    auto rows = QueryRows(*m_connection, "SELECT first_number, step, next_number FROM serial_counters WHERE name = $1",
                          std::span(params, 1));
    if (!rows)
        return Unexpected(WithContext(context, rows.error()));
    if (rows->empty())
        return Refused(context + ": record " + Display() + " has no such counter");
    const SerialCounter state = CounterFromRow(counter, rows->at(0));
    return RecordFail(RecordErrorKind::CounterExhausted,
                      context + ": its next number, " + std::to_string(state.next) +
                          ", is past the largest the field holds (" +
                          std::to_string(std::min(largest, LARGEST_COUNT - state.step)) + ")");
}

RecordResult<void> RecordStore::SpoilSerial(const std::string& counter, std::uint64_t number)
{
    const std::string context =
        "cannot give up number " + std::to_string(number) + " of serial counter \"" + counter + "\"";
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    const SqlValue params[] = {Text(ValidUtf8(counter)), Number(number)};
    bool spoiled = false;
    auto done = m_connection->Run("UPDATE serial_numbers SET state = 'spoiled'"
                                  " WHERE counter = $1 AND number = $2 AND state = 'taken' RETURNING number",
                                  params, [&spoiled](const SqlRow&) { spoiled = true; });
    if (!done)
        return Unexpected(WithContext(context, done.error()));
    if (!spoiled)
        return Refused(context + ": it was not handed out, or is settled already");
    return {};
}

RecordResult<std::int64_t> RecordStore::AddChip(const ChipRecord& chip)
{
    const std::string context = "cannot record the chip at " + chip.devicePath;
    if (chip.serial.has_value() != chip.serialCounter.has_value())
        return Refused(context + ": a serial needs its counter, and a counter its serial");
    if (chip.serial && *chip.serial > LARGEST_COUNT)
        return Refused(context + ": serial " + std::to_string(*chip.serial) + " is past what a counter reaches");
    RecordResult<std::string> started = CanonicalTime(chip.startedAt, "start");
    if (!started)
        return Unexpected(WithContext(context, started.error()));
    RecordResult<std::string> ended = CanonicalTime(chip.endedAt, "end");
    if (!ended)
        return Unexpected(WithContext(context, ended.error()));

    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    const std::optional<std::string> port = chip.port ? std::optional(ValidUtf8(*chip.port)) : std::nullopt;
    const std::optional<std::string> firmware =
        chip.firmwarePath ? std::optional(ValidUtf8(*chip.firmwarePath)) : std::nullopt;
    const std::optional<std::string> counter =
        chip.serialCounter ? std::optional(ValidUtf8(*chip.serialCounter)) : std::nullopt;
    const SqlValue row[] = {*started,
                            *ended,
                            ValidUtf8(chip.station),
                            Optional(port),
                            ValidUtf8(chip.devicePath),
                            ValidUtf8(chip.operation),
                            Optional(firmware),
                            Optional(chip.fileChecksum),
                            Optional(counter),
                            Optional(chip.serial),
                            Optional(chip.chipChecksum),
                            ValidUtf8(chip.outcome),
                            std::int64_t{chip.exitCode},
                            ValidUtf8(chip.message),
                            chip.seconds};
    std::int64_t id = 0;
    RecordResult<void> done = InWriteTransaction(
        *m_connection,
        [&]() -> RecordResult<void> {
            if (chip.serial) {
                const SqlValue settle[] = {row[8], row[9], Text(chip.exitCode == 0 ? STATE_USED : STATE_SPOILED)};
                bool settled = false;
                auto updated =
                    m_connection->Run("UPDATE serial_numbers SET state = $3"
                                      " WHERE counter = $1 AND number = $2 AND state = 'taken' RETURNING number",
                                      settle, [&settled](const SqlRow&) { settled = true; });
                if (!updated)
                    return updated;
                if (!settled)
                    return Refused("serial " + std::to_string(*chip.serial) + " of counter \"" + *counter +
                                   "\" was not handed out by record " + Display() + ", or is on a chip already");
            }
            return m_connection->Run(
                "INSERT INTO chips (started_at, ended_at, station, port, device_path, operation, firmware_path,"
                " file_checksum, serial_counter, serial, chip_checksum, outcome, exit_code, message, seconds)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15) RETURNING id",
                row, [&id](const SqlRow& returned) { id = SqlInteger(returned[0]); });
        },
        SqlCommit::Unsynced);
    if (!done)
        return Unexpected(WithContext(context, done.error()));
    return id;
}

RecordResult<RecordSummary> RecordStore::Summary()
{
    const std::string context = "cannot read record " + Display();
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    RecordSummary summary;
    auto counts = m_connection->Run("SELECT station, substr(started_at, 1, 10), outcome, count(*) FROM chips"
                                    " GROUP BY station, substr(started_at, 1, 10), outcome ORDER BY 2, 1, 3",
                                    {}, [&summary](const SqlRow& row) {
                                        summary.counts.push_back({SqlText(row[0]), SqlText(row[1]), SqlText(row[2]),
                                                                  static_cast<std::uint64_t>(SqlInteger(row[3]))});
                                    });
    if (!counts)
        return Unexpected(WithContext(context, counts.error()));
    auto counters = m_connection->Run(
        "SELECT c.name, c.first_number, c.step, c.next_number,"
        " sum(CASE WHEN n.state = 'used' THEN 1 ELSE 0 END), sum(CASE WHEN n.state = 'spoiled' THEN 1 ELSE 0 END),"
        " sum(CASE WHEN n.state = 'taken' THEN 1 ELSE 0 END)"
        " FROM serial_counters c LEFT JOIN serial_numbers n ON n.counter = c.name"
        " GROUP BY c.name, c.first_number, c.step, c.next_number ORDER BY c.name",
        {}, [&summary](const SqlRow& row) {
            const SqlRow numbers(row.begin() + 1, row.begin() + 4);
            summary.counters.push_back(
                {CounterFromRow(SqlText(row[0]), numbers), static_cast<std::uint64_t>(SqlInteger(row[4])),
                 static_cast<std::uint64_t>(SqlInteger(row[5])), static_cast<std::uint64_t>(SqlInteger(row[6]))});
        });
    if (!counters)
        return Unexpected(WithContext(context, counters.error()));
    return summary;
}

RecordResult<SerialHistory> RecordStore::FindSerial(std::uint64_t serial)
{
    const std::string context = "cannot read record " + Display();
    SerialHistory history;
    history.serial = serial;
    if (serial > LARGEST_COUNT)
        return history;  // no counter reaches it
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    const SqlValue number = Number(serial);
    auto numbers = m_connection->Run(
        "SELECT counter, state, station, taken_at FROM serial_numbers WHERE number = $1 ORDER BY counter",
        std::span(&number, 1), [&history](const SqlRow& row) {
            history.numbers.push_back(
                {SqlText(row[0]), StateFromText(SqlText(row[1])), SqlText(row[2]), SqlText(row[3])});
        });
    if (!numbers)
        return Unexpected(WithContext(context, numbers.error()));
    auto chips = m_connection->Run(
        "SELECT " + std::string(CHIP_COLUMNS) + " FROM chips WHERE serial = $1 ORDER BY started_at, id",
        std::span(&number, 1), [&history](const SqlRow& row) { history.chips.push_back(ChipFromRow(row)); });
    if (!chips)
        return Unexpected(WithContext(context, chips.error()));
    return history;
}

RecordResult<std::uint64_t> RecordStore::ExportChips(std::optional<UtcTime> since,
                                                     const std::function<void(const ChipRecord&)>& sink)
{
    const std::string context = "cannot read record " + Display();
    std::unique_lock<std::mutex> lock;
    if (auto up = Begin(lock); !up)
        return Unexpected(WithContext(context, up.error()));
    // The stored times are all of one length and format: text order is time order.
    const SqlValue from = since ? UtcTimeText(*since) : std::string();
    std::uint64_t count = 0;
    auto done = m_connection->Run("SELECT " + std::string(CHIP_COLUMNS) +
                                      " FROM chips WHERE started_at >= $1 ORDER BY started_at, id",
                                  std::span(&from, 1), [&](const SqlRow& row) {
                                      ++count;
                                      sink(ChipFromRow(row));
                                  });
    if (!done)
        return Unexpected(WithContext(context, done.error()));
    return count;
}

}  // namespace zelv4
