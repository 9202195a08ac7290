#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/Expected.h"

namespace zelv4 {
namespace {

Expected<std::unique_ptr<int>> MakeOwned(bool ok)
{
    if (!ok)
        return Fail(ErrorCode::FileFailed, "cannot open \"x\"");
    return std::make_unique<int>(7);
}

Expected<void> Check(int value)
{
    if (value < 0)
        return Fail(ErrorCode::InvalidInput, "negative");
    return {};
}

TEST(Expected, CarriesAMoveOnlyValueOrTheErrorAndChains)
{
    Expected<std::unique_ptr<int>> owned = MakeOwned(true);
    ASSERT_TRUE(owned);
    const std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 7);

    const Expected<std::unique_ptr<int>> failed = MakeOwned(false);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error(), Error(ErrorCode::FileFailed, "cannot open \"x\""));

    const Expected<int> number = 5;
    const auto doubled = number.and_then([](int n) -> Expected<std::string> { return std::to_string(n * 2); });
    EXPECT_EQ(doubled.value_or("none"), "10");
    const Expected<int> none = Fail(ErrorCode::NotFound, "gone");
    const auto passedOn = none.and_then([](int n) -> Expected<std::string> { return std::to_string(n); });
    EXPECT_EQ(passedOn.error().code, ErrorCode::NotFound);
    EXPECT_EQ(none.value_or(-1), -1);

    EXPECT_TRUE(Check(1));
    EXPECT_EQ(Check(-1).error().message, "negative");
}

}  // namespace
}  // namespace zelv4
