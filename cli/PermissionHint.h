#pragma once

#include <string>

namespace zelv4 {

// The packaged udev rule that grants the logged-in user the ZEL-V4's device nodes.
inline constexpr const char* UDEV_RULE_NAME = "70-zelv4-writer.rules";

// How to put the rule in force, indented by two spaces, one step per line.
std::string UdevRuleHint();

}  // namespace zelv4
