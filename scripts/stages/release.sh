# Release build with -Werror (the benchmarks built too), the whole suite.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build
configure_and_build "$QBG_ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DQBG_BUILD_TESTS=ON \
  -DQBG_BUILD_BENCHMARKS=ON
run_ctest "$QBG_ROOT/build/release" --no-tests=error
