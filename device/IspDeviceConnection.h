#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/HidPlatform.h"

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

// Interfaces the last search skipped because opening them was refused for lack of
// permission, in the order they were met; only those that may be the ISP device
// (the platform names no other ids for them).
const std::vector<std::string>& IspDeniedPaths();
// ISP devices the last search found held by another program, in the order met.
const std::vector<std::string>& IspBusyPaths();
// The path of the device the last search opened; empty when it found none. Kept
// after the device is closed, so a front end can say which device it used.
const std::string& IspDevicePath();

// At most this many HID interfaces are examined per search.
inline constexpr unsigned ISP_MAX_HID_INTERFACES = 20;

// The status texts of the search, exactly as they are kept in g_strStatus.
inline constexpr const char* ISP_STATUS_CONNECT_OK = "ZEL-V4 HID device connect ok";
inline constexpr const char* ISP_STATUS_PREPARSED_FAIL = "Get HID PREPARED DATA fail! \n";

// The GUID status text (UTF-8) for a GUID, and the device information text for a
// capability record, as the search writes them.
std::string FormatHidGuidStatus();
std::string FormatDeviceInformation(const HidAttributes& attributes, const HidCaps& caps);

}  // namespace zelv4
