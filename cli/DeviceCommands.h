#pragma once

namespace zelv4 {

struct CliContext;
class DevicePlatform;

// The HID part of `list`: every interface the platform lists, what the search would
// make of it, the search's outcome, and the fix when permission was refused.
void PrintHidInterfaces(CliContext& context, DevicePlatform& platform);

}  // namespace zelv4
