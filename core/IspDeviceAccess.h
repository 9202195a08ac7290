#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelv4 {

class HidTransport;

// What the operations need of the device connection and the bus scan. The device
// is opened by FindIspDevice at the start of an operation and closed at its end.
class IspDeviceAccess {
public:
    virtual ~IspDeviceAccess() = default;

    // True while a device is open (the handle is valid).
    virtual bool IsOpen() const = 0;
    // Null while no device is open; a request on it then fails like a HID call on
    // an invalid handle.
    virtual HidTransport* Device() = 0;
    // The open device's feature report length, counting the report ID byte. Keeps
    // the last found device's value when a later search finds nothing.
    virtual std::uint16_t FeatureReportLength() const = 0;

    virtual void FindIspDevice() = 0;
    // A text the last search wants shown in a plain box, OK and no icon, as it
    // ended (its preparsed data could not be read); empty: none.
    virtual std::string PlainMessage() const = 0;
    virtual void CloseIspDevice() = 0;

    // Number of devices anywhere on the bus that answer the product signature.
    virtual int CountBusDevices() = 0;

    // Device nodes the last search had to skip for lack of permission, so that a
    // front end can say "permission denied" instead of "not found".
    virtual std::vector<std::string> DeniedPaths() const = 0;
    // ISP devices the last search found but left alone, because another program
    // holds them: one programmer per chip.
    virtual std::vector<std::string> BusyPaths() const = 0;
};

}  // namespace zelv4
