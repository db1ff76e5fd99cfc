# Simultaneous starts, interrupted extraction and faults, with launchers whose child checks every
# file it was given.
add_executable(verifying-child "${PROJECT_SOURCE_DIR}/tests/windows/programs/VerifyingChild.cpp")
target_link_libraries(verifying-child PRIVATE onefile_core)
target_link_options(verifying-child PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(verifying-child PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(reliability-test "${PROJECT_SOURCE_DIR}/tests/windows/ReliabilityTest.cpp")
target_link_libraries(reliability-test PRIVATE onefile_core)
add_dependencies(reliability-test verifying-child)

add_test(NAME reliability-small-disk-test
  COMMAND "${PROJECT_SOURCE_DIR}/tests/windows/small-disk-test.sh" "${ONEFILE_WINE_PREFIX}" "$<TARGET_FILE:reliability-test>")
set_tests_properties(reliability-small-disk-test PROPERTIES TIMEOUT 600 LABELS windows SKIP_RETURN_CODE 77)
