# onefile-pack for Windows under Wine: packing, Windows' own view of the result, and a refusal.
configure_file("${PROJECT_SOURCE_DIR}/demo/splash.png" "${ONEFILE_FIXTURE_DIR}/packer-splash.png" COPYONLY)

# A console application, for the launcher that takes on its subsystem.
add_executable(console-child "${PROJECT_SOURCE_DIR}/tests/windows/programs/ConsoleChild.cpp")
target_link_options(console-child PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(console-child PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(packer-test "${PROJECT_SOURCE_DIR}/tests/windows/PackerTest.cpp")
target_include_directories(packer-test PRIVATE "${PROJECT_SOURCE_DIR}/static_src/core")
# The packer's SHA-256: the folder a packed launcher unpacks into names its payload's digest.
target_link_libraries(packer-test PRIVATE onefile_packer_units)
add_dependencies(packer-test onefile-pack quiet-child console-child)
