#include "device/linux/UdevApi.h"

#include "sys/SharedLibrary.h"

namespace zelv4 {

bool UdevApi::Bind(const SharedLibrary& library, std::string& error)
{
#define ZELV4_UDEV_BIND(name) library.Bind(name, #name, error)&&
    return ZELV4_UDEV_FUNCTIONS(ZELV4_UDEV_BIND) true;
#undef ZELV4_UDEV_BIND
}

}  // namespace zelv4
