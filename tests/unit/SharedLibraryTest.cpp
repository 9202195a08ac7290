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
    Expected<void> Bind(const SharedLibrary& library) { return library.Bind(function, SYSTEM_FUNCTION); }
};

struct AbsentLibraryApi {
    static constexpr const char* LIBRARY = "libzelv4-absent.so.1";
    static constexpr const char* PACKAGE = "zelv4-absent1";
    Expected<void> Bind(const SharedLibrary&) { return {}; }
};

// An older version of a library, without a function the program needs.
struct AbsentFunctionApi {
    static constexpr const char* LIBRARY = SYSTEM_LIBRARY;
    static constexpr const char* PACKAGE = "the system";
    AnyFunction* function = nullptr;
    Expected<void> Bind(const SharedLibrary& library) { return library.Bind(function, "zelv4_no_such_function"); }
};

TEST(SharedLibrary, BindsTheFunctionsOfAnInstalledLibraryOnce)
{
    const Expected<const SystemApi*> api = LoadLibraryApi<SystemApi>();
    ASSERT_TRUE(api) << api.error().message;
    EXPECT_NE((*api)->function, nullptr);
    EXPECT_EQ(*LoadLibraryApi<SystemApi>(), *api);
}

// What a command says when it cannot have a library: which one, which package
// installs it, and why; the same on every later call.
TEST(SharedLibrary, AMissingLibraryOrFunctionIsNamed)
{
    for (int call = 0; call < 2; ++call) {
        const Expected<const AbsentLibraryApi*> api = LoadLibraryApi<AbsentLibraryApi>();
        ASSERT_FALSE(api);
        EXPECT_EQ(api.error().message.rfind("cannot load libzelv4-absent.so.1 (package zelv4-absent1): ", 0), 0u)
            << api.error().message;
    }
    const Expected<const AbsentFunctionApi*> api = LoadLibraryApi<AbsentFunctionApi>();
    ASSERT_FALSE(api);
    EXPECT_NE(api.error().message.find(std::string(SYSTEM_LIBRARY) + " has no function zelv4_no_such_function"),
              std::string::npos)
        << api.error().message;
}

}  // namespace
}  // namespace zelv4
