# Build switches and the warning/sanitizer settings shared by every target.

option(QBG_BUILD_TESTS "Build the test suite" ON)
option(QBG_BUILD_BENCHMARKS "Build the benchmarks (needs Google Benchmark)" OFF)
option(QBG_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
set(QBG_SANITIZE "" CACHE STRING
  "Sanitizers to build with, as for -fsanitize= (for example address,undefined)")

# Interface target that every project target links privately: warnings,
# optional -Werror and optional sanitizers, without touching global flags.
add_library(qbg_build_settings INTERFACE)
target_compile_options(qbg_build_settings INTERFACE
  $<$<OR:$<CXX_COMPILER_ID:GNU>,$<CXX_COMPILER_ID:Clang>>:-Wall -Wextra -Wshadow>
  $<$<OR:$<C_COMPILER_ID:GNU>,$<C_COMPILER_ID:Clang>>:-Wall -Wextra>)
# 64-bit file offsets and inode numbers on 32-bit targets too: without them
# stat and readdir fail (EOVERFLOW) on file systems with 64-bit inode numbers
# or directory offsets. No effect on 64-bit targets.
target_compile_definitions(qbg_build_settings INTERFACE _FILE_OFFSET_BITS=64)
if(QBG_WARNINGS_AS_ERRORS)
  target_compile_options(qbg_build_settings INTERFACE -Werror)
endif()
if(QBG_SANITIZE)
  target_compile_options(qbg_build_settings INTERFACE
    -fsanitize=${QBG_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(qbg_build_settings INTERFACE -fsanitize=${QBG_SANITIZE})
endif()
