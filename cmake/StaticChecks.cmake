# clang-tidy and cppcheck over our sources of both trees, as two tests of the host tree: a finding
# fails the CTest run like a failed test, and its output shows each finding as path:line:column.
# scripts/check runs the same outside CTest.
set(ONEFILE_CHECKED_WINDOWS_TREE "${CMAKE_BINARY_DIR}/../windows" CACHE PATH
  "The Windows build tree whose compile commands the static checks read")

foreach(tool clang-tidy cppcheck)
  add_test(NAME static-check-${tool}
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/check" ${tool} --host "${CMAKE_BINARY_DIR}" --windows "${ONEFILE_CHECKED_WINDOWS_TREE}")
  set_tests_properties(static-check-${tool} PROPERTIES LABELS static TIMEOUT 3600)
endforeach()
# clang-tidy runs as many analyses at once as there are processors.
cmake_host_system_information(RESULT onefile_processors QUERY NUMBER_OF_LOGICAL_CORES)
set_tests_properties(static-check-clang-tidy PROPERTIES PROCESSORS ${onefile_processors})
