#include "cli/commands/RecordCommand.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <vector>

#include "cli/record/RecordingChoice.h"
#include "cli/run/OutputPaths.h"
#if ZELV4_RECORD
#include "cli/record/OpenRecord.h"
#include "core/UtcTime.h"
#include "record/RecordFormat.h"
#include "record/RecordStore.h"
#include "sys/ReplacingFile.h"
#endif

namespace zelv4 {

namespace {

void AddTarget(CLI::App& command, std::string& target)
{
    command.add_option("--record", target, "The production record: an SQLite file or a postgresql:// URI")
        ->type_name("TARGET")
        ->required();
}

}  // namespace

void RecordCommand::AddOptions(CLI::App& command)
{
    // Which one is checked by Run, whose refusal names them.
    m_summary = command.add_subcommand("summary", "Chips per station, UTC day and outcome, and each serial counter");
    AddTarget(*m_summary, m_target);
    m_find = command.add_subcommand("find", "The history of serial number SERIAL: who took it, and each chip row");
    m_find->add_option("SERIAL", m_serial, "The serial number (decimal or 0x hex)")->required();
    AddTarget(*m_find, m_target);
    m_export = command.add_subcommand("export", "Every chip row, oldest first, as CSV or JSON Lines");
    m_export->add_option("--format", m_format, "csv (default) or jsonl")->check(CLI::IsMember({"csv", "jsonl"}));
    m_export
        ->add_option("--since", m_since,
                     "Only rows started at or after TIME (ISO-8601 UTC: 2024-05-01, 2024-05-01T12:00Z)")
        ->type_name("TIME");
    m_export->add_option("-o,--output", m_output, "Write to FILE (replaced only when complete) instead of stdout")
        ->type_name("FILE");
    AddTarget(*m_export, m_target);
}

#if !ZELV4_RECORD

CommandResult RecordCommand::Run(const GlobalOptions&, CommandServices&)
{
    return CommandResult::Refused(RECORD_NOT_BUILT);
}

#else

namespace {

std::optional<std::uint64_t> ParseSerialNumber(const std::string& text)
{
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

CommandResult RecordFailed(const RecordError& error)
{
    return CommandResult::Failed(error, "record-error");
}

}  // namespace

CommandResult RecordCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    if (!m_summary->parsed() && !m_find->parsed() && !m_export->parsed())
        return CommandResult::Refused("record needs what to show: summary, find SERIAL or export");
    if (services.StdoutClosed() && (m_export == nullptr || !m_export->parsed() || m_output.empty() || options.json))
        return CommandResult::StdoutClosed();
    std::optional<std::uint64_t> serial;
    std::optional<UtcTime> since;
    if (m_find->parsed()) {
        serial = ParseSerialNumber(m_serial);
        if (!serial)
            return CommandResult::Refused("SERIAL " + m_serial + ": not a number (decimal, or hex after 0x)");
    }
    if (m_export->parsed()) {
        if (!m_since.empty()) {
            Expected<UtcTime> parsed = ParseUtcTime(m_since);
            if (!parsed)
                return CommandResult::Refused("--since " + m_since + ": " + parsed.error().message);
            since = *parsed;
        }
        std::vector<RunInput> inputs = RunInputs(options);
        inputs.push_back({"the record", m_target});
        if (!m_output.empty())
            if (std::optional<CommandResult> refused =
                    CheckOutputPath(options, services.StdoutClosed(), "--output", m_output, false, inputs))
                return *refused;
    }
    // Reading never creates a record: a mistyped path would show an empty one.
    RecordOptions reading;
    reading.createMissing = false;
    Expected<std::unique_ptr<RecordStore>, CommandResult> store = OpenRecord(m_target, reading);
    if (!store)
        return std::move(store.error());
    nlohmann::json details = {{"record", (*store)->Display()}};

    if (m_summary->parsed()) {
        const RecordResult<RecordSummary> summary = (*store)->Summary();
        if (!summary)
            return RecordFailed(summary.error());
        CommandResult shown = CommandResult::Succeeded();
        shown.Out(SummaryText(*summary));
        shown.details = std::move(details);
        shown.details.update(nlohmann::json(SummaryJson(*summary)));
        return shown;
    }
    if (m_find->parsed()) {
        const RecordResult<SerialHistory> history = (*store)->FindSerial(*serial);
        if (!history)
            return RecordFailed(history.error());
        // A number no counter handed out is not in the record: a failed search (exit 4).
        const bool found = !history->numbers.empty() || !history->chips.empty();
        CommandResult shown =
            found ? CommandResult::Succeeded()
                  : CommandResult::Failed(
                        Error(ErrorCode::NotFound, "serial " + std::to_string(*serial) + " is not in the record"),
                        "not-found");
        if (found)
            shown.Out(HistoryText(*history));
        shown.details = std::move(details);
        shown.details.update(nlohmann::json(HistoryJson(*history)));
        return shown;
    }

    // export: CSV or JSON Lines on stdout or into --output; --json puts the rows in
    // its object instead, unless --output takes them.
    const bool csv = m_format == "csv";
    const bool toFile = !m_output.empty();
    std::string text = csv ? ChipCsvHeader() + "\n" : std::string();
    nlohmann::json rows = nlohmann::json::array();
    const auto line = [&](const ChipRecord& chip) {
        if (options.json && !toFile) {
            rows.push_back(nlohmann::json(ChipJson(chip)));
            return;
        }
        text += (csv ? ChipCsvLine(chip)
                     : ChipJson(chip).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)) +
                "\n";
        // Straight out, so that a large export is not held whole.
        if (!toFile) {
            services.output.Write(OutputStream::Out, text);
            text.clear();
        }
    };
    if (!toFile && !options.json && csv) {
        services.output.Write(OutputStream::Out, text);
        text.clear();
    }
    const RecordResult<std::uint64_t> exported = (*store)->ExportChips(since, line);
    if (!exported)
        return RecordFailed(exported.error());
    CommandResult ended = CommandResult::Succeeded(std::to_string(*exported) + " chip rows");
    ended.details = std::move(details);
    ended.details["format"] = m_format;
    ended.details["count"] = *exported;
    ended.details["since"] = since ? nlohmann::json(UtcTimeText(*since)) : nlohmann::json(nullptr);
    if (options.json && !toFile)
        ended.details["chips"] = std::move(rows);
    if (toFile) {
        ended.details["output_path"] = m_output;
        const Expected<std::unique_ptr<OutputFile>> file = SystemOutputFiles().Create(m_output);
        Expected<void> written =
            file ? (*file)->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
                 : Expected<void>(Unexpected(file.error()));
        if (written)
            written = (*file)->Commit();
        if (!written)
            return CommandResult::Failed(written.error(), "output-write-failed").KeepingDetails(ended.details);
    }
    return ended;
}

#endif

}  // namespace zelv4
