#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zelv4 {

struct ChipRun;

// "1.23 s"
std::string SecondsText(double seconds);

// A chip's one result line: port, node, outcome, seconds, serial number, message.
std::string ResultLine(const ChipRun& run);

// A failed chip's explanation, each line starting with its port (its node when the
// port is unknown), without repeating the message its result line already shows.
std::string ExplanationText(const ChipRun& run);

// What became of the numbers of chips that failed: "Serial numbers spoiled (their
// chips failed): 12, 15\n"; empty when none did.
std::string SpoiledSerialsText(const std::vector<std::uint64_t>& serials);

// The chip in --all's devices array.
nlohmann::json ChipRunJson(const ChipRun& run);

}  // namespace zelv4
