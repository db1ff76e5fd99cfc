# Template expansion against the real system queries and environment.
onefile_windows_test(templates-test "${PROJECT_SOURCE_DIR}/tests/windows/TemplatesTest.cpp")
target_link_libraries(templates-test PRIVATE onefile_launcher_units)
