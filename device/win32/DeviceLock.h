#pragma once

#include <memory>
#include <string>

namespace zelv4 {

// A system-wide claim on a device, named after its path: the Windows stand-in for
// an exclusive lock on the device node, which the sharing mode of the HID open
// does not give. A named semaphore of one: unlike a mutex it is not taken twice by
// one thread, so a second handle in the same program is refused too. When a holder
// ends without letting go, the system closes its handle; the claim goes with the
// last handle.
class DeviceLock {
public:
    enum class Result { Taken, Busy, Failed };

    // Tries once, without waiting.
    static std::unique_ptr<DeviceLock> TryTake(const std::string& devicePath, Result& result);
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // The object name for a path: case folded (device paths are not case
    // sensitive), without backslashes, which a name may not hold after its
    // namespace, and hashed when too long for a name.
    static std::string NameFor(const std::string& devicePath);

private:
    explicit DeviceLock(void* handle) : m_handle(handle) {}
    void* m_handle;
};

}  // namespace zelv4
