#pragma once

#include "cli/CommandResult.h"

namespace zelv4 {

class UsbBusPlatform;

// The bus scan as `list` shows it: every hub and every device asked, what each
// said, and the count; appended to the listing's lines and details.
void DescribeBusScan(UsbBusPlatform& bus, CommandResult& listing);

}  // namespace zelv4
