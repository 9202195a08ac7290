#include "device/linux/LibusbApi.h"

#include "sys/SharedLibrary.h"

namespace zelv4 {

bool LibusbApi::Bind(const SharedLibrary& library, std::string& error)
{
#define ZELV4_LIBUSB_BIND(name) library.Bind(name, #name, error)&&
    return ZELV4_LIBUSB_FUNCTIONS(ZELV4_LIBUSB_BIND) true;
#undef ZELV4_LIBUSB_BIND
}

}  // namespace zelv4
