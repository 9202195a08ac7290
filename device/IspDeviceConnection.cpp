#include "IspDeviceConnection.h"

namespace zelv4 {

std::unique_ptr<HidDeviceHandle> g_hIspDevice;
HidCaps g_IspCaps;
HidAttributes g_IspAttributes;
std::string g_strStatus;

void CloseIspDevice()
{
    g_hIspDevice.reset();
}

}  // namespace zelv4
