# Cross build for soft-float ARMv5TE (no FPU, no divide instruction); the
# whole suite runs under qemu on an emulated ARM926.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build arm
configure_and_build "$QBG_ROOT/build/arm" -DCMAKE_BUILD_TYPE=Release -DQBG_BUILD_TESTS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$QBG_ROOT/cmake/arm-linux-gnueabi.cmake"
run_ctest "$QBG_ROOT/build/arm" --no-tests=error
