#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/Expected.h"

namespace zelv4 {

// A moment in UTC, to the millisecond: what the production record stores.
using UtcTime = std::chrono::sys_time<std::chrono::milliseconds>;

// The present moment, as the record stores it.
inline UtcTime UtcNow()
{
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

// Hostile-input limit of a time given on the command line.
inline constexpr std::size_t UTC_TIME_MAX_LENGTH = 40;

// "2024-05-01T12:34:56.789Z": ISO-8601, always this long, so that text order is time order.
std::string UtcTimeText(UtcTime time);

// Reads an ISO-8601 UTC time: a date "YYYY-MM-DD", optionally followed by 'T' (or a
// blank) and "HH:MM", ":SS" and a fraction, optionally ending in 'Z'. Other offsets are
// refused rather than guessed at; fractions finer than a millisecond are cut. A
// refusal says why, for a person to read.
Expected<UtcTime> ParseUtcTime(std::string_view text);

}  // namespace zelv4
