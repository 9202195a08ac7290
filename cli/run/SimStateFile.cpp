#include "cli/run/SimStateFile.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/FileByteSource.h"
#include "core/QuotedPath.h"
#include "core/Utf8Path.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

SimStateFile::SimStateFile(std::string path) : m_path(std::move(path)) {}

Expected<void> SimStateFile::Lock()
{
    std::error_code status;
    const auto type = std::filesystem::status(FileSystemPath(m_path), status).type();
    if (!status && type != std::filesystem::file_type::regular) {
        // A device or a FIFO cannot hold a flash, and replacing it would be worse.
        return Fail(ErrorCode::FileFailed,
                    "the simulated flash state " + Quoted(m_path) + " is unusable: it is not a regular file");
    }
    // A missing state is made whole, erased, before it is locked: an interrupted
    // first run leaves an erased chip, never an empty file the next run refuses.
    if (status == std::errc::no_such_file_or_directory)
        if (const Expected<void> made = CreateErased(); !made)
            return Fail(ErrorCode::FileFailed, "the simulated flash state is unusable: " + made.error().message);
    Expected<std::unique_ptr<FileLock>> lock = FileLock::TryLock(m_path);
    if (!lock) {
        if (lock.error().code == ErrorCode::Busy)
            return Fail(ErrorCode::Busy,
                        "the simulated flash state " + Quoted(m_path) + " is in use by another zelv4-isp");
        return Fail(ErrorCode::FileFailed, "the simulated flash state is unusable: " + lock.error().message);
    }
    m_lock = std::move(*lock);
    return {};
}

Expected<void> SimStateFile::CreateErased() const
{
    FirmwareImage erased;
    erased.fill(0xFF);
    const Expected<std::unique_ptr<ReplacingFile>> file = ReplacingFile::Create(m_path);
    if (!file)
        return Unexpected(file.error());
    Expected<void> made = (*file)->Write(erased);
    if (made)
        made = (*file)->CommitNew();
    // Another run may have made it meanwhile: then that one is the state.
    if (!made && std::filesystem::exists(FileSystemPath(m_path)))
        return {};
    return made;
}

Expected<FirmwareImage> SimStateFile::Load() const
{
    FirmwareImage flash;
    FileByteSource file;
    // One byte more than the flash tells a longer file from a right-sized one
    // without reading all of it.
    if (!file.Open(m_path, "rb", flash.size() + 1))
        return Fail(ErrorCode::FileFailed,
                    "cannot read the simulated flash state " + Quoted(m_path) + ": " + file.Error());
    std::vector<std::uint8_t> bytes(flash.size() + 1);
    const std::size_t got = file.Read(bytes.data(), bytes.size());
    if (file.ReadFailed())
        return Fail(ErrorCode::FileFailed,
                    "cannot read the simulated flash state " + Quoted(m_path) + ": " + file.Error());
    if (got != flash.size())
        return Fail(ErrorCode::FileFailed,
                    "the simulated flash state " + Quoted(m_path) + " is damaged: it must hold exactly " +
                        std::to_string(flash.size()) + " bytes, but " +
                        (got > flash.size() ? std::string("it is longer") : "it has " + std::to_string(got)) +
                        "; remove it to start from an erased chip");
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(flash.size()), flash.begin());
    return flash;
}

Expected<void> SimStateFile::Save(const FirmwareImage& flash) const
{
    const Expected<std::unique_ptr<ReplacingFile>> file = ReplacingFile::Create(m_path);
    Expected<void> saved = file ? (*file)->Write(flash) : Expected<void>(Unexpected(file.error()));
    if (saved)
        saved = (*file)->Commit();
    if (!saved)
        return Fail(ErrorCode::FileFailed, "cannot save the simulated flash state: " + saved.error().message);
    return {};
}

}  // namespace zelv4
