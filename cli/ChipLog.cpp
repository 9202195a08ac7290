#include "cli/ChipLog.h"

#include <cerrno>
#include <cstring>

#include "core/Utf8Path.h"

namespace zelv4 {

std::unique_ptr<ChipLog> ChipLog::Open(const std::string& path, std::string& error)
{
    errno = 0;
    // Read too, where allowed: whether the file ends a line is looked at before each
    // record. Binary, so that the lines end alike on every system.
    std::FILE* file = OpenFile(path, "ab+");
    if (file == nullptr && errno == EACCES)
        file = OpenFile(path, "ab");
    if (file == nullptr) {
        error = "cannot open the log " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<ChipLog>(new ChipLog(file, path));
}

ChipLog::~ChipLog()
{
    std::fclose(m_file);
}

bool ChipLog::EndsLine()
{
    // Empty, a stream, or not readable: nothing to go by.
    if (std::fseek(m_file, -1, SEEK_END) != 0)
        return true;
    const int last = std::fgetc(m_file);
    std::clearerr(m_file);
    std::fseek(m_file, 0, SEEK_END);
    return last == '\n' || last == EOF;
}

bool ChipLog::Append(const std::string& line, std::string& error)
{
    // A line cut short (a full disk, a crash) is left as it is, on its own line,
    // and does not swallow this record.
    const std::string text = (EndsLine() ? "" : "\n") + line + "\n";
    errno = 0;
    // Flushed at once: the line is the system's before the next chip starts.
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() || std::fflush(m_file) != 0) {
        error = "cannot write the log " + m_path + ": " + std::strerror(errno != 0 ? errno : EIO);
        std::clearerr(m_file);
        return false;
    }
    return true;
}

}  // namespace zelv4
