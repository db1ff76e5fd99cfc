# Location templates and directory creation against a fake Windows edge (tests/support/HostFakes).
add_library(onefile_host_fakes STATIC "${PROJECT_SOURCE_DIR}/tests/support/HostFakes.cpp")
target_include_directories(onefile_host_fakes PUBLIC "${PROJECT_SOURCE_DIR}/tests/support")
target_link_libraries(onefile_host_fakes PUBLIC onefile_core)

onefile_host_test(location-template-test "${CMAKE_CURRENT_SOURCE_DIR}/LocationTemplateTest.cpp")
target_link_libraries(location-template-test PRIVATE onefile_host_fakes)

onefile_host_test(directory-creation-test "${CMAKE_CURRENT_SOURCE_DIR}/DirectoryCreationTest.cpp")
target_link_libraries(directory-creation-test PRIVATE onefile_host_fakes)
