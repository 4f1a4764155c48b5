# Install rules and the Debian package (./scripts/package, or cpack in the build folder).
#
# The package holds the program, the simulated device, their desktop entries, icons and AppStream
# metainfo, the Wireshark dissector and the documentation (README.md, the device's as
# lx5200e-sim.md, the manual pages). The icons are rendered at build time
# by render-icons from the drawing code the windows use, so the installed icons and the windows'
# icons never differ.

include(GNUInstallDirs)

# Installing (cpack, ninja install) builds only what it installs, not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(MINTORA_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/packaging)
# The program's version is 1.00; Debian's is written with three parts.
set(MINTORA_PACKAGE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
if(NOT PROJECT_VERSION_PATCH)
  set(MINTORA_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0")
endif()
# The simulated device prints the same version (--version), as do the manual pages.
target_compile_definitions(lx5200e-sim PRIVATE MINTORA_VERSION="${MINTORA_PACKAGE_VERSION}")
set(MINTORA_PACKAGE_EMAIL "mintora@tessaline.invalid")
set(MINTORA_APP_ID com.tessaline.Mintora)
set(MINTORA_SIM_ID com.tessaline.Lx5200eSim)

add_executable(render-icons ${MINTORA_PACKAGE_DIR}/RenderIcons.cpp)
target_link_libraries(render-icons PRIVATE mintora_art mintora_sim)

set(MINTORA_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(MINTORA_ICON_FILES)
foreach(size 16 32 48 256)
  foreach(id ${MINTORA_APP_ID} ${MINTORA_SIM_ID})
    list(APPEND MINTORA_ICON_FILES ${MINTORA_ICON_DIR}/hicolor/${size}x${size}/apps/${id}.png)
  endforeach()
endforeach()
add_custom_command(OUTPUT ${MINTORA_ICON_FILES}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:render-icons>
          ${MINTORA_ICON_DIR}
  DEPENDS render-icons
  COMMENT "Rendering the icons")
add_custom_target(icons ALL DEPENDS ${MINTORA_ICON_FILES})

# The application icon as one .ico, which the Windows build compiles into Mintora.exe (its cache
# variable MINTORA_APP_ICO names this file by default).
add_custom_command(OUTPUT ${MINTORA_ICON_DIR}/Mintora.ico
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:render-icons>
          --ico ${MINTORA_ICON_DIR}/Mintora.ico
  DEPENDS render-icons
  COMMENT "Rendering the application icon for Windows")
# The picture of the Windows installer's welcome and finish pages, beside it (the Windows build
# finds it there, see cmake/WindowsInstaller.cmake).
add_custom_command(OUTPUT ${MINTORA_ICON_DIR}/MintoraWizard.bmp
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:render-icons>
          --wizard ${MINTORA_ICON_DIR}/MintoraWizard.bmp
  DEPENDS render-icons
  COMMENT "Rendering the Windows installer's picture")
add_custom_target(app-ico ALL DEPENDS ${MINTORA_ICON_DIR}/Mintora.ico
  ${MINTORA_ICON_DIR}/MintoraWizard.bmp)

# Debian wants the changelog compressed, reproducibly (no name, no time stamp in the gzip header).
configure_file(${MINTORA_PACKAGE_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
find_program(MINTORA_GZIP gzip)
if(MINTORA_GZIP)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND ${MINTORA_GZIP} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
  add_custom_target(package-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
endif()

install(TARGETS Mintora lx5200e-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Manual pages, with the version filled in and compressed as Debian wants them.
set(MINTORA_MAN_PAGES)
foreach(page Mintora.1 lx5200e-sim.1)
  configure_file(${MINTORA_PACKAGE_DIR}/${page}.in ${CMAKE_CURRENT_BINARY_DIR}/man/${page} @ONLY)
  if(MINTORA_GZIP)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz
      COMMAND ${MINTORA_GZIP} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page})
    list(APPEND MINTORA_MAN_PAGES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  endif()
endforeach()
if(MINTORA_MAN_PAGES)
  add_custom_target(man-pages ALL DEPENDS ${MINTORA_MAN_PAGES})
  add_dependencies(package-changelog man-pages)
  install(FILES ${MINTORA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(DIRECTORY ${MINTORA_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${MINTORA_PACKAGE_DIR}/${MINTORA_APP_ID}.desktop
              ${MINTORA_PACKAGE_DIR}/${MINTORA_SIM_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MINTORA_PACKAGE_DIR}/${MINTORA_APP_ID}.metainfo.xml
              ${MINTORA_PACKAGE_DIR}/${MINTORA_SIM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Wireshark's global folder for Lua plugins (tshark -G folders: "Global Lua Plugins"), which
# Debian keeps under the multiarch library folder.
set(MINTORA_WIRESHARK_LIB lib)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(MINTORA_WIRESHARK_LIB lib/${CMAKE_LIBRARY_ARCHITECTURE})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/wireshark/lx5200e.lua
        DESTINATION ${MINTORA_WIRESHARK_LIB}/wireshark/plugins)
set(MINTORA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/mintora)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${MINTORA_PACKAGE_DIR}/copyright
        DESTINATION ${MINTORA_DOC_DIR})
# The simulated device's own guide (its headless commands, datagrams and log lines), which its
# manual page points to.
install(FILES ${PROJECT_SOURCE_DIR}/sim/README.md DESTINATION ${MINTORA_DOC_DIR}
        RENAME lx5200e-sim.md)
if(MINTORA_GZIP)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${MINTORA_DOC_DIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mintora)
set(CPACK_PACKAGE_VERSION ${MINTORA_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR Tessaline)
set(CPACK_PACKAGE_CONTACT "Tessaline <${MINTORA_PACKAGE_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vending machine emulator for MDB coin changers")
# CPack puts the summary first and indents these lines; an empty line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Mintora plays the vending machine controller of an MDB coin changer that
hangs on the bus of an LX-5200-E interface device, reached over UDP: a
vending panel with credit, ten products and Change Return, and dialogs for
prices, connection, coin types and what the changer reports about itself.

The package also holds lx5200e-sim, a simulated LX-5200-E with a coin
changer behind it, and a Wireshark dissector for the device's traffic.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialogs are laid out with Liberation Sans (Arial's metrics), DejaVu Sans as the fallback.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation | fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
include(CPack)
