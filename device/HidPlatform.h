#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/HidTransport.h"
#include "device/HidChangeMonitor.h"

namespace zelv4 {

// Vendor and product as the HID class reports them; Size is set by the caller (12).
struct HidAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// The capability record of a HID interface, in the layout the HID class reports it.
struct HidCaps {
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    std::uint16_t NumberLinkCollectionNodes = 0;
    std::uint16_t NumberInputButtonCaps = 0;
    std::uint16_t NumberInputValueCaps = 0;
    std::uint16_t NumberInputDataIndices = 0;
    std::uint16_t NumberOutputButtonCaps = 0;
    std::uint16_t NumberOutputValueCaps = 0;
    std::uint16_t NumberOutputDataIndices = 0;
    std::uint16_t NumberFeatureButtonCaps = 0;
    std::uint16_t NumberFeatureValueCaps = 0;
    std::uint16_t NumberFeatureDataIndices = 0;
};

// One opened HID interface. Closing is destruction.
class HidDeviceHandle : public HidTransport {
public:
    virtual bool GetAttributes(HidAttributes& attributes) = 0;
    // Reads the interface's parsed report description; false when it cannot be had.
    virtual bool GetPreparsedData() = 0;
    // Fills the capabilities from the data read by GetPreparsedData; false on failure.
    virtual bool GetCaps(HidCaps& caps) = 0;
    // Takes the interface for this handle alone, without waiting, until the handle
    // is closed; false when another program (or handle) holds it. One programmer
    // per chip: two writes at once would leave a flash mixing both images.
    virtual bool LockExclusive() = 0;
    // Whether another handle holds the lock LockExclusive takes, found out without
    // taking it, so that looking never makes a programmer find the chip busy.
    virtual bool LockedElsewhere() = 0;
};

// The present HID interfaces, in the platform's order.
class HidInterfaceList {
public:
    virtual ~HidInterfaceList() = default;
    // False when there is no interface at this index: the listing ends.
    virtual bool EnumInterface(unsigned index) = 0;
    // The interface's device path; empty when the detail query fails.
    virtual std::optional<std::string> InterfacePath(unsigned index) = 0;
};

// Busy: the system refused the open because another program holds the device.
enum class HidOpenError { None, PermissionDenied, Busy, Failed };

// One platform need: the HID interfaces and opening them.
class HidPlatform {
public:
    virtual ~HidPlatform() = default;
    // Null when no list can be had.
    virtual std::unique_ptr<HidInterfaceList> GetClassDevices() = 0;
    // Opens without asking for exclusive access; null on failure, with the reason.
    virtual std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) = 0;
    // Vendor and product of an interface as the system knows them without opening
    // it; none when the platform cannot tell. Lets the search tell a refused ZEL-V4
    // from a refused keyboard.
    virtual std::optional<HidAttributes> PeekAttributes(const std::string& /*path*/) { return std::nullopt; }
    // The USB port an interface's device hangs on, "bus-port.port..." as the system
    // names it ("1-2.3": port 3 of the hub on root port 2 of bus 1); it stays the
    // same when a chip is replugged into the same socket. None when unknown.
    virtual std::optional<std::string> PortPath(const std::string& /*path*/) { return std::nullopt; }
    // Tells of interfaces coming and going from now on. The platform must outlive
    // it. Unless a backend has the system's events, the interfaces are listed again
    // every HID_POLL_MILLISECONDS and compared.
    virtual std::unique_ptr<HidChangeMonitor> MonitorChanges();
    // Waits `timeout` for an interface to appear: ends early once `stop` says so,
    // and, given `arrivals`, as soon as its monitor tells of an interface it wants.
    // Real time; a test's platform records the waits instead of spending them.
    virtual void WaitForInterface(std::chrono::milliseconds timeout, HidArrivalWatch* arrivals,
                                  const std::function<bool()>& stop);
};

}  // namespace zelv4
