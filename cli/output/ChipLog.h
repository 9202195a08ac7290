#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "core/Expected.h"

namespace zelv4 {

// watch's production log: one JSON object per chip, a line each (JSON Lines),
// appended and handed to the system at once, so a crash loses no finished chip.
class ChipLog {
public:
    // Opens FILE for appending, created when missing, or says why it cannot be.
    static Expected<std::unique_ptr<ChipLog>> Open(const std::string& path);
    ~ChipLog();
    ChipLog(const ChipLog&) = delete;
    ChipLog& operator=(const ChipLog&) = delete;

    const std::string& Path() const { return m_path; }
    // Appends `line` and a newline, after one more newline when the file does not
    // end a line; fails with the system's reason when it did not reach the file.
    Expected<void> Append(const std::string& line);

private:
    bool EndsLine();

    ChipLog(std::FILE* file, std::string path) : m_file(file), m_path(std::move(path)) {}

    std::FILE* m_file;
    std::string m_path;
};

}  // namespace zelv4
