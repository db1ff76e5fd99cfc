onefile_host_test(child-command-line-test "${PROJECT_SOURCE_DIR}/tests/core/ChildCommandLineTest.cpp")
