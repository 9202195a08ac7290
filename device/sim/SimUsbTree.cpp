#include "SimUsbTree.h"

namespace zelv4 {

std::unique_ptr<UsbHostController> SimUsbTree::OpenHostController(unsigned /*index*/)
{
    return nullptr;
}

std::unique_ptr<UsbHub> SimUsbTree::OpenHub(const std::string& /*name*/)
{
    return nullptr;
}

}  // namespace zelv4
