# Builds zstd's library from Debian's source package (fetched by scripts/setup) for the Windows
# target, where Debian has no package of it. The launcher links only the decoder; the packer links
# the whole library with its worker threads.
set(ZSTD_SOURCE_DIR "${CMAKE_SOURCE_DIR}/build/deps/zstd" CACHE PATH "zstd source tree (from scripts/setup)")
if(NOT EXISTS "${ZSTD_SOURCE_DIR}/lib/zstd.h")
  message(FATAL_ERROR "zstd sources not found in ${ZSTD_SOURCE_DIR}; run scripts/setup first")
endif()
set(zstd_lib "${ZSTD_SOURCE_DIR}/lib")
file(GLOB zstd_common_sources "${zstd_lib}/common/*.c")
file(GLOB zstd_decompress_sources "${zstd_lib}/decompress/*.c")
file(GLOB zstd_compress_sources "${zstd_lib}/compress/*.c")

# The hand-written x86-64 decoder loop is in ELF assembly; the C loop serves on Windows.
set(zstd_definitions ZSTD_DISABLE_ASM XXH_NAMESPACE=ZSTD_)

# Common code is built with thread support once; the decoder never calls the thread pool, so the
# launcher carries none of it.
add_library(zstd_decoder STATIC ${zstd_common_sources} ${zstd_decompress_sources})
target_include_directories(zstd_decoder SYSTEM PUBLIC "${zstd_lib}")
target_compile_definitions(zstd_decoder PRIVATE ${zstd_definitions} ZSTD_LEGACY_SUPPORT=0 ZSTD_MULTITHREAD)
target_compile_options(zstd_decoder PRIVATE -O2 -w)

add_library(zstd_full STATIC ${zstd_compress_sources})
target_link_libraries(zstd_full PUBLIC zstd_decoder)
target_compile_definitions(zstd_full PRIVATE ${zstd_definitions} ZSTD_MULTITHREAD)
target_compile_options(zstd_full PRIVATE -O2 -w)
