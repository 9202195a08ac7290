#include <gtest/gtest.h>

#include "core/UtcTime.h"

namespace zelv4 {
namespace {

TEST(UtcTime, ReadsIsoFormsAsTheRecordWritesThem)
{
    const std::pair<const char*, const char*> cases[] = {
        {"2024-05-01", "2024-05-01T00:00:00.000Z"},
        {"2024-05-01Z", "2024-05-01T00:00:00.000Z"},
        {"2024-05-01T08:30", "2024-05-01T08:30:00.000Z"},
        {"2024-05-01 08:30:15Z", "2024-05-01T08:30:15.000Z"},
        {"2024-05-01t08:30:15.5z", "2024-05-01T08:30:15.500Z"},
        {"2024-05-01T08:30:15,123456789Z", "2024-05-01T08:30:15.123Z"},
        {"2024-02-29T23:59:59.999Z", "2024-02-29T23:59:59.999Z"},
        {"1999-12-31T00:00:00Z", "1999-12-31T00:00:00.000Z"},
    };
    for (const auto& [given, written] : cases) {
        const Expected<UtcTime> parsed = ParseUtcTime(given);
        ASSERT_TRUE(parsed) << given << ": " << parsed.error().message;
        EXPECT_EQ(UtcTimeText(*parsed), written) << given;
    }
}

TEST(UtcTime, RefusesWhatIsNotAUtcTime)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "not an ISO-8601 UTC time"},
        {"yesterday", "not an ISO-8601 UTC time"},
        {"2024-5-01", "not an ISO-8601 UTC time"},
        {"2023-02-29", "not an ISO-8601 UTC time"},
        {"2024-13-01", "not an ISO-8601 UTC time"},
        {"2024-05-01T24:00", "not an ISO-8601 UTC time"},
        {"2024-05-01T08:60", "not an ISO-8601 UTC time"},
        {"2024-05-01T08", "not an ISO-8601 UTC time"},
        {"2024-05-01T08:30:15.", "not an ISO-8601 UTC time"},
        {"2024-05-01T08:30ZZ", "not an ISO-8601 UTC time"},
        {"2024-05-01T08:30+02:00", "give the time in UTC"},
        {"2024-05-01T08:30:00-05", "give the time in UTC"},
        {std::string(UTC_TIME_MAX_LENGTH + 1, '1'), "the time given"},
    };
    for (const auto& [given, says] : cases) {
        const Expected<UtcTime> parsed = ParseUtcTime(given);
        ASSERT_FALSE(parsed) << given;
        EXPECT_NE(parsed.error().message.find(says), std::string::npos) << given << ": " << parsed.error().message;
    }
}

}  // namespace
}  // namespace zelv4
