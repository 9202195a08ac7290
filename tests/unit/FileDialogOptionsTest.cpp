#include <gtest/gtest.h>

#include <string>

#include "core/WindowServices.h"

namespace zelv4 {
namespace {

// Both windows' file dialogs take this: a wildcard left in would end up in the name.
TEST(FileDialogOptions, DefaultExtensionLosesWildcardAndDot)
{
    for (const auto& [given, extension] : {std::pair<std::string, std::string>{"*.dmp", "dmp"},
                                           {".dmp", "dmp"},
                                           {"dmp", "dmp"},
                                           {" *.dmp ", "dmp"},
                                           {"*.*", ""},
                                           {"*.d*", ""},
                                           {"*", ""},
                                           {"", ""}}) {
        FileDialogOptions options;
        options.defaultExtension = given;
        EXPECT_EQ(options.DefaultExtension(), extension) << "'" << given << "'";
    }
}

}  // namespace
}  // namespace zelv4
