onefile_host_test(payload-test
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadStreamTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadRecordsTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadGroupTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/IntactCheckTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/FolderPrefixTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/FolderWalkTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/ExtractionLockNameTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/AppendedTrailerTest.cpp")
target_link_libraries(payload-test PRIVATE onefile_payload_writer)
target_include_directories(payload-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")

onefile_host_test(name-case-test
  "${PROJECT_SOURCE_DIR}/tests/core/NameCaseTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/SeenNamesTest.cpp")
target_compile_definitions(name-case-test PRIVATE ONEFILE_UNICODE_DATA="${ONEFILE_UNICODE_DATA}")

onefile_host_test(build-record-test
  "${PROJECT_SOURCE_DIR}/tests/core/BuildRecordTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/FolderStatesTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/SupersededBuildsTest.cpp")
