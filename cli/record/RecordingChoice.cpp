#include "cli/record/RecordingChoice.h"

#include <CLI/CLI.hpp>

namespace zelv4 {

void AddRecordingChoice(CLI::App& command, RecordingChoice& choice, bool serial)
{
    command
        .add_option("--record", choice.target,
                    "Keep a row per chip in the production record TARGET: an SQLite file (created when missing) "
                    "or a postgresql:// URI shared by several stations")
        ->type_name("TARGET");
    command.add_option("--station", choice.station, "This station's name in the record (default: the host name)")
        ->type_name("NAME");
    if (!serial)
        return;
    command
        .add_option("--serial", choice.serial,
                    "Write a serial number into each chip: ADDRESS:FORMAT[:START[:STEP]], FORMAT le1..le8, "
                    "be1..be8 (binary) or dec1..dec20 (ASCII digits); numbers come from a counter in --record")
        ->type_name("ADDRESS:FORMAT[:START[:STEP]]");
    command
        .add_option("--serial-name", choice.serialName,
                    "The record's counter to take numbers from (default serial-ADDRESS-FORMAT)")
        ->type_name("NAME");
    command.add_flag("--serial-overwrite", choice.serialOverwrite,
                     "Allow the serial field over bytes the firmware file fills");
}

}  // namespace zelv4
