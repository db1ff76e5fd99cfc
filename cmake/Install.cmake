# Install rules. `cmake --install build/host` lays out a Unix prefix, what the Debian package
# holds; `cmake --install build/windows` lays out the Windows zip's folder (cmake/InstallLayout.cmake).
# scripts/package makes both packages from them.
include(CMakePackageConfigHelpers)
set(install_generated "${CMAKE_BINARY_DIR}/generated/install")

install(TARGETS onefile-pack RUNTIME DESTINATION "${ONEFILE_INSTALL_BINDIR}")
if(WIN32)
  # As built: it is stripped when linked, and a second strip would give it a new time stamp, so
  # that the zip's stub would differ from the Debian package's.
  install(PROGRAMS "$<TARGET_FILE:onefile-launcher>" DESTINATION "${ONEFILE_INSTALL_STUBDIR}")
else()
  # The host tree does not build the stub: it installs the Windows tree's, as data without the
  # execute bit, since nothing runs it on this system.
  cmake_path(SET default_stub NORMALIZE "${CMAKE_BINARY_DIR}/../windows/bin/onefile-launcher.exe")
  set(ONEFILE_INSTALL_STUB "${default_stub}" CACHE FILEPATH "The launcher stub that the host tree installs (the Windows tree builds it)")
  install(CODE "
    if(NOT EXISTS [[${ONEFILE_INSTALL_STUB}]])
      message(FATAL_ERROR [[The install needs the launcher stub '${ONEFILE_INSTALL_STUB}', which the Windows tree builds: run scripts/build, or set ONEFILE_INSTALL_STUB to a stub.]])
    endif()")
  install(FILES "${ONEFILE_INSTALL_STUB}" DESTINATION "${ONEFILE_INSTALL_STUBDIR}")
  # The Linux launcher, beside the Windows one, where this tree builds it.
  if(TARGET onefile-launcher)
    install(PROGRAMS "$<TARGET_FILE:onefile-launcher>" DESTINATION "${ONEFILE_INSTALL_STUBDIR}")
  endif()
endif()

# One licence file for both packages: ours, and the notices of what the Windows executables
# carry linked in, in the machine-readable form that Debian wants.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" licence_lines)
set(ONEFILE_LICENSE_PARAGRAPH "")
foreach(line IN LISTS licence_lines)
  if(line STREQUAL "")
    set(line ".")
  endif()
  string(APPEND ONEFILE_LICENSE_PARAGRAPH " ${line}\n")
endforeach()
string(STRIP "${ONEFILE_LICENSE_PARAGRAPH}" ONEFILE_LICENSE_PARAGRAPH)
string(PREPEND ONEFILE_LICENSE_PARAGRAPH " ")
configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright.in" "${install_generated}/copyright" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/LICENSE")

# The README links into docs/, so the documents travel with it.
file(GLOB ONEFILE_DOCS CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/docs/*.md")
install(FILES ${ONEFILE_DOCS} DESTINATION "${ONEFILE_INSTALL_DOCDIR}/docs")

if(WIN32)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${ONEFILE_INSTALL_DOCDIR}")
  install(FILES "${install_generated}/copyright" DESTINATION "${ONEFILE_INSTALL_DOCDIR}" RENAME LICENSE.txt)
else()
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${install_generated}/copyright" DESTINATION "${ONEFILE_INSTALL_DOCDIR}")
  configure_file("${PROJECT_SOURCE_DIR}/packer/onefile-pack.1.in" "${install_generated}/onefile-pack.1" @ONLY)
  install(FILES "${install_generated}/onefile-pack.1" DESTINATION "${ONEFILE_INSTALL_MANDIR}")
  # For cross-building applications with Debian's mingw-w64 (see the README's "Use from CMake").
  install(FILES "${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake" DESTINATION "${ONEFILE_INSTALL_DATADIR}")
endif()

# The CMake package: find_package(OnefilePack) and onefile_add_executable().
set(ONEFILE_PACK_FILE_NAME "onefile-pack${CMAKE_EXECUTABLE_SUFFIX}")
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/OnefilePack/OnefilePackConfig.cmake.in"
  "${install_generated}/OnefilePackConfig.cmake"
  INSTALL_DESTINATION "${ONEFILE_INSTALL_CMAKEDIR}"
  PATH_VARS ONEFILE_INSTALL_BINDIR ONEFILE_INSTALL_STUBDIR)
# The packer runs on the build machine, whatever the application's target: no architecture check.
write_basic_package_version_file("${install_generated}/OnefilePackConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
  "${install_generated}/OnefilePackConfig.cmake"
  "${install_generated}/OnefilePackConfigVersion.cmake"
  "${PROJECT_SOURCE_DIR}/cmake/OnefilePack/OnefilePackFunctions.cmake"
  "${PROJECT_SOURCE_DIR}/cmake/OnefilePack/OnefilePackStep.cmake"
  DESTINATION "${ONEFILE_INSTALL_CMAKEDIR}")
