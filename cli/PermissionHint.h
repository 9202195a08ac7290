#pragma once

#include <string>

namespace zelv4 {

// The packaged udev rule that grants the logged-in user the ZEL-V4's device nodes.
inline constexpr const char* UDEV_RULE_NAME = "70-zelv4-writer.rules";

// How to put the rule in force, indented by two spaces, one step per line.
std::string UdevRuleHint();

// Why a bus device could not be asked, and what helps: the rule covers only the
// loader's own ids, so the probe of other devices needs root.
std::string BusPermissionHint();

}  // namespace zelv4
