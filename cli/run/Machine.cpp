#include "cli/run/Machine.h"

#include <chrono>

#include "device/DevicePlatform.h"
#include "device/sim/SimMachine.h"

namespace zelv4 {

Machine::Machine(const GlobalOptions& options, std::shared_ptr<DevicePlatform> given)
    : m_options(options), m_platform(std::move(given))
{}

Machine::~Machine() = default;

Expected<DevicePlatform*, CommandResult> Machine::Platform()
{
    if (m_platform)
        return m_platform.get();
    if (!m_options.simulated) {
        Expected<std::unique_ptr<DevicePlatform>> created = CreateOsPlatform();
        if (!created)
            return Unexpected(CommandResult::Failed(
                Error(ErrorCode::Unavailable, "No device backend on this system: " + created.error().message),
                "no-device"));
        m_platform = std::move(*created);
        return m_platform.get();
    }
    std::optional<FirmwareImage> flash;
    if (m_options.simStatePath) {
        auto stateFile = std::make_unique<SimStateFile>(*m_options.simStatePath);
        if (const Expected<void> locked = stateFile->Lock(); !locked)
            return Unexpected(CommandResult::Failed(
                locked.error(), locked.error().code == ErrorCode::Busy ? "device-busy" : "state-file-error"));
        Expected<FirmwareImage> loaded = stateFile->Load();
        if (!loaded)
            return Unexpected(CommandResult::Failed(loaded.error(), "state-file-error"));
        flash = *loaded;
        m_stateFile = std::move(stateFile);
    }
    std::shared_ptr<SimMachine> machine = SimMachine::CreateDefault(flash);
    machine->SetTransferDelay(std::chrono::microseconds(static_cast<long>(m_options.simDelayMilliseconds * 1000)));
    for (unsigned chip = 1; chip < m_options.simChips; ++chip)
        machine->AddChip();
    for (const unsigned after : m_options.simArrivals)
        machine->AddChip(std::chrono::milliseconds(after));
    if (m_stateFile)
        m_stateMachine = machine.get();
    m_platform = std::move(machine);
    return m_platform.get();
}

Expected<void> Machine::SaveState()
{
    if (m_stateMachine == nullptr || !m_stateFile)
        return {};
    return m_stateFile->Save(m_stateMachine->Loader().Flash());
}

}  // namespace zelv4
