# The Windows installer, build-windows/package/Mintora-<version>-setup.exe, made with NSIS
# (makensis, Debian's nsis) from packaging/windows/Mintora.nsi whenever Mintora.exe, the script,
# the README, the icon or the pages' picture changes. ./scripts/package --windows builds it and
# prints its path; the installer test (tests/wine/installer-test.sh) installs it in a Wine prefix
# of its own.
set(MINTORA_PACKAGE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
if(NOT PROJECT_VERSION_PATCH)
  set(MINTORA_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0")
endif()
set(MINTORA_INSTALLER
    "${CMAKE_BINARY_DIR}/package/Mintora-${MINTORA_PACKAGE_VERSION}-setup.exe" CACHE INTERNAL "")

find_program(MINTORA_MAKENSIS makensis)
if(NOT MINTORA_MAKENSIS)
  # The build goes on without it; the installer test then fails, naming what is missing.
  message(WARNING "makensis not found (Debian's nsis, see scripts/setup): no installer is built")
  return()
endif()

set(nsi "${PROJECT_SOURCE_DIR}/packaging/windows/Mintora.nsi")
set(defines -DVERSION=${MINTORA_PACKAGE_VERSION} -DMINTORA_EXE=$<TARGET_FILE:Mintora>
  -DREADME=${PROJECT_SOURCE_DIR}/README.md -DOUTFILE=${MINTORA_INSTALLER})
set(depends Mintora "${nsi}" "${PROJECT_SOURCE_DIR}/README.md")
# The installer shows the program's icon when there is one (see app/CMakeLists.txt).
if(EXISTS "${MINTORA_APP_ICO}")
  list(APPEND defines -DICON=${MINTORA_APP_ICO})
  list(APPEND depends "${MINTORA_APP_ICO}")
endif()
# And the welcome and finish pages' picture, which the Linux build renders beside the icon
# (render-icons --wizard, target app-ico); without it NSIS's own picture stands there.
get_filename_component(icon_dir "${MINTORA_APP_ICO}" DIRECTORY)
set(MINTORA_WIZARD_BMP "${icon_dir}/MintoraWizard.bmp" CACHE FILEPATH
  "The Windows installer's welcome and finish picture (164 x 314 BMP)")
if(EXISTS "${MINTORA_WIZARD_BMP}")
  list(APPEND defines -DWIZARD_BMP=${MINTORA_WIZARD_BMP})
  list(APPEND depends "${MINTORA_WIZARD_BMP}")
else()
  message(WARNING "No installer picture at ${MINTORA_WIZARD_BMP}: build it on Linux with "
    "cmake --build --preset default --target app-ico, or set MINTORA_WIZARD_BMP")
endif()
# -WX: a warning of makensis is a fault of the script.
add_custom_command(OUTPUT "${MINTORA_INSTALLER}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/package"
  COMMAND ${MINTORA_MAKENSIS} -V2 -WX ${defines} "${nsi}"
  DEPENDS ${depends}
  COMMENT "Building the installer ${MINTORA_INSTALLER}"
  VERBATIM)
add_custom_target(installer ALL DEPENDS "${MINTORA_INSTALLER}")
