#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "sys/SharedLibrary.h"

namespace zelv4 {

// A database client, loaded the first time a record of its kind is opened, with the
// functions the record takes from it.
template <typename Api>
struct ClientLibrary {
    std::unique_ptr<SharedLibrary> library;
    Api api;
    std::string error;  // why the client cannot be used; empty when it can
};

// Loads `name` once per program: `bind` fills the Api from the library and returns
// what is wrong with it (empty when nothing). `user` names who needs it ("SQLite
// records") and `package` where it comes from, for the message when it is missing.
template <typename Api, typename Bind>
const ClientLibrary<Api>& LoadClientLibrary(const std::string& name, const std::string& user,
                                            const std::string& package, Bind bind)
{
    static ClientLibrary<Api> loaded;
    static std::once_flag once;
    std::call_once(once, [&] {
        std::string reason;
        loaded.library = SharedLibrary::Open(name, reason);
        if (!loaded.library)
            loaded.error = user + " need " + name + " (Debian: " + package + "): " + reason;
        else if (const std::string problem = bind(*loaded.library, loaded.api); !problem.empty())
            loaded.error = user + " cannot use " + name + ": " + problem;
    });
    return loaded;
}

}  // namespace zelv4
