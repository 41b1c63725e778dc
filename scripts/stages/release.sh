# Release build with -Werror (the benchmarks built too), the whole suite.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
"$QBG_ROOT/scripts/ensure-packages" "${QBG_BUILD_PACKAGES[@]}"
configure_and_build "$QBG_ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DQBG_BUILD_TESTS=ON \
  -DQBG_BUILD_BENCHMARKS=ON
ctest --no-tests=error --test-dir "$QBG_ROOT/build/release" --output-on-failure -j "$QBG_JOBS"
