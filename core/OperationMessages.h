#pragma once

namespace zelv4 {

// The operations' outcome texts, exactly as the user sees them; the command line's
// own commands (probe, checksum) say the same things in the same words.
inline constexpr const char* ISP_MSG_OPEN_FILE_ERROR = "Open file error !!";
inline constexpr const char* ISP_MSG_MASS_ERASE_OK = "MassErase Function OK !";
inline constexpr const char* ISP_MSG_MASS_ERASE_FAIL = "MassErase Function Fail !!!";
inline constexpr const char* ISP_MSG_WRITE_OK = "Write Command Succeeded !";
inline constexpr const char* ISP_MSG_WRITE_FAIL = "Write Function Fail !!!";
inline constexpr const char* ISP_MSG_VERIFY_OK = "Verify Succeeded !";
inline constexpr const char* ISP_MSG_VERIFY_FAIL = "Verify Fail !!!";
inline constexpr const char* ISP_MSG_READ_OK = "Read Succeeded !";
inline constexpr const char* ISP_MSG_READ_FAIL = "Read Fail !!!";
inline constexpr const char* ISP_MSG_EXIT_ISP_OK = "Exit USB ISP Function OK !!!";
inline constexpr const char* ISP_MSG_EXIT_ISP_FAIL = "Exit USB ISP Function Fail !!!";
inline constexpr const char* ISP_MSG_DEVICE_NOT_FOUND = "Device not found !!";
inline constexpr const char* ISP_MSG_TIME_OUT = "Time Out !! Please check device and try again.";
inline constexpr const char* ISP_MSG_AUTO_OK = "ButtonAuto Function OK !!!";
inline constexpr const char* ISP_MSG_RESET_FAIL = "Reset Fail !!!";
inline constexpr const char* ISP_MSG_DEVICE_FOUND = "ZEL-V4 Found !";

}  // namespace zelv4
