#pragma once

namespace zelv4 {
class UsbBusPlatform;
extern int g_nBusMatches;
void SetUsbBusPlatform(UsbBusPlatform* platform);
int CountBusDevices();
}  // namespace zelv4
