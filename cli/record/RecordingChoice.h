#pragma once

#include <string>

namespace CLI {
class App;
}

namespace zelv4 {

// What a command was asked to keep in the production record: --record TARGET,
// --station NAME, and for the commands that program, --serial, --serial-name and
// --serial-overwrite.
struct RecordingChoice {
    std::string target;   // empty: no record
    std::string station;  // empty: the host name
    std::string serial;   // ADDRESS:FORMAT[:START[:STEP]]; empty: none
    std::string serialName;
    bool serialOverwrite = false;

    bool Wanted() const { return !target.empty() || !station.empty() || !serial.empty() || !serialName.empty(); }
};

// Adds --record and --station, and with `serial` the serial number options.
void AddRecordingChoice(CLI::App& command, RecordingChoice& choice, bool serial);

// What a build without the production record says of its options (exit 2).
inline constexpr const char* RECORD_NOT_BUILT = "the production record (--record, --serial, record) is not available "
                                                "in this build";

}  // namespace zelv4
