#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HidPlatform.h"

namespace zelv4 {

// Process-wide device state: the open ISP device (null: none open), its
// capabilities, the attributes of the interface examined last, and the status text
// of the last search.
extern std::unique_ptr<HidDeviceHandle> g_hIspDevice;
extern HidCaps g_IspCaps;
extern HidAttributes g_IspAttributes;
extern std::string g_strStatus;

// Which platform the search runs on; the front end sets it once at start.
void SetHidPlatform(HidPlatform* platform);
// Shows a message box with OK and no icon; device code never shows UI itself.
void SetPlainMessageHandler(std::function<void(const std::string&)> handler);

void FindIspDevice();
void CloseIspDevice();

}  // namespace zelv4
