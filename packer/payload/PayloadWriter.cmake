# The payload producer, shared by the packer and by tests that make launchers.
add_library(onefile_payload_writer STATIC "${CMAKE_CURRENT_LIST_DIR}/PayloadWriter.cpp")
target_include_directories(onefile_payload_writer PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(onefile_payload_writer PUBLIC onefile_core zstd_full)
