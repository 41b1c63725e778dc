# AddressSanitizer and UndefinedBehaviorSanitizer build, the whole suite.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build
configure_and_build "$QBG_ROOT/build/sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQBG_SANITIZE=address,undefined -DQBG_BUILD_TESTS=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest "$QBG_ROOT/build/sanitize" --no-tests=error
