# Directory creation on the real file system, in a folder of its own under the temporary directory.
onefile_windows_test(directories-test "${PROJECT_SOURCE_DIR}/tests/windows/DirectoriesTest.cpp")
target_link_libraries(directories-test PRIVATE onefile_launcher_units)
