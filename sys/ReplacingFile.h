#pragma once

#include <memory>
#include <string>

#include "core/OutputFile.h"
#include "sys/StreamOutputFile.h"

namespace zelv4 {

// An output file written under a temporary name in its target's directory. Commit()
// flushes and syncs it and renames it over the target; until then the target is
// untouched. A file destroyed uncommitted is removed, and so is one whose program
// a signal ends (through the signal owner). When the target is a symbolic link, the
// file it points to is replaced and the link stays.
class ReplacingFile : public OutputFile {
public:
    // Fails with the system's reason and the path quoted.
    static Expected<std::unique_ptr<ReplacingFile>> Create(const std::string& path);
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    Expected<void> Write(std::span<const std::uint8_t> bytes) override;
    Expected<void> Commit() override { return Finish(true); }
    // The same, where no file is: fails with the system's EEXIST reason, the file
    // there kept, when one is (another program made it meanwhile).
    Expected<void> CommitNew() { return Finish(false); }

    // The file the commit replaces (the link's target for a symbolic link).
    const std::string& TargetPath() const;

    struct State;

private:
    explicit ReplacingFile(std::unique_ptr<State> state);
    Expected<void> Finish(bool replace);

    std::unique_ptr<State> m_state;
};

// The system's files, for the operations: a stream is written straight, a file is
// replaced.
class SystemOutputFiles : public OutputFileSystem {
public:
    Expected<std::unique_ptr<OutputFile>> Create(const std::string& path) override
    {
        if (StreamOutputFile::Names(path))
            return Upcast(StreamOutputFile::Open(path));
        return Upcast(ReplacingFile::Create(path));
    }

private:
    template <typename File>
    static Expected<std::unique_ptr<OutputFile>> Upcast(Expected<std::unique_ptr<File>> file)
    {
        if (!file)
            return Unexpected(std::move(file).error());
        return std::unique_ptr<OutputFile>(std::move(*file));
    }
};

}  // namespace zelv4
