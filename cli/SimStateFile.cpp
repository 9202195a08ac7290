#include "cli/SimStateFile.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/FileByteSource.h"
#include "core/QuotedPath.h"
#include "core/Utf8Path.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

SimStateFile::SimStateFile(std::string path) : m_path(std::move(path)) {}

FileLock::Result SimStateFile::Lock(std::string& error)
{
    std::error_code status;
    const auto type = std::filesystem::status(FileSystemPath(m_path), status).type();
    if (!status && type != std::filesystem::file_type::regular) {
        // A device or a FIFO cannot hold a flash, and replacing it would be worse.
        error = "the simulated flash state " + Quoted(m_path) + " is unusable: it is not a regular file";
        return FileLock::Result::Failed;
    }
    // A missing state is made whole, erased, before it is locked: an interrupted
    // first run leaves an erased chip, never an empty file the next run refuses.
    std::string reason;
    if (status == std::errc::no_such_file_or_directory && !CreateErased(reason)) {
        error = "the simulated flash state is unusable: " + reason;
        return FileLock::Result::Failed;
    }
    FileLock::Result result = FileLock::Result::Failed;
    m_lock = FileLock::TryLock(m_path, false, result, reason);
    if (result == FileLock::Result::Busy)
        error = "the simulated flash state " + Quoted(m_path) + " is in use by another zelv4-isp";
    else if (!m_lock)
        error = "the simulated flash state is unusable: " + reason;
    return result;
}

bool SimStateFile::CreateErased(std::string& error) const
{
    FirmwareImage erased;
    erased.fill(0xFF);
    const std::unique_ptr<ReplacingFile> file = ReplacingFile::Create(m_path, error);
    if (!file)
        return false;
    // Another run may have made it meanwhile: then that one is the state.
    if (!file->Write(erased) || (!file->CommitNew() && !std::filesystem::exists(FileSystemPath(m_path)))) {
        error = file->Error();
        return false;
    }
    return true;
}

std::optional<FirmwareImage> SimStateFile::Load(std::string& error) const
{
    FirmwareImage flash;
    FileByteSource file;
    // One byte more than the flash tells a longer file from a right-sized one
    // without reading all of it.
    if (!file.Open(m_path, "rb", flash.size() + 1)) {
        error = "cannot read the simulated flash state " + Quoted(m_path) + ": " + file.Error();
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(flash.size() + 1);
    const std::size_t got = file.Read(bytes.data(), bytes.size());
    if (file.ReadFailed()) {
        error = "cannot read the simulated flash state " + Quoted(m_path) + ": " + file.Error();
        return std::nullopt;
    }
    if (got != flash.size()) {
        error = "the simulated flash state " + Quoted(m_path) + " is damaged: it must hold exactly " +
                std::to_string(flash.size()) + " bytes, but " +
                (got > flash.size() ? std::string("it is longer") : "it has " + std::to_string(got)) +
                "; remove it to start from an erased chip";
        return std::nullopt;
    }
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(flash.size()), flash.begin());
    return flash;
}

bool SimStateFile::Save(const FirmwareImage& flash, std::string& error) const
{
    std::string reason;
    const std::unique_ptr<ReplacingFile> file = ReplacingFile::Create(m_path, reason);
    if (!file || !file->Write(flash) || !file->Commit()) {
        error = "cannot save the simulated flash state: " + (file ? file->Error() : reason);
        return false;
    }
    return true;
}

}  // namespace zelv4
