#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/ScratchDir.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {
namespace {

// A file its owner made read-only is not replaced behind their back: writing it
// fails as opening it for writing would.
TEST(ReplacingFilePosix, AReadOnlyFileIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    test::ScratchDir dir;
    const std::string path = dir.Write("kept.dmp", "kept dump");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const Expected<std::unique_ptr<ReplacingFile>> file = ReplacingFile::Create(path);
    ASSERT_FALSE(file);
    EXPECT_NE(file.error().message.find("Permission denied"), std::string::npos) << file.error().message;
    EXPECT_EQ(test::ScratchDir::Read(path), "kept dump");
}

}  // namespace
}  // namespace zelv4
