# The glow filter built as its portable path alone (QBG_GLOW_PORTABLE_ONLY,
# as on processors without SSE2 or AVX2), with the filter's unit tests; the
# benchmarks are built too, without OpenCV, as on a machine that lacks it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build
dir=$QBG_ROOT/build/portable
cmake -S "$QBG_ROOT" -B "$dir" -DQBG_WARNINGS_AS_ERRORS=ON -DCMAKE_BUILD_TYPE=Release \
  -DQBG_BUILD_TESTS=ON -DQBG_GLOW_PORTABLE_ONLY=ON -DQBG_BUILD_BENCHMARKS=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_OpenCV=ON \
  >/dev/null
cmake --build "$dir" -j "$QBG_JOBS" --target qbg_unit_tests qbg_bench qbg_bench_call
run_ctest "$dir" --no-tests=error -R '^Glow(Filter|Paths)\.'
