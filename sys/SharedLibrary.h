#pragma once

#include <memory>
#include <optional>
#include <string>

namespace zelv4 {

// A library that only some commands need, opened when one of them first asks for
// it, so that a command that does not use it neither loads nor initialises it: the
// device libraries for the commands that touch devices, a database client for the
// commands that record. The build still depends on the library (the package says
// so); a missing one is an error the command can name instead of a program that
// does not start.
class SharedLibrary {
public:
    // Opens the library by its file name with its ABI version ("libudev.so.1"); null,
    // with the system's reason in `error`, when it cannot be loaded.
    static std::unique_ptr<SharedLibrary> Open(const std::string& fileName, std::string& error);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Sets `function` to the library's function `name`; false, with an error naming
    // both, when the library has none of that name (an older version).
    template <typename Function>
    bool Bind(Function*& function, const char* name, std::string& error) const
    {
        function = reinterpret_cast<Function*>(Symbol(name, error));
        return function != nullptr;
    }

private:
    SharedLibrary(void* handle, std::string fileName) : m_handle(handle), m_fileName(std::move(fileName)) {}
    void* Symbol(const char* name, std::string& error) const;

    void* m_handle;
    std::string m_fileName;
};

// A table of a library's functions is written from a list of their names, with the
// library's own header for their types:
//
//   #define ZELV4_UDEV_FUNCTIONS(X) X(udev_new) X(udev_unref)
//   struct UdevApi {
//       static constexpr const char* LIBRARY = "libudev.so.1";
//       static constexpr const char* PACKAGE = "libudev1";  // what installs it
//       ZELV4_UDEV_FUNCTIONS(ZELV4_LIBRARY_FUNCTION)
//       bool Bind(const SharedLibrary& library, std::string& error)
//       {
//           return ZELV4_UDEV_FUNCTIONS(ZELV4_LIBRARY_BIND) true;
//       }
//   };
#define ZELV4_LIBRARY_FUNCTION(name) decltype(&::name) name = nullptr;
#define ZELV4_LIBRARY_BIND(name) library.Bind(name, #name, error)&&

// The functions of one library, bound on the first call and kept until the process
// ends: a library is never closed, since another thread may still be in it. `Api`
// is a table as above.
//
// Null, with a message that names the library and its package, when it cannot be
// loaded; every later call gives the same answer.
template <typename Api>
const Api* LoadLibraryApi(std::string& error)
{
    struct Loaded {
        std::unique_ptr<SharedLibrary> library;
        std::optional<Api> api;
        std::string error;
    };
    // Made on the first call, never destroyed: threads may still be in the library
    // while the process exits.
    static const Loaded* const loaded = [] {
        auto* result = new Loaded;
        std::string why;
        result->library = SharedLibrary::Open(Api::LIBRARY, why);
        Api api;
        if (result->library && api.Bind(*result->library, why))
            result->api = api;
        else
            result->error = std::string("cannot load ") + Api::LIBRARY + " (package " + Api::PACKAGE + "): " + why;
        return result;
    }();
    error = loaded->error;
    return loaded->api ? &*loaded->api : nullptr;
}

}  // namespace zelv4
