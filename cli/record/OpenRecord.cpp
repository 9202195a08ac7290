#include "cli/record/OpenRecord.h"

namespace zelv4 {

Expected<std::unique_ptr<RecordStore>, CommandResult> OpenRecord(const std::string& target,
                                                                 const RecordOptions& options)
{
    const RecordResult<RecordTarget> parsed = ParseRecordTarget(target);
    if (!parsed)
        return Unexpected(CommandResult::Failed(parsed.error(), "record-error"));
#ifndef ZELV4_RECORD_POSTGRES
    if (parsed->backend == RecordBackend::Postgres)
        return Unexpected(CommandResult::Refused(
            "--record " + parsed->display +
            ": PostgreSQL records are not available in this build (it was built without libpq); SQLite files are"));
#endif
    RecordResult<std::unique_ptr<RecordStore>> opened = RecordStore::Open(target, options);
    if (!opened)
        return Unexpected(CommandResult::Failed(opened.error(), "record-error"));
    return std::move(*opened);
}

}  // namespace zelv4
