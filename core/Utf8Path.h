#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zelv4 {

// Paths inside the program are strings of UTF-8 text. On Windows they are made
// from the UTF-16 names the system gives and become those names again for every
// call that opens a file, so any name the system takes reaches its file exactly;
// elsewhere they are the bytes the system gives, passed on unchanged.

// The file-system path for a path string; empty when the string is not UTF-8 on a
// system whose names are UTF-16 (it names no file there).
std::filesystem::path FileSystemPath(const std::string& path);

// The path string for a file-system path; empty when a Windows name holds an
// unpaired surrogate, which no UTF-8 text can carry.
std::string PathString(const std::filesystem::path& path);

// std::fopen for a path string: on Windows through the wide C library call. The
// file is not inherited by programs this one starts, where the library can say
// so (glibc). Null on failure with errno set; EILSEQ for a name that is not text.
std::FILE* OpenFile(const std::string& path, const char* mode);

// UTF-16 text (a USB string descriptor's) as UTF-8, through the same conversion as
// the paths; none when it holds an unpaired surrogate, which UTF-8 cannot carry.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

}  // namespace zelv4
