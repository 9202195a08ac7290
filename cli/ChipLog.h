#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace zelv4 {

// watch's production log: one JSON object per chip, a line each (JSON Lines),
// appended and handed to the system at once, so a crash loses no finished chip.
class ChipLog {
public:
    // Opens FILE for appending, created when missing; null with the reason in
    // `error` when it cannot be.
    static std::unique_ptr<ChipLog> Open(const std::string& path, std::string& error);
    ~ChipLog();
    ChipLog(const ChipLog&) = delete;
    ChipLog& operator=(const ChipLog&) = delete;

    const std::string& Path() const { return m_path; }
    // Appends `line` and a newline, after one more newline when the file does not
    // end a line; false with the system's reason when it did not reach the file.
    bool Append(const std::string& line, std::string& error);

private:
    bool EndsLine();

    ChipLog(std::FILE* file, std::string path) : m_file(file), m_path(std::move(path)) {}

    std::FILE* m_file;
    std::string m_path;
};

}  // namespace zelv4
