#pragma once

#include <string>

namespace zelv4 {

// This computer's name, as the system gives it (a station names itself by it in the
// production record); "unknown" when the system cannot tell.
std::string HostName();

}  // namespace zelv4
