# Builds of one application side by side, and the removal of superseded ones, with packed launchers
# whose child does what each test asks.
add_executable(build-child "${PROJECT_SOURCE_DIR}/tests/windows/programs/BuildChild.cpp")
target_link_options(build-child PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(build-child PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(builds-test "${PROJECT_SOURCE_DIR}/tests/windows/BuildsTest.cpp")
target_link_libraries(builds-test PRIVATE shell32)
add_dependencies(builds-test onefile-pack build-child)

# Warm starts that check only the files that changed since the last start that verified them.
onefile_windows_test(verify-changed-test "${PROJECT_SOURCE_DIR}/tests/windows/VerifyChangedTest.cpp")
target_link_libraries(verify-changed-test PRIVATE shell32)
add_dependencies(verify-changed-test onefile-pack build-child)
