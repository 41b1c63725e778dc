# Shared by the scripts: the project root and the packages every build needs.
QBG_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# (acl: setfacl, for the test that a replaced file keeps its ACL.)
QBG_BUILD_PACKAGES=(cmake make g++ pkg-config python3 libgtest-dev libbenchmark-dev acl)
# The Windows stage: the cross toolchain, windres and widl, and wine to run
# the tests.
QBG_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64 wine wine64)
QBG_JOBS=$(nproc 2>/dev/null || echo 2)

# configure_and_build DIR [CMAKE-ARGS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$QBG_ROOT" -B "$dir" -DQBG_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$QBG_JOBS"
}
# The fuzz target needs clang and its sanitizer and libFuzzer runtimes.
QBG_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
