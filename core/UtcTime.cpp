#include "core/UtcTime.h"

#include <cstdio>

#include "core/QuotedPath.h"

namespace zelv4 {

namespace {

// A field of exactly `width` digits at `at`, moved past.
std::optional<unsigned> Digits(std::string_view text, std::size_t& at, std::size_t width)
{
    if (text.size() - at < width)
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    at += width;
    return value;
}

bool Take(std::string_view text, std::size_t& at, char c)
{
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

std::string UtcTimeText(UtcTime time)
{
    using namespace std::chrono;
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss<milliseconds> clock(time - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lld.%03lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()), static_cast<long long>(clock.subseconds().count()));
    return text;
}

Expected<UtcTime> ParseUtcTime(std::string_view text)
{
    using namespace std::chrono;
    const std::string shown = text.size() > UTC_TIME_MAX_LENGTH ? "the time given" : Quoted(std::string(text));
    const auto refused = Fail(ErrorCode::InvalidInput,
                              shown + " is not an ISO-8601 UTC time such as 2024-05-01 or 2024-05-01T08:30:00Z");
    if (text.size() > UTC_TIME_MAX_LENGTH)
        return refused;

    std::size_t at = 0;
    const auto y = Digits(text, at, 4);
    const bool dash1 = Take(text, at, '-');
    const auto m = Digits(text, at, 2);
    const bool dash2 = Take(text, at, '-');
    const auto d = Digits(text, at, 2);
    if (!y || !dash1 || !m || !dash2 || !d)
        return refused;
    const year_month_day date{year(static_cast<int>(*y)), month(*m), day(*d)};
    if (!date.ok())
        return refused;
    unsigned hour = 0, minute = 0, second = 0, millis = 0;
    if (Take(text, at, 'T') || Take(text, at, 't') || Take(text, at, ' ')) {
        const auto h = Digits(text, at, 2);
        const bool colon = Take(text, at, ':');
        const auto mi = Digits(text, at, 2);
        if (!h || !colon || !mi || *h > 23 || *mi > 59)
            return refused;
        hour = *h;
        minute = *mi;
        if (Take(text, at, ':')) {
            const auto s = Digits(text, at, 2);
            if (!s || *s > 59)
                return refused;
            second = *s;
            if (Take(text, at, '.') || Take(text, at, ',')) {
                const std::size_t first = at;
                for (unsigned scale = 100; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
                    millis += static_cast<unsigned>(text[at] - '0') * scale;
                if (at == first)
                    return refused;
            }
        }
    }
    if (!Take(text, at, 'Z'))
        Take(text, at, 'z');
    if (at != text.size()) {
        if (text[at] == '+' || text[at] == '-')
            return Fail(ErrorCode::InvalidInput, shown + " has a time zone offset: give the time in UTC, ending in Z");
        return refused;
    }
    return UtcTime(sys_days(date)) + hours(hour) + minutes(minute) + seconds(second) + milliseconds(millis);
}

}  // namespace zelv4
