onefile_host_test(payload-test
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadStreamTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadRecordsTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/PayloadGroupTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/IntactCheckTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/FolderPrefixTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/ExtractionLockNameTest.cpp")
target_link_libraries(payload-test PRIVATE onefile_payload_writer)
target_include_directories(payload-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
