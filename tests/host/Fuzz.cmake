# Fuzz targets: every tests/fuzz/<Name>Fuzz.cpp is one, with its corpus in tests/fuzz/corpus/<name>
# (<Name> in lower case with dashes: PeList -> pe-list) and, if it has one, its dictionary in
# tests/fuzz/<name>.dict. In the host trees each target is linked with ReplayMain.cpp as
# <name>-replay, a test that runs every file of its corpus once; in the fuzz tree (scripts/fuzz)
# as <name>-fuzz, the libFuzzer program. A new target needs no line here, only its file and a
# corpus with at least one input. Every target may use the core, the packer's units and the host
# fakes of the system's values (tests/support/HostFakes).
add_library(onefile_fuzz_support INTERFACE)
# The host's stop is compiled into each program: the core's units refer to it from wherever the
# linker meets them.
target_sources(onefile_fuzz_support INTERFACE "${PROJECT_SOURCE_DIR}/tests/support/HostStop.cpp")
target_link_libraries(onefile_fuzz_support INTERFACE onefile_packer_units onefile_host_fakes)

if(ONEFILE_FUZZ)
  add_custom_target(fuzz-targets)
endif()
file(GLOB onefile_fuzz_sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/fuzz/*Fuzz.cpp")
foreach(source IN LISTS onefile_fuzz_sources)
  get_filename_component(stem "${source}" NAME_WE)
  string(REGEX REPLACE "Fuzz$" "" stem "${stem}")
  string(REGEX REPLACE "([a-z0-9])([A-Z])" "\\1-\\2" name "${stem}")
  string(TOLOWER "${name}" name)
  if(ONEFILE_FUZZ)
    add_executable(${name}-fuzz "${source}")
    target_link_libraries(${name}-fuzz PRIVATE onefile_fuzz_support)
    target_link_options(${name}-fuzz PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzz-targets ${name}-fuzz)
  else()
    add_executable(${name}-replay "${source}" "${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp")
    target_link_libraries(${name}-replay PRIVATE onefile_fuzz_support)
    add_test(NAME ${name}-replay COMMAND ${name}-replay "${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name}")
    set_tests_properties(${name}-replay PROPERTIES TIMEOUT 300 LABELS host)
  endif()
endforeach()

# Writes the committed seed inputs of the corpora (fuzz-seeds tests/fuzz/corpus).
add_executable(fuzz-seeds "${PROJECT_SOURCE_DIR}/tests/fuzz/MakeSeeds.cpp")
target_link_libraries(fuzz-seeds PRIVATE onefile_packer_units onefile_packer_test_support)
target_include_directories(fuzz-seeds PRIVATE "${PROJECT_SOURCE_DIR}/tests/core")
