# The launcher's spine: the header test, the reports and exit codes, the bounded texts and the
# environment.

# Launchers whose resource 27 is wrong in one way each (the plain stub has no resource 27).
set(header_payloads
  "short-2:QO"
  "short-1:Q"
  "case-0:qOV"
  "case-1:QoV"
  "case-2:QOv"
  "byte-0:XOV"
  "byte-1:QXV"
  "byte-2:QOX"
  "valid:QOV"
)
foreach(entry IN LISTS header_payloads)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 bytes)
  set(payload "${CMAKE_CURRENT_BINARY_DIR}/fixtures/header-${name}.bin")
  file(WRITE "${payload}" "${bytes}")
  onefile_fixture_launcher(header-${name} "${payload}")
  list(APPEND header_fixtures header-${name})
endforeach()

add_executable(report-probe "${PROJECT_SOURCE_DIR}/tests/windows/ReportProbe.cpp")
target_link_libraries(report-probe PRIVATE onefile_launcher_units)
target_link_options(report-probe PRIVATE ${ONEFILE_STATIC_LINK} -municode)
set_target_properties(report-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_FIXTURE_DIR}")

onefile_windows_test(spine-test
  "${PROJECT_SOURCE_DIR}/tests/windows/SpineTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/windows/ReportBoxTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/windows/EnvironmentTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/WideStringTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/ReportTextTest.cpp")
target_link_libraries(spine-test PRIVATE onefile_launcher_units)
add_dependencies(spine-test onefile-launcher report-probe ${header_fixtures})
