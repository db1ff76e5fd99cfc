# A packed application's identity: the settings resource and the rules its values obey (portable
# core), and the packer's readers and writers of version resources and icons.
set(ONEFILE_IDENTITY_FIXTURES "${PROJECT_SOURCE_DIR}/tests/fixtures/identity")

onefile_host_test(identity-core-test
  "${PROJECT_SOURCE_DIR}/tests/core/LauncherSettingsTest.cpp"
  "${PROJECT_SOURCE_DIR}/tests/core/IdentityRulesTest.cpp")
target_link_libraries(identity-core-test PRIVATE onefile_host_fakes)
target_include_directories(identity-core-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
set_tests_properties(identity-core-test PROPERTIES ENVIRONMENT "ONEFILE_IDENTITY_FIXTURES=${ONEFILE_IDENTITY_FIXTURES}")

onefile_host_test(packer-identity-test "${CMAKE_CURRENT_SOURCE_DIR}/IdentityResourceTest.cpp")
target_link_libraries(packer-identity-test PRIVATE onefile_packer_units onefile_packer_test_support)
set_tests_properties(packer-identity-test PROPERTIES ENVIRONMENT "ONEFILE_IDENTITY_FIXTURES=${ONEFILE_IDENTITY_FIXTURES}")

# onefile-pack end to end, with the Windows build's stub and demo program.
onefile_host_test(pack-identity-test "${CMAKE_CURRENT_SOURCE_DIR}/PackIdentityTest.cpp")
target_link_libraries(pack-identity-test PRIVATE onefile_packer_units onefile_packer_test_support)
add_dependencies(pack-identity-test onefile-pack)
set_tests_properties(pack-identity-test PROPERTIES ENVIRONMENT
  "ONEFILE_STUB=${ONEFILE_WINDOWS_STUB};ONEFILE_PACK=$<TARGET_FILE:onefile-pack>;ONEFILE_IDENTITY_FIXTURES=${ONEFILE_IDENTITY_FIXTURES};ONEFILE_DEMO_PROGRAM=${CMAKE_BINARY_DIR}/../windows/demo/app/Quorvell.exe;ONEFILE_DEMO_ICON=${PROJECT_SOURCE_DIR}/demo/demo.ico")
