#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/sim/SimMachine.h"

namespace zelv4::test {

// One HID call as a loader saw it: exactly the bytes and length passed.
struct SimTransfer {
    enum class Kind { Set, Get };
    Kind kind = Kind::Set;
    std::size_t length = 0;
    std::vector<std::uint8_t> bytes;  // Set: what was sent; Get: what was returned
    bool ok = false;
};

// The simulated loader with a log of its calls and failures on cue.
class TestIspLoader : public SimIspLoader {
public:
    using SimIspLoader::SimIspLoader;

    // Makes the Nth call of that kind (counting from 1, over the loader's life)
    // fail. 0 disables.
    void FailSetAt(std::size_t n) { m_failSetAt = n; }
    void FailGetAt(std::size_t n) { m_failGetAt = n; }
    std::size_t SetCount() const
    {
        const std::lock_guard lock(m_mutex);
        return m_setCount;
    }
    std::size_t GetCount() const
    {
        const std::lock_guard lock(m_mutex);
        return m_getCount;
    }
    // For when no call is under way.
    const std::vector<SimTransfer>& Transfers() const { return m_transfers; }
    void ClearTransfers()
    {
        const std::lock_guard lock(m_mutex);
        m_transfers.clear();
    }

protected:
    bool Admits(Call call) override
    {
        const std::lock_guard lock(m_mutex);
        return call == Call::Set ? ++m_setCount != m_failSetAt : ++m_getCount != m_failGetAt;
    }
    void Ended(Call call, std::span<const std::uint8_t> bytes, bool ok) override
    {
        const std::lock_guard lock(m_mutex);
        m_transfers.push_back({call == Call::Set ? SimTransfer::Kind::Set : SimTransfer::Kind::Get, bytes.size(),
                               std::vector<std::uint8_t>(bytes.begin(), bytes.end()), ok});
    }

private:
    mutable std::mutex m_mutex;
    std::size_t m_failSetAt = 0;
    std::size_t m_failGetAt = 0;
    std::size_t m_setCount = 0;
    std::size_t m_getCount = 0;
    std::vector<SimTransfer> m_transfers;
};

// Busy: the system refuses a second opener (a Windows sharing violation).
enum class OpenFailure { None, Failed, PermissionDenied, Busy };

// What goes wrong with one interface, by the system's call that fails.
struct InterfaceFaults {
    OpenFailure openFailure = OpenFailure::None;
    bool detailFails = false;
    bool attributesFail = false;
    bool preparsedFails = false;
    bool capsFail = false;
    // Another program holds the interface: LockExclusive fails.
    bool heldElsewhere = false;
    // Listed only from the search after this many searches (GetClassDevices calls)
    // on: a chip that is attached but enters ISP mode later.
    unsigned appearsAfterSearches = 0;
};

// The simulated interfaces with scripted faults by path, counts of what was asked
// and still held, and Auto's waits recorded instead of spent when a test asks so.
class TestHidPlatform : public SimHidPlatform {
public:
    // Set before the calls it affects; any time for a path not yet added.
    InterfaceFaults& Faults(const std::string& path) { return m_faults[path]; }

    // GetClassDevices calls so far.
    unsigned Searches() const { return m_searches; }
    // Handles opened and not yet closed.
    int LiveHandles() const { return m_counts->handles; }
    // Interface lists handed out and not yet released.
    int LiveLists() const { return m_counts->lists; }

    // From now on every wait for an interface is recorded here (its length in
    // milliseconds) and returns at once; `mutex` guards `waits` (workers of --all
    // and watch wait on their own threads).
    void RecordWaits(std::vector<unsigned>* waits, std::mutex* mutex)
    {
        m_waits = waits;
        m_waitsMutex = mutex;
    }

    std::unique_ptr<HidInterfaceList> GetClassDevices() override
    {
        return std::make_unique<List>(SimHidPlatform::GetClassDevices(), *this);
    }
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override
    {
        std::unique_ptr<HidDeviceHandle> handle = SimHidPlatform::Open(path, error);
        if (!handle)
            return nullptr;
        const InterfaceFaults faults = FaultsOf(path);
        switch (faults.openFailure) {
        case OpenFailure::Failed:
            error = HidOpenError::Failed;
            return nullptr;
        case OpenFailure::PermissionDenied:
            error = HidOpenError::PermissionDenied;
            return nullptr;
        case OpenFailure::Busy:
            error = HidOpenError::Busy;
            return nullptr;
        case OpenFailure::None:
            break;
        }
        return std::make_unique<Handle>(std::move(handle), faults, m_counts);
    }
    void WaitForInterface(std::chrono::milliseconds timeout, HidArrivalWatch* arrivals,
                          const std::function<bool()>& stop) override
    {
        if (m_waits == nullptr)
            return SimHidPlatform::WaitForInterface(timeout, arrivals, stop);
        const std::lock_guard lock(*m_waitsMutex);
        m_waits->push_back(static_cast<unsigned>(timeout.count()));
    }

protected:
    bool Attached(const SimHidInterface& hidInterface) const override
    {
        return m_searches >= FaultsOf(hidInterface.path).appearsAfterSearches;
    }
    void Searched() override { ++m_searches; }

private:
    // Handles and lists outlive the platform in some tests.
    struct Counts {
        std::atomic<int> handles{0};
        std::atomic<int> lists{0};
    };

    class List : public HidInterfaceList {
    public:
        List(std::unique_ptr<HidInterfaceList> inner, TestHidPlatform& platform)
            : m_inner(std::move(inner)), m_platform(platform), m_counts(platform.m_counts)
        {
            ++m_counts->lists;
        }
        ~List() override { --m_counts->lists; }
        bool EnumInterface(unsigned index) override { return m_inner->EnumInterface(index); }
        std::optional<std::string> InterfacePath(unsigned index) override
        {
            std::optional<std::string> path = m_inner->InterfacePath(index);
            if (path && m_platform.FaultsOf(*path).detailFails)
                return std::nullopt;
            return path;
        }

    private:
        std::unique_ptr<HidInterfaceList> m_inner;
        TestHidPlatform& m_platform;
        std::shared_ptr<Counts> m_counts;
    };

    class Handle : public HidDeviceHandle {
    public:
        Handle(std::unique_ptr<HidDeviceHandle> inner, InterfaceFaults faults, std::shared_ptr<Counts> counts)
            : m_inner(std::move(inner)), m_faults(faults), m_counts(std::move(counts))
        {
            ++m_counts->handles;
        }
        ~Handle() override
        {
            m_inner.reset();
            --m_counts->handles;
        }
        bool SetFeature(const std::uint8_t* report, std::size_t length) override
        {
            return m_inner->SetFeature(report, length);
        }
        bool GetFeature(std::uint8_t* report, std::size_t length) override
        {
            return m_inner->GetFeature(report, length);
        }
        bool GetAttributes(HidAttributes& attributes) override
        {
            return !m_faults.attributesFail && m_inner->GetAttributes(attributes);
        }
        bool GetPreparsedData() override { return !m_faults.preparsedFails && m_inner->GetPreparsedData(); }
        bool GetCaps(HidCaps& caps) override { return !m_faults.capsFail && m_inner->GetCaps(caps); }
        bool LockExclusive() override { return !m_faults.heldElsewhere && m_inner->LockExclusive(); }
        bool LockedElsewhere() override { return m_faults.heldElsewhere || m_inner->LockedElsewhere(); }

    private:
        std::unique_ptr<HidDeviceHandle> m_inner;
        InterfaceFaults m_faults;
        std::shared_ptr<Counts> m_counts;
    };

    InterfaceFaults FaultsOf(const std::string& path) const
    {
        const auto it = m_faults.find(path);
        return it == m_faults.end() ? InterfaceFaults{} : it->second;
    }

    std::map<std::string, InterfaceFaults> m_faults;
    std::atomic<unsigned> m_searches{0};
    std::shared_ptr<Counts> m_counts = std::make_shared<Counts>();
    std::vector<unsigned>* m_waits = nullptr;
    std::mutex* m_waitsMutex = nullptr;
};

// A simulated machine for tests: the same machine, on TestHidPlatform and with a
// TestIspLoader behind every chip.
class TestMachine : public SimMachine {
public:
    TestMachine()
        : SimMachine(std::make_unique<TestHidPlatform>(),
                     [](std::size_t length) { return std::make_shared<TestIspLoader>(length); })
    {}

    // The machine `--sim` runs on (see SimMachine::CreateDefault).
    static std::unique_ptr<TestMachine> CreateDefault(const std::optional<FirmwareImage>& flash = std::nullopt)
    {
        auto machine = std::make_unique<TestMachine>();
        machine->AddDefaultDevices(flash);
        return machine;
    }

    TestHidPlatform& HidInterfaces() { return static_cast<TestHidPlatform&>(SimMachine::HidInterfaces()); }
    TestIspLoader& Loader() { return static_cast<TestIspLoader&>(SimMachine::Loader()); }
    std::shared_ptr<TestIspLoader> AddChip(std::chrono::milliseconds after = std::chrono::milliseconds(0))
    {
        return std::static_pointer_cast<TestIspLoader>(SimMachine::AddChip(after));
    }
    // Every chip's loader in the order added, Loader() first.
    std::vector<std::shared_ptr<TestIspLoader>> Chips() const
    {
        std::vector<std::shared_ptr<TestIspLoader>> chips;
        for (const auto& chip : SimMachine::Chips())
            chips.push_back(std::static_pointer_cast<TestIspLoader>(chip));
        return chips;
    }
};

}  // namespace zelv4::test
