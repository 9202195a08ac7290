#include "cli/record/ChipRecorder.h"

#include "cli/ExitCodes.h"
#include "cli/run/ChipRun.h"
#include "core/FirmwareImage.h"

namespace zelv4 {

namespace {

Unexpected<Error> Untouched(const RecordError& error)
{
    return Unexpected(Error(error.code, error.message + "; the chip was not programmed"));
}

}  // namespace

Expected<std::shared_ptr<const LoadedImageFile>> ChipRecorder::BeforeChip(const std::string&, const std::string&,
                                                                          std::shared_ptr<const LoadedImageFile> image)
{
    Pending pending{UtcNow(), std::nullopt, std::nullopt};
    if (image)
        pending.chipChecksum = ImageChecksum(image->image);
    if (!m_settings.serial) {
        // The row is written after the chip: a record that cannot take it now
        // leaves the chip untouched rather than programmed and unrecorded.
        if (const RecordResult<void> up = m_store->Ping(); !up)
            return Untouched(up.error());
    } else {
        const SerialPlan& plan = *m_settings.serial;
        const RecordResult<std::uint64_t> number =
            m_store->TakeSerial(plan.counter, SerialFieldMax(plan.format), m_settings.station);
        // A lost connection says itself that a number it may have taken stays unsettled.
        if (!number)
            return Untouched(number.error());
        const SerialPatch patched = PatchSerial(image->image, plan.address, plan.format, *number);
        if (!patched) {
            const RecordResult<void> spoiled = m_store->SpoilSerial(plan.counter, *number);
            return Unexpected(Error(
                ErrorCode::InvalidInput,
                "serial " + std::to_string(*number) + ": " + patched.problem->message +
                    (spoiled ? "; the number is spoiled" : "; the number stays unsettled: " + spoiled.error().message) +
                    "; the chip was not programmed"));
        }
        auto own = std::make_shared<LoadedImageFile>(*image);
        own->image = patched.image;
        pending.serial = *number;
        pending.chipChecksum = ImageChecksum(own->image);
        image = std::move(own);
    }
    const std::lock_guard lock(m_mutex);
    m_pending[std::this_thread::get_id()] = pending;
    return image;
}

Expected<void> ChipRecorder::AfterChip(ChipRun& run)
{
    Pending pending;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_pending.find(std::this_thread::get_id());
        if (it == m_pending.end())
            return {};
        pending = it->second;
        m_pending.erase(it);
    }
    run.serial = pending.serial;
    const std::string unsettled =
        pending.serial ? "; serial " + std::to_string(*pending.serial) + " stays unsettled in the record" : "";
    // No chip was found: nothing to record, but the number was handed out and is on
    // no chip.
    if (!run.result.deviceFound) {
        if (pending.serial)
            if (const RecordResult<void> spoiled = m_store->SpoilSerial(m_settings.serial->counter, *pending.serial);
                !spoiled)
                return Unexpected(Error(spoiled.error().code, spoiled.error().message + unsettled));
        return {};
    }
    ChipRecord row;
    row.startedAt = UtcTimeText(pending.started);
    row.endedAt = UtcTimeText(UtcNow());
    row.station = m_settings.station;
    if (!run.port.empty())
        row.port = run.port;
    row.devicePath = run.path;
    row.operation = m_settings.operation;
    row.firmwarePath = m_settings.firmwarePath;
    row.fileChecksum = m_settings.fileChecksum;
    if (pending.serial) {
        row.serialCounter = m_settings.serial->counter;
        row.serial = pending.serial;
    }
    row.chipChecksum = run.result.checksum ? run.result.checksum : pending.chipChecksum;
    row.outcome = run.outcome.empty() ? ExitCodeName(run.exitCode) : run.outcome;
    row.exitCode = run.exitCode;
    row.message = run.message.empty() ? run.result.LastMessage() : run.message;
    row.seconds = run.seconds;
    if (const RecordResult<std::int64_t> added = m_store->AddChip(row); !added)
        return Unexpected(
            Error(added.error().code, "the chip's row is not in the record: " + added.error().message + unsettled));
    return {};
}

}  // namespace zelv4
