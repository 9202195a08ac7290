#include "cli/output/ChipLog.h"

#include <cerrno>
#include <cstring>

#include "core/Utf8Path.h"

namespace zelv4 {

Expected<std::unique_ptr<ChipLog>> ChipLog::Open(const std::string& path)
{
    errno = 0;
    // Read too, where allowed: whether the file ends a line is looked at before each
    // record. Binary, so that the lines end alike on every system.
    std::FILE* file = OpenFile(path, "ab+");
    if (file == nullptr && errno == EACCES)
        file = OpenFile(path, "ab");
    if (file == nullptr)
        return Fail(ErrorCode::FileFailed, "cannot open the log " + path + ": " + std::strerror(errno));
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

Expected<void> ChipLog::Append(const std::string& line)
{
    // A line cut short (a full disk, a crash) is left as it is, on its own line,
    // and does not swallow this record.
    const std::string text = (EndsLine() ? "" : "\n") + line + "\n";
    errno = 0;
    // Flushed at once: the line is the system's before the next chip starts.
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() || std::fflush(m_file) != 0) {
        const int code = errno != 0 ? errno : EIO;
        std::clearerr(m_file);
        return Fail(ErrorCode::FileFailed, "cannot write the log " + m_path + ": " + std::strerror(code));
    }
    return {};
}

}  // namespace zelv4
