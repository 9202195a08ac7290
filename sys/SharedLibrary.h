#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/Expected.h"

namespace zelv4 {

// A library that only some commands need, opened when one of them first asks for
// it, so that a command that does not use it neither loads nor initialises it: the
// device libraries for the commands that touch devices, a database client for the
// commands that record. The build still depends on the library (the package says
// so); a missing one is an error the command can name instead of a program that
// does not start.
class SharedLibrary {
public:
    // Opens the library by its file name with its ABI version ("libudev.so.1"), or
    // says why it cannot be loaded.
    static Expected<std::unique_ptr<SharedLibrary>> Open(const std::string& fileName);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Sets `function` to the library's function `name`, or fails naming both when
    // the library has none of that name (an older version).
    template <typename Function>
    Expected<void> Bind(Function*& function, const char* name) const
    {
        const Expected<void*> symbol = Symbol(name);
        if (!symbol)
            return Unexpected(symbol.error());
        function = reinterpret_cast<Function*>(*symbol);
        return {};
    }

private:
    SharedLibrary(void* handle, std::string fileName) : m_handle(handle), m_fileName(std::move(fileName)) {}
    Expected<void*> Symbol(const char* name) const;

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
//       ZELV4_LIBRARY_TABLE(ZELV4_UDEV_FUNCTIONS)
//   };
//
// A table may also have `Expected<void> Check() const`, asked once its functions
// are bound (a version too old to use, say).
#define ZELV4_LIBRARY_FUNCTION(name) decltype(&::name) name = nullptr;
#define ZELV4_LIBRARY_BIND(name)                                                                                       \
    if (bound)                                                                                                         \
        bound = library.Bind(name, #name);
#define ZELV4_LIBRARY_TABLE(FUNCTIONS)                                                                                 \
    FUNCTIONS(ZELV4_LIBRARY_FUNCTION)                                                                                  \
    Expected<void> Bind(const SharedLibrary& library)                                                                  \
    {                                                                                                                  \
        Expected<void> bound;                                                                                          \
        FUNCTIONS(ZELV4_LIBRARY_BIND)                                                                                  \
        return bound;                                                                                                  \
    }

// The functions of one library, bound on the first call and kept until the process
// ends: a library is never closed, since another thread may still be in it. `Api`
// is a table as above.
//
// A library that cannot be loaded fails with a message that names it and its
// package; every later call gives the same answer.
template <typename Api>
Expected<const Api*> LoadLibraryApi()
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
        Expected<std::unique_ptr<SharedLibrary>> opened = SharedLibrary::Open(Api::LIBRARY);
        Api api;
        Expected<void> bound = opened ? api.Bind(**opened) : Expected<void>(Unexpected(opened.error()));
        if constexpr (requires(const Api& table) { table.Check(); })
            if (bound)
                bound = api.Check();
        if (bound) {
            result->library = std::move(*opened);
            result->api = api;
        } else {
            result->error = std::string("cannot load ") + Api::LIBRARY + " (package " + Api::PACKAGE +
                            "): " + bound.error().message;
        }
        return result;
    }();
    if (!loaded->api)
        return Fail(ErrorCode::Unavailable, loaded->error);
    return &*loaded->api;
}

}  // namespace zelv4
