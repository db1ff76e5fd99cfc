# The manual page names every command and option that onefile-pack --help names, and no other
# (tests/install/manpage_test.py). Once per build: not again in the sanitizer tree.
if(NOT ONEFILE_SANITIZE)
  find_program(ONEFILE_PYTHON3 python3 REQUIRED)
  add_test(NAME manpage-in-step
    COMMAND "${ONEFILE_PYTHON3}" "${PROJECT_SOURCE_DIR}/tests/install/manpage_test.py"
            "$<TARGET_FILE:onefile-pack>" "${PROJECT_SOURCE_DIR}/packer/onefile-pack.1.in")
  set_tests_properties(manpage-in-step PROPERTIES LABELS host TIMEOUT 60)
endif()
