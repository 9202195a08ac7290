#include "cli/record/Recording.h"

#if ZELV4_RECORD
#include "cli/record/ChipRecorder.h"
#include "cli/record/OpenRecord.h"
#include "core/FirmwareImage.h"
#include "core/SerialField.h"
#include "record/RecordStore.h"
#include "sys/HostName.h"
#endif

namespace zelv4 {

namespace {

Unexpected<CommandResult> Refuse(const std::string& message)
{
    return Unexpected(CommandResult::Refused(message));
}

}  // namespace

Expected<Recording, CommandResult> StartRecording(const RecordingChoice& choice, const std::string& operation,
                                                  const OperationRequest& request)
{
    if (!choice.Wanted() && !choice.serialOverwrite)
        return Recording{};
#if !ZELV4_RECORD
    (void)operation;
    (void)request;
    return Refuse(RECORD_NOT_BUILT);
#else
    if (choice.serial.empty() && (!choice.serialName.empty() || choice.serialOverwrite))
        return Refuse(std::string(choice.serialOverwrite ? "--serial-overwrite" : "--serial-name") +
                      " needs --serial ADDRESS:FORMAT");
    if (choice.target.empty())
        return Refuse(choice.serial.empty()
                          ? "--station needs --record TARGET"
                          : "--serial needs --record TARGET: each number comes from a counter in the record, so "
                            "that no two chips (nor two stations) get the same one");
    std::optional<SerialSpec> spec;
    if (!choice.serial.empty()) {
        Expected<SerialSpec> parsed = ParseSerialSpec(choice.serial);
        if (!parsed)
            return Refuse("--serial " + choice.serial + ": " + parsed.error().message);
        if (const std::optional<SerialProblem> problem =
                CheckSerialField(*parsed, request.image->load.supplied, choice.serialOverwrite))
            return Refuse("--serial " + choice.serial + ": " + problem->message +
                          (problem->kind == SerialRefusal::OverlapsFile ? " (--serial-overwrite allows it)" : ""));
        spec = *parsed;
    }
    Expected<std::unique_ptr<RecordStore>, CommandResult> opened = OpenRecord(choice.target);
    if (!opened)
        return Unexpected(std::move(opened.error()));
    std::shared_ptr<RecordStore> store = std::move(*opened);

    ChipRecorderSettings settings;
    settings.station = choice.station.empty() ? HostName() : choice.station;
    settings.operation = operation;
    Recording recording;
    if (request.image) {
        settings.firmwarePath = request.imagePath;
        settings.fileChecksum = ImageChecksum(request.image->image);
    }
    if (spec) {
        const std::string name = choice.serialName.empty() ? DefaultSerialCounterName(*spec) : choice.serialName;
        const RecordResult<SerialCounter> counter = store->OpenCounter(name, spec->start, spec->step);
        if (!counter)
            return Unexpected(CommandResult::Failed(counter.error(), "record-error"));
        const std::uint64_t largest = SerialFieldMax(spec->format);
        if (counter->next > largest)
            return Refuse("--serial " + choice.serial + ": the counter " + name + " is at " +
                          std::to_string(counter->next) + ", which does not fit " + SerialFormatText(spec->format) +
                          " (at most " + std::to_string(largest) + ")");
        settings.serial = SerialPlan{name, spec->address, spec->format};
        recording.details["serial_counter"] = name;
    }
    recording.details["record"] = store->Display();
    recording.details["station"] = settings.station;
    recording.hooks = std::make_unique<ChipRecorder>(std::move(store), std::move(settings));
    return recording;
#endif
}

}  // namespace zelv4
