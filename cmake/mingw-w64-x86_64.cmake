# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix-threads
# variant, which std::thread and std::mutex need). Everything is linked
# statically, so the .exe files need nothing but the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELV4_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELV4_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELV4_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELV4_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ZELV4_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELV4_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (cmake/WindowsBuild.cmake gives the build its own prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
