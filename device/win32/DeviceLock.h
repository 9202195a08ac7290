#pragma once

#include <memory>
#include <string>

namespace zelv4 {

// A system-wide mutex named after a device path: the Windows stand-in for an
// exclusive lock on the device node, which the sharing mode of the HID open does
// not give. Held by the thread that took it until the object goes.
class DeviceMutex {
public:
    enum class Result { Taken, Busy, Failed };

    // Tries once, without waiting. A mutex left by a program that ended without
    // releasing it counts as free.
    static std::unique_ptr<DeviceMutex> TryTake(const std::string& devicePath, Result& result);
    ~DeviceMutex();
    DeviceMutex(const DeviceMutex&) = delete;
    DeviceMutex& operator=(const DeviceMutex&) = delete;

    // The object name for a path: case folded (device paths are not case
    // sensitive), without backslashes, which a name may not hold after its
    // namespace, and hashed when too long for a name.
    static std::string NameFor(const std::string& devicePath);

private:
    explicit DeviceMutex(void* handle) : m_handle(handle) {}
    void* m_handle;
};

}  // namespace zelv4
