# The Linux launcher natively: packed launchers assembled here from the stub, settings bytes, a
# payload, the executable bits and the trailer, or packed by onefile-pack, started as a caller
# starts them.
add_executable(linux-recording-program "${CMAKE_CURRENT_SOURCE_DIR}/RecordingProgram.cpp")

onefile_host_test(linux-launcher-test
  "${CMAKE_CURRENT_SOURCE_DIR}/LinuxLauncherFactory.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/LauncherFixture.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/CacheTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/ProgramTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/ReliabilityTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/HostileTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/FoldersTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/VerifyChangedTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/PackedTest.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/BuildsTest.cpp")
target_include_directories(linux-launcher-test PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests/core")
target_link_libraries(linux-launcher-test PRIVATE onefile_payload_writer onefile_packer_test_support)
add_dependencies(linux-launcher-test onefile-launcher linux-recording-program onefile-pack)
# umask 022 for the modes the tests expect; the tests make and remove their folders below /tmp.
set_tests_properties(linux-launcher-test PROPERTIES
  ENVIRONMENT "ONEFILE_LINUX_STUB=$<TARGET_FILE:onefile-launcher>;ONEFILE_RECORDING_PROGRAM=$<TARGET_FILE:linux-recording-program>;ONEFILE_PACK=$<TARGET_FILE:onefile-pack>")
