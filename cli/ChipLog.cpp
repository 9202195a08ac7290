#include "cli/ChipLog.h"

#include <cerrno>
#include <cstring>

#include "core/Utf8Path.h"

namespace zelv4 {

std::unique_ptr<ChipLog> ChipLog::Open(const std::string& path, std::string& error)
{
    std::FILE* file = OpenFile(path, "a");
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

bool ChipLog::Append(const std::string& line, std::string& error)
{
    errno = 0;
    const std::string text = line + "\n";
    // Flushed at once: the line is the system's before the next chip starts.
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() || std::fflush(m_file) != 0) {
        error = "cannot write the log " + m_path + ": " + std::strerror(errno != 0 ? errno : EIO);
        std::clearerr(m_file);
        return false;
    }
    return true;
}

}  // namespace zelv4
