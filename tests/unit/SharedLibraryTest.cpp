#include <gtest/gtest.h>

#include <string>

#include "sys/SharedLibrary.h"

namespace zelv4 {
namespace {

#ifdef _WIN32
constexpr const char* SYSTEM_LIBRARY = "kernel32.dll";
constexpr const char* SYSTEM_FUNCTION = "GetTickCount";
#else
constexpr const char* SYSTEM_LIBRARY = "libm.so.6";
constexpr const char* SYSTEM_FUNCTION = "cos";
#endif

using AnyFunction = void();

struct SystemApi {
    static constexpr const char* LIBRARY = SYSTEM_LIBRARY;
    static constexpr const char* PACKAGE = "the system";
    AnyFunction* function = nullptr;
    bool Bind(const SharedLibrary& library, std::string& error)
    {
        return library.Bind(function, SYSTEM_FUNCTION, error);
    }
};

struct AbsentLibraryApi {
    static constexpr const char* LIBRARY = "libzelv4-absent.so.1";
    static constexpr const char* PACKAGE = "zelv4-absent1";
    bool Bind(const SharedLibrary&, std::string&) { return true; }
};

// An older version of a library, without a function the program needs.
struct AbsentFunctionApi {
    static constexpr const char* LIBRARY = SYSTEM_LIBRARY;
    static constexpr const char* PACKAGE = "the system";
    AnyFunction* function = nullptr;
    bool Bind(const SharedLibrary& library, std::string& error)
    {
        return library.Bind(function, "zelv4_no_such_function", error);
    }
};

TEST(SharedLibrary, BindsTheFunctionsOfAnInstalledLibraryOnce)
{
    std::string error;
    const SystemApi* api = LoadLibraryApi<SystemApi>(error);
    ASSERT_NE(api, nullptr) << error;
    EXPECT_NE(api->function, nullptr);
    EXPECT_EQ(LoadLibraryApi<SystemApi>(error), api);
}

// What a command says when it cannot have a library: which one, which package
// installs it, and why; the same on every later call.
TEST(SharedLibrary, AMissingLibraryOrFunctionIsNamed)
{
    for (int call = 0; call < 2; ++call) {
        std::string error;
        EXPECT_EQ(LoadLibraryApi<AbsentLibraryApi>(error), nullptr);
        EXPECT_EQ(error.rfind("cannot load libzelv4-absent.so.1 (package zelv4-absent1): ", 0), 0u) << error;
    }
    std::string error;
    EXPECT_EQ(LoadLibraryApi<AbsentFunctionApi>(error), nullptr);
    EXPECT_NE(error.find(std::string(SYSTEM_LIBRARY) + " has no function zelv4_no_such_function"), std::string::npos)
        << error;
}

}  // namespace
}  // namespace zelv4
