#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <umockdev.h>

namespace zelv4 {

class EmulatedLoader;

// Where a second, non-matching hidraw node (hidraw1) is added to the testbed:
// not at all, or before or after the loader's hidraw0 (sysfs lists entries in
// the order they were made, so this tests the numeric ordering of the search).
enum class OtherHidraw { None, Before, After };

struct MachineOptions {
    OtherHidraw otherHidraw = OtherHidraw::None;
    // What the device behind the external hub answers to the signature request;
    // no value: it stalls the request.
    std::optional<std::u16string> signature = u"ZEL-V4";
};

// A Linux machine built with umockdev: sysfs, /dev/hidraw* and /dev/bus/usb nodes,
// with their ioctls answered in this process. umockdev serves the ioctls of other
// processes too: its preload library forwards them over a Unix socket in the
// testbed directory to a worker thread that the testbed runs, so a child started
// with the preload library and UMOCKDEV_DIR sees these devices.
//
//   usb1 (root hub, 4 ports)
//   +- 1-1   ZEL-V4 ISP loader 040b:6876 -> hid 0003:040B:6876.0001 -> hidraw0
//   +- 1-2   external hub 05e3:0610, 4 ports
//      +- 1-2.1  keyboard 1a2c:0e24 -> hidraw1          (only with OtherHidraw)
//      +- 1-2.3  ZEL-V4 in normal mode 040b:6870, answers the signature request
class EmulatedMachine {
public:
    EmulatedMachine(EmulatedLoader& loader, std::size_t featureLength, const MachineOptions& options, std::FILE* log);
    ~EmulatedMachine();
    EmulatedMachine(const EmulatedMachine&) = delete;
    EmulatedMachine& operator=(const EmulatedMachine&) = delete;

    std::string RootDir() const;
    // Empty when every node was built and its handler attached.
    const std::string& Error() const { return m_error; }
    std::string Describe() const;
    // Transfers on nodes other than the loader that the machine refused.
    unsigned ForeignTransfers() const;

    // The loader's report descriptor: vendor page, 8-byte input and output reports,
    // and a feature report of featureLength - 1 bytes (no report IDs).
    static std::vector<std::uint8_t> LoaderDescriptor(std::size_t featureLength);

private:
    struct UsbNode {
        unsigned bus = 0;
        unsigned devnum = 0;
        std::string name;
        std::vector<std::uint8_t> descriptors;  // device then configuration
        unsigned hubPorts = 0;                  // a hub when not 0
        std::optional<std::vector<std::uint8_t>> signatureReply;
    };
    struct HidrawNode {
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        std::vector<std::uint8_t> descriptor;
        bool loader = false;
    };

    std::string AddUsb(const std::string& name, const std::string& parent, std::uint16_t vendor, std::uint16_t product,
                       std::uint8_t deviceClass, std::uint8_t interfaceClass, unsigned hubPorts);
    void AddHidraw(unsigned number, const std::string& usbSyspath, const std::string& usbName, HidrawNode node);
    void MakeNode(const std::string& devnode);
    void Note(const std::string& line);

    static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void OnVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    bool HandleHidraw(UMockdevIoctlClient* client, HidrawNode& node, const std::string& devnode);
    bool HandleUsb(UMockdevIoctlClient* client, UsbNode& node);
    void AnswerControl(UsbNode& node, std::uint8_t* buffer, int bufferLength, int& status, int& actualLength);

    EmulatedLoader& m_loader;
    std::size_t m_featureLength;
    std::FILE* m_log;
    UMockdevTestbed* m_testbed;
    std::string m_error;
    std::vector<UMockdevIoctlBase*> m_handlers;
    std::map<std::string, UsbNode> m_usb;        // by devnode
    std::map<std::string, HidrawNode> m_hidraw;  // by devnode
    std::vector<std::string> m_description;
    unsigned m_nextDevnum = 1;

    mutable std::mutex m_mutex;  // what the worker thread changes
    std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> m_reapable;
    unsigned m_foreignTransfers = 0;
};

}  // namespace zelv4
