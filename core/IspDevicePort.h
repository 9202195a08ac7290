#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelv4 {

class HidTransport;

// What a search had to say besides the device it left open, so that a front end can
// say "permission denied" or "busy" instead of "not found".
struct IspSearchNotes {
    // A text the search wants shown in a plain box, OK and no icon, as it ended (the
    // device's report description could not be read); empty: none.
    std::string plainMessage;
    // Devices it had to skip for lack of permission, that may be the ISP device.
    std::vector<std::string> deniedPaths;
    // ISP devices it left alone because another program holds them: one programmer
    // per chip.
    std::vector<std::string> busyPaths;
};

// What the operations need of the ISP device. An operation searches at its start
// (with no device open), sends its requests on the device the search left open,
// and closes it at its end. The native front ends search the HID interfaces; the
// web page asks the browser.
class IspDevicePort {
public:
    virtual ~IspDevicePort() = default;

    virtual IspSearchNotes FindIspDevice() = 0;
    virtual void CloseIspDevice() = 0;
    // Null while no device is open; a request on it then fails like a HID call on
    // an invalid handle.
    virtual HidTransport* Device() const = 0;
    // The open device's feature report length, counting the report ID byte. Keeps
    // the last found device's value when a later search finds nothing.
    virtual std::uint16_t FeatureReportLength() const = 0;
    // Auto's wait between two searches for a chip entering ISP mode: returns after
    // `timeout`, or earlier once `stop` says so (an empty `stop` never does). A port
    // that hears of arrivals may also return as soon as the device may be there; the
    // window's port waits the whole time, as the window blocks between its searches.
    virtual void WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& stop) = 0;

    bool IsOpen() const { return Device() != nullptr; }
};

}  // namespace zelv4
