#include "sys/SharedLibrary.h"

#include <dlfcn.h>

namespace zelv4 {

Expected<std::unique_ptr<SharedLibrary>> SharedLibrary::Open(const std::string& fileName)
{
    // RTLD_LOCAL: its symbols are reached through Bind only, and never interpose on
    // another library's.
    void* handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return Fail(ErrorCode::Unavailable, why != nullptr ? why : fileName + ": cannot be loaded");
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle, fileName));
}

SharedLibrary::~SharedLibrary()
{
    ::dlclose(m_handle);
}

Expected<void*> SharedLibrary::Symbol(const char* name) const
{
    ::dlerror();
    void* address = ::dlsym(m_handle, name);
    if (address == nullptr)
        return Fail(ErrorCode::Unavailable, m_fileName + " has no function " + name);
    return address;
}

}  // namespace zelv4
