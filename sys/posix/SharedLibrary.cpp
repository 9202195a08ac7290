#include "sys/SharedLibrary.h"

#include <dlfcn.h>

namespace zelv4 {

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::string& name, std::string& error)
{
    // RTLD_LOCAL: its symbols serve only the pointers taken here.
    void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load " + name;
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary()
{
    ::dlclose(m_handle);
}

void* SharedLibrary::Symbol(const char* name) const
{
    return ::dlsym(m_handle, name);
}

}  // namespace zelv4
