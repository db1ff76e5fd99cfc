# The packer on the host: its PE resource code against the real launcher stub (read back by
# llvm-readobj), and onefile-pack itself end to end.
set(ONEFILE_WINDOWS_STUB "${CMAKE_BINARY_DIR}/../windows/bin/onefile-launcher.exe")

add_library(onefile_packer_test_support STATIC "${CMAKE_CURRENT_SOURCE_DIR}/PackerTestSupport.cpp")
target_include_directories(onefile_packer_test_support PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")

onefile_host_test(packer-pe-test "${CMAKE_CURRENT_SOURCE_DIR}/PeResourceTest.cpp")
target_link_libraries(packer-pe-test PRIVATE onefile_packer_units onefile_packer_test_support)
set_tests_properties(packer-pe-test PROPERTIES ENVIRONMENT "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB}")
