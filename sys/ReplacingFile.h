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
    // Null on failure, with the system's reason in `error` and the path quoted.
    static std::unique_ptr<ReplacingFile> Create(const std::string& path, std::string& error);
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool Write(std::span<const std::uint8_t> bytes) override;
    bool Commit() override;
    // The same, where no file is: fails with the system's EEXIST reason, the file
    // there kept, when one is (another program made it meanwhile).
    bool CommitNew();
    const std::string& Error() const override { return m_error; }

    // The file the commit replaces (the link's target for a symbolic link).
    const std::string& TargetPath() const;

    struct State;

private:
    explicit ReplacingFile(std::unique_ptr<State> state);
    bool Finish(bool replace);

    std::unique_ptr<State> m_state;
    std::string m_error;
};

// The system's files, for the operations: a stream is written straight, a file is
// replaced.
class SystemOutputFiles : public OutputFileSystem {
public:
    std::unique_ptr<OutputFile> Create(const std::string& path, std::string& error) override
    {
        if (StreamOutputFile::Names(path))
            return StreamOutputFile::Open(path, error);
        return ReplacingFile::Create(path, error);
    }
};

}  // namespace zelv4
