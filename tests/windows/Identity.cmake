# A packed application's identity as Windows sees it (version resource, icons, side-by-side starts,
# damaged settings), and a packed launcher signed with Authenticode.
configure_file("${PROJECT_SOURCE_DIR}/tests/fixtures/identity/png-and-bitmap.ico" "${ONEFILE_FIXTURE_DIR}/identity-icon.ico" COPYONLY)

onefile_windows_test(identity-test "${PROJECT_SOURCE_DIR}/tests/windows/IdentityTest.cpp")
target_include_directories(identity-test PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
target_link_libraries(identity-test PRIVATE onefile_core version shell32 user32)
add_dependencies(identity-test onefile-pack quiet-child verifying-child Quorvell)

add_test(NAME signing-test
  COMMAND "${PROJECT_SOURCE_DIR}/tests/windows/signing-test.sh" "${ONEFILE_WINE_PREFIX}"
          "${CMAKE_BINARY_DIR}/../host/bin/onefile-pack" "$<TARGET_FILE:onefile-launcher>" "$<TARGET_FILE:child-recorder>"
          "${CMAKE_CURRENT_BINARY_DIR}/signing-test")
set_tests_properties(signing-test PROPERTIES TIMEOUT 600 LABELS windows SKIP_RETURN_CODE 77)
