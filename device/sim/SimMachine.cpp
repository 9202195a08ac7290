#include "device/sim/SimMachine.h"

#include "core/IspConstants.h"

namespace zelv4 {

namespace {
// A USB keyboard: some vendor's, not ours.
constexpr std::uint16_t OTHER_VENDOR_ID = 0x046D;
constexpr std::uint16_t OTHER_PRODUCT_ID = 0xC31C;
}  // namespace

SimMachine::SimMachine() : m_loader(std::make_shared<SimIspLoader>(ISP_REPORT_SIZE)) {}

std::unique_ptr<SimMachine> SimMachine::CreateDefault(const std::optional<FirmwareImage>& flash)
{
    auto machine = std::make_unique<SimMachine>();
    if (flash)
        machine->Loader().Flash() = *flash;
    machine->m_hid.Add(SimHidInterface::IspLoader(DEFAULT_ISP_PATH, machine->m_loader));
    machine->m_hid.Add(SimHidInterface::Other(DEFAULT_OTHER_PATH, OTHER_VENDOR_ID, OTHER_PRODUCT_ID));
    machine->m_usb.AddDefaultBus();
    return machine;
}

}  // namespace zelv4
