#include "device/sim/SimMachine.h"

#include "core/IspConstants.h"

namespace zelv4 {

namespace {
// A USB keyboard: some vendor's, not ours.
constexpr std::uint16_t OTHER_VENDOR_ID = 0x046D;
constexpr std::uint16_t OTHER_PRODUCT_ID = 0xC31C;
}  // namespace

SimMachine::SimMachine() : SimMachine(std::make_unique<SimHidPlatform>(), nullptr) {}

SimMachine::SimMachine(std::unique_ptr<SimHidPlatform> hid, LoaderMaker makeLoader)
    : m_hid(std::move(hid)),
      m_makeLoader(makeLoader ? std::move(makeLoader)
                              : [](std::size_t length) { return std::make_shared<SimIspLoader>(length); }),
      m_loader(m_makeLoader(ISP_REPORT_SIZE)), m_chips{m_loader}
{}

std::string SimMachine::ChipPath(std::size_t index)
{
    return index == 0 ? DEFAULT_ISP_PATH : "sim:hid" + std::to_string(index + 1);
}

std::string SimMachine::ChipPort(std::size_t index)
{
    return index == 0 ? DEFAULT_ISP_PORT : "1-3." + std::to_string(index);
}

std::shared_ptr<SimIspLoader> SimMachine::AddChip(std::chrono::milliseconds after)
{
    std::shared_ptr<SimIspLoader> loader = m_makeLoader(ISP_REPORT_SIZE);
    loader->SetTransferDelay(m_delay);
    SimHidInterface chip = SimHidInterface::IspLoader(ChipPath(m_chips.size()), loader);
    chip.port = ChipPort(m_chips.size());
    m_chips.push_back(loader);
    m_hid->Plug(std::move(chip), after);
    return loader;
}

void SimMachine::SetTransferDelay(std::chrono::microseconds delay)
{
    m_delay = delay;
    for (const auto& chip : m_chips)
        chip->SetTransferDelay(delay);
}

std::unique_ptr<SimMachine> SimMachine::CreateDefault(const std::optional<FirmwareImage>& flash)
{
    auto machine = std::make_unique<SimMachine>();
    machine->AddDefaultDevices(flash);
    return machine;
}

void SimMachine::AddDefaultDevices(const std::optional<FirmwareImage>& flash)
{
    if (flash)
        m_loader->Flash() = *flash;
    SimHidInterface chip = SimHidInterface::IspLoader(DEFAULT_ISP_PATH, m_loader);
    chip.port = DEFAULT_ISP_PORT;
    m_hid->Add(std::move(chip));
    SimHidInterface keyboard = SimHidInterface::Other(DEFAULT_OTHER_PATH, OTHER_VENDOR_ID, OTHER_PRODUCT_ID);
    keyboard.port = DEFAULT_OTHER_PORT;
    m_hid->Add(std::move(keyboard));
    m_usb.AddDefaultBus();
}

}  // namespace zelv4
