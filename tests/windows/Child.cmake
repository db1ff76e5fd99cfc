# The child process: quoting, hand-off, launch, wait, exit codes and the console control handler.

# The test child, packed into launchers at test time.
add_executable(child-recorder WIN32 "${PROJECT_SOURCE_DIR}/tests/windows/ChildRecorder.cpp")
target_compile_definitions(child-recorder PRIVATE UNICODE _UNICODE)
target_link_libraries(child-recorder PRIVATE shell32)
target_link_options(child-recorder PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(child-recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(child-test
  "${PROJECT_SOURCE_DIR}/tests/core/ChildCommandLineTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/windows/ChildQuotingTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/windows/ChildLaunchTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/windows/ChildHandlerTest.cpp")
target_link_libraries(child-test PRIVATE onefile_launcher_units)
add_dependencies(child-test child-recorder)

# Drive Q: mapped to a directory of the build tree for the test of a launcher at a drive's root.
set(child_drive_directory "${CMAKE_CURRENT_BINARY_DIR}/child-drive")
add_test(NAME child-drive-map
  COMMAND sh -c "mkdir -p \"$1\" && ln -sfn \"$1\" \"$2/dosdevices/q:\"" sh "${child_drive_directory}" "${ONEFILE_WINE_PREFIX}")
add_test(NAME child-drive-unmap COMMAND rm -f "${ONEFILE_WINE_PREFIX}/dosdevices/q:")
set_tests_properties(child-drive-map PROPERTIES FIXTURES_SETUP child_drive)
set_tests_properties(child-drive-unmap PROPERTIES FIXTURES_CLEANUP child_drive)
set_tests_properties(child-test PROPERTIES FIXTURES_REQUIRED child_drive)
