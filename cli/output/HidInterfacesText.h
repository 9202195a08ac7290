#pragma once

#include "cli/CommandResult.h"

namespace zelv4 {

class HidPlatform;

// The HID part of `list`: every interface the platform lists, what the ISP device
// search makes of it (the search itself runs, only looking), the search's outcome,
// every ISP device with its node and port, and the fix when permission was
// refused; appended to the listing's lines and details.
void DescribeHidInterfaces(HidPlatform& hid, CommandResult& listing);

}  // namespace zelv4
