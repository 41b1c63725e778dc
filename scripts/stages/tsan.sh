# ThreadSanitizer build: threads calling BMPGlow at once on distinct files
# (tests/ConcurrencyTest.cpp), every output checked; any data race fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build
build=$QBG_ROOT/build/tsan
cmake -S "$QBG_ROOT" -B "$build" -DQBG_WARNINGS_AS_ERRORS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQBG_SANITIZE=thread >/dev/null
cmake --build "$build" -j "$QBG_JOBS" --target qbg_concurrency_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_ctest "$build" --no-tests=error -R '^Concurrency\.'
