# cmake -DPROGRAM=path -P WithoutDisplay.cmake
# The window program started with no DISPLAY, then with a DISPLAY that names no
# server: each time one line saying why on stderr and exit code 1, not an abort.
get_filename_component(name "${PROGRAM}" NAME)

# A display number no X server listens on.
set(absent 399)
while(EXISTS "/tmp/.X11-unix/X${absent}")
  math(EXPR absent "${absent} + 1")
endwhile()

# Set here rather than through "cmake -E env", which turns an abort into exit 1.
unset(ENV{QT_QPA_PLATFORM})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{XDG_SESSION_TYPE})
foreach(case unset absent)
  if(case STREQUAL "unset")
    unset(ENV{DISPLAY})
    set(reason "DISPLAY is not set")
  else()
    set(ENV{DISPLAY} :${absent})
    set(reason "could not connect to display :${absent}")
  endif()
  execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  set(expected "${name}: cannot open the display: ${reason}\n")
  if(NOT result STREQUAL "1" OR NOT err STREQUAL expected OR NOT out STREQUAL "")
    message(FATAL_ERROR "${case}: exit [${result}], expected [1]\nstderr [${err}]\nexpected [${expected}]\n"
                        "stdout [${out}]")
  endif()
  message(STATUS "${case}: exit 1, ${err}")
endforeach()
