# The packer on the host: its PE resource code against the real launcher stub (read back by
# llvm-readobj), and onefile-pack itself end to end.
set(ONEFILE_WINDOWS_STUB "${CMAKE_BINARY_DIR}/../windows/bin/onefile-launcher.exe")

add_library(onefile_packer_test_support STATIC "${CMAKE_CURRENT_SOURCE_DIR}/PackerTestSupport.cpp")
target_include_directories(onefile_packer_test_support PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(onefile_packer_test_support PUBLIC zlib_static onefile_packer_units)

onefile_host_test(packer-pe-test "${CMAKE_CURRENT_SOURCE_DIR}/PeResourceTest.cpp")
target_link_libraries(packer-pe-test PRIVATE onefile_packer_units onefile_packer_test_support)
set_tests_properties(packer-pe-test PROPERTIES ENVIRONMENT "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB}")

onefile_host_test(packer-sha256-test "${CMAKE_CURRENT_SOURCE_DIR}/Sha256Test.cpp")
target_link_libraries(packer-sha256-test PRIVATE onefile_packer_units)

onefile_host_test(packer-command-test "${CMAKE_CURRENT_SOURCE_DIR}/PackerCommandTest.cpp")
target_link_libraries(packer-command-test PRIVATE onefile_packer_units onefile_packer_test_support)
add_dependencies(packer-command-test onefile-pack)
target_include_directories(packer-command-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
set_tests_properties(packer-command-test PROPERTIES
  ENVIRONMENT "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB};ONEFILE_PACK=$<TARGET_FILE:onefile-pack>")

# The libraries every start of the launcher stub loads before its own code runs.
onefile_host_test(launcher-imports-test "${CMAKE_CURRENT_SOURCE_DIR}/LauncherImportsTest.cpp")
target_link_libraries(launcher-imports-test PRIVATE onefile_packer_test_support)
set_tests_properties(launcher-imports-test PROPERTIES ENVIRONMENT "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB}")

onefile_host_test(packer-streaming-test "${CMAKE_CURRENT_SOURCE_DIR}/PackerStreamingTest.cpp")
target_link_libraries(packer-streaming-test PRIVATE onefile_packer_units onefile_packer_test_support)
add_dependencies(packer-streaming-test onefile-pack bench-tree)
set_tests_properties(packer-streaming-test PROPERTIES
  ENVIRONMENT "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB};ONEFILE_PACK=$<TARGET_FILE:onefile-pack>;ONEFILE_BENCH_TREE=$<TARGET_FILE:bench-tree>")

# The Linux target: any ELF executable serves as its stub, since the packer copies it unchanged.
add_executable(packer-elf-stub "${CMAKE_CURRENT_SOURCE_DIR}/TinyElfStub.cpp")
onefile_host_test(packer-linux-test "${CMAKE_CURRENT_SOURCE_DIR}/PackerLinuxTest.cpp")
target_link_libraries(packer-linux-test PRIVATE onefile_packer_units onefile_packer_test_support)
add_dependencies(packer-linux-test onefile-pack packer-elf-stub)
set_tests_properties(packer-linux-test PROPERTIES ENVIRONMENT
  "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB};ONEFILE_PACK=$<TARGET_FILE:onefile-pack>;ONEFILE_ELF_STUB=$<TARGET_FILE:packer-elf-stub>")
