#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <umockdev.h>

#include "emulation/EmulatedLoader.h"

namespace zelv4 {

// When a scripted event happens, counted from the start of the command.
struct EventTrigger {
    enum class Kind { Time, Search, Transfer };
    Kind kind = Kind::Time;
    // Milliseconds; or the command's listings of /sys/class/hidraw (its searches);
    // or the transfer of the loader on `port` after which the event happens.
    unsigned count = 0;
    std::string port{};
};

// A loader arriving while a command runs, or a device leaving.
struct MachineEvent {
    enum class Action { Arrive, Remove };
    Action action = Action::Arrive;
    LoaderOptions loader{};  // Arrive
    std::string port{};      // Remove
    EventTrigger when{};
};

// A Linux machine built with umockdev: sysfs, /dev/hidraw* and /dev/bus/usb nodes,
// with their ioctls answered in this process. umockdev serves the ioctls of other
// processes too: its preload library forwards them over a Unix socket in the
// testbed directory to a worker thread that the testbed runs, so a child started
// with the preload library and UMOCKDEV_DIR sees these devices.
//
// Devices are named by their USB port path as the kernel names them ("usb1" for the
// root hub of bus 1, "1-2" on its port 2, "1-2.3" on port 3 of the hub there); the
// hubs on the way are added as needed, with 4 ports. For example loaders on 1-1 and
// on 1-2.1, 1-2.2 and 1-2.3:
//
//   usb1 (root hub)
//   +- 1-1     ZEL-V4 ISP loader 040b:6876 -> hid 0003:040B:6876.0001 -> hidraw0
//   +- 1-2     hub 05e3:0610
//      +- 1-2.1  loader -> hidraw1,  1-2.2  loader -> hidraw2,  1-2.3  loader -> hidraw3
//
// uevents (hot-plug) need this process under the preload library too: umockdev
// builds them from the emulated sysfs.
class EmulatedMachine {
public:
    static constexpr std::uint16_t LOADER_VENDOR = 0x040B;
    static constexpr std::uint16_t LOADER_PRODUCT = 0x6876;
    // The same chip out of ISP mode; it answers the signature request.
    static constexpr std::uint16_t CHIP_PRODUCT = 0x6870;
    static constexpr std::uint16_t KEYBOARD_VENDOR = 0x1A2C;
    static constexpr std::uint16_t KEYBOARD_PRODUCT = 0x0E24;

    // `log` (may be null) receives every loader's transfers and what the machine does.
    explicit EmulatedMachine(std::FILE* log = nullptr);
    ~EmulatedMachine();
    EmulatedMachine(const EmulatedMachine&) = delete;
    EmulatedMachine& operator=(const EmulatedMachine&) = delete;

    void AddRootHub(unsigned bus, unsigned ports);
    void AddHub(const std::string& port, unsigned ports);
    EmulatedLoader& AddLoader(const LoaderOptions& options);
    // A boot keyboard: a hidraw node that is not the loader.
    void AddKeyboard(const std::string& port, std::optional<unsigned> hidraw = std::nullopt);
    // A keyboard that is not on USB (Bluetooth, through uhid): a hidraw node with a HID
    // device and no USB device above it. Its node cannot be opened.
    void AddUhidKeyboard(unsigned hidraw);
    // A device that answers the signature request with `reply` (a whole string
    // descriptor); no value: it stalls the request.
    void AddSignatureDevice(const std::string& port, std::optional<std::vector<std::uint8_t>> reply,
                            std::uint16_t product = CHIP_PRODUCT);
    static std::vector<std::uint8_t> StringDescriptor(std::u16string_view text);

    // Hot-plug, as the kernel reports it. A loader arrives: its devices, each with
    // its "add" uevent, parents first.
    EmulatedLoader& Plug(const LoaderOptions& options);
    // The device on `port` and everything below it are unplugged: every ioctl on
    // their nodes fails with ENODEV. With `remove` they also leave /dev and sysfs,
    // after "remove" uevents, children first.
    void Unplug(const std::string& port, bool remove);
    // Only the device's usbfs node leaves /dev: it is listed but cannot be opened.
    void RemoveUsbNode(const std::string& port);

    // Scripted events, carried out by Poll() once due.
    void Schedule(MachineEvent event);
    // Runs what is due `elapsed` after the command started, and the removal of
    // loaders unplugged by their script. EmulatedCommand calls it every few ms.
    void Poll(std::chrono::milliseconds elapsed);
    // How many times /sys/class/hidraw has been opened: a program's searches.
    unsigned Searches();
    // How many times /sys/bus/usb/devices has been opened: listings of the USB bus.
    unsigned BusListings();
    unsigned PendingEvents() const;

    std::string RootDir() const;
    // Empty while every device was built and every event carried out.
    std::string Error() const;
    std::string Describe() const;
    // Machine-wide key: value lines (the loaders have their own).
    std::string Summary();
    std::vector<EmulatedLoader*> Loaders() const;
    EmulatedLoader* Loader(const std::string& port) const;
    // The hidraw node of the device on `port`, e.g. "/dev/hidraw1"; empty if none.
    std::string HidrawNode(const std::string& port) const;
    // The file that stands for a /dev node in the testbed.
    std::string NodeFile(const std::string& devnode) const;
    bool WasAskedForSignature(const std::string& port) const;
    // Descriptors of this process open on emulated hidraw nodes.
    std::size_t OpenHidrawNodes() const;
    // Calls programs made on hidraw nodes besides a loader's feature transfers.
    struct NodeTraffic {
        unsigned foreignTransfers = 0;  // feature transfers on nodes that are not a loader
        unsigned reads = 0;             // read() calls
        unsigned writes = 0;            // write() calls
    };
    NodeTraffic Traffic() const;
    // Bytes that reached the files standing for hidraw nodes: what a program wrote
    // into a node past the preload library (stdio writes from inside libc).
    std::size_t NodeFileBytes() const;

private:
    struct Device;
    // What a node's ioctl handler is bound to: the device it was made for, so that a
    // program holding the node of a removed device never reaches a newer one.
    struct Binding {
        EmulatedMachine* machine = nullptr;
        Device* device = nullptr;
        bool hidraw = false;
    };
    struct Device {
        std::string port;  // sysfs name
        std::string syspath;
        std::string parentPort;
        unsigned bus = 0;
        unsigned devnum = 0;
        std::string usbNode;
        std::vector<std::uint8_t> descriptors;  // device then configuration
        unsigned hubPorts = 0;                  // a hub when not 0
        std::optional<std::vector<std::uint8_t>> signatureReply;
        bool askedForSignature = false;
        // Below the USB device: its interface, and for HID devices the hid and hidraw ones.
        std::vector<std::string> children;
        std::string hidrawNode;
        unsigned hidrawNumber = 0;
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        std::vector<std::uint8_t> reportDescriptor;
        bool descriptorFails = false;
        EmulatedLoader* loader = nullptr;
        bool removeAtUnplug = false;
        bool unplugged = false;
        bool removed = false;
        Binding usbBinding;
        Binding hidrawBinding;
    };

    Device* AddUsb(const std::string& port, std::uint16_t vendor, std::uint16_t product, std::uint8_t deviceClass,
                   std::uint8_t interfaceClass, unsigned hubPorts);
    void AddHidraw(Device& device, std::optional<unsigned> number, std::vector<std::uint8_t> reportDescriptor);
    void EnsureParent(const std::string& port);
    Device* Find(const std::string& port) const;
    std::vector<Device*> Subtree(const std::string& port) const;
    void Attach(const std::string& devnode, Binding& binding);
    void AnnounceRemoval(const Device& device);
    void Remove(Device& device);
    void RunEvent(const MachineEvent& event);
    std::size_t CheckNodeFile(const std::string& devnode) const;
    void Fail(const std::string& why);
    void Note(const std::string& line) const;
    void WatchClass();
    void CountOpens();

    static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer binding);
    static gboolean OnRead(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer binding);
    static gboolean OnWrite(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer binding);
    static void OnVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer binding);
    bool HandleHidraw(UMockdevIoctlClient* client, Device& device);
    bool HandleUsb(UMockdevIoctlClient* client, Device& device);
    bool ReadUsb(UMockdevIoctlClient* client, UMockdevIoctlData* data, Device& device);
    void AnswerControl(Device& device, std::uint8_t* buffer, int bufferLength, int& status, int& actualLength);
    bool Gone(const Device& device) const;

    std::FILE* m_log;
    UMockdevTestbed* m_testbed;
    std::string m_root;
    std::vector<std::unique_ptr<Device>> m_devices;
    std::vector<std::unique_ptr<EmulatedLoader>> m_loaders;
    std::vector<std::unique_ptr<std::FILE, int (*)(std::FILE*)>> m_loaderLogs;
    std::vector<UMockdevIoctlBase*> m_handlers;
    std::map<unsigned, unsigned> m_lastDevnum;  // by bus
    unsigned m_lastHidId = 0;
    std::vector<std::string> m_description;
    std::deque<MachineEvent> m_events;
    int m_inotify = -1;
    int m_watch = -1;
    int m_busWatch = -1;
    unsigned m_searches = 0;
    unsigned m_busListings = 0;

    mutable std::mutex m_mutex;  // what the worker thread reads or changes
    std::string m_error;
    std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> m_reapable;
    NodeTraffic m_traffic;
    std::size_t m_removedNodeBytes = 0;
};

}  // namespace zelv4
