# Build switches and the settings shared by every target of the project.

# Tests and install rules default to on only in a build of this project of
# its own, not when a parent project adds it (QBG_MASTER_PROJECT).
option(QBG_BUILD_TESTS "Build the test suite" ${QBG_MASTER_PROJECT})
option(QBG_INSTALL "Generate the install rules" ${QBG_MASTER_PROJECT})
option(QBG_BUILD_FUZZERS "Build the libFuzzer target (clang; see scripts/fuzz)" OFF)
option(QBG_BUILD_BENCHMARKS "Build the benchmarks (needs Google Benchmark)" OFF)
option(QBG_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
set(QBG_SANITIZE "" CACHE STRING
  "Sanitizers to build with, as for -fsanitize= (for example address,undefined)")

# Interface target that every project target links privately: the language
# level, position-independent code, hidden symbols (only what the API marks is
# exported, inline functions included), warnings, optional -Werror and
# optional sanitizers. All of it stays on the targets that link it: a project
# that adds this one sets its own and inherits none of these.
add_library(qbg_build_settings INTERFACE)
target_compile_features(qbg_build_settings INTERFACE cxx_std_17 c_std_11)
set_target_properties(qbg_build_settings PROPERTIES INTERFACE_POSITION_INDEPENDENT_CODE ON)
target_compile_options(qbg_build_settings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wshadow -fvisibility=hidden -fvisibility-inlines-hidden>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra -fvisibility=hidden>)
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

# mingw-w64: the GCC runtimes are linked in, so that the DLL and the programs
# import only Windows system DLLs and the C runtime and run from any folder.
if(MINGW)
  target_link_options(qbg_build_settings INTERFACE -static)
endif()
