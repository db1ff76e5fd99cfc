# Extraction by real launchers made at test time (tests/support/LauncherFactory).
add_executable(quiet-child "${PROJECT_SOURCE_DIR}/tests/windows/programs/QuietChild.cpp")
target_link_options(quiet-child PRIVATE ${ONEFILE_STATIC_LINK})
set_target_properties(quiet-child PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(extraction-test "${PROJECT_SOURCE_DIR}/tests/windows/ExtractionTest.cpp")
target_link_libraries(extraction-test PRIVATE onefile_core)
target_include_directories(extraction-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
add_dependencies(extraction-test quiet-child)
