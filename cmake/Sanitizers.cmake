# The host tree once more, built with AddressSanitizer and UndefinedBehaviorSanitizer:
# scripts/test configures it as build/host-sanitize and runs its tests in the same CTest run as the
# other trees. Its tests keep their names and carry the label "sanitize" instead of "host"
# (ctest -L sanitize runs only them, -LE sanitize leaves them out).
if(WIN32)
  message(FATAL_ERROR "ONEFILE_SANITIZE is for the host tree; the Windows tree is not sanitized")
endif()

# Any undefined behaviour ends the test with a report instead of printing and going on. -O1 keeps
# the runs quick and the reports exact.
set(ONEFILE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1)
add_compile_options(${ONEFILE_SANITIZER_FLAGS})
add_link_options(${ONEFILE_SANITIZER_FLAGS})

# Stricter than the defaults: use of a dead stack frame, string functions reading past a
# terminator, initialisation order across units; and a stack for every report of undefined
# behaviour. tests/host applies them to each of its tests.
set(ONEFILE_SANITIZER_ENVIRONMENT
  "ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1:detect_leaks=1"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

set_property(DIRECTORY PROPERTY LABELS sanitize)
