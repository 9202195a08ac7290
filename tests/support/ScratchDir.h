#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/Utf8Path.h"

namespace zelv4::test {

// A fresh directory under the system temp dir, removed with everything in it.
// Names are the program's path strings (UTF-8 on Windows).
class ScratchDir {
public:
    ScratchDir()
    {
        static std::atomic<unsigned> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("zelv4-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Path(std::string_view name) const { return PathString(m_path / FileSystemPath(std::string(name))); }

    std::string Write(std::string_view name, std::string_view bytes) const
    {
        const std::string path = Path(name);
        std::ofstream(FileSystemPath(path), std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(FileSystemPath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path m_path;
};

}  // namespace zelv4::test
