#pragma once

#include <memory>
#include <string>

namespace zelv4 {

// A system-wide claim on a thing named by a path (a device, a file), kept in a
// named semaphore of one: Windows' stand-in for an advisory lock where locking the
// thing itself does not work (a HID handle cannot be locked; a locked file cannot
// be replaced by a rename). Unlike a mutex, one thread cannot take it twice, so a
// second handle in the same program is refused too. When a holder ends without
// letting go, the system closes its handle and the claim goes with the last one.
class NamedClaim {
public:
    enum class Result { Taken, Busy, Failed };

    // Tries once, without waiting. `kind` keeps claims on devices and on files apart.
    static std::unique_ptr<NamedClaim> TryTake(const std::string& kind, const std::string& key, Result& result);
    // Whether another holder has the claim, found out without taking it (a claim
    // exists only while its holder keeps it).
    static bool IsTaken(const std::string& kind, const std::string& key);
    ~NamedClaim();
    NamedClaim(const NamedClaim&) = delete;
    NamedClaim& operator=(const NamedClaim&) = delete;

    // The object name: case folded (Windows paths are not case sensitive), without
    // backslashes, which a name may not hold after its namespace, and hashed when
    // too long for a name.
    static std::string NameFor(const std::string& kind, const std::string& key);

private:
    explicit NamedClaim(void* handle) : m_handle(handle) {}
    void* m_handle;
};

}  // namespace zelv4
