#pragma once

#include <memory>
#include <string>

namespace zelv4 {

// A shared library loaded at run time, for clients that only some commands need: the
// program starts without mapping them, and a missing one is an error of that command.
// Whoever keeps the object keeps the library mapped. (POSIX for now: dlopen.)
class SharedLibrary {
public:
    // Loads `name` (a file name the system's search finds, e.g. "libsqlite3.so.0");
    // null with the system's reason in `error` when it cannot.
    static std::unique_ptr<SharedLibrary> Open(const std::string& name, std::string& error);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported function, or null.
    void* Symbol(const char* name) const;

    // Binds `function` to the export `name` of the function's own type; false when
    // the library lacks it.
    template <typename Function>
    bool Bind(const char* name, Function*& function) const
    {
        function = reinterpret_cast<Function*>(Symbol(name));
        return function != nullptr;
    }

private:
    explicit SharedLibrary(void* handle) : m_handle(handle) {}

    void* m_handle;
};

}  // namespace zelv4
