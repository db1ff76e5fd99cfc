# The fuzz target replayed over its committed corpus (crashes found by scripts/fuzz are added there).
add_executable(payload-walk-replay
  "${PROJECT_SOURCE_DIR}/tests/fuzz/PayloadWalkFuzz.cpp"
  "${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp")
target_link_libraries(payload-walk-replay PRIVATE onefile_core onefile_host_test_support)
add_test(NAME payload-walk-replay COMMAND payload-walk-replay "${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/payload-walk")
set_tests_properties(payload-walk-replay PROPERTIES TIMEOUT 300 LABELS host)

add_executable(payload-walk-seeds "${PROJECT_SOURCE_DIR}/tests/fuzz/MakeSeeds.cpp")
target_link_libraries(payload-walk-seeds PRIVATE onefile_payload_writer)
