# Desktop integration, the man page, and CPack's .deb packages (one per component:
# `cli` for zelv4-isp and the udev rule, `gui` for the window and its desktop files).

set(ZELV4_RES_DIR ${PROJECT_SOURCE_DIR}/res)

# Windows: one .zip with both programs (statically linked, nothing to install
# beside them) and a short README.
if(WIN32)
  configure_file(${ZELV4_RES_DIR}/README-windows.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION . COMPONENT cli)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME zelv4-writer)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME zelv4-writer-${PROJECT_VERSION}-win64)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# The web page: one .zip of the static files (build/wasm/site), for any https host.
if(EMSCRIPTEN)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME zelv4-writer)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME zelv4-writer-${PROJECT_VERSION}-web)
  include(CPack)
  return()
endif()

install(FILES ${ZELV4_RES_DIR}/org.zelv4.Writer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
# The release in the metainfo is the project's version.
configure_file(${ZELV4_RES_DIR}/org.zelv4.Writer.metainfo.xml.in ${CMAKE_BINARY_DIR}/org.zelv4.Writer.metainfo.xml
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/org.zelv4.Writer.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${ZELV4_RES_DIR}/icons/${size}x${size}/zelv4-writer.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT gui)
endforeach()

# The man page is generated from zelv4-isp's own --help and --version.
find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(ZELV4_MANPAGE ${CMAKE_BINARY_DIR}/zelv4-isp.1)
  add_custom_command(
    OUTPUT ${ZELV4_MANPAGE}
    COMMAND ${HELP2MAN} --no-info --section=1
            "--name=program the flash of a ZEL-V4 through its USB ISP loader"
            --output=${ZELV4_MANPAGE} $<TARGET_FILE:zelv4-isp>
    DEPENDS zelv4-isp
    COMMENT "Generating the zelv4-isp man page")
  add_custom_target(zelv4_manpage ALL DEPENDS ${ZELV4_MANPAGE})
  install(FILES ${ZELV4_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli OPTIONAL)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelv4-writer)
set(CPACK_PACKAGE_VENDOR "zelv4-writer developers")
set(CPACK_PACKAGE_CONTACT "zelv4-writer developers <devel@zelv4.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME zelv4-isp)
set(CPACK_DEBIAN_GUI_PACKAGE_NAME zelv4-writer)
# libudev and libusb are opened when a device is first needed (sys/SharedLibrary), so
# dpkg-shlibdeps does not see them: both programs depend on them by name.
set(ZELV4_DEVICE_LIBRARY_DEPENDS "libudev1, libusb-1.0-0 (>= 2:1.0.24)")
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${ZELV4_DEVICE_LIBRARY_DEPENDS}")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "fonts-arphic-uming, ${ZELV4_DEVICE_LIBRARY_DEPENDS}")
# --record loads its database clients when it is used (record/), in the same way:
# named here too. 3.35: RETURNING.
if(TARGET zelv4_record)
  string(APPEND CPACK_DEBIAN_CLI_PACKAGE_DEPENDS ", libsqlite3-0 (>= 3.35)")
  if(ZELV4_RECORD_POSTGRES)
    string(APPEND CPACK_DEBIAN_CLI_PACKAGE_DEPENDS ", libpq5")
  endif()
endif()
set(CPACK_COMPONENT_CLI_DISPLAY_NAME "Command line")
set(CPACK_COMPONENT_CLI_DESCRIPTION "zelv4-isp: erase, write, verify, read and release a ZEL-V4 from scripts")
set(CPACK_COMPONENT_GUI_DISPLAY_NAME "Window")
set(CPACK_COMPONENT_GUI_DESCRIPTION "zelv4-writer: the ZEL-V4 HID Writer dialog")
# The window needs the udev rule that comes with the command line's package.
set(CPACK_COMPONENT_GUI_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL cli gui)
include(CPack)
