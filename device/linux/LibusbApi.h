#pragma once

#include <libusb.h>

#include <string>

#include "sys/SharedLibrary.h"

namespace zelv4 {

// The libusb functions the bus scan uses, loaded when the backend is made. libusb
// only carries the control requests: it is told not to list the bus itself, and is
// handed the node of each device the scan asks.
#define ZELV4_LIBUSB_FUNCTIONS(X)                                                                                      \
    X(libusb_set_option)                                                                                               \
    X(libusb_init)                                                                                                     \
    X(libusb_exit)                                                                                                     \
    X(libusb_wrap_sys_device)                                                                                          \
    X(libusb_close)                                                                                                    \
    X(libusb_control_transfer)

struct LibusbApi {
    static constexpr const char* LIBRARY = "libusb-1.0.so.0";
    static constexpr const char* PACKAGE = "libusb-1.0-0";

    ZELV4_LIBRARY_TABLE(ZELV4_LIBUSB_FUNCTIONS)
};

}  // namespace zelv4
