# What the cross build for Windows takes from the build machine. Debian ships
# CLI11 and nlohmann_json as headers only and GoogleTest as sources; the packages'
# own CMake files point at /usr/include, which must not reach a MinGW compile, so
# the headers are staged in the build tree and find_package() is redirected there.

set(ZELV4_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${ZELV4_HOST_HEADERS})
foreach(dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/deps")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${ZELV4_HOST_HEADERS}/${dir} SYMBOLIC)
endforeach()

# How every Windows header is read: Windows 7 and later, no min/max macros, and
# no UNICODE, so every W function is called by its own name: paths are UTF-8
# strings inside and go to the system through the W functions (sys/win32/WideText.h).
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Test programs run under Wine in a prefix of this build's own, made on first use.
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run --prefix ${CMAKE_BINARY_DIR}/wineprefix)
endif()

# A config file in the redirects directory wins over any other for find_package().
function(zelv4_redirect_package name version body)
  string(TOLOWER ${name} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake "${body}")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake
       "set(PACKAGE_VERSION ${version})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
endfunction()

foreach(package "CLI11;2;CLI11::CLI11" "nlohmann_json;3;nlohmann_json::nlohmann_json")
  list(GET package 0 name)
  list(GET package 1 version)
  list(GET package 2 target)
  zelv4_redirect_package(${name} ${version} "
if(NOT TARGET ${target})
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${ZELV4_HOST_HEADERS}\")
endif()
")
endforeach()

# GoogleTest built from Debian's sources with the MinGW compiler, without the
# project's -Werror (its sources are not ours to fix).
if(ZELV4_BUILD_TESTS)
  set(ZELV4_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
  if(NOT EXISTS ${ZELV4_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "${ZELV4_GOOGLETEST_SOURCE} has no GoogleTest sources: run scripts/deps")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  get_directory_property(zelv4_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${ZELV4_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${zelv4_options}")
  zelv4_redirect_package(GTest 1.12 "
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::\${lib})
    add_library(GTest::\${lib} ALIAS \${lib})
  endif()
endforeach()
set(GTest_FOUND TRUE)
")
endif()
