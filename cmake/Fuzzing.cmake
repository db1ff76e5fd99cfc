# The fuzz tree, build/fuzz, that scripts/fuzz configures with clang: every unit carries
# libFuzzer's coverage instrumentation and AddressSanitizer and UndefinedBehaviorSanitizer, and the
# fuzz targets (tests/host/Fuzz.cmake) link libFuzzer's main. Only those targets are built there.
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ONEFILE_FUZZ needs the host tree built with clang (scripts/fuzz sets it up)")
endif()
set(ONEFILE_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -g -O1)
add_compile_options(${ONEFILE_FUZZ_FLAGS})
add_link_options(-fsanitize=address,undefined)
