# The splash screen. A probe program shows the splash from its own resource 28 as the launcher
# does and reports what came of it; there is one probe per fixture image (made with ImageMagick at
# build time, see splash_fixtures.py) and one without resource 28. A Windows-side test reads the
# probes' reports, and a script on the Linux side takes real screenshots of the display.
set(splash_script_dir "${PROJECT_SOURCE_DIR}/tests/windows")
set(splash_probe_dir "${ONEFILE_FIXTURE_DIR}/splash")
set(splash_image_dir "${splash_probe_dir}/images")

find_program(ONEFILE_PYTHON3 python3 REQUIRED)
execute_process(COMMAND "${ONEFILE_PYTHON3}" "${splash_script_dir}/splash_fixtures.py" --list
                OUTPUT_VARIABLE splash_fixture_names OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" splash_fixture_names "${splash_fixture_names}")
set(splash_images "")
foreach(name IN LISTS splash_fixture_names)
  list(APPEND splash_images "${splash_image_dir}/${name}.img")
endforeach()
add_custom_command(OUTPUT ${splash_images}
  COMMAND "${ONEFILE_PYTHON3}" "${splash_script_dir}/splash_fixtures.py" --make "${splash_image_dir}"
  DEPENDS "${splash_script_dir}/splash_fixtures.py"
  COMMENT "Making the splash test images")
add_custom_target(splash-images DEPENDS ${splash_images})

add_library(splash_probe_main OBJECT "${splash_script_dir}/SplashProbe.cpp")
target_link_libraries(splash_probe_main PRIVATE onefile_launcher_units)

function(splash_probe name)
  add_executable(${name} WIN32 $<TARGET_OBJECTS:splash_probe_main> ${ARGN})
  # The probe itself asks COM and user32; the launcher's units load them only when needed.
  target_link_libraries(${name} PRIVATE onefile_launcher_units ole32 user32)
  target_link_options(${name} PRIVATE ${ONEFILE_STATIC_LINK} -municode -mwindows)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${splash_probe_dir}")
  list(APPEND splash_probes ${name})
  set(splash_probes ${splash_probes} PARENT_SCOPE)
endfunction()

set(splash_probes "")
splash_probe(splash-probe-none)
foreach(name IN LISTS splash_fixture_names)
  set(image "${splash_image_dir}/${name}.img")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/splash-resources/${name}.rc")
  file(WRITE "${rc}" "28 RCDATA \"${image}\"\n")
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${image}")
  splash_probe(splash-probe-${name} "${rc}")
  add_dependencies(splash-probe-${name} splash-images)
endforeach()

onefile_windows_test(splash-test "${splash_script_dir}/SplashTest.cpp")
target_link_libraries(splash-test PRIVATE onefile_core)
add_dependencies(splash-test ${splash_probes})

# Packed launchers whose child finds the splash and dismisses it, or not.
add_executable(splash-child "${splash_script_dir}/programs/SplashChild.cpp")
target_link_options(splash-child PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(splash-child PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")
onefile_windows_test(splash-launcher-test "${splash_script_dir}/SplashLauncherTest.cpp")
add_dependencies(splash-launcher-test splash-child splash-images)

add_test(NAME splash-screenshot
  COMMAND "${ONEFILE_PYTHON3}" "${splash_script_dir}/splash_screenshot.py"
          --wine-run "${PROJECT_SOURCE_DIR}/cmake/wine-run" --prefix "${ONEFILE_WINE_PREFIX}"
          --probes "${splash_probe_dir}" --images "${splash_image_dir}"
          --work "${CMAKE_CURRENT_BINARY_DIR}/splash-screenshot")
set_tests_properties(splash-screenshot PROPERTIES TIMEOUT 600 LABELS windows)
